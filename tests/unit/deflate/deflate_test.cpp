// The deflate encoder: round trips through our decoder and the system zlib on many kinds of
// input, output that does not depend on how the input is split or on earlier streams, inputs
// sized at the window's and blocks' edges, the longest match at the farthest distance, and
// the length-limited Huffman code construction.
#include "deflate/deflate.h"
#include "deflate/deflate_block.h"
#include "deflate/deflate_huffman.h"
#include "deflate/deflate_match.h"
#include "inflate/inflate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifdef HAVE_SYSTEM_ZLIB
#include "zlib_oracle.h"
#endif

namespace {

using bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------------
// Test data

bytes random_bytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// Page-content-like text: lines of TJ arrays of words of varying frequency, with positions.
// A small generator (a linear congruential one) keeps 100 MB of it quick to make.
bytes page_text(size_t n, uint32_t seed) {
  uint32_t state = seed;
  const auto next = [&state](uint32_t range) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % range;
  };
  std::vector<std::string> words;
  for (int i = 0; i < 500; ++i) {
    std::string word;
    const uint32_t len = 1 + next(9);
    for (uint32_t k = 0; k < len; ++k) word += static_cast<char>('a' + next(26));
    words.push_back(word);
  }
  std::string text;
  text.reserve(n + 200);
  while (text.size() < n) {
    text += std::to_string(next(500)) + "." + std::to_string(next(100)) + " " +
            std::to_string(next(800)) + " Td [";
    for (int w = 0; w < 8; ++w) {
      // The product of two uniform picks favours the first words, as in natural text.
      text += "(" + words[next(500) * next(500) / 500] + ")";
      if (next(2) != 0) text += "-" + std::to_string(200 + next(200));
    }
    text += "]TJ\n";
  }
  text.resize(n);
  return bytes(text.begin(), text.end());
}

// Little-endian records with a counter and small fields: binary with regular structure.
bytes records(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  bytes b;
  b.reserve(n + 16);
  for (uint32_t i = 0; b.size() < n; ++i) {
    const uint32_t fields[4] = {i, static_cast<uint32_t>(rng() % 256), 7, 0xdeadbeef};
    for (uint32_t f : fields) {
      for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(f >> (8 * k)));
    }
  }
  b.resize(n);
  return b;
}

// Bytes from a small skewed alphabet: few matches, but worth a dynamic code.
bytes small_alphabet(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>("etaoin shrdlu"[rng() % 13 % (1 + rng() % 13)]);
  return b;
}

// A repeating pattern with rare changes, and a run of zeros: long matches.
bytes repetitive(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>("0123456789abcdef"[i % 13]);
  for (size_t i = 0; i < n / 1000; ++i) b[rng() % n] = static_cast<uint8_t>(rng());
  for (size_t i = n / 2; i < n * 3 / 4; ++i) b[i] = 0;
  return b;
}

struct sample {
  std::string name;
  bytes data;
};

std::vector<sample> samples() {
  return {
      {"empty", {}},
      {"one byte", {'x'}},
      {"two bytes", {'x', 'y'}},
      {"four equal bytes", bytes(4, 'q')},
      {"all equal 1M", bytes(1 << 20, 0x41)},
      {"zeros 300k", bytes(300000, 0)},
      {"all 0xff 200k", bytes(200000, 0xff)},
      {"page text 200k", page_text(200000, 1)},
      {"binary records 150k", records(150000, 2)},
      {"small alphabet 80k", small_alphabet(80000, 3)},
      {"repetitive 400k", repetitive(400000, 4)},
      {"random 1000", random_bytes(1000, 5)},
      {"random 300k", random_bytes(300000, 6)},
  };
}

// ---------------------------------------------------------------------------------------
// Helpers

bytes compress(const bytes& in) {
  bytes out;
  EXPECT_TRUE(deflate::deflate_compress(in, out));
  return out;
}

// Our decoder's output for `packed`, which should hold `expected_size` bytes; the buffer is
// one byte larger so that a stream holding more is noticed.
bytes ours_inflated(const bytes& packed, size_t expected_size) {
  bytes out(expected_size + 1);
  size_t out_len = 0;
  if (inflate::inflate_decompress(packed.data(), packed.size(), out.data(), out.size(), &out_len) !=
      0) {
    return {};
  }
  out.resize(out_len);
  return out;
}

