// Huffman codes of the deflate encoder: code lengths from symbol frequencies, no code longer
// than a limit, and the canonical codes of those lengths.
#pragma once

#include <cstdint>

namespace deflate {

// The most symbols a code has: the 286 literal/length symbols.
inline constexpr int huffman_max_symbols = 286;

// Sets lengths[0..n) (n at most huffman_max_symbols) for the frequencies freq[0..n): a
// Huffman code, shortened where needed so that no length exceeds max_length (at most 15, and
// 2^max_length at least n). The code is always complete; symbols of frequency 0 get length 0,
// except that a code is given at least two symbols (one used symbol and symbol 0 or 1, or
// symbols 0 and 1 when none is used), because a decoder may refuse a code with one symbol.
// Ties are broken by symbol value, so the same frequencies always give the same lengths.
void huffman_lengths(const uint32_t* freq, int n, int max_length, uint8_t* lengths);

// The canonical code of each symbol for the lengths[0..n) (RFC 1951, section 3.2.2), with its
// bits reversed: deflate sends a code's first bit lowest, as the bit writer sends all bits.
void huffman_codes(const uint8_t* lengths, int n, uint16_t* codes);

} // namespace deflate
