// Deflate throughput and compression ratio of the library's encoder against the system zlib at
// level 1, on generated data and, when the corpus folder is there, on the decoded page contents
// of its files. MB/s are of uncompressed input. Every output of ours is checked by inflating it
// with both our decoder and zlib.
//
// Usage: bench_deflate [corpus-folder]   (default ../shared/corpus, from the source root)
#include "bench_support.h"
#include "deflate/deflate.h"
#include "inflate/inflate.h"
#include "pdfmerge/pdfmerge_internal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#if __has_include(<zconf.h>)
#include <zconf.h>
#define BENCH_HAVE_ZLIB 1
// <zlib.h> declares a global function named `inflate`, which cannot share a translation unit
// with the library's `inflate` namespace, so the functions used here are declared with the
// types of <zconf.h> instead.
extern "C" {
ZEXTERN int ZEXPORT compress2(Bytef* dest, uLongf* dest_len, const Bytef* source, uLong source_len,
                              int level);
ZEXTERN int ZEXPORT uncompress(Bytef* dest, uLongf* dest_len, const Bytef* source,
                               uLong source_len);
ZEXTERN uLong ZEXPORT compressBound(uLong source_len);
}
#endif

namespace {

using byte_vector = std::vector<uint8_t>;
using clock_type = std::chrono::steady_clock;

constexpr size_t data_size = 16 << 20;

void append(byte_vector& b, const std::string& s) {
  b.insert(b.end(), s.begin(), s.end());
}

std::string number(std::mt19937& rng, int whole, int decimals) {
  std::string s = std::to_string(rng() % static_cast<uint32_t>(whole));
  if (decimals > 0 && rng() % 3 != 0) {
    s += '.';
    for (int i = 0; i < decimals; ++i) s += static_cast<char>('0' + rng() % 10);
  }
  return s;
}

// Words of varying frequency with spaces, punctuation and line ends.
byte_vector prose(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> words;
  for (int i = 0; i < 400; ++i) {
    std::string word;
    const int len = 1 + static_cast<int>(rng() % 10);
    for (int k = 0; k < len; ++k) word += static_cast<char>('a' + rng() % 26);
    words.push_back(word);
  }
  byte_vector b;
  b.reserve(data_size);
  while (b.size() < data_size) {
    const double u = static_cast<double>(rng()) / 4294967296.0;
    append(b, words[static_cast<size_t>(u * u * static_cast<double>(words.size()))]);
    const uint32_t r = rng() % 20;
    b.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
  }
  b.resize(data_size);
  return b;
}

// Page text as a typesetter writes it: lines of TJ arrays of words and kerning numbers, with
// font changes, positioning and an occasional rule or colour.
byte_vector page_text(uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::string> words;
  for (int i = 0; i < 600; ++i) {
    std::string word;
    const int len = 1 + static_cast<int>(rng() % 9);
    for (int k = 0; k < len; ++k) word += static_cast<char>('a' + rng() % 26);
    words.push_back(word);
  }
  byte_vector b;
  b.reserve(data_size);
  while (b.size() < data_size) {
    append(b, "BT\n/F" + std::to_string(1 + rng() % 4) + " " + number(rng, 14, 2) + " Tf\n");
    for (int line = 0; line < 40; ++line) {
      append(b, number(rng, 500, 3) + " " + number(rng, 760, 3) + " Td\n[");
      for (int w = 0; w < 10; ++w) {
        const double u = static_cast<double>(rng()) / 4294967296.0;
        append(b,
               "(" + words[static_cast<size_t>(u * u * static_cast<double>(words.size()))] + ")");
        if (rng() % 2) append(b, "-" + std::to_string(200 + rng() % 200));
      }
      append(b, "]TJ\n");
    }
    append(b, "ET\n");
    if (rng() % 2)
      append(b, "q " + number(rng, 1, 3) + " g " + number(rng, 600, 2) + " " + number(rng, 800, 2) +
                    " " + number(rng, 400, 2) + " 0.5 re f Q\n");
  }
  b.resize(data_size);
  return b;
}

// Page-content-like operators with random numbers: "123.45 678 Td" and the like.
byte_vector operators(uint32_t seed) {
  std::mt19937 rng(seed);
  const char* ops[] = {" Td\n", " TJ\n", " Tf\n", " re f\n", " m\n", " l\n", " cm\n", " rg\n"};
  byte_vector b;
  b.reserve(data_size);
  while (b.size() < data_size) {
    append(b, std::to_string(rng() % 600) + "." + std::to_string(rng() % 100) + " " +
                  std::to_string(rng() % 800) + ops[rng() % 8]);
  }
  b.resize(data_size);
  return b;
}

// Binary records: little-endian counters, small fields and tags, like an image or a table.
byte_vector records(uint32_t seed) {
  std::mt19937 rng(seed);
  byte_vector b;
  b.reserve(data_size);
  for (uint32_t i = 0; b.size() < data_size; ++i) {
    const uint32_t fields[4] = {i, static_cast<uint32_t>(rng() % 256),
                                static_cast<uint32_t>(1000 + rng() % 16), 0xdeadbeef};
    for (uint32_t f : fields) {
      for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(f >> (8 * k)));
    }
  }
  b.resize(data_size);
  return b;
}

