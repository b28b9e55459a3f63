#ifdef HAVE_SYSTEM_ZLIB
#include "zlib_oracle.h"

#include <zlib.h>

#include <algorithm>
#include <random>
#include <stdexcept>

namespace zlib_oracle {
namespace {

int zlib_strategy(strategy s) {
  switch (s) {
  case strategy::filtered:
    return Z_FILTERED;
  case strategy::huffman_only:
    return Z_HUFFMAN_ONLY;
  case strategy::rle:
    return Z_RLE;
  case strategy::fixed:
    return Z_FIXED;
  default:
    return Z_DEFAULT_STRATEGY;
  }
}

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

} // namespace

const char* strategy_name(strategy s) {
  switch (s) {
  case strategy::filtered:
    return "filtered";
  case strategy::huffman_only:
    return "Huffman only";
  case strategy::rle:
    return "RLE";
  case strategy::fixed:
    return "fixed";
  default:
    return "default strategy";
  }
}

std::vector<uint8_t> zlib_compress(const std::vector<uint8_t>& in, int level, strategy s,
                                   int window_bits) {
  z_stream z{};
  check(deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, zlib_strategy(s)) == Z_OK,
        "deflateInit2");
  std::vector<uint8_t> out(deflateBound(&z, in.size()) + 16);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  check(rc == Z_STREAM_END, "deflate");
  return out;
}

std::vector<uint8_t> zlib_compress_pieces(const std::vector<uint8_t>& in, uint32_t seed) {
  std::mt19937 rng(seed);
  z_stream z{};
  check(deflateInit(&z, 6) == Z_OK, "deflateInit");
  std::vector<uint8_t> out(deflateBound(&z, in.size()) * 2 + in.size() / 8 + 4096);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const strategy strategies[] = {strategy::default_strategy, strategy::filtered,
                                 strategy::huffman_only, strategy::rle, strategy::fixed};
  size_t pos = 0;
  bool ok = true;
  while (ok && pos < in.size()) {
    const size_t piece = std::min<size_t>(in.size() - pos, 1 + rng() % 20000);
    const int level = static_cast<int>(rng() % 10);
    ok = deflateParams(&z, level, zlib_strategy(strategies[rng() % 5])) == Z_OK;
    z.next_in = const_cast<Bytef*>(in.data() + pos);
    z.avail_in = static_cast<uInt>(piece);
    ok = ok && deflate(&z, rng() % 2 ? Z_SYNC_FLUSH : Z_FULL_FLUSH) == Z_OK && z.avail_in == 0;
    pos += piece;
  }
  ok = ok && deflate(&z, Z_FINISH) == Z_STREAM_END;
  out.resize(z.total_out);
  deflateEnd(&z);
  check(ok, "deflate in pieces");
  return out;
}

std::optional<std::vector<uint8_t>> zlib_decompress(const std::vector<uint8_t>& in) {
  z_stream z{};
  check(inflateInit(&z) == Z_OK, "inflateInit");
  std::vector<uint8_t> out(in.size() * 4 + 1024);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (z.total_out == out.size()) out.resize(out.size() * 2);
    z.next_out = out.data() + z.total_out;
    z.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - z.total_out, 1u << 30));
    rc = inflate(&z, Z_NO_FLUSH);
  }
  out.resize(z.total_out);
  const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  if (!whole) return std::nullopt;
  return out;
}

} // namespace zlib_oracle
#endif
