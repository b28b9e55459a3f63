// Text strings read as Unicode and written back as string tokens.
#include "pdfmerge/syntax/text_strings.h"

#include "pdfmerge/syntax/string_values.h"

#include <array>
#include <cstdint>

namespace pdfmerge {
namespace {

constexpr char32_t replacement = 0xFFFD;

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

uint8_t byte_of(std::string_view s, size_t i) {
  return static_cast<uint8_t>(s[i]);
}

// The code point of the well-formed UTF-8 sequence at s[i] and its length, or length 0. The
// ranges of the second byte rule out overlong forms, surrogates and values past U+10FFFF.
size_t utf8_at(std::string_view s, size_t i, char32_t& c) {
  const uint8_t lead = byte_of(s, i);
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  size_t len = 0;
  uint8_t lo = 0x80, hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    len = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    len = 3;
    c = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;
    if (lead == 0xED) hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    len = 4;
    c = lead & 0x07;
    if (lead == 0xF0) lo = 0x90;
    if (lead == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() - i < len) return 0;
  for (size_t k = 1; k < len; ++k) {
    const uint8_t b = byte_of(s, i + k);
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  return len;
}

// Windows-1252 for 0x80..0x9F; the other bytes above 0x7F are Latin-1.
constexpr std::array<char16_t, 32> cp1252_high = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// PDFDocEncoding where it differs from Latin-1: 0x18..0x1F and 0x7F..0xA0.
constexpr std::array<char16_t, 8> pdfdoc_low = {0x02D8, 0x02C7, 0x02C6, 0x02D9,
                                                0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr std::array<char16_t, 34> pdfdoc_high = {
    0xFFFD, 0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141, 0x0152,
    0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0xFFFD, 0x20AC};

char32_t pdfdoc_char(uint8_t b) {
  if (b >= 0x18 && b <= 0x1F) return pdfdoc_low[b - 0x18];
  if (b >= 0x7F && b <= 0xA0) return pdfdoc_high[b - 0x7F];
  return b;
}

// UTF-16 units from `at` on, two bytes each in the order `big_endian` says; an odd last byte is
// dropped. Text between two ESC units (a language mark) is left out.
std::string utf16_text(std::string_view s, size_t at, bool big_endian) {
  std::string out;
  auto unit = [&](size_t i) -> char32_t {
    const uint8_t a = byte_of(s, i), b = byte_of(s, i + 1);
    return big_endian ? (a << 8 | b) : (b << 8 | a);
  };
  bool in_mark = false;
  for (size_t i = at; i + 1 < s.size(); i += 2) {
    char32_t c = unit(i);
    if (c == 0x1B) {
      in_mark = !in_mark;
      continue;
    }
    if (in_mark) continue;
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < s.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    append_utf8(out, c >= 0xD800 && c <= 0xDFFF ? replacement : c);
  }
  return out;
}

bool printable_ascii(std::string_view s) {
  for (size_t i = 0; i < s.size(); ++i)
    if (byte_of(s, i) < 0x20 || byte_of(s, i) > 0x7E) return false;
  return true;
}

std::string literal_token(std::string_view s) {
  std::string out = "(";
  for (char c : s) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += c;
  }
  return out + ")";
}

} // namespace

std::string text_string_utf8(std::string_view s) {
  if (s.size() >= 2 && byte_of(s, 0) == 0xFE && byte_of(s, 1) == 0xFF)
    return utf16_text(s, 2, true);
  if (s.size() >= 2 && byte_of(s, 0) == 0xFF && byte_of(s, 1) == 0xFE)
    return utf16_text(s, 2, false);
  if (s.size() >= 3 && byte_of(s, 0) == 0xEF && byte_of(s, 1) == 0xBB && byte_of(s, 2) == 0xBF)
    return utf8_lenient(s.substr(3));
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) append_utf8(out, pdfdoc_char(byte_of(s, i)));
  return out;
}

std::string utf8_lenient(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    char32_t c = 0;
    const size_t len = utf8_at(s, i, c);
    if (len > 0) {
      out.append(s.substr(i, len));
      i += len;
      continue;
    }
    const uint8_t b = byte_of(s, i++);
    append_utf8(out, b < 0xA0 ? cp1252_high[b - 0x80] : b);
  }
  return out;
}

bool blank_text(std::string_view utf8) {
  for (char c : utf8)
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && c != '\0')
      return false;
  return true;
}

std::string text_string_token(std::string_view utf8) {
  const std::string text = utf8_lenient(utf8);
  if (printable_ascii(text)) return literal_token(text);
  std::string units = "\xFE\xFF";
  for (size_t i = 0; i < text.size();) {
    char32_t c = 0;
    i += utf8_at(text, i, c); // always well formed by now
    auto put = [&units](char32_t u) {
      units += static_cast<char>(u >> 8);
      units += static_cast<char>(u & 0xFF);
    };
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  std::string out;
  append_hex_string(out, as_bytes(units));
  return out;
}

size_t utf8_sequence_length(std::string_view s, size_t i) {
  char32_t c = 0;
  return utf8_at(s, i, c);
}

std::string bytes_string_token(std::string_view raw) {
  if (printable_ascii(raw)) return literal_token(raw);
  std::string out;
  append_hex_string(out, as_bytes(raw));
  return out;
}

} // namespace pdfmerge
