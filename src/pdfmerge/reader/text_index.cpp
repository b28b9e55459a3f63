// Indexes over a document's text that let the loader answer "next keyword", "next name" and
// "end of this run of white space" for many positions in one pass over the bytes.
#include "pdfmerge/reader/phases.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Where the compiler can build code for a wider vector unit than the target's baseline, the
// index pass checks once for it at run time.
#if defined(__GNUC__) && defined(__x86_64__)
#define PDFMERGE_AVX2_PASS 1
#include <immintrin.h>
#endif

namespace pdfmerge {

kw_hits kw_hits_build(bytes text, std::string_view kw) {
  kw_hits hits;
  for (int32_t p = find_kw(text, 0, kw); p >= 0; p = find_kw(text, p + 1, kw)) hits.at.push_back(p);
  return hits;
}

namespace {

bool bytes_at(bytes text, size_t p, std::string_view s) {
  return p + s.size() <= text.size() && std::memcmp(text.data() + p, s.data(), s.size()) == 0;
}

// Whether the two bytes at p can begin what the index keeps: "ob" (obj, endobj), "st" (endstream,
// startxref) or a '/' before a capital letter (the names the loader asks for all begin with one).
bool candidate_pair(uint8_t c, uint8_t next) {
  return (c == 'o' && next == 'b') || (c == 's' && next == 't') ||
         (c == '/' && next >= 'A' && next <= 'Z');
}

// The candidate pairs of the text, in order, block after block: each block of positions is
// tested at once against the block one byte further, so that stream data, where such pairs are
// rare, is passed over without stopping. These return where the whole blocks end.
#if defined(__SSE2__)
template <class Visit> size_t candidates_by_16(const uint8_t* base, size_t n, Visit& visit) {
  const auto splat = [](char c) { return _mm_set1_epi8(c); };
  const __m128i o = splat('o'), b = splat('b'), s = splat('s'), t = splat('t');
  const __m128i slash = splat('/'), capital_a = splat('A'), letters_after_a = splat(25);
  size_t i = 0;
  for (; i + 17 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i));
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + i + 1));
    const __m128i from_a = _mm_sub_epi8(w, capital_a);
    const __m128i capital = _mm_cmpeq_epi8(_mm_min_epu8(from_a, letters_after_a), from_a);
    const __m128i ob = _mm_and_si128(_mm_cmpeq_epi8(v, o), _mm_cmpeq_epi8(w, b));
    const __m128i st = _mm_and_si128(_mm_cmpeq_epi8(v, s), _mm_cmpeq_epi8(w, t));
    const __m128i name = _mm_and_si128(_mm_cmpeq_epi8(v, slash), capital);
    const __m128i hit = _mm_or_si128(_mm_or_si128(ob, st), name);
    for (auto m = static_cast<uint32_t>(_mm_movemask_epi8(hit)); m != 0; m &= m - 1)
      visit(i + static_cast<size_t>(std::countr_zero(m)));
  }
  return i;
}
#endif

#if defined(PDFMERGE_AVX2_PASS)
template <class Visit>
__attribute__((target("avx2"))) size_t candidates_by_32(const uint8_t* base, size_t n,
                                                        Visit& visit) {
  // (No helper for the constants: a lambda here would not be built for the wider unit.)
  const __m256i o = _mm256_set1_epi8('o'), b = _mm256_set1_epi8('b');
  const __m256i s = _mm256_set1_epi8('s'), t = _mm256_set1_epi8('t');
  const __m256i slash = _mm256_set1_epi8('/'), capital_a = _mm256_set1_epi8('A');
  const __m256i letters_after_a = _mm256_set1_epi8(25);
  size_t i = 0;
  for (; i + 33 <= n; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + i));
    const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + i + 1));
    const __m256i from_a = _mm256_sub_epi8(w, capital_a);
    const __m256i capital = _mm256_cmpeq_epi8(_mm256_min_epu8(from_a, letters_after_a), from_a);
    const __m256i ob = _mm256_and_si256(_mm256_cmpeq_epi8(v, o), _mm256_cmpeq_epi8(w, b));
    const __m256i st = _mm256_and_si256(_mm256_cmpeq_epi8(v, s), _mm256_cmpeq_epi8(w, t));
    const __m256i name = _mm256_and_si256(_mm256_cmpeq_epi8(v, slash), capital);
    const __m256i hit = _mm256_or_si256(_mm256_or_si256(ob, st), name);
    for (auto m = static_cast<uint32_t>(_mm256_movemask_epi8(hit)); m != 0; m &= m - 1)
      visit(i + static_cast<size_t>(std::countr_zero(m)));
  }
  return i;
}

