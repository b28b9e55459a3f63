// SHA-512 and SHA-384 (FIPS 180-4): two of the three hashes of revision 6's iterated hash.
#include "crypt/crypt.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace pdfcrypt {
namespace {

// The first 64 bits of the fractional parts of the cube roots of the first 80 primes.
constexpr uint64_t round_constants[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

uint64_t load_be64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
  return v;
}

void compress(std::array<uint64_t, 8>& h, const uint8_t* block) {
  uint64_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = load_be64(block + 8 * i);
  for (int i = 16; i < 80; ++i) {
    const uint64_t s0 = std::rotr(w[i - 15], 1) ^ std::rotr(w[i - 15], 8) ^ (w[i - 15] >> 7);
    const uint64_t s1 = std::rotr(w[i - 2], 19) ^ std::rotr(w[i - 2], 61) ^ (w[i - 2] >> 6);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  uint64_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
  for (int i = 0; i < 80; ++i) {
    const uint64_t t1 = k + (std::rotr(e, 14) ^ std::rotr(e, 18) ^ std::rotr(e, 41)) +
                        ((e & f) ^ (~e & g)) + round_constants[i] + w[i];
    const uint64_t t2 =
        (std::rotr(a, 28) ^ std::rotr(a, 34) ^ std::rotr(a, 39)) + ((a & b) ^ (a & c) ^ (b & c));
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

void finish(sha512_state& s) {
  // Lengths here stay far below 2^61 bytes, so the high half of the 128-bit count is zero.
  const uint64_t bits = s.total * 8;
  const size_t have = static_cast<size_t>(s.total % 128);
  uint8_t tail[144] = {0x80};
  const size_t pad = (have < 112 ? 112 : 240) - have;
  for (int i = 0; i < 8; ++i) tail[pad + 8 + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
  sha512_add(s, bytes(tail, pad + 16));
}

template <size_t N> std::array<uint8_t, N> digest_of(const sha512_state& s) {
  std::array<uint8_t, N> out;
  for (size_t i = 0; i < N; ++i) out[i] = static_cast<uint8_t>(s.h[i / 8] >> (56 - 8 * (i % 8)));
  return out;
}

} // namespace

sha512_state sha512_begin() noexcept {
  // The first 64 bits of the fractional parts of the square roots of the first 8 primes.
  return sha512_state{};
}

sha512_state sha384_begin() noexcept {
  sha512_state s;
  // The same for the 9th to 16th primes.
  s.h = {0xcbbb9d5dc1059ed8, 0x629a292a367cd507, 0x9159015a3070dd17, 0x152fecd8f70e5939,
         0x67332667ffc00b31, 0x8eb44a8768581511, 0xdb0c2e0d64f98fa7, 0x47b5481dbefa4fa4};
  return s;
}

void sha512_add(sha512_state& s, bytes data) noexcept {
  if (data.empty()) return;
  size_t have = static_cast<size_t>(s.total % 128);
  s.total += data.size();
  size_t at = 0;
  if (have > 0) {
    const size_t take = std::min(data.size(), 128 - have);
    std::memcpy(s.pending.data() + have, data.data(), take);
    at = take;
    have += take;
    if (have < 128) return;
    compress(s.h, s.pending.data());
  }
  for (; data.size() - at >= 128; at += 128) compress(s.h, data.data() + at);
  if (at < data.size()) std::memcpy(s.pending.data(), data.data() + at, data.size() - at);
}

std::array<uint8_t, 64> sha512_end(sha512_state& s) noexcept {
  finish(s);
  return digest_of<64>(s);
}

std::array<uint8_t, 48> sha384_end(sha512_state& s) noexcept {
  finish(s);
  return digest_of<48>(s);
}

std::array<uint8_t, 64> sha512(bytes data) noexcept {
  sha512_state s = sha512_begin();
  sha512_add(s, data);
  return sha512_end(s);
}

std::array<uint8_t, 48> sha384(bytes data) noexcept {
  sha512_state s = sha384_begin();
  sha512_add(s, data);
  return sha384_end(s);
}

} // namespace pdfcrypt
