// Small encoders for the filters the library decodes, so that tests can build filtered data.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testenc {

// An LZW encoder with the same code widths as the decoder: the table is cleared when full.
inline std::vector<uint8_t> lzw_encode(const std::vector<uint8_t>& in, int early) {
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int count = 0;
  int width = 9;
  auto put = [&](int code) {
    acc = (acc << width) | static_cast<uint32_t>(code);
    count += width;
    while (count >= 8) {
      count -= 8;
      out.push_back(static_cast<uint8_t>(acc >> count));
    }
  };
  std::map<std::pair<int, uint8_t>, int> table;
  int next = 258;
  put(256);
  int w = -1;
  for (const uint8_t c : in) {
    if (w < 0) {
      w = c;
      continue;
    }
    auto hit = table.find({w, c});
    if (hit != table.end()) {
      w = hit->second;
      continue;
    }
    put(w);
    table[{w, c}] = next++;
    // The decoder makes this entry one code later, and widens once next - 1 + early fills.
    if (next - 1 + early >= (1 << width) && width < 12) ++width;
    if (next == 4096 - early) {
      put(256);
      table.clear();
      next = 258;
      width = 9;
    }
    w = c;
  }
  if (w >= 0) put(w);
  put(257);
  if (count > 0) out.push_back(static_cast<uint8_t>(acc << (8 - count)));
  return out;
}

inline std::string a85_encode(const std::vector<uint8_t>& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); i += 4) {
    const size_t n = std::min<size_t>(4, in.size() - i);
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) word = word << 8 | (k < n ? in[i + k] : 0u);
    if (n == 4 && word == 0) {
      out += 'z';
      continue;
    }
    char digits[5];
    for (int k = 4; k >= 0; --k) {
      digits[k] = static_cast<char>('!' + word % 85);
      word /= 85;
    }
    out.append(digits, n + 1);
  }
  return out + "~>";
}

inline std::vector<uint8_t> to_vec(std::string_view s) {
  return {s.begin(), s.end()};
}

inline std::string to_str(const std::vector<uint8_t>& v) {
  return {v.begin(), v.end()};
}

} // namespace testenc
