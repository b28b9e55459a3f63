// Byte-level scanning of PDF syntax: keywords, names, the top-level /Type, integers and
// balanced dictionaries. Every function stays inside the range it is given.
#include "pdfmerge/pdfmerge_internal.h"

#include <cstring>

namespace pdfmerge {
namespace {

int32_t size_of(bytes text) {
  return static_cast<int32_t>(text.size());
}

bool equal_at(bytes text, int32_t pos, std::string_view s) {
  return std::memcmp(text.data() + pos, s.data(), s.size()) == 0;
}

// Skips a literal string whose '(' is at open; returns the position after its ')', or -1 when
// the range ends first. A backslash escapes the byte after it.
int32_t skip_literal_string(bytes text, int32_t open, int32_t end) {
  int32_t depth = 1;
  int32_t j = open + 1;
  while (j < end) {
    uint8_t c = text[static_cast<size_t>(j)];
    if (c == '\\') {
      j += 2;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) return j + 1;
    ++j;
  }
  return -1;
}

} // namespace

bool dict_span_of(bytes file, const obj_entry& e, dict_span& out) noexcept {
  if (e.in_objstm) {
    out = {bytes(e.text, static_cast<size_t>(e.text_len)), 0, e.text_len};
    return true;
  }
  if (e.dict_start < 0) return false;
  int32_t end = e.stream_kw > 0 ? e.stream_kw : e.endobj > 0 ? e.endobj : size_of(file);
  out = {file, e.dict_start, end};
  return true;
}

int32_t skip_ws(bytes text, int32_t pos, int32_t end) noexcept {
  if (end > size_of(text)) end = size_of(text);
  while (pos >= 0 && pos < end && is_pdf_ws(text[static_cast<size_t>(pos)])) ++pos;
  return pos;
}

int32_t find_kw(bytes text, int32_t from, std::string_view kw) noexcept {
  const int32_t len = size_of(text);
  const int32_t n = static_cast<int32_t>(kw.size());
  if (n == 0) return -1;
  const uint8_t first = static_cast<uint8_t>(kw[0]);
  for (int32_t i = from < 0 ? 0 : from; i <= len - n; ++i) {
    const void* hit = std::memchr(text.data() + i, first, static_cast<size_t>(len - n - i + 1));
    if (!hit) return -1;
    i = static_cast<int32_t>(static_cast<const uint8_t*>(hit) - text.data());
    if (!equal_at(text, i, kw)) continue;
    if (i > 0 && is_alnum(text[static_cast<size_t>(i - 1)])) continue;
    if (i + n < len && is_alnum(text[static_cast<size_t>(i + n)])) continue;
    return i;
  }
  return -1;
}

bool kw_at(bytes text, int32_t pos, std::string_view kw) noexcept {
  const int32_t len = size_of(text);
  const int32_t n = static_cast<int32_t>(kw.size());
  if (pos < 0 || pos > len - n) return false;
  if (!equal_at(text, pos, kw)) return false;
  if (pos > 0 && is_alnum(text[static_cast<size_t>(pos - 1)])) return false;
  return pos + n == len || !is_alnum(text[static_cast<size_t>(pos + n)]);
}

int32_t find_name(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept {
  const int32_t end = limit < size_of(text) ? limit : size_of(text);
  const int32_t n = static_cast<int32_t>(name.size());
  if (from < 0) from = 0;
  for (int32_t q = from; q <= end - n - 1; ++q) {
    const void* hit = std::memchr(text.data() + q, '/', static_cast<size_t>(end - n - 1 - q + 1));
    if (!hit) return -1;
    q = static_cast<int32_t>(static_cast<const uint8_t*>(hit) - text.data());
    if (!equal_at(text, q + 1, name)) continue;
    if (q + n + 1 == end) return q;
    uint8_t after = text[static_cast<size_t>(q + n + 1)];
    if (!is_alnum(after) && after != '+' && after != '-' && after != '_') return q;
  }
  return -1;
}

int32_t find_name_top(bytes text, int32_t from, int32_t limit) noexcept {
  const int32_t end = limit < size_of(text) ? limit : size_of(text);
  int32_t depth = 0;
  int32_t i = from < 0 ? 0 : from;
  auto at = [&](int32_t k) { return text[static_cast<size_t>(k)]; };
  while (i < end) {
    uint8_t c = at(i);
    if (c == '%') {
      int32_t j = i + 1;
      while (j < end && at(j) != '\r' && at(j) != '\n') ++j;
      if (j >= end) return -1;
      i = j;
    } else if (c == '(') {
      if (i + 1 == end) return -1;
      i = skip_literal_string(text, i, end);
      if (i < 0) return -1;
    } else if (c == '<') {
      if (i + 1 == end) return -1;
      if (at(i + 1) == '<') {
        ++depth;
        i += 2;
      } else {
        int32_t j = i + 1;
        while (j < end && at(j) != '>') ++j;
        if (j >= end) return -1;
        i = j + 1;
      }
    } else if (c == '>') {
      if (i + 1 == end) return -1;
      if (at(i + 1) == '>') {
        if (depth > 0) --depth;
        i += 2;
      } else {
        ++i;
      }
    } else if (c == '/' && depth <= 1 && i + 5 <= end && equal_at(text, i + 1, "Type")) {
      if (i + 5 == end) return i;
      uint8_t after = at(i + 5);
      if (!is_alnum(after) && after != '-' && after != '.' && after != '_') return i;
      ++i;
    } else {
      ++i;
    }
  }
  return -1;
}

int32_t obj_type(bytes file, const obj_entry& e) noexcept {
  dict_span sp;
  if (!dict_span_of(file, e, sp)) return 0;
  const bytes t = sp.text;
  const int32_t end = sp.end;
  auto at = [&](int32_t k) { return t[static_cast<size_t>(k)]; };
  int32_t s = sp.start;
  for (;;) {
    int32_t p = find_name_top(t, s, end);
    if (p < 0) return 0;
    int32_t j = skip_ws(t, p + 5, end);
    if (j + 1 >= end || at(j) != '/' || j + 4 >= end || !equal_at(t, j + 1, "Page")) {
      s = p + 1;
      continue;
    }
    if (j + 5 >= end) return 1;
    uint8_t c = at(j + 5);
    if (!is_alnum(c)) return 1;
    if (c != 's') return 0;
    if (j + 6 >= end) return 2;
    return is_alnum(at(j + 6)) ? 0 : 2;
  }
}

bytes dict_text_at(bytes text, int32_t pos) noexcept {
  const int32_t len = size_of(text);
  auto at = [&](int32_t k) { return text[static_cast<size_t>(k)]; };
  if (pos < 0 || pos + 1 >= len || at(pos) != '<' || at(pos + 1) != '<') return {};
  int32_t depth = 0;
  int32_t i = pos;
  while (i + 1 < len) {
    uint8_t c = at(i);
    if (c == '<' && at(i + 1) == '<') {
      ++depth;
      i += 2;
    } else if (c == '>' && at(i + 1) == '>') {
      if (--depth == 0)
        return text.subspan(static_cast<size_t>(pos), static_cast<size_t>(i + 2 - pos));
      i += 2;
    } else if (c == '(') {
      i = skip_literal_string(text, i, len);
      if (i < 0) return {};
    } else {
      ++i;
    }
  }
  return {};
}

namespace {

// Reads the digit run at i (wrapping like 32-bit arithmetic); moves i past it.
int32_t read_digits(bytes text, int32_t& i, int32_t end) {
  uint32_t v = 0;
  while (i < end && is_digit(text[static_cast<size_t>(i)])) {
    v = v * 10u + static_cast<uint32_t>(text[static_cast<size_t>(i)] - '0');
    ++i;
  }
  return static_cast<int32_t>(v);
}

int32_t negate_wrapping(int32_t v) {
  return static_cast<int32_t>(0u - static_cast<uint32_t>(v));
}

} // namespace

int32_t parse_int_at(bytes text, int32_t& pos) noexcept {
  const int32_t len = size_of(text);
  int32_t i = pos;
  if (i < 0 || i >= len) return -1;
  i = skip_ws(text, i, len);
  if (i >= len) return -1;
  bool negative = false;
  if (text[static_cast<size_t>(i)] == '-') {
    negative = true;
    if (++i == len) return -1;
  }
  if (!is_digit(text[static_cast<size_t>(i)])) return -1;
  int32_t v = read_digits(text, i, len);
  pos = i;
  return negative ? negate_wrapping(v) : v;
}

int32_t read_int_adv(bytes text, int32_t& pos) noexcept {
  const int32_t end = size_of(text);
  int32_t i = pos;
  if (i < 0 || i >= end) return -1;
  i = skip_ws(text, i, end);
  if (i >= end) {
    pos = end;
    return -1;
  }
  bool negative = false;
  uint8_t c = text[static_cast<size_t>(i)];
  if (c == '+' || c == '-') {
    negative = c == '-';
    if (++i == end) {
      pos = end;
      return -1;
    }
  }
  if (!is_digit(text[static_cast<size_t>(i)])) {
    pos = text[static_cast<size_t>(i)] == 'R' ? i : i + 1;
    return -1;
  }
  int32_t v = read_digits(text, i, end);
  pos = i;
  return negative ? negate_wrapping(v) : v;
}

} // namespace pdfmerge
