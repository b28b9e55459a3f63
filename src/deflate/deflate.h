// The library's own zlib/deflate encoder, the counterpart of the decoder in inflate/inflate.h.
//
// Output is a zlib stream (RFC 1950): a two-byte header, deflate blocks (RFC 1951) and the
// Adler-32 of the input. Speed comes first: a greedy LZ77 parse over short hash chains, and
// per block the smallest of a stored, fixed-code or dynamic-code block. Memory is fixed (about
// 0.6 MiB per encoder) whatever the input's size. Output is deterministic: the same input gives
// the same bytes on every run and host, however the input is split into pieces.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace deflate {

struct deflate_state;

// Compresses a stream fed in pieces. `add` the pieces in order, then `finish`; each call
// appends the compressed bytes ready so far to the caller's `out` (a call may append nothing,
// and the pieces of output need not go to the same vector). After `finish` the encoder starts
// a new stream with the next `add`, reusing its memory.
//
// Calls return false when memory runs out (or when a block outgrows its planned size, which
// would be a fault of the encoder); the stream is then abandoned (its bytes in `out` are
// unusable) and the next call starts a new one.
class deflate_encoder {
public:
  deflate_encoder() noexcept;
  ~deflate_encoder();
  deflate_encoder(const deflate_encoder&) = delete;
  deflate_encoder& operator=(const deflate_encoder&) = delete;

  bool add(std::span<const uint8_t> piece, std::vector<uint8_t>& out) noexcept;
  bool finish(std::vector<uint8_t>& out) noexcept;

private:
  std::unique_ptr<deflate_state> state_;
};

// Compresses `in` as one zlib stream appended to `out`. False when memory runs out.
bool deflate_compress(std::span<const uint8_t> in, std::vector<uint8_t>& out) noexcept;

// The Adler-32 checksum of `data` continued from `adler` (1 for an empty start).
uint32_t adler32(uint32_t adler, std::span<const uint8_t> data);

} // namespace deflate