// The decoded content of every page of the corpus's readable files, one entry per page.
std::vector<byte_vector> corpus_pages(const std::string& folder) {
  std::vector<byte_vector> pages;
  std::ifstream manifest(folder + "/MANIFEST.tsv");
  std::string line;
  std::getline(manifest, line); // column names
  pdfmerge::buf content;
  pdfmerge::buf scratch;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string path, size, qpdf_pages, encrypted;
    std::getline(fields, path, '\t');
    std::getline(fields, size, '\t');
    std::getline(fields, qpdf_pages, '\t');
    std::getline(fields, encrypted, '\t');
    if (encrypted != "0") continue;
    pdfmerge::doc d;
    if (pdfmerge::doc_load((folder + "/" + path).c_str(), d) == 0) {
      for (const pdfmerge::pageinfo& p : d.pages) {
        pdfmerge::bytes filter;
        pdfmerge::bytes parms;
        const pdfmerge::bytes text =
            pdfmerge::page_content(d, p.num, content, scratch, filter, parms);
        if (!text.empty()) pages.emplace_back(text.begin(), text.end());
      }
    }
    pdfmerge::doc_free(d);
  }
  return pages;
}

// Best times of several runs of `run`, in seconds: wall-clock time, and the processor time of
// this process (one thread), which counts less of the time spent waiting for a processor
// when the machine is shared.
struct timing {
  double wall = 1e9;
  double cpu = 1e9;
};

