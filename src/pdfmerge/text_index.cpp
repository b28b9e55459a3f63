// Indexes over a document's text that let the loader answer "next keyword", "next name" and
// "end of this run of white space" for many positions in one pass over the bytes.
#include "pdfmerge/load_phases.h"

#include <algorithm>
#include <cstring>

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

} // namespace

// The keywords of the file structure share passes over the text: every "endobj" ends with
// "obj" and every "endstream" with "stream", so one pass over the bytes 'o' finds "obj" and
// "endobj", and one over 's' finds "endstream" and "startxref". Each find is judged as find_kw
// judges it.
const kw_hits& text_indexes::keywords(std::string_view kw) {
  for (const auto& [k, hits] : keywords_)
    if (k == kw) return hits;
  auto whole_word = [&](size_t p, std::string_view w, kw_hits& hits) {
    if (kw_at(text_, static_cast<int32_t>(p), w)) hits.at.push_back(static_cast<int32_t>(p));
  };
  if (kw == "obj" || kw == "endobj") {
    kw_hits obj;
    kw_hits endobj;
    each_byte(text_, 'o', [&](size_t p) {
      if (!bytes_at(text_, p, "obj")) return;
      if (p >= 3 && bytes_at(text_, p - 3, "end")) whole_word(p - 3, "endobj", endobj);
      whole_word(p, "obj", obj);
    });
    keywords_.emplace_back("obj", std::move(obj));
    keywords_.emplace_back("endobj", std::move(endobj));
  } else if (kw == "endstream" || kw == "startxref") {
    kw_hits endstream;
    kw_hits startxref;
    each_byte(text_, 's', [&](size_t p) {
      if (p >= 3 && bytes_at(text_, p, "stream") && bytes_at(text_, p - 3, "end"))
        whole_word(p - 3, "endstream", endstream);
      if (bytes_at(text_, p, "startxref")) whole_word(p, "startxref", startxref);
    });
    keywords_.emplace_back("endstream", std::move(endstream));
    keywords_.emplace_back("startxref", std::move(startxref));
  } else {
    keywords_.emplace_back(kw, kw_hits_build(text_, kw));
  }
  return keywords(kw);
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
  if (!have_slashes_) {
    have_slashes_ = true;
    each_byte(text_, '/', [&](size_t p) { slashes_.push_back(static_cast<int32_t>(p)); });
  }
  // The acceptance rule of find_name over the whole text.
  name_hits hits{text_, name, {}};
  const int64_t len = static_cast<int64_t>(text_.size());
  const int64_t n = static_cast<int64_t>(name.size());
  for (int32_t q : slashes_) {
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
