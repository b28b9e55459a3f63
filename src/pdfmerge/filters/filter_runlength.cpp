// RunLengthDecode: a length byte 0 to 127 copies the next length + 1 bytes, 129 to 255 repeats
// the next byte 257 - length times, and 128 ends the data.
#include "pdfmerge/filters/filters.h"

#include <algorithm>

namespace pdfmerge {

bool run_length_decode(bytes src, std::vector<uint8_t>& out, size_t limit) {
  size_t i = 0;
  while (i < src.size()) {
    const uint8_t len = src[i++];
    if (len == 128) break;
    if (len < 128) {
      // A run cut short by the end of the data keeps the bytes there are.
      const size_t n = std::min<size_t>(len + 1u, src.size() - i);
      if (out.size() + n > limit) return false;
      out.insert(out.end(), src.begin() + static_cast<std::ptrdiff_t>(i),
                 src.begin() + static_cast<std::ptrdiff_t>(i + n));
      i += n;
    } else {
      if (i >= src.size()) break;
      const size_t n = 257u - len;
      if (out.size() + n > limit) return false;
      out.insert(out.end(), n, src[i++]);
    }
  }
  return true;
}

} // namespace pdfmerge
