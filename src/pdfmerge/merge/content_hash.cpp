// A fast 64-bit hash of byte ranges, for finding objects that may be identical: four lanes of
// multiply-rotate rounds over 32-byte blocks, then the tail and a final mix. Identity is always
// confirmed by comparing the bytes; the hash only keeps the comparisons few.
#include "pdfmerge/merge/compact.h"

#include <bit>
#include <cstring>

namespace pdfmerge {
namespace {

constexpr uint64_t p1 = 0x9E3779B185EBCA87ULL;
constexpr uint64_t p2 = 0xC2B2AE3D27D4EB4FULL;
constexpr uint64_t p3 = 0x165667B19E3779F9ULL;
constexpr uint64_t p4 = 0x85EBCA77C2B2AE63ULL;
constexpr uint64_t p5 = 0x27D4EB2F165667C5ULL;

// Eight bytes read little-endian on every host.
uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    uint64_t swapped = 0;
    for (int k = 0; k < 8; ++k) swapped = (swapped << 8) | ((v >> (8 * k)) & 0xFF);
    v = swapped;
  }
  return v;
}

uint64_t lane_round(uint64_t acc, uint64_t v) {
  return std::rotl(acc + v * p2, 31) * p1;
}

uint64_t merge_lane(uint64_t h, uint64_t lane) {
  return (h ^ lane_round(0, lane)) * p1 + p4;
}

} // namespace

uint64_t content_hash(bytes data, uint64_t seed) noexcept {
  const uint8_t* p = data.data();
  size_t n = data.size();
  uint64_t h;
  if (n >= 32) {
    uint64_t a = seed + p1 + p2;
    uint64_t b = seed + p2;
    uint64_t c = seed;
    uint64_t d = seed - p1;
    for (; n >= 32; p += 32, n -= 32) {
      a = lane_round(a, load64(p));
      b = lane_round(b, load64(p + 8));
      c = lane_round(c, load64(p + 16));
      d = lane_round(d, load64(p + 24));
    }
    h = std::rotl(a, 1) + std::rotl(b, 7) + std::rotl(c, 12) + std::rotl(d, 18);
    h = merge_lane(merge_lane(merge_lane(merge_lane(h, a), b), c), d);
  } else {
    h = seed + p5;
  }
  h += data.size();
  for (; n >= 8; p += 8, n -= 8) h = std::rotl(h ^ lane_round(0, load64(p)), 27) * p1 + p4;
  for (; n > 0; ++p, --n) h = std::rotl(h ^ (*p * p5), 11) * p1;
  h ^= h >> 33;
  h *= p2;
  h ^= h >> 29;
  h *= p3;
  h ^= h >> 32;
  return h;
}

} // namespace pdfmerge
