// Test oracle: a deliberately plain decoder that reads the input one bit at a time and fetches
// a byte only when it needs a further bit, with the same tolerance rules as the library's
// decoder, and the per-row PNG predictor removal that moves the buffer once per row. The
// library's table-driven decoder and linear-time unfilter must agree with these on every
// input, including the bytes left in the output buffer when a call fails.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace inflate_reference {

struct input_exhausted {};

struct state {
  const uint8_t* src;
  uint32_t src_len;
  uint32_t src_pos;
  uint32_t bit_acc;
  int bit_count;
  uint8_t* dst; // nullptr: count only
  uint32_t dst_cap;
  uint32_t dst_len;
};

struct code {
  int16_t len_count[16];
  int16_t symbols[288];
};

inline int bits(state& s, int need) {
  while (s.bit_count < need) {
    if (s.src_pos == s.src_len) throw input_exhausted{};
    s.bit_acc |= static_cast<uint32_t>(s.src[s.src_pos++]) << s.bit_count;
    s.bit_count += 8;
  }
  const int value = static_cast<int>(s.bit_acc & ((1u << need) - 1));
  s.bit_acc >>= need;
  s.bit_count -= need;
  return value;
}

// Canonical decoding, one bit at a time; -10 when 15 bits match no code.
inline int decode(state& s, const code& h) {
  int value = 0;
  int first = 0;
  int index = 0;
  int length = 1;
  uint32_t pending = s.bit_acc; // bits of the current byte not yet looked at
  int left = s.bit_count;
  for (;;) {
    while (left > 0) {
      value |= static_cast<int>(pending & 1);
      pending >>= 1;
      --left;
      const int count = h.len_count[length];
      if (value - count < first) {
        s.bit_acc = pending;
        s.bit_count = (s.bit_count - length) & 7;
        return h.symbols[index + value - first];
      }
      index += count;
      first = (first + count) * 2;
      value *= 2;
      ++length;
    }
    if (length == 16) return -10;
    if (s.src_pos == s.src_len) throw input_exhausted{};
    pending = s.src[s.src_pos++];
    left = 16 - length < 8 ? 16 - length : 8;
  }
}

inline int construct(code& h, const int16_t* lengths, int n) {
  for (auto& c : h.len_count) c = 0;
  for (int i = 0; i < n; ++i) h.len_count[lengths[i]]++;
  if (h.len_count[0] == n) return 0;
  int left = 1;
  for (int length = 1; length < 16; ++length) {
    left = left * 2 - h.len_count[length];
    if (left < 0) return left;
  }
  int16_t offset[16] = {};
  for (int length = 1; length < 15; ++length) {
    offset[length + 1] = static_cast<int16_t>(offset[length] + h.len_count[length]);
  }
  for (int i = 0; i < n; ++i) {
    if (lengths[i] != 0) h.symbols[offset[lengths[i]]++] = static_cast<int16_t>(i);
  }
  return left;
}

