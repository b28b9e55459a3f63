// The one lexer of the reader and the writer.
//
// What the tolerant scanner reads (bytes, not characters; no tokeniser ever runs over a whole
// file, each caller scans just the range it needs):
//
//   white space  NUL TAB LF FF CR SPACE (object headers alone also take VT, see is_c_space)
//   comment      '%' up to, not including, the next CR or LF
//   delimiter    ( ) < > [ ] { } / %
//   regular      any other byte; a run of them is a number, a keyword or a name's body
//   literal      '(' ... ')' with '\' escaping the next byte and unescaped parentheses nesting
//   hex string   '<' ... '>' (a single '<', not "<<")
//   array        '[' value* ']'        dictionary  "<<" (key value)* ">>"
//   name         '/' regular*
//   integer      ['-'] digit+          read in 32-bit arithmetic that wraps (see read_digits)
//   reference    digit+ ws* digit* ws* 'R'   (no letter or digit after the R; the number
//                below 2^31), looked for outside strings and comments only
//
// Where it departs from the format, on purpose:
//   - A searched-for name (find_name, find_own_key) counts as matched when the byte after it is
//     none of letter, digit, '+', '-', '_': "/Type." is taken for /Type. Damaged files write
//     such names, and the page tree must still be found.
//   - find_name looks everywhere, strings and nested values included; only find_own_key, the
//     nested-value skips and value_end know the structure.
//   - A reference needs no white space before its generation, nor a generation at all ("5R",
//     "5 R"), as damaged files write them; strict_ref_at asks for the full "N G R".
//   - Integers wrap instead of failing, so an overlong number never stops a scan.
//   - The scan that finds where an object's dictionary closes during object discovery
//     (dict_stream_kw, and its one-pass form in dict_close.cpp) knows literal strings but not
//     hexadecimal strings or comments; everything else here knows all three.
#include "pdfmerge/syntax/lexer.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pdfmerge {
namespace {

// The range's end held to the text.
int32_t clamp_end(bytes text, int32_t end) {
  return end < size_of(text) ? end : size_of(text);
}

bool equal_at(bytes text, int32_t pos, std::string_view s) {
  return std::memcmp(text.data() + pos, s.data(), s.size()) == 0;
}

bool doubled_at(bytes text, int32_t i, int32_t end, uint8_t c) {
  return byte_at(text, i) == c && i + 1 < end && byte_at(text, i + 1) == c;
}

int32_t negate_wrapping(int32_t v) {
  return static_cast<int32_t>(0u - static_cast<uint32_t>(v));
}

} // namespace

// ---------------------------------------------------------------- white space and tokens

int32_t skip_ws(bytes text, int32_t pos, int32_t end) noexcept {
  end = clamp_end(text, end);
  while (pos >= 0 && pos < end && is_pdf_ws(byte_at(text, pos))) ++pos;
  return pos;
}

int32_t skip_regular(bytes text, int32_t pos, int32_t end) noexcept {
  end = clamp_end(text, end);
  while (pos >= 0 && pos < end && is_regular(byte_at(text, pos))) ++pos;
  return pos;
}

int32_t find_any_of3(bytes text, int32_t pos, int32_t end, uint8_t a, uint8_t b,
                     uint8_t c) noexcept {
  end = clamp_end(text, end);
  if (pos < 0) pos = 0;
  const uint8_t* t = text.data();
  int32_t i = pos;
#if defined(__SSE2__)
  // Sixteen bytes at a time; every x86-64 processor has SSE2.
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
  for (; i + 16 <= end; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t + i));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                     _mm_cmpeq_epi8(v, vc));
    if (const auto m = static_cast<uint32_t>(_mm_movemask_epi8(hit)); m != 0)
      return i + std::countr_zero(m);
  }
#endif
  for (; i < end; ++i)
    if (t[i] == a || t[i] == b || t[i] == c) return i;
  return end < pos ? pos : end;
}

int32_t comment_end(bytes text, int32_t pos, int32_t end) noexcept {
  end = clamp_end(text, end);
  int32_t i = pos + 1;
  while (i < end && byte_at(text, i) != '\r' && byte_at(text, i) != '\n') ++i;
  return i < end ? i : end;
}

