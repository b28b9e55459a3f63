#include "zlib_raw.h"

#include <string>
#include <zlib.h>

namespace zlib_raw {

result inflate_raw(const uint8_t* src, size_t len, size_t limit) {
  result r;
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return r;
  z.next_in = const_cast<Bytef*>(src);
  z.avail_in = static_cast<uInt>(len);
  uint8_t chunk[16384];
  for (;;) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    const int rc = inflate(&z, Z_NO_FLUSH);
    r.out.insert(r.out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    if (rc == Z_STREAM_END) {
      r.ended = true;
      break;
    }
    if (rc == Z_DATA_ERROR) {
      r.malformed = true;
      const std::string msg = z.msg ? z.msg : "";
      r.invalid_code = msg == "invalid distance code" || msg == "invalid literal/length code";
      break;
    }
    if (rc != Z_OK || r.out.size() > limit) break; // input ran out, or too much output
  }
  r.left = z.avail_in;
  inflateEnd(&z);
  return r;
}

std::vector<uint8_t> compress(const std::vector<uint8_t>& in, int level, int strategy) {
  z_stream z{};
  std::vector<uint8_t> out;
  if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return out;
  out.resize(deflateBound(&z, static_cast<uLong>(in.size())));
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

} // namespace zlib_raw
