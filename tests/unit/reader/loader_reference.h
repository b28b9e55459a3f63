// Object discovery written the slow, obvious way, straight from its rules: every position
// tested for a header, every dictionary and /Length scanned on its own, every lookup a linear
// scan, every entry compared with every stream. The loader's indexed version must give the
// very same table.
#pragma once

#include "pdfmerge/pdfmerge_internal.h"

#include <cstring>

namespace reference {

using pdfmerge::bytes;
using pdfmerge::obj_entry;
using pdfmerge::objvec;

inline bool c_space(uint8_t c) {
  return c == ' ' || (c >= 9 && c <= 13);
}
inline bool digit(uint8_t c) {
  return c >= '0' && c <= '9';
}
inline bool alnum(uint8_t c) {
  return digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}

inline int32_t wrapped(bytes f, int32_t begin, int32_t end) {
  uint32_t v = 0;
  for (int32_t i = begin; i < end; ++i) v = v * 10u + static_cast<uint32_t>(f[i] - '0');
  return static_cast<int32_t>(v);
}

inline bool header_at(bytes f, int32_t j, obj_entry& e) {
  int32_t p = j - 1;
  while (p >= 0 && c_space(f[p])) --p;
  if (p < 0 || !digit(f[p])) return false;
  int32_t gen_end = p + 1;
  while (p >= 0 && digit(f[p])) --p;
  int32_t gen_begin = p + 1;
  if (gen_begin == 0) return false;
  int32_t ws = 0;
  while (p > 0 && c_space(f[p])) --p, ++ws;
  if (ws == 0 || !digit(f[p])) return false;
  int32_t num_end = p + 1;
  while (p >= 0 && digit(f[p])) --p;
  int32_t num_begin = p + 1;
  if (num_begin > 0 && alnum(f[num_begin - 1])) return false;
  e.num = wrapped(f, num_begin, num_end);
  e.gen = wrapped(f, gen_begin, gen_end);
  e.start = num_begin;
  return e.num >= 1;
}

inline int32_t data_start(bytes f, int32_t s) {
  const int32_t len = static_cast<int32_t>(f.size());
  int32_t c = s + 6;
  if (c >= len) return c;
  int32_t r = c;
  while (r < len && (f[r] == ' ' || f[r] == '\t')) ++r;
  if (r < len && f[r] == '\r') return r + 1 < len && f[r + 1] == '\n' ? r + 2 : r + 1;
  if (r < len && f[r] == '\n') return r + 1;
  return c + 1;
}

inline int32_t indirect_length(bytes f, const objvec& t, int32_t ref) {
  for (const obj_entry& e : t) {
    if (e.num != ref) continue;
    if (e.has_stream || e.start < 0) return -1;
    const int32_t len = static_cast<int32_t>(f.size());
    int32_t i = e.start;
    pdfmerge::parse_int_at(f, i);
    i = pdfmerge::skip_ws(f, i, len);
    if (i < len && digit(f[i])) {
      pdfmerge::parse_int_at(f, i);
      i = pdfmerge::skip_ws(f, i, len);
    }
    if (pdfmerge::kw_at(f, i, "obj")) i = pdfmerge::skip_ws(f, i + 3, len);
    int32_t v = pdfmerge::parse_int_at(f, i);
    return v >= 0 ? v : -1;
  }
  return -1;
}

inline bool endstream_at(bytes f, int64_t e) {
  return e >= 0 && e + 8 < static_cast<int64_t>(f.size()) &&
         std::memcmp(f.data() + e, "endstream", 9) == 0;
}

inline void settle(bytes f, const objvec& t, obj_entry& e) {
  const int32_t len = static_cast<int32_t>(f.size());
  int32_t l = -1, ref = -1;
  pdfmerge::parse_length(f, e.dict_start, e.stream_kw, l, ref);
  if (l == -1 && ref >= 0) l = indirect_length(f, t, ref);
  e.length_unknown = l < 0 ? 1 : 0;
  int32_t end = -1;
  int32_t closing = -1; // an endobj met before any endstream
  if (l >= 0) {
    int64_t x = int64_t{e.data_start} + l;
    if (x <= INT32_MAX) {
      if (endstream_at(f, x)) {
        end = static_cast<int32_t>(x);
      } else if (x <= len) {
        int64_t q = x;
        while (q < len && c_space(f[q])) ++q;
        if (endstream_at(f, q)) end = static_cast<int32_t>(x);
      }
    }
  }
  if (end < 0) {
    int32_t k = pdfmerge::find_kw(f, e.data_start + 1, "endstream");
    const int32_t o = pdfmerge::find_kw(f, e.data_start + 1, "endobj");
    if (o >= 0 && (k < 0 || o < k)) {
      closing = o;
      k = o;
    }
    if (closing >= 0 && l >= 0 && int64_t{e.data_start} + l <= closing) {
      end = e.data_start + l;
    } else if (k < 0) {
      end = len;
    } else {
      end = k;
      if (k > e.data_start && f[k - 1] == '\n') {
        end = k - 1;
        if (k - 1 > e.data_start && f[k - 2] == '\r') end = k - 2;
      } else if (k > e.data_start && f[k - 1] == '\r') {
        end = k - 1;
      }
    }
  }
  if (end < e.data_start) end = e.data_start;
  e.data_end = end;
  e.endobj = closing >= 0 ? closing : pdfmerge::find_kw(f, end + 1, "endobj");
  if (e.endobj >= 0) e.end = e.endobj + 6;
}

// After "obj": PDF white space and comments, each '%' to and including the next CR or LF.
inline int32_t body_start(bytes f, int32_t i) {
  const int32_t len = static_cast<int32_t>(f.size());
  for (;;) {
    i = pdfmerge::skip_ws(f, i, len);
    if (i >= len || f[i] != '%') return i;
    while (i < len && f[i] != '\r' && f[i] != '\n') ++i;
    if (i < len) ++i;
  }
}

inline objvec discover(bytes f) {
  const int32_t len = static_cast<int32_t>(f.size());
  objvec t;
  for (int32_t j = 0; j + 3 <= len; ++j) {
    obj_entry e;
    if (!pdfmerge::kw_at(f, j, "obj") || !header_at(f, j, e)) continue;
    int32_t k = body_start(f, j + 3);
    if (k < len && f[k] == '<') {
      e.dict_start = k;
      int32_t s = pdfmerge::dict_stream_kw(f, k);
      if (s >= 0) {
        e.stream_kw = s;
        e.has_stream = 1;
        e.data_start = data_start(f, s);
        t.push_back(e);
        continue;
      }
      e.endobj = pdfmerge::find_kw(f, k, "endobj");
    } else {
      e.endobj = pdfmerge::find_kw(f, j + 3, "endobj");
    }
    if (e.endobj < 0) continue;
    e.end = e.endobj + 6;
    t.push_back(e);
  }
  const objvec before = t; // indirect lengths see the table as the header scan left it
  for (obj_entry& e : t)
    if (e.has_stream) settle(f, before, e);
  std::vector<bool> doomed(t.size());
  for (size_t i = 0; i < t.size(); ++i) {
    doomed[i] = t[i].has_stream && t[i].endobj < 0;
    for (const obj_entry& s : t)
      if (s.has_stream && !s.length_unknown && s.data_start >= 0 && s.data_start < s.data_end &&
          s.data_start <= t[i].start && t[i].start < s.data_end)
        doomed[i] = true;
  }
  for (size_t i = 0; i < t.size();) {
    if (doomed[i]) {
      t[i] = t.back();
      doomed[i] = doomed.back();
      t.pop_back();
      doomed.pop_back();
    } else {
      ++i;
    }
  }
  return t;
}

} // namespace reference
