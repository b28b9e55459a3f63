// FlateDecode as one stage of a filter chain: the library's inflater, with its output room
// grown to the size the data needs up to the inflater's limit.
#include "pdfmerge/pdfmerge_internal.h"

namespace pdfmerge {
namespace {

bool inflate_to(bytes src, std::vector<uint8_t>& out, size_t capacity) {
  const size_t at = out.size();
  out.resize(at + capacity);
  size_t produced = 0;
  const int rc =
      inflate::inflate_decompress(src.data(), src.size(), out.data() + at, capacity, &produced);
  out.resize(rc == 0 ? at + produced : at);
  return rc == 0;
}

} // namespace

bool flate_decode(bytes src, std::vector<uint8_t>& out, size_t limit) {
  const size_t room = limit > out.size() ? limit - out.size() : 0;
  const uint64_t first = src.size() * uint64_t{20} + 4096;
  if (first <= room && inflate_to(src, out, static_cast<size_t>(first))) return true;
  // Counting first finds the size a larger attempt needs, without reserving room for data
  // that does not inflate at all.
  size_t counted = 0;
  if (inflate::inflate_decompress(src.data(), src.size(), inflate::count_only,
                                  inflate::max_capacity, &counted) != 0 ||
      counted > room)
    return false;
  return inflate_to(src, out, counted > 0 ? counted : 1);
}

} // namespace pdfmerge
