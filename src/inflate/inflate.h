// The library's own zlib/deflate decoder and the PNG row-predictor routine.
#pragma once

#include <cstddef>
#include <cstdint>

namespace inflate {

// The all-ones destination pointer: count the output bytes without storing them (the
// capacity still bounds the count).
inline uint8_t* const count_only = reinterpret_cast<uint8_t*>(~static_cast<uintptr_t>(0));

// The largest output capacity accepted (1 GiB).
inline constexpr size_t max_capacity = 0x40000000;

// How a successful decoding ended, for callers that must tell a whole stream from a tolerated
// fault: `complete` when the final block was read with nothing malformed before it, and
// `src_used` the input read up to then (header included, the last partly read byte counted).
// The Adler-32 trailer, if any, starts at src_used.
struct inflate_end {
  bool complete = false;
  size_t src_used = 0;
};

// Decodes the zlib-wrapped deflate data src[0..src_len) into dst (room for dst_cap bytes).
// Returns 0 with *out_len set to the bytes produced, or -1 (with *out_len 0) when the input
// runs out, the output does not fit, or the arguments or the two-byte header are unusable.
// Data that turns out malformed part-way succeeds with the bytes decoded before the fault.
// `end`, when given, receives how a successful call ended.
int inflate_decompress(const uint8_t* src, size_t src_len, uint8_t* dst, size_t dst_cap,
                       size_t* out_len, inflate_end* end = nullptr) noexcept;

// What inflating src would give within `limit` bytes (at most max_capacity), found without
// storing anything: the size when it fits, too_large when the output passes the limit, and
// unusable when the data runs out first or its header is unusable.
enum class measure { fits, too_large, unusable };
struct measured {
  measure result = measure::unusable;
  size_t size = 0;
};
measured inflate_measure(const uint8_t* src, size_t src_len, size_t limit) noexcept;

// Undoes PNG row predictors (types 0 to 4, one byte per pixel) in place: each input row is a
// predictor byte and row_bytes data bytes; the restored rows end up packed at the start.
// Returns 0, or -1 when row_bytes is not positive or a predictor byte is above 4.
int inflate_png_unfilter(uint8_t* data, size_t len, int32_t row_bytes) noexcept;

// Restores one PNG-filtered row of n bytes into row[0..n) from its filtered bytes in[0..n):
// tag 0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth, with the left neighbour bpp bytes back and `up`
// the restored row above (null for the first row, whose neighbours above count as 0). `row` may
// lie before `in` in one buffer: each input byte is read before its output byte is written.
// False for any other tag, before anything is written.
bool png_row_restore(uint8_t tag, const uint8_t* in, size_t n, const uint8_t* up, size_t bpp,
                     uint8_t* row) noexcept;

} // namespace inflate
