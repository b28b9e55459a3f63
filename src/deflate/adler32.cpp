// Adler-32 (RFC 1950, section 8.2): two sums modulo 65521, taken as rarely as the 32-bit sums
// allow.
#include "deflate/deflate.h"

namespace deflate {
namespace {

constexpr uint32_t modulus = 65521;
// The most bytes summed before b can pass 2^32 - 1: starting from a and b below the modulus,
// n bytes of 255 make b at most 255 n (n + 1) / 2 + (n + 1)(modulus - 1), which stays below
// 2^32 up to n = 5552.
constexpr size_t run_max = 5552;

} // namespace

uint32_t adler32(uint32_t adler, std::span<const uint8_t> data) {
  uint32_t a = adler & 0xffff;
  uint32_t b = adler >> 16;
  const uint8_t* p = data.data();
  size_t left = data.size();
  while (left != 0) {
    size_t run = left < run_max ? left : run_max;
    left -= run;
    for (; run >= 4; run -= 4, p += 4) {
      a += p[0];
      b += a;
      a += p[1];
      b += a;
      a += p[2];
      b += a;
      a += p[3];
      b += a;
    }
    for (; run != 0; --run) {
      a += *p++;
      b += a;
    }
    a %= modulus;
    b %= modulus;
  }
  return b << 16 | a;
}

} // namespace deflate
