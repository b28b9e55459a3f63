// Bit-level output of the deflate encoder and the symbol numbering of deflate's lengths and
// distances (RFC 1951, section 3.2.5).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace deflate {

inline constexpr int deflate_max_bits = 15;      // longest literal/length or distance code
inline constexpr int deflate_lit_codes = 286;    // literal/length symbols 0..285
inline constexpr int deflate_dist_codes = 30;    // distance symbols 0..29
inline constexpr int deflate_end_of_block = 256; // the literal/length symbol ending a block

inline constexpr uint32_t deflate_min_match = 3;
inline constexpr uint32_t deflate_max_match = 258;
inline constexpr uint32_t deflate_max_distance = 32768;

// A length or distance symbol with the extra bits that follow its code.
struct coded_value {
  int symbol; // 0..28 for lengths (add 257 for the literal/length symbol), 0..29 for distances
  int extra_bits;
  uint32_t extra;
};

// Length 3..258. Lengths 3..10 have a symbol each; above that every symbol covers 2^e
// consecutive lengths, four symbols per value of e; 258 has its own symbol.
constexpr coded_value length_code(uint32_t length) {
  const uint32_t v = length - 3;
  if (v < 8) return {static_cast<int>(v), 0, 0};
  if (length == deflate_max_match) return {28, 0, 0};
  const int top = std::bit_width(v) - 1; // 3..7
  const int extra_bits = top - 2;
  const int symbol = 4 * (top - 1) + static_cast<int>((v >> extra_bits) & 3);
  return {symbol, extra_bits, v & ((1u << extra_bits) - 1)};
}

// Distance 1..32768. Distances 1..4 have a symbol each; above that, two symbols per value of
// the extra-bit count.
constexpr coded_value distance_code(uint32_t distance) {
  const uint32_t v = distance - 1;
  if (v < 4) return {static_cast<int>(v), 0, 0};
  const int top = std::bit_width(v) - 1; // 2..14
  const int extra_bits = top - 1;
  const int symbol = 2 * top + static_cast<int>((v >> extra_bits) & 1);
  return {symbol, extra_bits, v & ((1u << extra_bits) - 1)};
}

// Extra-bit counts of the length symbols (257..285 less 257) and the distance symbols.
inline constexpr uint8_t length_extra_bits[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
inline constexpr uint8_t distance_extra_bits[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                    4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                    9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Bits written least significant first into a byte range the caller sized in advance.
//
// Whole bytes leave `acc` eight at a time with one unaligned store, so a store needs eight
// bytes of room even when fewer are final; the caller adds that slack to its size. A store
// that would pass `end` is not made and sets `overflow`: the caller's size was wrong.
// Between calls `count` stays below 32, so one call may add up to 32 bits.
struct bit_writer {
  uint8_t* out = nullptr; // next byte to write
  uint8_t* end = nullptr; // end of the room
  uint64_t acc = 0;       // pending bits, the first to write lowest
  int count = 0;          // number of pending bits
  bool overflow = false;

  void put(uint32_t bits, int n) {
    acc |= static_cast<uint64_t>(bits) << count;
    count += n;
    if (count >= 32) store_whole_bytes();
  }

  // Writes out every whole pending byte; fewer than 8 bits stay pending.
  void store_whole_bytes() {
    if (end - out < 8) {
      overflow = true;
      return;
    }
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, &acc, sizeof acc);
    } else {
      for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(acc >> (8 * i));
    }
    const int bytes = count >> 3;
    out += bytes;
    acc = bytes == 8 ? 0 : acc >> (8 * bytes);
    count &= 7;
  }

  // Pads with zero bits to a byte boundary and writes out everything pending.
  void align() {
    count = (count + 7) & ~7;
    store_whole_bytes();
  }
};

} // namespace deflate
