// Blocks of the deflate encoder: the literals and matches gathered for one block, and the
// writing of them as the smallest of a stored, a fixed-code or a dynamic-code block.
#pragma once

#include "deflate/deflate_bits.h"

#include <cstdint>
#include <span>

namespace deflate {

// Symbols per block. A block's codes fit its own statistics better the shorter it is, but
// each dynamic block carries its code description (some 60 to 90 bytes for text); 16384
// symbols keep that overhead below one percent of the block's size.
inline constexpr uint32_t block_max_symbols = 16384;

// The literals and matches of one block, in order, with the frequency of every
// literal/length and distance symbol (the end-of-block symbol not yet counted).
struct block_symbols {
  // A literal is its byte value; a match is its distance times 65536 plus its length.
  uint32_t items[block_max_symbols];
  uint32_t count = 0;
  uint32_t lit_freq[deflate_lit_codes] = {};
  uint32_t dist_freq[deflate_dist_codes] = {};

  bool full() const { return count == block_max_symbols; }

  void add_literal(uint8_t byte) {
    items[count++] = byte;
    lit_freq[byte]++;
  }

  void add_match(uint32_t length, uint32_t distance) {
    items[count++] = distance << 16 | length;
    lit_freq[257 + length_code(length).symbol]++;
    dist_freq[distance_code(distance).symbol]++;
  }

  void clear();
};

enum class block_kind { stored, fixed, dynamic };

// The dynamic codes of a block and the run-length coded description of their lengths.
struct dynamic_codes {
  uint8_t lit_len[deflate_lit_codes];
  uint16_t lit_code[deflate_lit_codes];
  uint8_t dist_len[deflate_dist_codes];
  uint16_t dist_code[deflate_dist_codes];
  int nlen;  // literal/length lengths sent: 257..286
  int ndist; // distance lengths sent: 1..30
  // The lengths sent, run-length coded: code-length symbols 0..18 with their extra values.
  uint8_t op_symbol[deflate_lit_codes + deflate_dist_codes];
  uint8_t op_extra[deflate_lit_codes + deflate_dist_codes];
  int nops;
  uint8_t cl_len[19];
  uint16_t cl_code[19];
  int ncl; // code-length code lengths sent: 4..19
};

// How one block is to be written, and its exact size.
struct block_plan {
  block_kind kind;
  uint64_t bits; // from the block header on, starting `bit_offset` bits into a byte
  dynamic_codes dynamic;
};

// Chooses the smallest kind for the symbols, which stand for `input_len` bytes of input, to
// be written `bit_offset` bits (0..7) into a byte; ties go to the simpler kind. A stored
// block of more than 65535 bytes is written as several.
void block_plan_make(const block_symbols& block, uint64_t input_len, int bit_offset,
                     block_plan& plan);

// Writes the block as planned (the final block when `last`); `input` is the text the symbols
// stand for. `out` must have room for plan.bits more bits plus its slack.
void block_write(const block_plan& plan, const block_symbols& block, std::span<const uint8_t> input,
                 bool last, bit_writer& out);

} // namespace deflate
