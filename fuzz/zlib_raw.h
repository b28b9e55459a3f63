// The system zlib as an oracle for the fuzz targets and the seed writer. Kept in its own
// translation unit because <zlib.h> declares a global function named `inflate`, which cannot
// share a translation unit with the library's `inflate` namespace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zlib_raw {

// Raw deflate data (no zlib wrapper) inflated by zlib as far as it goes. `ended` is set
// when the final block was reached, `malformed` when zlib met invalid data; neither when the
// input ran out first or the output passed `limit`.
struct result {
  std::vector<uint8_t> out;
  bool ended = false;
  bool malformed = false;
  bool invalid_code = false; // malformed: a literal/length or distance code that has no symbol
  size_t left = 0;           // input bytes zlib had not taken when it stopped
};
result inflate_raw(const uint8_t* src, size_t len, size_t limit);

// One zlib stream of `in` at compression `level` (0 to 9) with `strategy` (Z_DEFAULT_STRATEGY
// is 0, Z_FILTERED 1, Z_HUFFMAN_ONLY 2, Z_RLE 3, Z_FIXED 4).
std::vector<uint8_t> compress(const std::vector<uint8_t>& in, int level, int strategy);

} // namespace zlib_raw
