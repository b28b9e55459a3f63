// Inflate throughput of the library's decoder against the system zlib on the same data:
// MB/s of decompressed output for each, and our speed as a fraction of zlib's.
#include "bench_support.h"
#include "inflate/inflate.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#if __has_include(<zconf.h>)
#include <zconf.h>
#define BENCH_HAVE_ZLIB 1
// <zlib.h> declares a global function named `inflate`, which cannot share a translation unit
// with the library's `inflate` namespace, so the three functions used here are declared with
// the types of <zconf.h> instead.
extern "C" {
ZEXTERN int ZEXPORT compress2(Bytef* dest, uLongf* dest_len, const Bytef* source, uLong source_len,
                              int level);
ZEXTERN int ZEXPORT uncompress(Bytef* dest, uLongf* dest_len, const Bytef* source,
                               uLong source_len);
ZEXTERN uLong ZEXPORT compressBound(uLong source_len);
}
#endif

namespace {

using bytes = std::vector<uint8_t>;
using bench::best_seconds;
using bench::megabytes_per_second;

constexpr size_t data_size = 4 << 20;

// Words of varying frequency with spaces, punctuation and line ends.
bytes text_like(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> words;
  for (int i = 0; i < 400; ++i) {
    std::string word;
    const int len = 1 + static_cast<int>(rng() % 10);
    for (int k = 0; k < len; ++k) word += static_cast<char>('a' + rng() % 26);
    words.push_back(word);
  }
  bytes b;
  b.reserve(data_size);
  while (b.size() < data_size) {
    const double u = static_cast<double>(rng()) / 4294967296.0;
    const std::string& w = words[static_cast<size_t>(u * u * static_cast<double>(words.size()))];
    b.insert(b.end(), w.begin(), w.end());
    const uint32_t r = rng() % 20;
    b.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
  }
  b.resize(data_size);
  return b;
}

// Page-content-like operators with numbers: "q 1 0 0 1 72.5 700 cm BT /F1 12 Tf ...".
bytes content_like(uint32_t seed) {
  std::mt19937 rng(seed);
  const char* ops[] = {" Td\n", " TJ\n", " Tf\n", " re f\n", " m\n", " l\n", " cm\n", " rg\n"};
  bytes b;
  b.reserve(data_size);
  while (b.size() < data_size) {
    const std::string line = std::to_string(rng() % 600) + "." + std::to_string(rng() % 100) + " " +
                             std::to_string(rng() % 800) + ops[rng() % 8];
    b.insert(b.end(), line.begin(), line.end());
  }
  b.resize(data_size);
  return b;
}

// A short pattern with rare changes and a long run of zeros: long matches.
bytes repetitive(uint32_t seed) {
  std::mt19937 rng(seed);
  bytes b(data_size);
  for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>("0123456789abcdef"[i % 13]);
  for (size_t i = 0; i < b.size() / 2000; ++i) b[rng() % b.size()] = static_cast<uint8_t>(rng());
  std::fill(b.begin() + static_cast<std::ptrdiff_t>(b.size() / 2),
            b.begin() + static_cast<std::ptrdiff_t>(b.size() * 3 / 4), 0);
  return b;
}

} // namespace

int main() {
#ifndef BENCH_HAVE_ZLIB
  std::puts("bench_inflate: the system zlib is not available; nothing to compare against");
  return 0;
#else
  struct kind {
    const char* name;
    bytes data;
  };
  const kind kinds[] = {
      {"text-like", text_like(1)},
      {"content-like", content_like(2)},
      {"random-ish", bench::random_ish(3, data_size)},
      {"random", bench::random_uniform(4, data_size)},
      {"repetitive", repetitive(5)},
  };

  std::printf("%-13s %5s %9s %11s %11s %7s\n", "data", "level", "ratio", "ours MB/s", "zlib MB/s",
              "ours/zlib");
  int failures = 0;
  for (const kind& k : kinds) {
    for (int level : {1, 6, 9}) {
      bytes packed(compressBound(k.data.size()));
      uLongf packed_len = packed.size();
      if (compress2(packed.data(), &packed_len, k.data.data(), k.data.size(), level) != 0) {
        std::printf("%-13s compress2 failed\n", k.name);
        return 1;
      }
      packed.resize(packed_len);

      bytes out(k.data.size());
      size_t out_len = 0;
      int rc = 0;
      const double ours = best_seconds([&] {
        rc = inflate::inflate_decompress(packed.data(), packed.size(), out.data(), out.size(),
                                         &out_len);
      });
      if (rc != 0 || out != k.data) {
        std::printf("%-13s level %d: our output differs from the input\n", k.name, level);
        ++failures;
      }
      int zrc = 0;
      const double zlib = best_seconds([&] {
        uLongf zlen = out.size();
        zrc = uncompress(out.data(), &zlen, packed.data(), packed.size());
      });
      if (zrc != 0) ++failures;

      std::printf("%-13s %5d %8.1f%% %11.0f %11.0f %7.2f\n", k.name, level,
                  100.0 * static_cast<double>(packed.size()) / static_cast<double>(k.data.size()),
                  megabytes_per_second(k.data.size(), ours),
                  megabytes_per_second(k.data.size(), zlib), zlib / ours);
    }
  }
  std::puts("(zlib's figures include its Adler-32 check of the output; ours reads no checksum)");
  return failures == 0 ? 0 : 1;
#endif
}
