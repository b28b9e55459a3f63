// Predictors of /DecodeParms, undone after Flate or LZW: TIFF predictor 2 (each component
// is the difference from the same component of the pixel to its left) and the PNG row tags
// (None, Sub, Up, Average, Paeth) chosen row by row.
#include "pdfmerge/filters/filters.h"

#include <algorithm>
#include <cstdlib>

namespace pdfmerge {
namespace {

struct row_shape {
  size_t row_bytes = 0;
  size_t pixel_bytes = 0; // the left neighbour's distance, at least 1
};

bool shape_of(const predictor_parms& p, row_shape& s) {
  const bool bits_ok = p.bits == 1 || p.bits == 2 || p.bits == 4 || p.bits == 8 || p.bits == 16;
  if (!bits_ok || p.colors < 1 || p.colors > 32 || p.columns < 1 || p.columns > (1 << 24))
    return false;
  const auto pixel_bits = static_cast<size_t>(p.colors) * static_cast<size_t>(p.bits);
  s.row_bytes = (pixel_bits * static_cast<size_t>(p.columns) + 7) / 8;
  s.pixel_bytes = std::max<size_t>(1, (pixel_bits + 7) / 8);
  return true;
}

void undo_png(const row_shape& s, std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  out.reserve(data.size());
  size_t pos = 0;
  while (pos < data.size()) {
    const uint8_t tag = data[pos++];
    const size_t n = std::min(s.row_bytes, data.size() - pos);
    const size_t at = out.size();
    out.resize(at + n);
    const uint8_t* up = at >= s.row_bytes ? out.data() + at - s.row_bytes : nullptr;
    if (!inflate::png_row_restore(tag, data.data() + pos, n, up, s.pixel_bytes, out.data() + at)) {
      out.resize(at); // a bad tag ends the data before its row
      break;
    }
    pos += n;
  }
  data.swap(out);
}

uint32_t get_bits(const uint8_t* row, size_t bit, int32_t width) {
  const uint32_t byte = row[bit / 8];
  const auto shift = static_cast<uint32_t>(8 - width - static_cast<int32_t>(bit % 8));
  return (byte >> shift) & ((1u << width) - 1);
}

void put_bits(uint8_t* row, size_t bit, int32_t width, uint32_t v) {
  const auto shift = static_cast<uint32_t>(8 - width - static_cast<int32_t>(bit % 8));
  const uint32_t mask = ((1u << width) - 1) << shift;
  row[bit / 8] = static_cast<uint8_t>((row[bit / 8] & ~mask) | ((v << shift) & mask));
}

// TIFF predictor 2 over one row of whole pixels.
void undo_tiff_row(const predictor_parms& p, uint8_t* row, size_t n) {
  const auto colors = static_cast<size_t>(p.colors);
  if (p.bits == 8) {
    for (size_t k = colors; k < n; ++k) row[k] = static_cast<uint8_t>(row[k] + row[k - colors]);
  } else if (p.bits == 16) {
    for (size_t k = 2 * colors; k + 1 < n; k += 2) {
      const uint32_t v = (uint32_t{row[k]} << 8 | row[k + 1]) +
                         (uint32_t{row[k - 2 * colors]} << 8 | row[k - 2 * colors + 1]);
      row[k] = static_cast<uint8_t>(v >> 8);
      row[k + 1] = static_cast<uint8_t>(v);
    }
  } else {
    const auto width = static_cast<size_t>(p.bits);
    const size_t components = n * 8 / width;
    for (size_t k = colors; k < components; ++k) {
      const uint32_t v =
          get_bits(row, k * width, p.bits) + get_bits(row, (k - colors) * width, p.bits);
      put_bits(row, k * width, p.bits, v);
    }
  }
}

} // namespace

void apply_predictor(const predictor_parms& p, std::vector<uint8_t>& data) {
  if (p.predictor != 2 && (p.predictor < 10 || p.predictor > 15)) return;
  row_shape s;
  if (!shape_of(p, s)) {
    data.clear();
    return;
  }
  if (p.predictor >= 10) {
    undo_png(s, data);
    return;
  }
  for (size_t pos = 0; pos < data.size(); pos += s.row_bytes)
    undo_tiff_row(p, data.data() + pos, std::min(s.row_bytes, data.size() - pos));
}

} // namespace pdfmerge
