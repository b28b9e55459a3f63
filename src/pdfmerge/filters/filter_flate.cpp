// FlateDecode as one stage of a filter chain: the library's inflater, with its output room
// grown to the size the data needs up to the stage's limit.
#include "pdfmerge/filters/filters.h"

namespace pdfmerge {
namespace {

// Room at the end of a vector, given back when an attempt fails.
struct vector_room {
  std::vector<uint8_t>& out;
  size_t at;
  uint8_t* take(size_t cap) {
    out.resize(at + cap);
    return out.data() + at;
  }
  void keep(size_t produced) { out.resize(at + produced); }
  void drop() { out.resize(at); }
};

} // namespace

inflated flate_decode(bytes src, std::vector<uint8_t>& out, size_t limit) {
  vector_room room{out, out.size()};
  const size_t left = limit > out.size() ? limit - out.size() : 0;
  return inflate_sized(src, content_guess(src), left, room);
}

} // namespace pdfmerge
