// Greedy parsing in the manner of fast deflate levels: at each position the hash chain of its
// first four bytes is searched for a few candidates, the longest match found is taken at once
// (no lazy evaluation), and only the positions inside short matches join the chains (of a
// long match, only its last one).
#include "deflate/deflate_match.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace deflate {
namespace {

// Candidates tried per position: few, for speed; most good matches are the latest ones.
// (Measured on page text: 4 candidates make the output 2 to 3 % smaller and the parse about
// a tenth more instructions.)
constexpr int max_chain = 2;
// A match this long ends the search: a longer one would save little.
constexpr uint32_t nice_length = 16;
// Positions inside a match of up to this length join the hash chains; inside longer matches
// they are skipped, which saves most of the work on repetitive input.
constexpr uint32_t max_insert = 6;
// The shortest match taken: the hash covers four bytes, so shorter ones are not searched.
constexpr uint32_t min_length = 4;

// Little-endian loads, so that hashes, and with them the output, are the same on every host.
uint32_t load_le32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  if constexpr (std::endian::native == std::endian::big) {
    v = (v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24);
  }
  return v;
}

uint64_t load_le64(const uint8_t* p) {
  return uint64_t{load_le32(p)} | uint64_t{load_le32(p + 4)} << 32;
}

uint32_t hash4(const uint8_t* p) {
  return (load_le32(p) * 0x9e3779b1u) >> (32 - hash_bits);
}

// Number of equal bytes at a and b, at most `limit`; reads nothing past a + limit, b + limit.
uint32_t common_length(const uint8_t* a, const uint8_t* b, uint32_t limit) {
  uint32_t n = 0;
  while (n + 8 <= limit) {
    const uint64_t diff = load_le64(a + n) ^ load_le64(b + n);
    if (diff != 0) return n + static_cast<uint32_t>(std::countr_zero(diff)) / 8;
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

struct found {
  uint32_t length; // below min_length: no match
  uint32_t distance;
};

// The longest match for `pos` among the first max_chain candidates of its chain, starting at
// the stamp `candidate`; `limit` (min_length or more) is the most bytes a match may cover.
found longest_match(const match_window& w, uint32_t pos, uint32_t candidate, uint32_t limit) {
  const uint32_t lowest = w.base + (pos > deflate_max_distance ? pos - deflate_max_distance : 0);
  const uint8_t* here = w.bytes + pos;
  found best{min_length - 1, 0};
  // Chains run to lower stamps, each inserted before the one that points to it.
  for (int tries = max_chain; tries > 0 && candidate >= lowest; --tries) {
    const uint32_t at = candidate - w.base;
    const uint8_t* there = w.bytes + at;
    // best.length < limit here, so both bytes compared lie within the input held.
    if (there[best.length] == here[best.length]) {
      const uint32_t length = common_length(there, here, limit);
      if (length > best.length) {
        best = {length, pos - at};
        if (length >= nice_length || length == limit) break;
      }
    }
    // The current position's own entry may have replaced that of the one exactly 32 KiB
    // back; it points forward, and ends the search.
    const uint32_t next = w.prev[candidate % deflate_max_distance];
    if (next >= candidate) break;
    candidate = next;
  }
  return best;
}

void insert(match_window& w, uint32_t pos) {
  const uint32_t h = hash4(w.bytes + pos);
  const uint32_t stamp = w.base + pos;
  w.prev[stamp % deflate_max_distance] = w.head[h];
  w.head[h] = stamp;
}

// Moves `base` on by `by` (a new stream or a slide). Near 2^32 the stamps are renumbered:
// lowered by a multiple of 32 KiB, so that each keeps its slot in `prev`, with the new base
// between 1 and 32 KiB; stamps below the new base become 0. Either way they are out of reach.
void advance_base(match_window& w, uint32_t by) {
  const uint32_t next_base = w.base + by;
  if (next_base <= window_base_max) {
    w.base = next_base;
    return;
  }
  const uint32_t lower_by = (next_base - 1) & ~(deflate_max_distance - 1);
  for (uint32_t& v : w.head) v = v >= next_base ? v - lower_by : 0;
  for (uint32_t& v : w.prev) v = v >= next_base ? v - lower_by : 0;
  w.base = next_base - lower_by;
}

} // namespace

void match_window::reset() {
  advance_base(*this, fill);
  fill = 0;
  pos = 0;
}

uint32_t match_window::slide() {
  const uint32_t moved = pos - deflate_max_distance;
  std::memmove(bytes, bytes + moved, fill - moved);
  fill -= moved;
  pos -= moved;
  advance_base(*this, moved);
  return moved;
}

void lz77_parse(match_window& w, block_symbols& block, uint32_t end) {
  uint32_t pos = w.pos;
  while (pos < end && !block.full()) {
    const uint32_t left = w.fill - pos;
    if (left < min_length) {
      block.add_literal(w.bytes[pos++]); // the last bytes of the input
      continue;
    }
    const uint32_t h = hash4(w.bytes + pos);
    const uint32_t candidate = w.head[h];
    const uint32_t stamp = w.base + pos;
    w.prev[stamp % deflate_max_distance] = candidate;
    w.head[h] = stamp;
    const found match = longest_match(w, pos, candidate, std::min(left, deflate_max_match));
    if (match.length < min_length) {
      block.add_literal(w.bytes[pos++]);
      continue;
    }
    block.add_match(match.length, match.distance);
    const uint32_t next = pos + match.length;
    // Each inserted position needs its four hashed bytes held.
    const uint32_t last = std::min(next, w.fill - (min_length - 1));
    if (match.length <= max_insert) {
      for (++pos; pos < last; ++pos) insert(w, pos);
    } else if (next - 1 < last) {
      // The match's last position alone: a run continues from it at distance 1.
      insert(w, next - 1);
    }
    pos = next;
  }
  w.pos = pos;
}

} // namespace deflate
