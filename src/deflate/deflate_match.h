// The LZ77 step of the deflate encoder: the input window, its hash chains, and the greedy
// parse of the input into literals and matches.
#pragma once

#include "deflate/deflate_bits.h"
#include "deflate/deflate_block.h"

#include <cstdint>

namespace deflate {

// Bytes of input held at once: the 32 KiB a match may reach back, and the text ahead of it.
// The more ahead, the rarer the slides that move the last 32 KiB to the front (a copy of
// 32 KiB), and a slide also ends the block.
inline constexpr uint32_t window_capacity = 1u << 18;

// A position is coded only with 258 bytes after it (a longest match) and 3 more, or at the end
// of the input, so that neither its match nor what it adds to the hash chains depends on how
// much more input has arrived: the positions a match adds need their four hashed bytes held,
// and the last position of a longest match has its last three beyond the match.
inline constexpr uint32_t window_lookahead = deflate_max_match + 3;

// The last position that may be coded before the window must slide.
inline constexpr uint32_t window_slide_at = window_capacity - window_lookahead;

// Hash chains over the 4 bytes at each position: `head` holds the latest position of each
// hash value, `prev` the position before it with the same hash, indexed by position modulo
// 32 KiB (positions further back are out of reach). 2^15 heads keep both tables at 128 KiB.
inline constexpr int hash_bits = 15;

// The tables hold stamps, not indexes: the stamp of the byte at index i is `base` + i. A slide
// adds the distance moved to `base`, and a new stream starts `base` past every stamp given
// so far; so neither touches the tables, and a stamp below base + (pos - 32768) is out of
// reach or from an earlier stream. Only when stamps near 2^32 (after some 4 GB of input) are
// the tables renumbered, which changes no decision. `prev` is indexed by stamp modulo 32 KiB.
inline constexpr uint32_t window_base_max = 0xffffffffu - 2 * window_capacity;

struct match_window {
  uint8_t bytes[window_capacity];
  uint32_t head[1u << hash_bits] = {};
  uint32_t prev[deflate_max_distance] = {};
  uint32_t base = 1; // stamp of bytes[0]; 0 in the tables means "none"
  uint32_t fill = 0; // bytes held
  uint32_t pos = 0;  // next position to code

  // Forgets all input, for a new stream.
  void reset();

  // Moves the last 32 KiB before `pos`, and everything after it, to the front; returns the
  // distance moved, to be taken off every position the caller keeps.
  uint32_t slide();
};

// Codes positions from w.pos on as literals and matches into `block` until `end` is passed
// or the block is full. Matches reach at most to w.fill; the caller sets `end` so that every
// position before it has window_lookahead bytes after it, or the input has ended.
void lz77_parse(match_window& w, block_symbols& block, uint32_t end);

} // namespace deflate
