// The deflate decoder on arbitrary zlib data. Counting and decoding must agree on the size,
// the exact size must be enough and one byte less too little, and whatever the system zlib
// decodes to the end must decode to the same bytes here (for data zlib finds malformed, the
// bytes before the fault).
#include "fuzz_check.h"
#include "inflate/inflate.h"
#include "zlib_raw.h"

#include <algorithm>
#include <vector>

namespace {

// Outputs past this are left to the counting checks (small inputs rarely get there).
constexpr size_t decode_limit = size_t{64} << 20;

bool header_usable(const uint8_t* data, size_t size) {
  return size >= 2 && (data[0] & 0x0f) == 8 && (data[1] & 0x20) == 0;
}

// Decodes into a buffer of exactly `cap` bytes, so that AddressSanitizer sees any write past it.
int decode(const uint8_t* data, size_t size, size_t cap, std::vector<uint8_t>& out) {
  out.assign(cap, 0);
  size_t produced = 12345;
  const int rc =
      inflate::inflate_decompress(data, size, cap ? out.data() : nullptr, cap, &produced);
  FUZZ_CHECK(rc == 0 || rc == -1, "result %d", rc);
  FUZZ_CHECK(rc == 0 || produced == 0, "failed call left out_len %zu", produced);
  FUZZ_CHECK(produced <= cap, "produced %zu past the capacity %zu", produced, cap);
  out.resize(rc == 0 ? produced : 0);
  return rc;
}

// Two differences are by design. This decoder reads a code that matches nothing up to 15
// bits before calling it malformed (zlib knows at once), so such a code near the end of the
// input is input running out here. And zlib reads an empty code-length code as 1-bit codes of
// length 0, running on where this decoder stops at once: then this decoder's output is a
// prefix of what zlib gave before running out.
void compare_with_zlib(const uint8_t* data, size_t size, int rc, const std::vector<uint8_t>& out) {
  const zlib_raw::result z = zlib_raw::inflate_raw(data + 2, size - 2, decode_limit);
  if (z.malformed && z.invalid_code && z.left <= 2 && rc != 0) return;
  if (z.ended || z.malformed) {
    FUZZ_CHECK(rc == 0, "zlib %s after %zu bytes, this decoder failed",
               z.ended ? "reached the end" : "found malformed data", z.out.size());
    FUZZ_CHECK(out.size() == z.out.size(), "%zu bytes here, %zu from zlib (%s)", out.size(),
               z.out.size(), z.ended ? "ended" : "malformed");
    FUZZ_CHECK(std::equal(out.begin(), out.end(), z.out.begin()), "bytes differ from zlib's");
  } else if (z.out.size() <= decode_limit && rc == 0) {
    FUZZ_CHECK(out.size() <= z.out.size() && std::equal(out.begin(), out.end(), z.out.begin()),
               "zlib ran out of input after %zu bytes, this decoder gave %zu others", z.out.size(),
               out.size());
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t counted = 777;
  const int counted_rc =
      inflate::inflate_decompress(data, size, inflate::count_only, inflate::max_capacity, &counted);
  FUZZ_CHECK(counted_rc == 0 || counted == 0, "failed count left out_len %zu", counted);

  std::vector<uint8_t> out;
  int rc = -1;
  if (counted_rc == 0 && counted <= decode_limit) {
    rc = decode(data, size, counted, out);
    FUZZ_CHECK(rc == 0 && out.size() == counted, "counted %zu, decoding into that room: rc %d",
               counted, rc);
    if (counted > 0) {
      std::vector<uint8_t> short_out;
      FUZZ_CHECK(decode(data, size, counted - 1, short_out) == -1, "%zu bytes fit in a room of %zu",
                 counted, counted - 1);
    }
  } else if (counted_rc != 0) {
    rc = decode(data, size, size * 4 + 1024, out);
    FUZZ_CHECK(rc == -1, "counting failed, decoding gave %zu bytes", out.size());
  }
  if (!header_usable(data, size)) {
    FUZZ_CHECK(counted_rc == -1, "unusable header accepted");
    return 0;
  }
  if (counted_rc != 0 || counted <= decode_limit) compare_with_zlib(data, size, rc, out);
  return 0;
}