int32_t skip_literal_string(bytes text, int32_t open, int32_t end) noexcept {
  end = clamp_end(text, end);
  if (open < 0) return -1;
  int32_t depth = 1;
  for (int32_t j = open + 1; j < end; ++j) {
    const uint8_t c = byte_at(text, j);
    if (c == '\\') {
      ++j; // the escaped byte, whatever it is
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return j + 1;
    }
  }
  return -1;
}

int32_t skip_hex_string(bytes text, int32_t open, int32_t end) noexcept {
  end = clamp_end(text, end);
  if (open < 0 || open + 1 >= end) return -1;
  const void* close = std::memchr(text.data() + open + 1, '>', static_cast<size_t>(end - open - 1));
  if (!close) return -1;
  return static_cast<int32_t>(static_cast<const uint8_t*>(close) - text.data()) + 1;
}

lex_step lex_step_at(bytes text, int32_t i, int32_t end) noexcept {
  end = clamp_end(text, end);
  lex_step step{lex_item::other, i + 1, true};
  const uint8_t c = byte_at(text, i);
  if (c == '(') {
    step = {lex_item::literal_string, skip_literal_string(text, i, end), true};
  } else if (doubled_at(text, i, end, '<')) {
    step = {lex_item::dict_open, i + 2, true};
  } else if (c == '<') {
    step = {lex_item::hex_string, skip_hex_string(text, i, end), true};
  } else if (c == '%') {
    step = {lex_item::comment, comment_end(text, i, end), true};
  }
  if (step.next < 0) step = {step.item, end, false};
  return step;
}

int32_t skip_nested(bytes text, int32_t open, int32_t end) noexcept {
  end = clamp_end(text, end);
  if (open < 0 || open >= end) return -1;
  // Only the opener's own kind is counted: a dictionary ends at the ">>" that balances its
  // "<<" whatever brackets stand between, and an array at its balancing ']'. A stray closer of
  // the other kind in damaged text then cannot end the value early.
  const bool array = byte_at(text, open) == '[';
  if (!array && !doubled_at(text, open, end, '<')) return -1;
  int32_t depth = 0;
  int32_t i = open;
  while (i < end) {
    const uint8_t c = byte_at(text, i);
    if (c == '(') {
      i = skip_literal_string(text, i, end);
    } else if (c == '%') {
      i = comment_end(text, i, end);
    } else if (doubled_at(text, i, end, '<')) {
      depth += array ? 0 : 1;
      i += 2;
    } else if (c == '<') {
      i = skip_hex_string(text, i, end);
    } else if (doubled_at(text, i, end, '>')) {
      depth -= array ? 0 : 1;
      i += 2;
    } else {
      if (array && c == '[') ++depth;
      if (array && c == ']') --depth;
      ++i;
    }
    if (i < 0) return -1;
    if (depth == 0) return i;
  }
  return -1;
}

int32_t value_end(bytes text, int32_t pos, int32_t end) noexcept {
  end = clamp_end(text, end);
  if (pos < 0 || pos >= end) return pos;
  const uint8_t c = byte_at(text, pos);
  if (is_digit(c)) {
    const ref_match m = ref_at(text, pos, end);
    return m.found ? m.after : skip_regular(text, pos, end);
  }
  if (c == '/') return skip_regular(text, pos + 1, end);
  if (c == '(') return skip_literal_string(text, pos, end);
  if (c == '[' || doubled_at(text, pos, end, '<')) return skip_nested(text, pos, end);
  if (c == '<') return skip_hex_string(text, pos, end);
  return skip_regular(text, pos, end); // pos itself at any other delimiter
}

bytes dict_text_at(bytes text, int32_t pos) noexcept {
  const int32_t len = size_of(text);
  if (pos < 0 || pos >= len || !doubled_at(text, pos, len, '<')) return {};
  const int32_t close = skip_nested(text, pos, len);
  if (close < 0) return {};
  return text.subspan(static_cast<size_t>(pos), static_cast<size_t>(close - pos));
}

// ---------------------------------------------------------------- keywords and names

