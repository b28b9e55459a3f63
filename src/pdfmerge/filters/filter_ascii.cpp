// ASCIIHexDecode and ASCII85Decode: text encodings of binary data, white space ignored.
#include "pdfmerge/filters/filters.h"

namespace pdfmerge {
namespace {

// The n - 1 bytes of a group of n base-85 digits (the missing ones count as 'u'). False when
// the group's value does not fit in 32 bits.
bool put_group(const uint8_t* digits, int32_t n, std::vector<uint8_t>& out) {
  uint64_t v = 0;
  for (int32_t k = 0; k < 5; ++k) v = v * 85 + (k < n ? digits[k] : 84u);
  if (v > 0xFFFFFFFFu) return false;
  for (int32_t k = 0; k < n - 1; ++k) out.push_back(static_cast<uint8_t>(v >> (24 - 8 * k)));
  return true;
}

} // namespace

bool ascii_hex_decode(bytes src, std::vector<uint8_t>& out) {
  out.reserve(out.size() + src.size() / 2);
  int32_t high = -1;
  for (const uint8_t c : src) {
    if (c == '>') break;
    if (is_pdf_ws(c)) continue;
    const int32_t v = hex_digit(c);
    if (v < 0) return true; // corrupt: keep the whole bytes before it
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  if (high >= 0) out.push_back(static_cast<uint8_t>(high << 4)); // an odd last digit
  return true;
}

bool ascii85_decode(bytes src, std::vector<uint8_t>& out) {
  out.reserve(out.size() + src.size() / 5 * 4 + 4);
  uint8_t group[5];
  int32_t n = 0;
  size_t i = 0;
  if (src.size() >= 2 && src[0] == '<' && src[1] == '~') i = 2;
  for (; i < src.size(); ++i) {
    const uint8_t c = src[i];
    if (c == '~') break;
    if (is_pdf_ws(c)) continue;
    if (c == 'z' && n == 0) {
      if (out.size() + 4 > filter_output_limit) return false;
      out.insert(out.end(), 4, 0);
      continue;
    }
    if (c < '!' || c > 'u') return true; // corrupt ('z' inside a group too): keep what came
    group[n++] = static_cast<uint8_t>(c - '!');
    if (n == 5) {
      if (!put_group(group, 5, out)) return true;
      n = 0;
    }
  }
  if (n >= 2) (void)put_group(group, n, out); // a short last group; a single digit gives none
  return true;
}

} // namespace pdfmerge
