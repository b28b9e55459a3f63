// Undoing PNG row predictors in place, one byte per pixel.
#include "inflate/inflate.h"

#include <cstdlib>
#include <cstring>

namespace inflate {
namespace {

// Leaves the bytes after the first `rows` restored rows as removing each of those rows'
// predictor bytes by moving the rest of the buffer down one byte would have left them: the
// unprocessed input follows the restored rows directly, and the `rows` bytes freed at the end
// all repeat the buffer's last byte (each move leaves the last byte where it was).
void leftovers_settle(uint8_t* data, size_t len, size_t width, size_t rows) {
  if (rows == 0) return;
  const uint8_t last = data[len - 1];
  const size_t consumed = rows * (width + 1);
  std::memmove(data + rows * width, data + consumed, len - consumed);
  std::memset(data + len - rows, last, rows);
}

} // namespace

bool png_row_restore(uint8_t tag, const uint8_t* in, size_t n, const uint8_t* up, size_t bpp,
                     uint8_t* row) noexcept {
  for (size_t k = 0; k < n; ++k) {
    const int left = k >= bpp ? row[k - bpp] : 0;
    const int above = up ? up[k] : 0;
    const int corner = k >= bpp && up ? up[k - bpp] : 0;
    int pred = 0;
    switch (tag) {
    case 0:
      break;
    case 1:
      pred = left;
      break;
    case 2:
      pred = above;
      break;
    case 3:
      pred = (left + above) / 2;
      break;
    case 4: { // Paeth: the neighbour nearest to left + above - corner, ties in that order
      const int p = left + above - corner;
      const int pa = std::abs(p - left);
      const int pb = std::abs(p - above);
      const int pc = std::abs(p - corner);
      pred = pa <= pb && pa <= pc ? left : pb <= pc ? above : corner;
      break;
    }
    default:
      return false;
    }
    row[k] = static_cast<uint8_t>(in[k] + pred);
  }
  return true;
}

int inflate_png_unfilter(uint8_t* data, size_t len, int32_t row_bytes) noexcept {
  if (row_bytes <= 0) return -1;
  const size_t width = static_cast<size_t>(row_bytes);
  if (len == 0 || len < width + 1) return 0;
  if (data == nullptr) return -1;

  // Rows are restored front to back into their packed places; a packed row always starts
  // before its input row, so no input byte is overwritten before it has been read.
  const size_t whole_rows = len / (width + 1);
  size_t rows = 0;
  int result = 0;
  for (; rows < whole_rows; ++rows) {
    const uint8_t* input = data + rows * (width + 1);
    if (input[0] > 4) {
      result = -1; // this row stays as it is, its predictor byte first
      break;
    }
    const uint8_t* up = rows > 0 ? data + (rows - 1) * width : nullptr;
    // The packed row lies before its input row, so each input byte is read before any write
    // can reach it.
    png_row_restore(input[0], input + 1, width, up, 1, data + rows * width);
  }
  leftovers_settle(data, len, width, rows);
  return result;
}

} // namespace inflate