bool avx2_usable() {
  static const bool usable = [] {
    __builtin_cpu_init(); // harmless when done already; needed where no constructor did it
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return usable;
}
#endif

// Every position p of the text, in order, whose byte and the byte after it make a candidate
// pair; blocks of at most `width` bytes are tested at once.
template <class Visit> void each_candidate(bytes text, int width, Visit visit) {
  const uint8_t* base = text.data();
  const size_t n = text.size();
  size_t i = 0;
#if defined(PDFMERGE_AVX2_PASS)
  if (width >= 32 && avx2_usable()) i = candidates_by_32(base, n, visit);
#endif
#if defined(__SSE2__)
  if (i == 0 && width >= 16) i = candidates_by_16(base, n, visit);
#endif
  for (; i + 1 < n; ++i)
    if (candidate_pair(base[i], base[i + 1])) visit(i);
}

// Every byte `anchor` of the text, in order.
template <class Visit> void each_byte(bytes text, uint8_t anchor, Visit visit) {
  const uint8_t* base = text.data();
  const uint8_t* end = base + text.size();
  for (const uint8_t* p = base; p < end; ++p) {
    p = static_cast<const uint8_t*>(std::memchr(p, anchor, static_cast<size_t>(end - p)));
    if (!p) break;
    visit(static_cast<size_t>(p - base));
  }
}

// The first bytes of the names the loader asks for: the '/' before one of these is kept when
// the text is indexed. Another name costs a pass of its own.
constexpr std::string_view indexed_name_starts = "CEFLNORT";

// The place of each byte among indexed_name_starts, or -1.
constexpr std::array<int8_t, 256> name_start_slots = [] {
  std::array<int8_t, 256> slots{};
  slots.fill(-1);
  for (size_t i = 0; i < indexed_name_starts.size(); ++i)
    slots[static_cast<uint8_t>(indexed_name_starts[i])] = static_cast<int8_t>(i);
  return slots;
}();

// The first block of the lists' room: a part of the text's size, as the lists grow with it.
size_t first_room(size_t text_size) {
  return std::clamp<size_t>(text_size / 32, size_t{4} << 10, size_t{8} << 20);
}

} // namespace

text_indexes::text_indexes(bytes text, int widest_block)
    : text_(text), widest_block_(widest_block),
      room_(first_room(text.size()), table_memory_resource()) {
  slashes_.reserve(indexed_name_starts.size());
  for (size_t i = 0; i < indexed_name_starts.size(); ++i) slashes_.emplace_back(&room_);
}

// The keywords of the file structure and the names share one pass over the text: every
// "endobj" ends with "obj" and every "endstream" with "stream", so the pairs "ob" lead to "obj"
// and "endobj", the pairs "st" to "endstream" and "startxref", and the bytes '/' to names.
// Each find is judged as find_kw judges it.
void text_indexes::index_text() {
  indexed_ = true;
  const size_t n = text_.size();
  const uint8_t* t = text_.data();
  auto whole_word = [&](size_t p, std::string_view w, std::pmr::vector<int32_t>& hits) {
    if (kw_at(text_, static_cast<int32_t>(p), w)) hits.push_back(static_cast<int32_t>(p));
  };
  std::pmr::vector<int32_t> obj(&room_), endobj(&room_), endstream(&room_), startxref(&room_);
  each_candidate(text_, widest_block_, [&](size_t p) {
    const uint8_t c = t[p];
    if (c == '/') {
      if (const int8_t slot = name_start_slots[t[p + 1]]; slot >= 0)
        slashes_[static_cast<size_t>(slot)].push_back(static_cast<int32_t>(p));
    } else if (c == 'o') {
      if (p + 3 > n || t[p + 1] != 'b' || t[p + 2] != 'j') return;
      if (p >= 3 && bytes_at(text_, p - 3, "end")) whole_word(p - 3, "endobj", endobj);
      whole_word(p, "obj", obj);
    } else {
      if (p + 6 > n || t[p + 1] != 't') return;
      if (p >= 3 && bytes_at(text_, p, "stream") && bytes_at(text_, p - 3, "end"))
        whole_word(p - 3, "endstream", endstream);
      if (bytes_at(text_, p, "startxref")) whole_word(p, "startxref", startxref);
    }
  });
  keywords_.emplace_back("obj", kw_hits{std::move(obj)});
  keywords_.emplace_back("endobj", kw_hits{std::move(endobj)});
  keywords_.emplace_back("endstream", kw_hits{std::move(endstream)});
  keywords_.emplace_back("startxref", kw_hits{std::move(startxref)});
}

