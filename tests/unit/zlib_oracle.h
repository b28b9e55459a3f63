// Test oracle: compression with the system zlib. Kept in its own translation unit because
// <zlib.h> declares a global function named `inflate`, which cannot share a translation unit
// with the library's `inflate` namespace.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace zlib_oracle {

enum class strategy { default_strategy, filtered, huffman_only, rle, fixed };

const char* strategy_name(strategy s);

// One zlib stream of `in` made with deflateInit2 (memory level 8).
std::vector<uint8_t> zlib_compress(const std::vector<uint8_t>& in, int level, strategy s,
                                   int window_bits = 15);

// `in` compressed in pieces of random size, each ended by a sync or full flush, with a
// random change of level and strategy before each piece: many small blocks of every type,
// empty stored blocks among them.
std::vector<uint8_t> zlib_compress_pieces(const std::vector<uint8_t>& in, uint32_t seed);

// The data of one zlib stream as the system zlib decodes it, checking the header and the
// Adler-32 trailer; nullopt when zlib reports an error, the stream ends early, or bytes
// follow its end.
std::optional<std::vector<uint8_t>> zlib_decompress(const std::vector<uint8_t>& in);

} // namespace zlib_oracle