void expect_round_trip(const bytes& original, const bytes& packed, const std::string& what) {
  ASSERT_GE(packed.size(), 2u) << what;
  EXPECT_EQ(packed[0], 0x78) << what;
  EXPECT_EQ((packed[0] * 256 + packed[1]) % 31, 0) << what;
  EXPECT_TRUE(ours_inflated(packed, original.size()) == original) << what << ": our decoder";
#ifdef HAVE_SYSTEM_ZLIB
  const auto theirs = zlib_oracle::zlib_decompress(packed);
  ASSERT_TRUE(theirs.has_value()) << what << ": zlib rejects the stream";
  EXPECT_TRUE(*theirs == original) << what << ": zlib's output differs";
#endif
}

// `in` fed to `encoder` in pieces of the given sizes (cycled), each piece's output going to a
// new vector, the pieces of output then joined.
bytes compress_in_pieces(deflate::deflate_encoder& encoder, const bytes& in,
                         const std::vector<size_t>& sizes) {
  bytes joined;
  size_t pos = 0;
  for (size_t k = 0; pos < in.size(); ++k) {
    const size_t n = std::min(sizes[k % sizes.size()], in.size() - pos);
    bytes part;
    EXPECT_TRUE(encoder.add(std::span<const uint8_t>(in).subspan(pos, n), part));
    joined.insert(joined.end(), part.begin(), part.end());
    pos += n;
  }
  bytes part;
  EXPECT_TRUE(encoder.finish(part));
  joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

// ---------------------------------------------------------------------------------------
// Round trips

TEST(DeflateRoundTrip, EveryKindOfInput) {
  for (const sample& s : samples()) expect_round_trip(s.data, compress(s.data), s.name);
}

// What each kind of input costs: compressible text shrinks well, and incompressible data grows
// by no more than the stored blocks' headers and the zlib wrapper.
TEST(DeflateRoundTrip, CompressedSizes) {
  const bytes text = page_text(500000, 7);
  EXPECT_LT(compress(text).size(), text.size() * 45 / 100);
  // A run is a chain of longest matches at distance 1: a few bits for every 258 bytes.
  EXPECT_LT(compress(bytes(1 << 20, 0)).size(), 1500u);
  for (size_t n : {size_t{1}, size_t{1000}, size_t{65535}, size_t{65536}, size_t{300000}}) {
    const bytes noise = random_bytes(n, static_cast<uint32_t>(n));
    // A block ends after block_max_symbols literals, and where the window slides; each costs
    // a stored block's 5 bytes of header, and the wrapper 6 more.
    const size_t blocks =
        n / deflate::block_max_symbols + 1 + n / (deflate::window_slide_at - 32768);
    EXPECT_LE(compress(noise).size(), n + 6 + 5 * blocks) << n << " random bytes";
  }
  // An empty stream: header, one empty fixed block (10 bits) and the trailer.
  EXPECT_EQ(compress({}).size(), 8u);
}

// 100 MB of page-like text through the streaming interface in pieces of 1 MB, so that the
// window slides hundreds of times; the output then inflates with both decoders.
TEST(DeflateRoundTrip, HundredMegabytes) {
  const size_t size = 100u << 20;
  const bytes block = page_text(5u << 20, 8);
  bytes original;
  original.reserve(size);
  // Twenty different 5 MB stretches: each is the block rotated and with one byte in 4096 changed.
  for (uint32_t k = 0; original.size() < size; ++k) {
    const size_t start = original.size();
    const size_t shift = k * 77777 % block.size();
    original.insert(original.end(), block.begin() + static_cast<std::ptrdiff_t>(shift),
                    block.end());
    original.insert(original.end(), block.begin(),
                    block.begin() + static_cast<std::ptrdiff_t>(shift));
    for (size_t i = start + k; i < original.size(); i += 4096) original[i] ^= 0x20;
  }
  original.resize(size);

  deflate::deflate_encoder encoder;
  const bytes packed = compress_in_pieces(encoder, original, {1u << 20});
  EXPECT_LT(packed.size(), size / 2);
  expect_round_trip(original, packed, "100 MB of page text");
}

// ---------------------------------------------------------------------------------------
// Deterministic output

// The same bytes from a fresh encoder, a reused one, and any split of the input into pieces
// (including empty pieces and splits around the window's edges).
TEST(DeflateDeterministic, SameBytesHoweverFed) {
  const std::vector<std::vector<size_t>> splits = {
      {1},
      {7, 0, 4096},
      {deflate::window_capacity - 1},
      {deflate::window_capacity},
      {deflate::window_slide_at, 258, 1},
      // In a run, matches of 258 start at 1 + 258 k: with 1033 bytes held, the last one that
      // may be coded ends exactly at the last byte held, and its last position must still join
      // the chains as it does when more input is held.
      {1 + 258 * 4},
      {292},
      {100000, 31, 65535},
  };
  deflate::deflate_encoder reused;
  for (const sample& s : samples()) {
    if (s.data.size() > 500000) continue;
    const bytes once = compress(s.data);
    ASSERT_TRUE(compress(s.data) == once) << s.name << ": a second call differs";
    for (const auto& sizes : splits) {
      if (sizes.size() == 1 && sizes[0] == 1 && s.data.size() > 100000) continue;
      const bytes pieces = compress_in_pieces(reused, s.data, sizes);
      ASSERT_TRUE(pieces == once) << s.name << ": pieces of " << sizes[0] << ", ...";
    }
  }
}

// Streams made one after another by one encoder do not leak into each other: each stream
// shares text with the one before it at other positions, which a leftover window or hash
// table would offer as matches.
TEST(DeflateDeterministic, EarlierStreamsLeaveNoTrace) {
  const bytes text = page_text(300000, 9);
  bytes rotated(text.begin() + 123457, text.end());
  rotated.insert(rotated.end(), text.begin(), text.begin() + 123457);
  const bytes shorter(text.begin() + 5000, text.begin() + 90000);
  deflate::deflate_encoder encoder;
  for (const bytes* in : std::vector<const bytes*>{&text, &rotated, &shorter, &text}) {
    bytes out;
    ASSERT_TRUE(encoder.add(*in, out));
    ASSERT_TRUE(encoder.finish(out));
    EXPECT_TRUE(out == compress(*in)) << in->size() << " bytes";
  }
  // A stream finished without any input is the empty stream.
  bytes empty;
  ASSERT_TRUE(encoder.finish(empty));
  EXPECT_TRUE(empty == compress({}));
}

// ---------------------------------------------------------------------------------------
// Window and block edges

// Inputs whose length, or whose last match, falls on the edges where the window slides, where
// a block's symbol buffer fills, and where stored blocks split, for data that makes matches
// and data that does not.
TEST(DeflateEdges, LengthsAtWindowAndBlockEdges) {
  const size_t window = deflate::window_capacity;
  const size_t slide = deflate::window_slide_at;
  const size_t block = deflate::block_max_symbols;
  const size_t edges[] = {32767,
                          32768,
                          32769,
                          65535,
                          65536,
                          block - 1,
                          block,
                          block + 1,
                          slide - 1,
                          slide,
                          slide + 1,
                          window - 1,
                          window,
                          window + 1,
                          2 * window - 32768,
                          2 * window,
                          2 * window + 259,
                          3 * window + 12345};
  const bytes noise = random_bytes(3 * window + 20000, 10);
  const bytes text = page_text(3 * window + 20000, 11);
  const bytes equal(3 * window + 20000, 0x55);
  for (size_t n : edges) {
    for (const bytes* source : {&noise, &text, &equal}) {
      const bytes in(source->begin(), source->begin() + static_cast<std::ptrdiff_t>(n));
      const std::string what = std::to_string(n) +
                               (source == &noise  ? " random"
                                : source == &text ? " text"
                                                  : " equal") +
                               " bytes";
      expect_round_trip(in, compress(in), what);
    }
  }
}

// A match reaching across a slide: text repeated after a stretch of noise long enough that
// the repeat comes after the window has slid, at a distance just inside 32 KiB.
TEST(DeflateEdges, MatchesAcrossASlide) {
  const bytes phrase = page_text(30000, 12);
  bytes in = random_bytes(deflate::window_slide_at - 20000, 13);
  for (int k = 0; k < 4; ++k) in.insert(in.end(), phrase.begin(), phrase.end());
  const bytes packed = compress(in);
  expect_round_trip(in, packed, "repeats across a slide");
  // The repeats cost far less than the phrase itself.
  EXPECT_LT(packed.size(), deflate::window_slide_at - 20000 + phrase.size() / 2 + 10000);
}

// ---------------------------------------------------------------------------------------
// The parse: longest and farthest matches

struct parse_result {
  std::vector<std::pair<uint32_t, uint32_t>> matches; // length, distance
  uint32_t literals = 0;
};

// Parses `in` (at most the window's capacity) as the end of a stream, a block at a time.
parse_result parse(const bytes& in) {
  auto window = std::make_unique<deflate::match_window>();
  auto block = std::make_unique<deflate::block_symbols>();
  window->reset();
  std::copy(in.begin(), in.end(), window->bytes);
  window->fill = static_cast<uint32_t>(in.size());
  parse_result r;
  do {
    block->clear();
    deflate::lz77_parse(*window, *block, window->fill);
    for (uint32_t k = 0; k < block->count; ++k) {
      const uint32_t item = block->items[k];
      if (item >> 16 == 0) {
        r.literals++;
      } else {
        r.matches.emplace_back(item & 0xffff, item >> 16);
      }
    }
  } while (window->pos < window->fill);
  return r;
}

TEST(DeflateParse, LongestMatchAtDistanceOne) {
  const parse_result r = parse(bytes(10000, 'z'));
  EXPECT_EQ(r.literals, 1u);
  ASSERT_FALSE(r.matches.empty());
  EXPECT_EQ(r.matches[0], (std::pair<uint32_t, uint32_t>{258, 1}));
  uint32_t covered = r.literals;
  for (const auto& [length, distance] : r.matches) {
    EXPECT_LE(length, 258u);
    EXPECT_EQ(distance, 1u);
    covered += length;
  }
  EXPECT_EQ(covered, 10000u);
}

// 32768 bytes of noise, then its first 600 bytes again: the only long match is at the farthest
// distance deflate allows, and it is taken in pieces of the longest length.
TEST(DeflateParse, FarthestDistance) {
  bytes in = random_bytes(32768, 14);
  in.insert(in.end(), in.begin(), in.begin() + 600);
  const parse_result r = parse(in);
  const std::pair<uint32_t, uint32_t> longest_farthest{258, 32768};
  EXPECT_GE(std::count(r.matches.begin(), r.matches.end(), longest_farthest), 2);
  for (const auto& m : r.matches) EXPECT_LE(m.second, 32768u);
  expect_round_trip(in, compress(in), "a match at distance 32768");

  // One byte further back, the copy is out of reach: no long match at all.
  bytes far = random_bytes(32769, 14);
  far.insert(far.end(), far.begin(), far.begin() + 600);
  for (const auto& m : parse(far).matches) EXPECT_LT(m.first, 20u);
  expect_round_trip(far, compress(far), "a copy at distance 32769");
}

// The symbols of `in` coded through `w` as the encoder does, with the window sliding as it
// fills, as (length, distance) pairs, literals with distance 0.
std::vector<std::pair<uint32_t, uint32_t>> code_through(deflate::match_window& w, const bytes& in) {
  auto block = std::make_unique<deflate::block_symbols>();
  std::vector<std::pair<uint32_t, uint32_t>> symbols;
  const auto collect = [&] {
    for (uint32_t k = 0; k < block->count; ++k) {
      const uint32_t item = block->items[k];
      symbols.emplace_back(item >> 16 == 0 ? 1 : item & 0xffff, item >> 16);
    }
    block->clear();
  };
  w.reset();
  block->clear();
  size_t taken = 0;
  while (taken < in.size() || w.pos < w.fill) {
    const size_t n = std::min<size_t>(in.size() - taken, deflate::window_capacity - w.fill);
    std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(taken), n, w.bytes + w.fill);
    w.fill += static_cast<uint32_t>(n);
    taken += n;
    const bool ended = taken == in.size();
    deflate::lz77_parse(w, *block, ended ? w.fill : w.fill + 1 - deflate::window_lookahead);
    collect();
    if (w.pos > deflate::window_slide_at) w.slide();
  }
  return symbols;
}

