// SHA-256 (FIPS 180-4): the password checks of revisions 5 and 6 and one of the three hashes
// of revision 6's iterated hash.
#include "crypt/crypt.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace pdfcrypt {
namespace {

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
constexpr uint32_t round_constants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

uint32_t load_be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

void compress(std::array<uint32_t, 8>& h, const uint8_t* block) {
  uint32_t w[64];
  for (int i = 0; i < 16; ++i) w[i] = load_be32(block + 4 * i);
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = std::rotr(w[i - 15], 7) ^ std::rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = std::rotr(w[i - 2], 17) ^ std::rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t t1 = k + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) +
                        ((e & f) ^ (~e & g)) + round_constants[i] + w[i];
    const uint32_t t2 =
        (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    k = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  h[5] += f;
  h[6] += g;
  h[7] += k;
}

} // namespace

void sha256_add(sha256_state& s, bytes data) noexcept {
  if (data.empty()) return;
  size_t have = static_cast<size_t>(s.total % 64);
  s.total += data.size();
  size_t at = 0;
  if (have > 0) {
    const size_t take = std::min(data.size(), 64 - have);
    std::memcpy(s.pending.data() + have, data.data(), take);
    at = take;
    have += take;
    if (have < 64) return;
    compress(s.h, s.pending.data());
  }
  for (; data.size() - at >= 64; at += 64) compress(s.h, data.data() + at);
  if (at < data.size()) std::memcpy(s.pending.data(), data.data() + at, data.size() - at);
}

std::array<uint8_t, 32> sha256_end(sha256_state& s) noexcept {
  const uint64_t bits = s.total * 8;
  const size_t have = static_cast<size_t>(s.total % 64);
  // 0x80, zeros up to 56 bytes into a block, then the bit count big-endian.
  uint8_t tail[72] = {0x80};
  const size_t pad = (have < 56 ? 56 : 120) - have;
  for (int i = 0; i < 8; ++i) tail[pad + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  sha256_add(s, bytes(tail, pad + 8));
  std::array<uint8_t, 32> out;
  for (int i = 0; i < 32; ++i) out[i] = static_cast<uint8_t>(s.h[i / 4] >> (24 - 8 * (i % 4)));
  return out;
}

std::array<uint8_t, 32> sha256(bytes data) noexcept {
  sha256_state s;
  sha256_add(s, data);
  return sha256_end(s);
}

} // namespace pdfcrypt
