// MD5 (RFC 1321): the file key of revisions 2 to 4 and the keys of single objects.
#include "crypt/crypt.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace pdfcrypt {
namespace {

// floor(abs(sin(i + 1)) * 2^32), the additive constant of step i.
constexpr uint32_t sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// The left rotation of each step, four per round.
constexpr int shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void compress(std::array<uint32_t, 4>& h, const uint8_t* block) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = load_le32(block + 4 * i);
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
    uint32_t f;
    int g;
    switch (round) {
    case 0:
      f = (b & c) | (~b & d);
      g = i;
      break;
    case 1:
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
      break;
    case 2:
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
      break;
    default:
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
      break;
    }
    const uint32_t sum = a + f + sines[i] + x[g];
    a = d;
    d = c;
    c = b;
    b += std::rotl(sum, shifts[round][i % 4]);
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
}

} // namespace

void md5_add(md5_state& s, bytes data) noexcept {
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

std::array<uint8_t, 16> md5_end(md5_state& s) noexcept {
  const uint64_t bits = s.total * 8;
  const size_t have = static_cast<size_t>(s.total % 64);
  // 0x80, zeros up to 56 bytes into a block, then the bit count little-endian.
  uint8_t tail[72] = {0x80};
  const size_t pad = (have < 56 ? 56 : 120) - have;
  for (int i = 0; i < 8; ++i) tail[pad + i] = static_cast<uint8_t>(bits >> (8 * i));
  md5_add(s, bytes(tail, pad + 8));
  std::array<uint8_t, 16> out;
  for (int i = 0; i < 16; ++i) out[i] = static_cast<uint8_t>(s.h[i / 4] >> (8 * (i % 4)));
  return out;
}

std::array<uint8_t, 16> md5(bytes data) noexcept {
  md5_state s;
  md5_add(s, data);
  return md5_end(s);
}

} // namespace pdfcrypt