// The positions in the hash tables are stamps that run on across slides and streams, and are
// renumbered when they near 2^32. None of that may change a match: a fresh window, one that
// coded other text before, and one whose stamps are renumbered part-way give the same symbols.
TEST(DeflateParse, SameMatchesWhateverTheStamps) {
  const bytes text = page_text(1 << 20, 16);
  bytes other(text.begin() + 1000, text.end());
  auto fresh = std::make_unique<deflate::match_window>();
  const auto want = code_through(*fresh, text);

  auto reused = std::make_unique<deflate::match_window>();
  code_through(*reused, other);
  EXPECT_TRUE(code_through(*reused, text) == want) << "after another stream";

  auto renumbered = std::make_unique<deflate::match_window>();
  code_through(*renumbered, other);
  renumbered->base = deflate::window_base_max - 300000;
  EXPECT_TRUE(code_through(*renumbered, text) == want) << "renumbered while coding";
  EXPECT_LT(renumbered->base, 1u << 20); // renumbered, then slid on
}

// ---------------------------------------------------------------------------------------
// Blocks

// The planned size of a block, by which its kind is chosen, is the size written, for each
// kind and at every bit offset where a block can start.
TEST(DeflateBlocks, PlannedSizeIsWrittenSize) {
  struct block_case {
    std::string name;
    bytes input;
    deflate::block_kind kind;
  };
  const block_case cases[] = {
      {"random", random_bytes(5000, 17), deflate::block_kind::stored},
      {"empty", {}, deflate::block_kind::fixed},
      {"short text",
       {'B', 'T', ' ', '/', 'F', '1', ' ', '1', '2', ' ', 'T', 'f'},
       deflate::block_kind::fixed},
      {"page text", page_text(20000, 18), deflate::block_kind::dynamic},
      {"small alphabet", small_alphabet(8000, 19), deflate::block_kind::dynamic},
      // A dozen longest matches: a 2-symbol dynamic code beats the fixed code's 8 bits each.
      {"equal bytes", bytes(3000, 'e'), deflate::block_kind::dynamic},
      {"a few equal bytes", bytes(300, 'e'), deflate::block_kind::fixed},
  };
  for (const block_case& c : cases) {
    auto window = std::make_unique<deflate::match_window>();
    auto block = std::make_unique<deflate::block_symbols>();
    window->reset();
    block->clear();
    std::copy(c.input.begin(), c.input.end(), window->bytes);
    window->fill = static_cast<uint32_t>(c.input.size());
    deflate::lz77_parse(*window, *block, window->fill);
    ASSERT_EQ(window->pos, window->fill) << c.name << ": one block";
    for (int offset = 0; offset < 8; ++offset) {
      auto plan = std::make_unique<deflate::block_plan>();
      deflate::block_plan_make(*block, c.input.size(), offset, *plan);
      EXPECT_EQ(plan->kind, c.kind) << c.name;
      bytes room(plan->bits / 8 + 16, 0);
      deflate::bit_writer w{room.data(), room.data() + room.size(), 0, offset, false};
      deflate::block_write(*plan, *block, c.input, true, w);
      w.store_whole_bytes();
      ASSERT_FALSE(w.overflow) << c.name;
      const uint64_t written = static_cast<uint64_t>(w.out - room.data()) * 8 +
                               static_cast<uint64_t>(w.count) - static_cast<uint64_t>(offset);
      EXPECT_EQ(written, plan->bits) << c.name << ", offset " << offset;
    }
  }
}

