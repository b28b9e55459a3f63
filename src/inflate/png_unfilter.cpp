// Undoing PNG row predictors in place, one byte per pixel.
#include "inflate/inflate.h"

#include <cstdlib>
#include <cstring>

namespace inflate {
namespace {

uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  if (pb <= pc) return static_cast<uint8_t>(b);
  return static_cast<uint8_t>(c);
}

// Restores one row: raw[0..width) are the filtered bytes, out[0..width) receives the plain
// ones, `up` is the restored row above (nullptr on the first row, whose neighbours above
// count as 0). `out` lies before `raw` in the same buffer, so each raw byte is read before
// any write can reach it.
void row_unfilter(const uint8_t* raw, uint8_t* out, const uint8_t* up, size_t width,
                  uint8_t predictor) {
  for (size_t j = 0; j < width; ++j) {
    const int x = raw[j];
    const int a = j > 0 ? out[j - 1] : 0;
    const int b = up != nullptr ? up[j] : 0;
    const int c = up != nullptr && j > 0 ? up[j - 1] : 0;
    int prediction = 0;
    switch (predictor) {
    case 1:
      prediction = a;
      break;
    case 2:
      prediction = b;
      break;
    case 3:
      prediction = (a + b) / 2;
      break;
    case 4:
      prediction = paeth(a, b, c);
      break;
    default:
      break;
    }
    out[j] = static_cast<uint8_t>(x + prediction);
  }
}

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
    row_unfilter(input + 1, data + rows * width, up, width, input[0]);
  }
  leftovers_settle(data, len, width, rows);
  return result;
}

} // namespace inflate
