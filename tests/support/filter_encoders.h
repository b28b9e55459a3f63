// Small encoders for the filters and predictors the library decodes, so that tests and the fuzz
// targets can build filtered data.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
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

inline uint8_t paeth_ref(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// PNG rows with the given tag on every row, from the plain rows.
inline std::vector<uint8_t> png_encode(const std::vector<uint8_t>& plain, size_t row, size_t bpp,
                                       uint8_t tag) {
  std::vector<uint8_t> out;
  for (size_t r = 0; r * row < plain.size(); ++r) {
    out.push_back(tag);
    for (size_t k = 0; k < row && r * row + k < plain.size(); ++k) {
      const size_t at = r * row + k;
      const int left = k >= bpp ? plain[at - bpp] : 0;
      const int up = r > 0 ? plain[at - row] : 0;
      const int corner = k >= bpp && r > 0 ? plain[at - row - bpp] : 0;
      const int pred = tag == 0   ? 0
                       : tag == 1 ? left
                       : tag == 2 ? up
                       : tag == 3 ? (left + up) / 2
                                  : paeth_ref(left, up, corner);
      out.push_back(static_cast<uint8_t>(plain[at] - pred));
    }
  }
  return out;
}

// TIFF predictor 2 over components of `bits` bits, `colors` to a pixel.
inline std::vector<uint8_t> tiff_encode(const std::vector<uint8_t>& plain, size_t row, int colors,
                                        int bits) {
  std::vector<uint8_t> out = plain;
  const auto value = [&](const std::vector<uint8_t>& d, size_t r, size_t k) -> uint32_t {
    if (bits == 16) return uint32_t{d[r * row + 2 * k]} << 8 | d[r * row + 2 * k + 1];
    const size_t bit = k * static_cast<size_t>(bits);
    return (d[r * row + bit / 8] >> (8 - bits - static_cast<int>(bit % 8))) & ((1u << bits) - 1);
  };
  const auto store = [&](size_t r, size_t k, uint32_t x) {
    if (bits == 16) {
      out[r * row + 2 * k] = static_cast<uint8_t>(x >> 8);
      out[r * row + 2 * k + 1] = static_cast<uint8_t>(x);
      return;
    }
    const size_t bit = k * static_cast<size_t>(bits);
    const int shift = 8 - bits - static_cast<int>(bit % 8);
    const uint32_t mask = ((1u << bits) - 1) << shift;
    uint8_t& byte = out[r * row + bit / 8];
    byte = static_cast<uint8_t>((byte & ~mask) | ((x << shift) & mask));
  };
  const size_t per_row = row * 8 / static_cast<size_t>(bits);
  for (size_t r = 0; r < plain.size() / row; ++r)
    for (size_t k = static_cast<size_t>(colors); k < per_row; ++k)
      store(r, k, value(plain, r, k) - value(plain, r, k - static_cast<size_t>(colors)));
  return out;
}

inline std::vector<uint8_t> to_vec(std::string_view s) {
  return {s.begin(), s.end()};
}

inline std::string to_str(const std::vector<uint8_t>& v) {
  return {v.begin(), v.end()};
}

} // namespace testenc
