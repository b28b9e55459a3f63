#include "inflate/inflate_huffman.h"

#include <algorithm>
#include <cstring>

namespace inflate {
namespace {

// The `length`-bit code `code` with its bits in reverse order: deflate sends a code's most
// significant bit first, while the lookup index holds the first input bit lowest.
unsigned reversed(unsigned code, int length) {
  unsigned out = 0;
  for (int i = 0; i < length; ++i) {
    out = (out << 1) | (code & 1);
    code >>= 1;
  }
  return out;
}

// Fills the lookup table with every code of up to fast_bits bits; the other slots stay 0.
void fast_fill(huffman& table) {
  const unsigned slots = 1u << table.fast_bits;
  std::memset(table.fast, 0, slots * sizeof(fast_entry));
  unsigned first = 0; // first code of the current length
  int index = 0;      // position of that code's symbol in `symbols`
  for (int length = 1; length <= table.fast_bits; ++length) {
    const int count = table.len_count[length];
    for (int k = 0; k < count; ++k) {
      const fast_entry entry{static_cast<uint16_t>(table.symbols[index + k]),
                             static_cast<uint8_t>(length)};
      for (unsigned slot = reversed(first + k, length); slot < slots; slot += 1u << length) {
        table.fast[slot] = entry;
      }
    }
    index += count;
    first = (first + count) << 1;
  }
}

} // namespace

int construct(huffman& table, const int16_t* lengths, int n) {
  std::fill_n(table.len_count, max_bits + 1, int16_t{0});
  for (int symbol = 0; symbol < n; ++symbol) table.len_count[lengths[symbol]]++;
  if (table.len_count[0] == n) {
    // No symbol has a code: every lookup must fail.
    std::memset(table.fast, 0, (1u << table.fast_bits) * sizeof(fast_entry));
    return 0;
  }

  // Each length doubles the code values available and uses up len_count[length] of them.
  int left = 1;
  for (int length = 1; length <= max_bits; ++length) {
    left = left * 2 - table.len_count[length];
    if (left < 0) return left;
  }

  int16_t offset[max_bits + 1];
  offset[1] = 0;
  for (int length = 1; length < max_bits; ++length) {
    offset[length + 1] = static_cast<int16_t>(offset[length] + table.len_count[length]);
  }
  for (int symbol = 0; symbol < n; ++symbol) {
    if (lengths[symbol] != 0)
      table.symbols[offset[lengths[symbol]]++] = static_cast<int16_t>(symbol);
  }
  fast_fill(table);
  return left;
}

int decode_long(bit_reader& in, const huffman& table) {
  // Walk the canonical code one bit at a time: the codes of each length are consecutive
  // numbers starting at `first`, and their symbols start at `index` in `symbols`.
  const int available = std::min(in.bit_count, max_bits);
  uint64_t input = in.bit_acc;
  int code = 0;
  int first = 0;
  int index = 0;
  for (int length = 1; length <= available; ++length) {
    code |= static_cast<int>(input & 1);
    input >>= 1;
    const int count = table.len_count[length];
    if (code - count < first) {
      in.drop(length);
      return table.symbols[index + (code - first)];
    }
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  // No code matched the bits there are: after all 15 bits the input is malformed; with fewer,
  // the input ended first.
  return available == max_bits ? step_malformed : step_exhausted;
}

} // namespace inflate