int32_t find_kw(bytes text, int32_t from, std::string_view kw) noexcept {
  const int32_t len = size_of(text);
  const auto n = static_cast<int32_t>(kw.size());
  if (n == 0) return -1;
  const auto first = static_cast<uint8_t>(kw[0]);
  for (int32_t i = from < 0 ? 0 : from; i <= len - n; ++i) {
    const void* hit = std::memchr(text.data() + i, first, static_cast<size_t>(len - n - i + 1));
    if (!hit) return -1;
    i = static_cast<int32_t>(static_cast<const uint8_t*>(hit) - text.data());
    if (kw_at(text, i, kw)) return i;
  }
  return -1;
}

bool kw_at(bytes text, int32_t pos, std::string_view kw) noexcept {
  const int32_t len = size_of(text);
  const auto n = static_cast<int32_t>(kw.size());
  if (pos < 0 || pos > len - n) return false;
  if (!equal_at(text, pos, kw)) return false;
  if (pos > 0 && is_alnum(byte_at(text, pos - 1))) return false;
  return pos + n == len || !is_alnum(byte_at(text, pos + n));
}

int32_t find_name(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept {
  const int32_t end = clamp_end(text, limit);
  const auto n = static_cast<int32_t>(name.size());
  if (from < 0) from = 0;
  for (int32_t q = from; q <= end - n - 1; ++q) {
    const void* hit = std::memchr(text.data() + q, '/', static_cast<size_t>(end - n - 1 - q + 1));
    if (!hit) return -1;
    q = static_cast<int32_t>(static_cast<const uint8_t*>(hit) - text.data());
    if (!equal_at(text, q + 1, name)) continue;
    if (q + n + 1 == end || ends_searched_name(byte_at(text, q + n + 1))) return q;
  }
  return -1;
}

int32_t find_own_key(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept {
  const int32_t end = clamp_end(text, limit);
  const auto n = static_cast<int32_t>(name.size());
  // Dictionaries are counted from `from`: the entries of the one that opens there are at
  // depth 1, those of a dictionary nested in it at depth 2.
  int32_t depth = 0;
  int32_t i = from < 0 ? 0 : from;
  while (i < end) {
    const uint8_t c = byte_at(text, i);
    if (c == '%') {
      i = comment_end(text, i, end); // the CR or LF is then read as an ordinary byte
    } else if (c == '(') {
      i = skip_literal_string(text, i, end);
      if (i < 0) return -1;
    } else if (doubled_at(text, i, end, '<')) {
      ++depth;
      i += 2;
    } else if (c == '<') {
      i = skip_hex_string(text, i, end);
      if (i < 0) return -1;
    } else if (doubled_at(text, i, end, '>')) {
      if (depth > 0) --depth;
      i += 2;
    } else if (c == '[') {
      // An array's names are values, never keys. One that does not close is read on byte by
      // byte, so that a damaged array does not hide the keys after it.
      const int32_t after = skip_nested(text, i, end);
      i = after > i ? after : i + 1;
    } else if (c == '/' && depth <= 1 && i + 1 + n <= end && equal_at(text, i + 1, name) &&
               (i + 1 + n == end || ends_searched_name(byte_at(text, i + 1 + n)))) {
      return i;
    } else {
      ++i; // names are not stepped over as tokens: "/A/Type" finds /Type
    }
  }
  return -1;
}

bytes own_value(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept {
  const int32_t end = clamp_end(text, limit);
  const int32_t key = find_own_key(text, from, end, name);
  if (key < 0) return {};
  const int32_t v = value_after_name(text, key, name, end);
  if (v >= end) return {};
  const int32_t stop = value_end(text, v, end);
  if (stop <= v) return {};
  return text.subspan(static_cast<size_t>(v), static_cast<size_t>(stop - v));
}

// ---------------------------------------------------------------- integers

int32_t read_digits(bytes text, int32_t& i, int32_t end) noexcept {
  end = clamp_end(text, end);
  uint32_t v = 0;
  while (i >= 0 && i < end && is_digit(byte_at(text, i))) {
    v = v * 10u + static_cast<uint32_t>(byte_at(text, i) - '0');
    ++i;
  }
  return static_cast<int32_t>(v);
}

int32_t parse_int_at(bytes text, int32_t& pos) noexcept {
  const int32_t len = size_of(text);
  int32_t i = pos;
  if (i < 0 || i >= len) return -1;
  i = skip_ws(text, i, len);
  if (i >= len) return -1;
  const bool negative = byte_at(text, i) == '-';
  if (negative && ++i == len) return -1;
  if (!is_digit(byte_at(text, i))) return -1;
  const int32_t v = read_digits(text, i, len);
  pos = i;
  return negative ? negate_wrapping(v) : v;
}

int32_t read_int_or_skip(bytes text, int32_t& pos) noexcept {
  const int32_t end = size_of(text);
  int32_t i = pos;
  if (i < 0 || i >= end) return -1;
  i = skip_ws(text, i, end);
  if (i >= end) {
    pos = end;
    return -1;
  }
  const uint8_t sign = byte_at(text, i);
  const bool negative = sign == '-';
  if ((sign == '+' || sign == '-') && ++i == end) {
    pos = end;
    return -1;
  }
  if (!is_digit(byte_at(text, i))) {
    pos = byte_at(text, i) == 'R' ? i : i + 1;
    return -1;
  }
  const int32_t v = read_digits(text, i, end);
  pos = i;
  return negative ? negate_wrapping(v) : v;
}

// ---------------------------------------------------------------- references

ref_match ref_at(bytes text, int32_t i, int32_t end) noexcept {
  end = clamp_end(text, end);
  ref_match m;
  int32_t p = i;
  // Whether the number fits an object number; the value itself wraps like every integer.
  uint64_t exact = 0;
  for (int32_t k = i; k < end && is_digit(byte_at(text, k)) && exact <= INT32_MAX; ++k)
    exact = exact * 10 + (byte_at(text, k) - '0');
  m.num = read_digits(text, p, end);
  m.digits_end = p;
  const int32_t gen = skip_ws(text, p, end);
  p = gen;
  (void)read_digits(text, p, end);
  m.spaced_gen = p > gen && gen > m.digits_end;
  p = skip_ws(text, p, end);
  if (!r_at(text, p, end)) return m;
  m.after = p + 1;
  m.found = exact <= INT32_MAX;
  return m;
}

int32_t strict_ref_at(bytes text, int32_t i, int32_t end, int32_t& after) noexcept {
  end = clamp_end(text, end);
  if (i < 0 || i >= end || !is_digit(byte_at(text, i))) return -1;
  const ref_match m = ref_at(text, i, end);
  if (!m.found || !m.spaced_gen || m.num <= 0) return -1;
  after = m.after;
  return m.num;
}

int32_t skip_generation(bytes text, int32_t i, int32_t end) noexcept {
  end = clamp_end(text, end);
  i = skip_ws(text, i, end);
  if (i >= 0 && i < end && is_digit(byte_at(text, i))) {
    (void)read_digits(text, i, end);
    i = skip_ws(text, i, end);
  }
  return i;
}

bool r_at(bytes text, int32_t i, int32_t end) noexcept {
  end = clamp_end(text, end);
  if (i < 0 || i >= end || byte_at(text, i) != 'R') return false;
  return i + 1 >= end || !is_alnum(byte_at(text, i + 1));
}

int32_t loose_ref_element(bytes text, int32_t& i, int32_t end) noexcept {
  end = clamp_end(text, end);
  const int32_t num = parse_int_at(text.first(static_cast<size_t>(end > 0 ? end : 0)), i);
  i = skip_generation(text, i, end);
  if (i < end && byte_at(text, i) == 'R') i = skip_ws(text, i + 1, end);
  return num;
}

int32_t next_number(bytes text, int32_t i, int32_t end) noexcept {
  end = clamp_end(text, end);
  if (i < 0) i = 0;
  while (i < end) {
    if (is_digit(byte_at(text, i))) return i;
    i = lex_step_at(text, i, end).next;
  }
  return end;
}

void collect_refs(bytes text, int32_t start, int32_t end, std::vector<int32_t>& found) {
  end = clamp_end(text, end);
  for (int32_t i = next_number(text, start, end); i < end; i = next_number(text, i, end)) {
    const ref_match m = ref_at(text, i, end);
    if (m.found) found.push_back(m.num);
    i = m.after > m.digits_end ? m.after : m.digits_end;
  }
}

} // namespace pdfmerge
