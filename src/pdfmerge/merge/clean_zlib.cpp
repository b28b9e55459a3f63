// Whether a Flate stream's stored bytes can be written again as they are, in place of its
// inflated data encoded anew.
#include "pdfmerge/merge/merge.h"

#include "deflate/deflate.h"

namespace pdfmerge {
namespace {

// A header that every zlib reader accepts: deflate, a window of at most 32 KiB, no preset
// dictionary and check bits that make it a multiple of 31. The inflater itself checks less.
bool strict_header(bytes z) {
  const uint8_t cmf = z[0];
  const uint8_t flg = z[1];
  return (cmf & 0x0f) == 8 && (cmf >> 4) <= 7 && (flg & 0x20) == 0 && (cmf * 256 + flg) % 31 == 0;
}

uint32_t big_endian32(bytes b) {
  return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | uint32_t{b[3]};
}

} // namespace

bytes clean_zlib(const flate_source& src, bytes decoded) noexcept {
  const bytes z = src.data;
  if (!src.end.complete || z.size() < 2 || src.end.src_used > z.size() ||
      z.size() - src.end.src_used < 4 || !strict_header(z))
    return {};
  const size_t end = src.end.src_used + 4;
  for (size_t i = end; i < z.size(); ++i)
    if (!is_pdf_ws(z[i])) return {};
  if (big_endian32(z.subspan(src.end.src_used, 4)) != deflate::adler32(1, decoded)) return {};
  return z.first(end);
}

} // namespace pdfmerge
