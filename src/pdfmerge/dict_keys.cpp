// Keys among a dictionary's own entries and the extent of the value written after one.
#include "pdfmerge/filters.h"

#include <cstring>

namespace pdfmerge {
namespace {

bool is_delim(uint8_t c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}

// Past the literal string opened at i, or -1 when the range ends first.
int32_t past_string(bytes t, int32_t i, int32_t end) {
  int32_t depth = 0;
  for (; i < end; ++i) {
    const uint8_t c = t[static_cast<size_t>(i)];
    if (c == '\\') {
      ++i;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return i + 1;
    }
  }
  return -1;
}

// Past the array or dictionary opened at i (strings inside stepped over), or -1.
int32_t past_nested(bytes t, int32_t i, int32_t end) {
  int32_t depth = 0;
  while (i < end) {
    const uint8_t c = t[static_cast<size_t>(i)];
    const bool doubled = i + 1 < end && t[static_cast<size_t>(i + 1)] == c;
    if (c == '(') {
      i = past_string(t, i, end);
      if (i < 0) return -1;
    } else if (c == '%') {
      while (i < end && t[static_cast<size_t>(i)] != '\r' && t[static_cast<size_t>(i)] != '\n') ++i;
    } else {
      if (c == '[' || (c == '<' && doubled)) ++depth;
      if (c == ']' || (c == '>' && doubled)) --depth;
      i += (c == '<' || c == '>') && doubled ? 2 : 1;
    }
    if (depth == 0) return i;
  }
  return -1;
}

int32_t past_token(bytes t, int32_t i, int32_t end) {
  while (i < end && !is_pdf_ws(t[static_cast<size_t>(i)]) && !is_delim(t[static_cast<size_t>(i)]))
    ++i;
  return i;
}

} // namespace

int32_t find_key_top(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept {
  const int32_t end =
      limit < static_cast<int32_t>(text.size()) ? limit : static_cast<int32_t>(text.size());
  const auto n = static_cast<int32_t>(name.size());
  auto at = [&](int32_t k) { return text[static_cast<size_t>(k)]; };
  int32_t depth = 0;
  int32_t i = from < 0 ? 0 : from;
  while (i < end) {
    const uint8_t c = at(i);
    if (c == '%') {
      while (i < end && at(i) != '\r' && at(i) != '\n') ++i;
    } else if (c == '(') {
      i = past_string(text, i, end);
      if (i < 0) return -1;
    } else if (c == '<' && i + 1 < end && at(i + 1) == '<') {
      ++depth;
      i += 2;
    } else if (c == '<') {
      while (i < end && at(i) != '>') ++i;
      ++i;
    } else if (c == '>' && i + 1 < end && at(i + 1) == '>') {
      if (depth > 0) --depth;
      i += 2;
    } else if (c == '/' && depth <= 1 && i + 1 + n <= end &&
               std::memcmp(text.data() + i + 1, name.data(), name.size()) == 0) {
      if (i + 1 + n == end) return i;
      const uint8_t after = at(i + 1 + n);
      if (!is_alnum(after) && after != '+' && after != '-' && after != '_') return i;
      ++i;
    } else {
      ++i;
    }
  }
  return -1;
}

bytes key_value(bytes text, int32_t key, int32_t name_len, int32_t limit) noexcept {
  const int32_t end =
      limit < static_cast<int32_t>(text.size()) ? limit : static_cast<int32_t>(text.size());
  const int32_t v = skip_ws(text, key + 1 + name_len, end);
  if (v < 0 || v >= end) return {};
  const uint8_t c = text[static_cast<size_t>(v)];
  int32_t stop = -1;
  if (c == '/') {
    stop = past_token(text, v + 1, end);
  } else if (c == '[' || (c == '<' && v + 1 < end && text[static_cast<size_t>(v + 1)] == '<')) {
    stop = past_nested(text, v, end);
  } else if (c == '(') {
    stop = past_string(text, v, end);
  } else if (is_digit(c)) {
    const ref_match m = ref_at(text, v, end);
    stop = m.found ? m.after : past_token(text, v, end);
  } else if (!is_delim(c)) {
    stop = past_token(text, v, end);
  }
  if (stop <= v) return {};
  return text.subspan(static_cast<size_t>(v), static_cast<size_t>(stop - v));
}

} // namespace pdfmerge