timing best_seconds(const std::function<void()>& run) {
  timing best;
  const auto start = clock_type::now();
  for (int i = 0; i < 30; ++i) {
    const auto t0 = clock_type::now();
    const std::clock_t c0 = std::clock();
    run();
    const std::chrono::duration<double> took = clock_type::now() - t0;
    best.wall = std::min(best.wall, took.count());
    best.cpu = std::min(best.cpu, static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
    if (i >= 2 && clock_type::now() - start > std::chrono::seconds(3)) break;
  }
  return best;
}

#ifdef BENCH_HAVE_ZLIB

struct result {
  size_t input = 0;
  size_t ours = 0; // compressed bytes
  size_t zlib = 0;
  timing ours_time;
  timing zlib_time;
  bool ok = true;
};

// Both decoders give back the input.
bool round_trips(const byte_vector& data, const byte_vector& packed) {
  byte_vector out(data.size() + 1);
  size_t out_len = 0;
  if (inflate::inflate_decompress(packed.data(), packed.size(), out.data(), data.size(),
                                  &out_len) != 0 ||
      out_len != data.size() || !std::equal(data.begin(), data.end(), out.begin())) {
    return false;
  }
  uLongf zlen = out.size();
  return uncompress(out.data(), &zlen, packed.data(), packed.size()) == 0 && zlen == data.size() &&
         std::equal(data.begin(), data.end(), out.begin());
}

// Each entry of `set` compressed as one stream, by us (one encoder reused) and by zlib level 1.
result measure(const std::vector<byte_vector>& set) {
  result r;
  std::vector<byte_vector> ours(set.size());
  std::vector<byte_vector> zlib(set.size());
  for (size_t i = 0; i < set.size(); ++i) {
    r.input += set[i].size();
    ours[i].reserve(set[i].size() + set[i].size() / 8 + 64);
    zlib[i].resize(compressBound(set[i].size()));
  }
  deflate::deflate_encoder encoder;
  r.ours_time = best_seconds([&] {
    for (size_t i = 0; i < set.size(); ++i) {
      ours[i].clear();
      r.ok = encoder.add(set[i], ours[i]) && encoder.finish(ours[i]) && r.ok;
    }
  });
  std::vector<uLongf> zlib_len(set.size());
  r.zlib_time = best_seconds([&] {
    for (size_t i = 0; i < set.size(); ++i) {
      zlib_len[i] = zlib[i].size();
      r.ok = compress2(zlib[i].data(), &zlib_len[i], set[i].data(), set[i].size(), 1) == 0 && r.ok;
    }
  });
  for (size_t i = 0; i < set.size(); ++i) {
    r.ours += ours[i].size();
    r.zlib += zlib_len[i];
    r.ok = r.ok && round_trips(set[i], ours[i]);
  }
  return r;
}

void print(const char* name, const result& r) {
  const auto mbps = [&](double s) { return static_cast<double>(r.input) / 1e6 / s; };
  const auto pct = [&](size_t n) {
    return 100.0 * static_cast<double>(n) / static_cast<double>(r.input);
  };
  std::printf("%-24s %6.1f %7.1f%% %7.1f%% %6.3f %9.0f %9.0f %9.0f %9.0f%s\n", name,
              static_cast<double>(r.input) / 1e6, pct(r.ours), pct(r.zlib),
              static_cast<double>(r.ours) / static_cast<double>(r.zlib), mbps(r.ours_time.cpu),
              mbps(r.zlib_time.cpu), mbps(r.ours_time.wall), mbps(r.zlib_time.wall),
              r.ok ? "" : "  ROUND TRIP FAILED");
}

#endif

} // namespace

int main(int argc, char** argv) {
#ifndef BENCH_HAVE_ZLIB
  (void)argc;
  (void)argv;
  std::puts("bench_deflate: the system zlib is not available; nothing to compare against");
  return 0;
#else
  const std::string corpus = argc > 1 ? argv[1] : "../shared/corpus";
  struct kind {
    const char* name;
    byte_vector data;
  };
  const kind kinds[] = {
      {"page text", page_text(1)},
      {"prose", prose(2)},
      {"operators", operators(3)},
      {"records (binary)", records(4)},
      {"random-ish", bench::random_ish(5, data_size)},
      {"random", bench::random_uniform(6, data_size)},
  };

  std::printf("%-24s %6s %8s %8s %6s %9s %9s %9s %9s\n", "data", "MB", "ours", "zlib -1", "size",
              "ours cpu", "zlib cpu", "ours wall", "zlib wall");
  bool ok = true;
  for (const kind& k : kinds) {
    const result r = measure({k.data});
    print(k.name, r);
    ok = ok && r.ok;
  }

  const std::vector<byte_vector> pages = corpus_pages(corpus);
  if (pages.empty()) {
    std::printf("(no corpus pages read from %s)\n", corpus.c_str());
  } else {
    const result each = measure(pages);
    print("corpus, stream per page", each);
    byte_vector joined;
    for (const byte_vector& p : pages) joined.insert(joined.end(), p.begin(), p.end());
    const result whole = measure({joined});
    print("corpus, joined", whole);
    std::printf("(%zu corpus pages)\n", pages.size());
    ok = ok && each.ok && whole.ok;
  }
  std::puts("ours, zlib -1: compressed size in % of the input; size: ours / zlib level 1;");
  std::puts("cpu, wall: MB/s of input by processor time and by wall-clock time (best of runs)");
  return ok ? 0 : 1;
#endif
}
