// Finding indirect objects by scanning the bytes for "N G obj" headers, not through the
// cross-reference table, so that damaged tables and wrong offsets do not matter.
#include "pdfmerge/reader/phases.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace pdfmerge {
namespace {

bool is_space_or_tab(uint8_t c) {
  return c == ' ' || c == '\t';
}

// One accepted header: the keyword "obj" at j, preceded by "num gen".
struct header {
  int32_t num = 0;
  int32_t gen = 0;
  int32_t start = 0; // first digit of the object number
  int32_t j = 0;
};

// Reads "num gen" backwards from the keyword at j. Separators are isspace white space (VT
// counts, NUL does not); at least one must stand between the two numbers.
bool header_before(bytes f, int32_t j, header& h) {
  auto at = [&](int32_t k) { return f[static_cast<size_t>(k)]; };
  int32_t p = j - 1;
  while (p >= 0 && is_c_space(at(p))) --p;
  if (p < 0 || !is_digit(at(p))) return false;
  const int32_t gen_end = p + 1;
  while (p >= 0 && is_digit(at(p))) --p;
  const int32_t gen_begin = p + 1;
  if (gen_begin == 0) return false;
  // The byte at position 0 is taken as reached without being tested for white space.
  int32_t stepped = 0;
  while (p > 0 && is_c_space(at(p))) {
    --p;
    ++stepped;
  }
  if (stepped == 0 || !is_digit(at(p))) return false;
  const int32_t num_end = p + 1;
  while (p >= 0 && is_digit(at(p))) --p;
  const int32_t num_begin = p + 1;
  if (num_begin > 0 && is_alnum(at(num_begin - 1))) return false;
  int32_t i = num_begin;
  h.num = read_digits(f, i, num_end);
  i = gen_begin;
  h.gen = read_digits(f, i, gen_end);
  h.start = num_begin;
  h.j = j;
  return h.num >= 1;
}

// Where a stream's data begins after the keyword "stream" at s: past spaces and tabs and one
// end of line (CR LF, CR or LF); without an end of line, one byte after the keyword.
int32_t data_start_after(bytes f, int32_t s, run_skipper& spaces) {
  const int32_t len = static_cast<int32_t>(f.size());
  const int32_t c = s + 6;
  if (c >= len) return c;
  const int32_t r = spaces.skip(c, len);
  if (r >= len) return c + 1;
  const uint8_t b = f[static_cast<size_t>(r)];
  if (b == '\r') return r + 1 < len && f[static_cast<size_t>(r + 1)] == '\n' ? r + 2 : r + 1;
  if (b == '\n') return r + 1;
  return c + 1;
}

// Where an object's value begins after "obj": past PDF white space and comments (a '%' up to
// and including the next CR or LF). The end of each comment is found through one index of line
// ends, and the answer for a comment is kept, so that headers written inside a chain of
// comments do not walk that chain again.
class body_finder {
public:
  explicit body_finder(bytes f) : f_(f), len_(static_cast<int32_t>(f.size())), ws_(f, is_pdf_ws) {}

  int32_t find(int32_t pos) {
    int32_t p = ws_.skip(pos, len_);
    std::vector<int32_t> chain;
    while (p < len_ && f_[static_cast<size_t>(p)] == '%') {
      if (auto it = known_.find(p); it != known_.end()) {
        p = it->second;
        break;
      }
      chain.push_back(p);
      p = ws_.skip(line_end_after(p) + 1, len_);
    }
    for (int32_t c : chain) known_[c] = p;
    return p;
  }

private:
  // The first CR or LF after pos; len_ - 1 when there is none (the comment runs to the end).
  int32_t line_end_after(int32_t pos) {
    if (!indexed_) {
      for (int32_t i = 0; i < len_; ++i)
        if (f_[static_cast<size_t>(i)] == '\r' || f_[static_cast<size_t>(i)] == '\n')
          line_ends_.push_back(i);
      indexed_ = true;
    }
    auto it = std::upper_bound(line_ends_.begin(), line_ends_.end(), pos);
    return it == line_ends_.end() ? len_ - 1 : *it;
  }

  bytes f_;
  int32_t len_;
  run_skipper ws_;
  bool indexed_ = false;
  std::vector<int32_t> line_ends_;
  std::unordered_map<int32_t, int32_t> known_; // comment start -> where the value begins
};

} // namespace

void headers_scan(doc& d, text_indexes& ix) {
  const kw_hits& endobjs = ix.keywords("endobj");
  const bytes f = d.file();
  const int32_t len = d.len;
  const auto& objs = ix.keywords("obj").at;
  table_vector<header> headers;
  // Per header, the '<' after "obj" and white space where a dictionary follows, else -1.
  table_vector<int32_t> bodies;
  std::vector<int32_t> dict_starts;
  headers.reserve(objs.size());
  bodies.reserve(objs.size());
  dict_starts.reserve(objs.size());
  body_finder body_after(f);
  for (size_t n = 0; n < objs.size(); ++n) {
    if (n + prefetch_ahead < objs.size()) {
      const int32_t ahead = objs[n + prefetch_ahead];
      prefetch_at(f, int64_t{ahead} - 32);
      prefetch_at(f, int64_t{ahead} + 32);
    }
    const int32_t j = objs[n];
    header h;
    if (!header_before(f, j, h)) continue;
    const int32_t k = body_after.find(j + 3);
    headers.push_back(h);
    bodies.push_back(k < len && f[static_cast<size_t>(k)] == '<' ? k : -1);
    if (bodies.back() >= 0) dict_starts.push_back(k);
  }
  const std::vector<int32_t> closes = dict_closes(f, dict_starts);

  run_skipper pdf_ws(f, is_pdf_ws);
  run_skipper spaces(f, is_space_or_tab);
  objvec_reserve_more(d.objects, headers.size());
  size_t next_dict = 0;
  for (size_t i = 0; i < headers.size(); ++i) {
    if (next_dict + prefetch_ahead < closes.size())
      prefetch_at(f, closes[next_dict + prefetch_ahead]);
    const header& h = headers[i];
    obj_entry e;
    e.num = h.num;
    e.gen = h.gen;
    e.start = h.start;
    if (bodies[i] >= 0) {
      const int32_t k = bodies[i];
      e.dict_start = k;
      const int32_t close = closes[next_dict++];
      int32_t s = -1;
      if (close >= 0) {
        const int32_t w = pdf_ws.skip(close + 2, len);
        if (kw_at(f, w, "stream")) s = w;
      }
      if (s >= 0) {
        e.stream_kw = s;
        e.has_stream = 1;
        e.data_start = data_start_after(f, s, spaces);
        objvec_push(d.objects, e);
        continue;
      }
      e.endobj = kw_hits_find(endobjs, k);
    } else {
      e.endobj = kw_hits_find(endobjs, h.j + 3);
    }
    if (e.endobj < 0) continue;
    e.end = e.endobj + 6;
    objvec_push(d.objects, e);
  }
}

void objects_discover(doc& d, text_indexes& ix) {
  headers_scan(d, ix);
  stream_ends_settle(d, ix);
  false_entries_drop(d);
  // The /Encrypt record is read through it before the table is settled.
  d.last_plain = last_plain_index_of(d.objects);
}

} // namespace pdfmerge