// ---------------------------------------------------------------------------------------
// Huffman code construction

// Kraft sum of the lengths in units of 2^-15: 2^15 for a complete code.
uint32_t kraft(const std::vector<uint8_t>& lengths) {
  uint32_t sum = 0;
  for (uint8_t l : lengths) {
    if (l != 0) sum += 1u << (15 - l);
  }
  return sum;
}

// Total bits of an optimal (unlimited) Huffman code: the sum of all merged weights.
uint64_t optimal_cost(std::vector<uint64_t> weights) {
  std::erase(weights, 0);
  uint64_t cost = 0;
  while (weights.size() > 1) {
    std::sort(weights.begin(), weights.end(), std::greater<>());
    const uint64_t merged = weights[weights.size() - 1] + weights[weights.size() - 2];
    weights.resize(weights.size() - 2);
    weights.push_back(merged);
    cost += merged;
  }
  return cost;
}

TEST(DeflateHuffman, LengthsAreCompleteLimitedAndOrdered) {
  struct freq_case {
    std::string name;
    std::vector<uint32_t> freq;
    int limit;
  };
  std::vector<freq_case> cases;
  std::vector<uint32_t> fib(30, 0);
  fib[0] = fib[1] = 1;
  for (size_t i = 2; i < fib.size(); ++i) fib[i] = fib[i - 1] + fib[i - 2];
  cases.push_back({"Fibonacci 30 (depth 29 unlimited)", fib, 15});
  std::vector<uint32_t> fib19(fib.begin(), fib.begin() + 19);
  cases.push_back({"Fibonacci 19, limit 7", fib19, 7});
  std::vector<uint32_t> steep(286, 0);
  for (size_t i = 0; i < steep.size(); ++i) steep[i] = 1u << (i % 25);
  cases.push_back({"powers of two over 286 symbols", steep, 15});
  cases.push_back({"all equal 286", std::vector<uint32_t>(286, 5), 15});
  cases.push_back({"all equal 19, limit 7", std::vector<uint32_t>(19, 1), 7});
  std::vector<uint32_t> sparse(286, 0);
  sparse[3] = 100;
  sparse[200] = 1;
  sparse[285] = 7;
  cases.push_back({"three used of 286", sparse, 15});
  std::mt19937 rng(15);
  for (int k = 0; k < 20; ++k) {
    std::vector<uint32_t> f(286);
    for (auto& x : f) x = rng() % 3 == 0 ? 0 : rng() % (1u << (rng() % 16));
    cases.push_back({"random " + std::to_string(k), f, 15});
  }

  for (const freq_case& c : cases) {
    const int n = static_cast<int>(c.freq.size());
    std::vector<uint8_t> lengths(c.freq.size());
    deflate::huffman_lengths(c.freq.data(), n, c.limit, lengths.data());
    EXPECT_EQ(kraft(lengths), 1u << 15) << c.name << ": not a complete code";
    uint64_t cost = 0;
    for (int s = 0; s < n; ++s) {
      EXPECT_LE(lengths[s], c.limit) << c.name << ", symbol " << s;
      EXPECT_EQ(lengths[s] == 0, c.freq[s] == 0) << c.name << ", symbol " << s;
      cost += uint64_t{c.freq[s]} * lengths[s];
      for (int t = 0; t < n; ++t) {
        if (c.freq[s] > c.freq[t] && c.freq[t] != 0) {
          EXPECT_LE(lengths[s], lengths[t]) << c.name << ": symbols " << s << ", " << t;
        }
      }
    }
    // Where the limit does not bind, the code is optimal.
    const std::vector<uint64_t> weights(c.freq.begin(), c.freq.end());
    if (*std::max_element(lengths.begin(), lengths.end()) < c.limit) {
      EXPECT_EQ(cost, optimal_cost(weights)) << c.name;
    } else {
      EXPECT_GE(cost, optimal_cost(weights)) << c.name;
    }
  }
}

