// The data of a stream object inflated in place when Flate is its only filter.
#include "inflate/inflate.h"
#include "pdfmerge/pdfmerge_internal.h"

namespace pdfmerge {
namespace {

// Inflates src into the room after out's content with the given capacity. True on success, with
// out.len grown by the bytes produced and a NUL after them.
bool inflate_into(bytes src, buf& out, uint64_t capacity, size_t& produced) {
  buf_reserve(out, capacity);
  if (!out.data) return false;
  produced = 0;
  uint8_t* room = out.data.get() + out.len;
  if (inflate::inflate_decompress(src.data(), src.size(), room, static_cast<size_t>(capacity),
                                  &produced) != 0)
    return false;
  out.len += produced;
  out.data.get()[out.len] = 0;
  return true;
}

// How many bytes src inflates to, or nothing when it does not inflate within the limit.
std::optional<uint64_t> inflated_size(bytes src) {
  size_t counted = 0;
  if (inflate::inflate_decompress(src.data(), src.size(), inflate::count_only,
                                  inflate::max_capacity, &counted) != 0)
    return std::nullopt;
  if (counted > inflate::max_capacity) return std::nullopt;
  return counted;
}

} // namespace

std::optional<bytes> inflate_stream(bytes src, buf& out) {
  const uint64_t start = out.len;
  // Typical pages inflate within twenty to one. When one does not fit, the capacity grows
  // fourfold up to the inflater's limit; counting first finds the size that such a retry
  // would reach without trying every step, and without reserving room for data that does
  // not inflate at all.
  uint64_t capacity = src.size() * uint64_t{20} + 4096;
  size_t produced = 0;
  if (capacity <= inflate::max_capacity && inflate_into(src, out, capacity, produced))
    return bytes(out.data.get() + start, produced);
  if (!out.data) return std::nullopt;
  std::optional<uint64_t> size = inflated_size(src);
  if (!size) return std::nullopt;
  capacity = *size > 0 ? *size : 1;
  if (!inflate_into(src, out, capacity, produced)) return std::nullopt;
  return bytes(out.data.get() + start, produced);
}

} // namespace pdfmerge
