// Canonical Huffman codes of the deflate decoder: building a code from its lengths and
// decoding one symbol with it.
#pragma once

#include "inflate/inflate_bits.h"

#include <cstdint>

namespace inflate {

// Deflate codes are at most 15 bits long.
inline constexpr int max_bits = 15;

// One slot of a code's lookup table, indexed by the next `fast_bits` input bits. A code of
// `length` bits fills every slot whose low `length` bits are that code, so one lookup finds
// it. `length` 0 marks input bits that begin no code of up to `fast_bits` bits.
struct fast_entry {
  uint16_t symbol;
  uint8_t length;
};

// A canonical code (the order of RFC 1951, section 3.2.2) and the lookup table of its short
// codes. The arrays belong to the caller; `construct` fills them.
struct huffman {
  int16_t* len_count; // [max_bits + 1]: symbols per code length; [0] counts uncoded symbols
  int16_t* symbols;   // coded symbols sorted by code length, then by symbol value
  fast_entry* fast;   // [1 << fast_bits]
  int fast_bits;
};

// Storage for one code of up to `Symbols` symbols with a `FastBits`-bit lookup table.
template <int Symbols, int FastBits> struct huffman_storage {
  int16_t len_count[max_bits + 1];
  int16_t symbols[Symbols];
  fast_entry fast[1 << FastBits];

  huffman view() { return {len_count, symbols, fast, FastBits}; }
};

// Builds `table` from the code lengths lengths[0..n) (each 0..15). Returns 0 for a complete
// code or when no symbol has a code, a negative number for an over-subscribed code (then the
// table is unusable), or the positive count of 15-bit code values left unassigned.
int construct(huffman& table, const int16_t* lengths, int n);

// Decodes a code longer than the lookup table covers, one bit at a time in canonical order.
int decode_long(bit_reader& in, const huffman& table);

// Decodes one symbol. Returns it, step_malformed when no code of up to 15 bits matches the
// input, or step_exhausted when the input ends before a code is complete (or, for input
// that matches no code, before 15 bits have been seen).
inline int decode(bit_reader& in, const huffman& table) {
  if (in.bit_count < max_bits) in.refill();
  const uint64_t index = in.bit_acc & ((uint64_t{1} << table.fast_bits) - 1);
  const fast_entry entry = table.fast[index];
  if (entry.length == 0) return decode_long(in, table);
  // After a refill, fewer bits than the code's length means the input ends inside the code.
  if (entry.length > in.bit_count) return step_exhausted;
  in.drop(entry.length);
  return entry.symbol;
}

} // namespace inflate