const kw_hits& text_indexes::keywords(std::string_view kw) {
  if (!indexed_) index_text();
  for (const auto& [k, hits] : keywords_)
    if (k == kw) return hits;
  keywords_.emplace_back(kw, kw_hits_build(text_, kw));
  return keywords_.back().second;
}

int32_t kw_hits_find(const kw_hits& hits, int32_t from) noexcept {
  auto it = std::lower_bound(hits.at.begin(), hits.at.end(), from < 0 ? 0 : from);
  return it == hits.at.end() ? -1 : *it;
}

name_hits name_hits_build(bytes text, std::string_view name) {
  name_hits hits{text, name, {}};
  const int32_t len = static_cast<int32_t>(text.size());
  for (int32_t p = find_name(text, 0, len, name); p >= 0; p = find_name(text, p + 1, len, name))
    hits.at.push_back(p);
  return hits;
}

// An occurrence whose name ends before `end` is judged by the byte after it, as over the whole
// text. Only a name that ends exactly at `end` is accepted whatever follows; it can be the
// first occurrence in the region only when no indexed occurrence fits.
int32_t name_hits_find(const name_hits& hits, int32_t from, int32_t end) noexcept {
  const int32_t len = static_cast<int32_t>(hits.text.size());
  const int32_t n = static_cast<int32_t>(hits.name.size());
  if (end > len) end = len;
  if (from < 0) from = 0;
  auto it = std::lower_bound(hits.at.begin(), hits.at.end(), from);
  if (it != hits.at.end() && *it + n + 1 <= end) return *it;
  const int32_t q = end - n - 1;
  if (q < from) return -1;
  const uint8_t* p = hits.text.data() + q;
  if (p[0] == '/' && std::memcmp(p + 1, hits.name.data(), static_cast<size_t>(n)) == 0) return q;
  return -1;
}

const name_hits& text_indexes::names(std::string_view name) {
  for (const auto& [n, hits] : names_)
    if (n == name) return hits;
  if (name.empty()) {
    names_.emplace_back(name, name_hits_build(text_, name));
    return names_.back().second;
  }
  if (!indexed_) index_text();
  const auto first = static_cast<uint8_t>(name[0]);
  const int8_t slot = name_start_slots[first];
  std::pmr::vector<int32_t> own(&room_); // the slashes of a name whose first byte is not indexed
  if (slot < 0)
    each_byte(text_, '/', [&](size_t p) {
      if (p + 1 < text_.size() && text_[p + 1] == first) own.push_back(static_cast<int32_t>(p));
    });
  const std::pmr::vector<int32_t>& slashes = slot >= 0 ? slashes_[static_cast<size_t>(slot)] : own;
  // The acceptance rule of find_name over the whole text.
  name_hits hits{text_, name, std::pmr::vector<int32_t>(&room_)};
  const int64_t len = static_cast<int64_t>(text_.size());
  const int64_t n = static_cast<int64_t>(name.size());
  for (int32_t q : slashes) {
    if (q + n + 1 > len) break;
    if (std::memcmp(text_.data() + q + 1, name.data(), name.size()) != 0) continue;
    if (q + n + 1 < len) {
      const uint8_t after = text_[static_cast<size_t>(q + n + 1)];
      if (is_alnum(after) || after == '+' || after == '-' || after == '_') continue;
    }
    hits.at.push_back(q);
  }
  names_.emplace_back(name, std::move(hits));
  return names_.back().second;
}

int32_t run_skipper::skip(int32_t pos, int32_t end) {
  const int32_t len = static_cast<int32_t>(text_.size());
  if (end > len) end = len;
  if (pos < 0 || pos >= end) return pos;
  constexpr int32_t short_run = 64;
  int32_t i = pos;
  while (i < end && i - pos < short_run && in_class_(text_[static_cast<size_t>(i)])) ++i;
  if (i >= end || !in_class_(text_[static_cast<size_t>(i)])) return i;

  if (!indexed_) {
    indexed_ = true;
    for (int32_t s = 0; s < len;) {
      if (!in_class_(text_[static_cast<size_t>(s)])) {
        ++s;
        continue;
      }
      int32_t e = s;
      while (e < len && in_class_(text_[static_cast<size_t>(e)])) ++e;
      if (e - s >= short_run) long_runs_.emplace_back(s, e);
      s = e;
    }
  }
  // [pos, pos + 64) lies in one run, so that run is indexed.
  auto it = std::upper_bound(long_runs_.begin(), long_runs_.end(), std::make_pair(pos, INT32_MAX));
  const int32_t run_end = std::prev(it)->second;
  return run_end < end ? run_end : end;
}

} // namespace pdfmerge
