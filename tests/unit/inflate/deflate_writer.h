// Test helper: writes deflate bit streams by hand, to craft well-formed and malformed blocks.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace deflate_writer {

// Canonical codes for the given code lengths, in the numbering deflate uses (section 3.2.2).
inline std::vector<uint32_t> canonical_codes(const std::vector<int>& lengths) {
  int count[16] = {};
  for (int length : lengths) count[length]++;
  count[0] = 0;
  uint32_t next[16] = {};
  uint32_t code = 0;
  for (int length = 1; length < 16; ++length) {
    code = (code + static_cast<uint32_t>(count[length - 1])) << 1;
    next[length] = code;
  }
  std::vector<uint32_t> codes(lengths.size(), 0);
  for (size_t symbol = 0; symbol < lengths.size(); ++symbol) {
    if (lengths[symbol] != 0) codes[symbol] = next[lengths[symbol]]++;
  }
  return codes;
}

// One Huffman code for writing: lengths per symbol and their canonical codes.
struct code_table {
  std::vector<int> lengths;
  std::vector<uint32_t> codes;

  explicit code_table(std::vector<int> code_lengths)
      : lengths(std::move(code_lengths)), codes(canonical_codes(lengths)) {}
};

class bit_writer {
public:
  // Starts with a zlib header: deflate with a 32 KiB window, check value a multiple of 31.
  static bit_writer with_header(uint8_t cmf = 0x78, uint8_t flg = 0x9c) {
    bit_writer w;
    w.bytes_.push_back(cmf);
    w.bytes_.push_back(flg);
    return w;
  }

