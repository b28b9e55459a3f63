// The bytes that literal and hexadecimal strings stand for, and strings written back in hex.
#include "pdfmerge/syntax/string_values.h"

#include <algorithm>

namespace pdfmerge {
namespace {

int octal_digit(uint8_t c) {
  return c >= '0' && c <= '7' ? c - '0' : -1;
}

// The byte an escape letter stands for; the letter itself when it is none of n r t b f.
uint8_t escaped(uint8_t c) {
  switch (c) {
  case 'n':
    return '\n';
  case 'r':
    return '\r';
  case 't':
    return '\t';
  case 'b':
    return '\b';
  case 'f':
    return '\f';
  default:
    return c;
  }
}

} // namespace

// Where the content of a string that opens at `open` ends: before its closing byte, or at the
// end of the text when it does not close.
int32_t content_end(bytes text, int32_t open, int32_t close) {
  if (close < 0 || close > size_of(text)) return size_of(text);
  return std::max(open + 1, close - 1);
}

void literal_string_value(bytes text, int32_t open, int32_t close, std::vector<uint8_t>& out) {
  const int32_t last = content_end(text, open, close);
  for (int32_t i = open + 1; i < last; ++i) {
    const uint8_t c = byte_at(text, i);
    if (c == '\r') { // CR and CR LF are one line end, read as LF
      if (i + 1 < last && byte_at(text, i + 1) == '\n') ++i;
      out.push_back('\n');
      continue;
    }
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (++i >= last) break;
    const uint8_t e = byte_at(text, i);
    if (e == '\r' || e == '\n') { // a line continuation: nothing
      if (e == '\r' && i + 1 < last && byte_at(text, i + 1) == '\n') ++i;
      continue;
    }
    if (octal_digit(e) < 0) {
      out.push_back(escaped(e));
      continue;
    }
    int value = 0;
    for (int n = 0; n < 3 && i < last && octal_digit(byte_at(text, i)) >= 0; ++n, ++i)
      value = value * 8 + octal_digit(byte_at(text, i));
    --i;
    out.push_back(static_cast<uint8_t>(value)); // \400 and above wrap, as readers do
  }
}

void hex_string_value(bytes text, int32_t open, int32_t close, std::vector<uint8_t>& out) {
  const int32_t end = content_end(text, open, close);
  int high = -1;
  for (int32_t i = open + 1; i < end; ++i) {
    const int v = hex_digit(byte_at(text, i));
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) out.push_back(static_cast<uint8_t>(high << 4));
}

void append_hex_string(std::string& out, bytes value) {
  static constexpr char digits[] = "0123456789abcdef";
  out.reserve(out.size() + value.size() * 2 + 2);
  out += '<';
  for (const uint8_t b : value) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  out += '>';
}

} // namespace pdfmerge
