// Hex text to bytes and back, for the tables of published test vectors.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hexb {

// Pairs of hex digits; spaces between them are ignored.
inline std::vector<uint8_t> from_hex(std::string_view hex) {
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : hex) {
    int v;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    else
      continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

template <class Bytes> std::string to_hex(const Bytes& b) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t x : b) {
    out += digits[x >> 4];
    out += digits[x & 15];
  }
  return out;
}

inline std::vector<uint8_t> of_text(std::string_view s) {
  return {s.begin(), s.end()};
}

} // namespace hexb
