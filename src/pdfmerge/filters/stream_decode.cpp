// The data of a stream object inflated in place when Flate is its only filter.
#include "pdfmerge/filters/filters.h"

namespace pdfmerge {
namespace {

// Room after the content of a buffer that keeps a NUL after its bytes.
struct buf_room {
  buf& out;
  uint64_t start;
  uint8_t* take(size_t cap) {
    buf_reserve(out, cap);
    return out.data ? out.data.get() + start : nullptr;
  }
  void keep(size_t produced) {
    out.len = start + produced;
    out.data.get()[out.len] = 0;
  }
  void drop() {}
};

} // namespace

std::optional<bytes> inflate_stream(bytes src, buf& out, size_t limit, bool& too_large,
                                    inflate::inflate_end* end) {
  buf_room room{out, out.len};
  const inflated got = inflate_sized(src, content_guess(src), limit, room, end);
  if (got == inflated::too_large) too_large = true;
  if (got != inflated::ok) return std::nullopt;
  return bytes(out.data.get() + room.start, out.len - room.start);
}

} // namespace pdfmerge