// Codes of fewer than two used symbols get two one-bit codes, which every decoder accepts.
TEST(DeflateHuffman, FewSymbolsGetTwoCodes) {
  struct few_case {
    std::vector<uint32_t> freq;
    std::vector<uint8_t> want;
  };
  const few_case cases[] = {
      {{0, 0, 0, 0}, {1, 1, 0, 0}},
      {{0, 0, 9, 0}, {1, 0, 1, 0}},
      {{4, 0, 0, 0}, {1, 1, 0, 0}},
  };
  for (const few_case& c : cases) {
    std::vector<uint8_t> lengths(c.freq.size());
    deflate::huffman_lengths(c.freq.data(), static_cast<int>(c.freq.size()), 15, lengths.data());
    EXPECT_TRUE(lengths == c.want);
  }
}

// The canonical codes of RFC 1951's example (section 3.2.2), bit-reversed for sending.
TEST(DeflateHuffman, CanonicalCodesOfTheExample) {
  const uint8_t lengths[8] = {3, 3, 3, 3, 3, 2, 4, 4};
  const uint16_t forward[8] = {0b010, 0b011, 0b100, 0b101, 0b110, 0b00, 0b1110, 0b1111};
  uint16_t codes[8];
  deflate::huffman_codes(lengths, 8, codes);
  for (int s = 0; s < 8; ++s) {
    uint16_t reversed = 0;
    for (int i = 0; i < lengths[s]; ++i)
      reversed |= ((forward[s] >> i) & 1) << (lengths[s] - 1 - i);
    EXPECT_EQ(codes[s], reversed) << "symbol " << s;
  }
}

// ---------------------------------------------------------------------------------------
// Adler-32

// Known values, and the same checksum however the data is split (runs of 5552 bytes are
// where the sums are reduced).
TEST(DeflateAdler32, KnownValuesAndSplits) {
  const std::string wiki = "Wikipedia";
  EXPECT_EQ(deflate::adler32(1, {reinterpret_cast<const uint8_t*>(wiki.data()), wiki.size()}),
            0x11e60398u);
  EXPECT_EQ(deflate::adler32(1, {}), 1u);
  const bytes ff(100000, 0xff);
  uint32_t whole = deflate::adler32(1, ff);
  for (size_t cut : {size_t{1}, size_t{5551}, size_t{5552}, size_t{5553}, size_t{77777}}) {
    const std::span<const uint8_t> all(ff);
    EXPECT_EQ(deflate::adler32(deflate::adler32(1, all.first(cut)), all.subspan(cut)), whole);
  }
}

} // namespace