inline int codes(state& s, const code& lencode, const code& distcode) {
  static constexpr int16_t lens[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
  static constexpr int16_t lext[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static constexpr int16_t dists[30] = {
      1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
      193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  static constexpr int16_t dext[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  for (;;) {
    int symbol = decode(s, lencode);
    if (symbol < 0) return symbol;
    if (symbol < 256) {
      if (s.dst != nullptr) {
        if (s.dst_len == s.dst_cap) return 1;
        s.dst[s.dst_len] = static_cast<uint8_t>(symbol);
      }
      s.dst_len++;
    } else if (symbol == 256) {
      return 0;
    } else {
      symbol -= 257;
      if (symbol >= 29) return -10;
      const uint32_t length = static_cast<uint32_t>(lens[symbol] + bits(s, lext[symbol]));
      const int dsym = decode(s, distcode);
      if (dsym < 0) return dsym;
      const uint32_t distance = static_cast<uint32_t>(dists[dsym] + bits(s, dext[dsym]));
      if (distance > s.dst_len) return -11;
      if (s.dst == nullptr) {
        s.dst_len += length;
      } else {
        if (s.dst_len + length > s.dst_cap) return 1;
        for (uint32_t i = 0; i < length; ++i, ++s.dst_len)
          s.dst[s.dst_len] = s.dst[s.dst_len - distance];
      }
    }
  }
}

inline int stored(state& s) {
  s.bit_acc = 0;
  s.bit_count = 0;
  if (s.src_pos + 4 > s.src_len) return 2;
  const uint32_t len = s.src[s.src_pos] | (s.src[s.src_pos + 1] << 8);
  if (s.src[s.src_pos + 2] != (~len & 0xff) || s.src[s.src_pos + 3] != ((~len >> 8) & 0xff))
    return -2;
  s.src_pos += 4;
  if (s.src_pos + len > s.src_len) return 2;
  if (s.dst == nullptr) {
    s.dst_len += len;
    s.src_pos += len;
    return 0;
  }
  if (s.dst_len + len > s.dst_cap) return 1;
  for (uint32_t i = 0; i < len; ++i) s.dst[s.dst_len++] = s.src[s.src_pos++];
  return 0;
}

inline int fixed(state& s) {
  code lencode{};
  code distcode{};
  int16_t lengths[288];
  for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  construct(lencode, lengths, 288);
  for (int i = 0; i < 30; ++i) lengths[i] = 5;
  construct(distcode, lengths, 30);
  return codes(s, lencode, distcode);
}

inline int dynamic(state& s) {
  static constexpr int16_t order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                        11, 4,  12, 3, 13, 2, 14, 1, 15};
  const int nlen = bits(s, 5) + 257;
  const int ndist = bits(s, 5) + 1;
  const int ncode = bits(s, 4) + 4;
  if (nlen > 286 || ndist > 30) return -3;
  int16_t lengths[316] = {};
  int index = 0;
  for (; index < ncode; ++index) lengths[order[index]] = static_cast<int16_t>(bits(s, 3));
  for (; index < 19; ++index) lengths[order[index]] = 0;
  code lencode{};
  code distcode{};
  if (construct(lencode, lengths, 19) != 0) return -4;
  index = 0;
  while (index < nlen + ndist) {
    int symbol = decode(s, lencode);
    if (symbol < 0) return symbol;
    if (symbol < 16) {
      lengths[index++] = static_cast<int16_t>(symbol);
      continue;
    }
    int16_t length = 0;
    if (symbol == 16) {
      if (index == 0) return -5;
      length = lengths[index - 1];
      symbol = 3 + bits(s, 2);
    } else if (symbol == 17) {
      symbol = 3 + bits(s, 3);
    } else {
      symbol = 11 + bits(s, 7);
    }
    if (index + symbol > nlen + ndist) return -6;
    while (symbol--) lengths[index++] = length;
  }
  if (lengths[256] == 0) return -9;
  int err = construct(lencode, lengths, nlen);
  if (err && (err < 0 || nlen != lencode.len_count[0] + lencode.len_count[1])) return -7;
  err = construct(distcode, lengths + nlen, ndist);
  if (err && (err < 0 || ndist != distcode.len_count[0] + distcode.len_count[1])) return -8;
  return codes(s, lencode, distcode);
}

// The same contract as inflate::inflate_decompress; dst nullptr selects counting.
inline int decompress(const uint8_t* src, size_t src_len, uint8_t* dst, size_t dst_cap,
                      size_t* out_len) {
  *out_len = 0;
  if (src_len < 2 || dst_cap > 0x40000000) return -1;
  if ((src[0] & 0x0f) != 8 || (src[1] & 0x20) != 0) return -1;
  state s{src + 2, static_cast<uint32_t>(src_len - 2), 0, 0, 0,
          dst,     static_cast<uint32_t>(dst_cap),     0};
  try {
    int last;
    do {
      last = bits(s, 1);
      const int type = bits(s, 2);
      const int err = type == 0 ? stored(s) : type == 1 ? fixed(s) : type == 2 ? dynamic(s) : -1;
      if (err < 0) break;
      if (err > 0) return -1;
    } while (!last);
  } catch (const input_exhausted&) {
    return -1;
  }
  *out_len = s.dst_len;
  return 0;
}

// PNG predictors removed row by row, moving the rest of the buffer down once per row.
inline int png_unfilter(uint8_t* data, size_t len, int32_t row_bytes) {
  if (row_bytes <= 0) return -1;
  const size_t width = static_cast<size_t>(row_bytes);
  if (len == 0 || len < width + 1) return 0;
  for (size_t i = 0; (i + 1) * (width + 1) <= len; ++i) {
    uint8_t* row = data + i * width;
    const uint8_t predictor = row[0];
    if (predictor > 4) return -1;
    std::memmove(row, row + 1, len - i * width - 1);
    const uint8_t* up = i > 0 ? row - width : nullptr;
    for (size_t j = 0; j < width; ++j) {
      const int a = j > 0 ? row[j - 1] : 0;
      const int b = up ? up[j] : 0;
      const int c = up && j > 0 ? up[j - 1] : 0;
      int prediction = 0;
      if (predictor == 1) prediction = a;
      if (predictor == 2) prediction = b;
      if (predictor == 3) prediction = (a + b) / 2;
      if (predictor == 4) {
        const int p = a + b - c;
        const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
        prediction = (pa <= pb && pa <= pc) ? a : (pb <= pc) ? b : c;
      }
      row[j] = static_cast<uint8_t>(row[j] + prediction);
    }
  }
  return 0;
}

} // namespace inflate_reference
