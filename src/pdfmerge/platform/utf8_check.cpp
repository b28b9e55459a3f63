// Telling a UTF-8 path from one in a legacy code page.
#include "pdfmerge/platform/native_path.h"

namespace pdfmerge {
namespace {

bool continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Length of the well-formed sequence starting at s[i], or 0. The ranges of the second byte
// rule out overlong forms (E0, F0), surrogates (ED) and code points past U+10FFFF (F4).
size_t sequence_length(std::string_view s, size_t i) {
  const auto lead = static_cast<unsigned char>(s[i]);
  size_t len = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() - i < len) return 0;
  const auto second = static_cast<unsigned char>(s[i + 1]);
  if (second < lo || second > hi) return 0;
  for (size_t k = 2; k < len; ++k)
    if (!continuation(static_cast<unsigned char>(s[i + k]))) return 0;
  return len;
}

} // namespace

bool utf8_with_non_ascii(std::string_view s) noexcept {
  bool non_ascii = false;
  for (size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t len = sequence_length(s, i);
    if (len == 0) return false;
    non_ascii = true;
    i += len;
  }
  return non_ascii;
}

} // namespace pdfmerge
