// The deflate encoder's round trip on arbitrary data. Input: a piece-size byte, an options byte,
// then the payload. The payload (repeated with small changes when the options ask, so that the
// window slides) is encoded at once and in pieces by one reused encoder: both give the same
// bytes; those bytes are a zlib stream with a header any reader takes, no larger than stored
// blocks would make it, that this library's inflater reads whole (complete, up to its checksum,
// accepted as clean) and the system zlib inflates to its end, both to the payload.
#include "deflate/deflate.h"
#include "deflate/deflate_block.h"
#include "deflate/deflate_match.h"
#include "fuzz_check.h"
#include "inflate/inflate.h"
#include "pdfmerge/merge/merge.h"
#include "zlib_raw.h"

#include <algorithm>
#include <span>
#include <vector>

namespace {

using byte_vector = std::vector<uint8_t>;

// The payload, or `copies` copies of it with one byte changed in each, so that long inputs
// with distant matches come from short fuzz inputs.
byte_vector payload_of(std::span<const uint8_t> data, size_t copies) {
  byte_vector out;
  out.reserve(data.size() * copies);
  for (size_t c = 0; c < copies; ++c) {
    const size_t start = out.size();
    out.insert(out.end(), data.begin(), data.end());
    if (c > 0 && !data.empty()) out[start + c % data.size()] ^= static_cast<uint8_t>(c);
  }
  return out;
}

// Feeds `in` in pieces of `piece` bytes (with an empty piece between them when `empties`).
byte_vector in_pieces(deflate::deflate_encoder& encoder, const byte_vector& in, size_t piece,
                      bool empties) {
  byte_vector out;
  for (size_t at = 0; at < in.size(); at += piece) {
    const size_t n = std::min(piece, in.size() - at);
    FUZZ_CHECK(encoder.add(std::span(in).subspan(at, n), out), "add failed at %zu", at);
    if (empties) FUZZ_CHECK(encoder.add({}, out), "empty add failed at %zu", at);
  }
  FUZZ_CHECK(encoder.finish(out), "finish failed");
  return out;
}

void check_stream(const byte_vector& in, const byte_vector& z) {
  FUZZ_CHECK(z.size() >= 8, "stream of %zu bytes", z.size());
  FUZZ_CHECK((z[0] * 256 + z[1]) % 31 == 0 && (z[0] & 0x0f) == 8 && (z[0] >> 4) <= 7 &&
                 (z[1] & 0x20) == 0,
             "header %02x %02x", z[0], z[1]);
  const size_t blocks =
      in.size() / deflate::block_max_symbols + 1 + in.size() / (deflate::window_slide_at - 32768);
  FUZZ_CHECK(z.size() <= in.size() + 6 + 5 * blocks, "%zu bytes made %zu", in.size(), z.size());

  byte_vector out(in.size() + 1);
  size_t n = 0;
  inflate::inflate_end end;
  FUZZ_CHECK(inflate::inflate_decompress(z.data(), z.size(), out.data(), out.size(), &n, &end) == 0,
             "the inflater failed");
  out.resize(n);
  FUZZ_CHECK(out == in, "inflated %zu bytes, not the %zu encoded", n, in.size());
  FUZZ_CHECK(end.complete && end.src_used + 4 == z.size(), "ending: complete %d, used %zu of %zu",
             end.complete, end.src_used, z.size());
  const pdfmerge::flate_source source{pdfmerge::bytes(z.data(), z.size()), end};
  FUZZ_CHECK(pdfmerge::clean_zlib(source, pdfmerge::bytes(in.data(), in.size())).size() == z.size(),
             "the stream is not taken as clean");

  const zlib_raw::result r = zlib_raw::inflate_raw(z.data() + 2, z.size() - 2, in.size() + 1);
  FUZZ_CHECK(r.ended && !r.malformed, "zlib: ended %d, malformed %d", r.ended, r.malformed);
  FUZZ_CHECK(r.out == in, "zlib inflated %zu bytes, not the %zu encoded", r.out.size(), in.size());
  FUZZ_CHECK(r.left == 4, "zlib left %zu bytes after the blocks, not the checksum's 4", r.left);
  const uint32_t adler = deflate::adler32(1, in);
  const uint32_t stored = uint32_t{z[z.size() - 4]} << 24 | uint32_t{z[z.size() - 3]} << 16 |
                          uint32_t{z[z.size() - 2]} << 8 | z[z.size() - 1];
  FUZZ_CHECK(stored == adler, "checksum %08x, the data's %08x", stored, adler);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t piece = 1 + size_t{data[0]} * 97;
  const uint8_t opts = data[1];
  const byte_vector in =
      payload_of(std::span(data + 2, size - 2), 1 + static_cast<size_t>(opts >> 2) * 9);

  byte_vector once;
  FUZZ_CHECK(deflate::deflate_compress(in, once), "deflate_compress failed");
  check_stream(in, once);

  static deflate::deflate_encoder reused; // streams before this one must leave no trace
  const byte_vector pieces = in_pieces(reused, in, piece, (opts & 1) != 0);
  FUZZ_CHECK(pieces == once, "pieces of %zu gave %zu bytes, at once %zu", piece, pieces.size(),
             once.size());
  return 0;
}