  // `count` bits of `value`, least significant first (header fields and extra bits).
  void put(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) put_bit((value >> i) & 1);
  }

  // A Huffman code of `length` bits, most significant bit first.
  void put_code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) put_bit((code >> i) & 1);
  }

  void put_symbol(const code_table& table, int symbol) {
    put_code(table.codes[static_cast<size_t>(symbol)], table.lengths[static_cast<size_t>(symbol)]);
  }

  void block_header(bool final_block, int type) {
    put(final_block ? 1 : 0, 1);
    put(static_cast<uint32_t>(type), 2);
  }

  // Pads to a byte boundary with zero bits.
  void align() { bit_pos_ = 0; }

  // A stored block with the given bytes; `nlen_xor` spoils the NLEN field when not 0.
  void stored_block(bool final_block, std::string_view data, uint16_t nlen_xor = 0) {
    block_header(final_block, 0);
    align();
    const auto len = static_cast<uint16_t>(data.size());
    const auto nlen = static_cast<uint16_t>(~len ^ nlen_xor);
    raw_byte(len & 0xff);
    raw_byte(len >> 8);
    raw_byte(nlen & 0xff);
    raw_byte(nlen >> 8);
    for (char c : data) raw_byte(static_cast<uint8_t>(c));
  }

  // Symbols of the fixed literal/length code (0..287) and fixed distance code (0..31).
  void fixed_symbol(int symbol) {
    if (symbol < 144)
      put_code(0x30 + static_cast<uint32_t>(symbol), 8);
    else if (symbol < 256)
      put_code(0x190 + static_cast<uint32_t>(symbol - 144), 9);
    else if (symbol < 280)
      put_code(static_cast<uint32_t>(symbol - 256), 7);
    else
      put_code(0xc0 + static_cast<uint32_t>(symbol - 280), 8);
  }
  void fixed_distance_symbol(int symbol) { put_code(static_cast<uint32_t>(symbol), 5); }

  void fixed_literals(std::string_view text) {
    for (char c : text) fixed_symbol(static_cast<uint8_t>(c));
  }

  // A match in a fixed block: length 3..258, distance 1..32768.
  void fixed_match(int length, int distance) {
    const auto [lsym, lextra, lbits] = length_code(length);
    fixed_symbol(lsym);
    put(lextra, lbits);
    const auto [dsym, dextra, dbits] = distance_code(distance);
    fixed_distance_symbol(dsym);
    put(dextra, dbits);
  }

  // A match in a dynamic block with the block's own codes.
  void match(const code_table& lit, const code_table& dist, int length, int distance) {
    const auto [lsym, lextra, lbits] = length_code(length);
    put_symbol(lit, lsym);
    put(lextra, lbits);
    const auto [dsym, dextra, dbits] = distance_code(distance);
    put_symbol(dist, dsym);
    put(dextra, dbits);
  }

  // A dynamic block header sending `lit` and `dist` lengths with a plain code-length code in
  // which symbols 0..15 all have 4-bit codes (no run-length codes).
  void dynamic_header(bool final_block, const std::vector<int>& lit, const std::vector<int>& dist) {
    std::vector<int> cl(19, 0);
    for (int i = 0; i < 16; ++i) cl[static_cast<size_t>(i)] = 4;
    std::vector<std::pair<int, int>> ops;
    for (int length : lit) ops.emplace_back(length, 0);
    for (int length : dist) ops.emplace_back(length, 0);
    dynamic_header_raw(final_block, static_cast<int>(lit.size()) - 257,
                       static_cast<int>(dist.size()) - 1, 15, cl, ops);
  }

  // A dynamic block header with every field given: HLIT, HDIST, HCLEN, the 19 code-length
  // code lengths (by symbol; only the first hclen + 4 in transmission order are sent), and
  // the code-length symbols with their extra-bit values.
  void dynamic_header_raw(bool final_block, int hlit, int hdist, int hclen,
                          const std::vector<int>& cl_lengths,
                          const std::vector<std::pair<int, int>>& ops) {
    static constexpr int order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                      11, 4,  12, 3, 13, 2, 14, 1, 15};
    block_header(final_block, 2);
    put(static_cast<uint32_t>(hlit), 5);
    put(static_cast<uint32_t>(hdist), 5);
    put(static_cast<uint32_t>(hclen), 4);
    for (int i = 0; i < hclen + 4; ++i) {
      put(static_cast<uint32_t>(cl_lengths[static_cast<size_t>(order[i])]), 3);
    }
    const code_table cl(cl_lengths);
    for (const auto& [symbol, extra] : ops) {
      put_symbol(cl, symbol);
      if (symbol == 16) put(static_cast<uint32_t>(extra), 2);
      if (symbol == 17) put(static_cast<uint32_t>(extra), 3);
      if (symbol == 18) put(static_cast<uint32_t>(extra), 7);
    }
  }

  // Appends whole bytes after padding the current one (a trailer, or any garbage).
  void append_bytes(std::initializer_list<uint8_t> more) {
    align();
    for (uint8_t b : more) raw_byte(b);
  }

  std::vector<uint8_t> bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }

private:
  struct coded {
    int symbol;
    uint32_t extra;
    int extra_bits;
  };

  static coded length_code(int length) {
    static constexpr int base[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                     15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                     67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr int extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    int i = 28;
    while (base[i] > length) --i;
    return {257 + i, static_cast<uint32_t>(length - base[i]), extra[i]};
  }

  static coded distance_code(int distance) {
    static constexpr int base[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                     33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                     1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static constexpr int extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int i = 29;
    while (base[i] > distance) --i;
    return {i, static_cast<uint32_t>(distance - base[i]), extra[i]};
  }

  void put_bit(uint32_t bit) {
    if (bit_pos_ == 0) bytes_.push_back(0);
    bytes_.back() = static_cast<uint8_t>(bytes_.back() | (bit << bit_pos_));
    bit_pos_ = (bit_pos_ + 1) & 7;
  }

  void raw_byte(uint32_t b) { bytes_.push_back(static_cast<uint8_t>(b)); }

  std::vector<uint8_t> bytes_;
  int bit_pos_ = 0; // next bit within the last byte; 0 means a new byte starts
};

} // namespace deflate_writer
