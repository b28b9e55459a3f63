// The content-stream decoders and the predictors, one picked by the first input byte:
//   byte 0 % 7: 0 LZW, 1 ASCIIHex, 2 ASCII85, 3 RunLength, 4 Flate as a chain stage,
//               5 the /DecodeParms predictors, 6 the inflater's PNG row routine;
//               byte 0 / 7 is a variant (LZW: the /EarlyChange value);
//   byte 1: decoders: bits 0-2 how many bytes `out` already holds, bits 3-7 the output
//           limit (0: the default); predictors: the predictor and the PNG tag, see below;
//   the rest: the payload.
// Each decoder decodes the payload as it is (within its limit, never touching the bytes
// already in `out`), and decodes the payload's own encoding back to the payload. The
// predictors undo the payload as it is, and undo the payload's own prediction back to it.
#include "filter_encoders.h"
#include "fuzz_check.h"
#include "pdfmerge/filters/filters.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace pdfmerge;
using vec = std::vector<uint8_t>;

namespace {

constexpr uint8_t prefix_byte = 0xAB;

struct decoder_case {
  size_t prefix;
  size_t limit;
};

decoder_case decoder_case_of(uint8_t opts) {
  const size_t prefix = opts & 7u;
  const size_t limit_code = opts >> 3;
  return {prefix, limit_code == 0 ? filter_output_limit : prefix + limit_code * 37};
}

// Decodes `in` after `c.prefix` bytes already in the output; returns the decoded part. Only
// Flate may fail within its limit (data that does not inflate); `ok` receives the result.
template <class Decode>
vec decode_after_prefix(const decoder_case& c, bytes in, Decode decode, bool* ok_out = nullptr) {
  vec out(c.prefix, prefix_byte);
  const bool ok = decode(in, out, c.limit);
  if (ok_out) *ok_out = ok;
  FUZZ_CHECK(out.size() <= c.limit, "output %zu past the limit %zu", out.size(), c.limit);
  FUZZ_CHECK(out.size() >= c.prefix && std::all_of(out.begin(), out.begin() + c.prefix,
                                                   [](uint8_t x) { return x == prefix_byte; }),
             "the bytes already in the output were changed");
  if (!ok && !ok_out) FUZZ_CHECK(c.limit != filter_output_limit, "failed within the limit");
  return vec(out.begin() + static_cast<std::ptrdiff_t>(c.prefix), out.end());
}

vec hex_encode(const vec& in) {
  static const char digits[] = "0123456789aBcDeF";
  vec out;
  for (const uint8_t c : in) {
    out.push_back(static_cast<uint8_t>(digits[c >> 4]));
    out.push_back(static_cast<uint8_t>(digits[c & 15]));
    if (out.size() % 60 == 0) out.push_back('\n');
  }
  out.push_back('>');
  return out;
}

// Runs of two or more equal bytes become repeats, everything else literal runs.
vec run_length_encode(const vec& in) {
  vec out;
  size_t i = 0;
  while (i < in.size()) {
    size_t run = 1;
    while (i + run < in.size() && run < 128 && in[i + run] == in[i]) ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(257 - run));
      out.push_back(in[i]);
      i += run;
      continue;
    }
    size_t lit = 1;
    while (i + lit < in.size() && lit < 128 &&
           (i + lit + 1 >= in.size() || in[i + lit] != in[i + lit + 1]))
      ++lit;
    out.push_back(static_cast<uint8_t>(lit - 1));
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i),
               in.begin() + static_cast<std::ptrdiff_t>(i + lit));
    i += lit;
  }
  out.push_back(128);
  return out;
}

void check_round_trip(const char* name, const vec& plain, const vec& decoded) {
  FUZZ_CHECK(decoded == plain, "%s: %zu bytes encoded and decoded to %zu different ones", name,
             plain.size(), decoded.size());
}

bytes b(const vec& x) {
  return {x.data(), x.size()};
}

void lzw_case(uint8_t variant, uint8_t opts, const vec& payload) {
  const int32_t early = variant & 1;
  const auto lzw = [&](bytes in, vec& out, size_t limit) {
    return lzw_decode(in, early, out, limit);
  };
  const vec out = decode_after_prefix(decoder_case_of(opts), b(payload), lzw);
  // Each 9-bit code gives at most one table string of at most 4096 bytes.
  FUZZ_CHECK(out.size() <= 4096 * (payload.size() * 8 / 9 + 1), "%zu bytes from %zu", out.size(),
             payload.size());
  check_round_trip(
      "LZW", payload,
      decode_after_prefix({0, filter_output_limit}, b(testenc::lzw_encode(payload, early)), lzw));
}

void ascii_hex_case(uint8_t opts, const vec& payload) {
  const auto hex = [](bytes in, vec& out, size_t) { return ascii_hex_decode(in, out); };
  const vec out = decode_after_prefix({opts & 7u, filter_output_limit}, b(payload), hex);
  FUZZ_CHECK(out.size() <= (payload.size() + 1) / 2, "%zu bytes from %zu digits", out.size(),
             payload.size());
  check_round_trip("ASCIIHex", payload,
                   decode_after_prefix({0, filter_output_limit}, b(hex_encode(payload)), hex));
}

void ascii85_case(uint8_t opts, const vec& payload) {
  const auto a85 = [](bytes in, vec& out, size_t) { return ascii85_decode(in, out); };
  const vec out = decode_after_prefix({opts & 7u, filter_output_limit}, b(payload), a85);
  FUZZ_CHECK(out.size() <= 4 * payload.size(), "%zu bytes from %zu", out.size(), payload.size());
  const std::string encoded = testenc::a85_encode(payload);
  check_round_trip("ASCII85", payload,
                   decode_after_prefix({0, filter_output_limit}, as_bytes(encoded), a85));
}

void run_length_case(uint8_t opts, const vec& payload) {
  const auto rl = [](bytes in, vec& out, size_t limit) {
    return run_length_decode(in, out, limit);
  };
  const vec out = decode_after_prefix(decoder_case_of(opts), b(payload), rl);
  FUZZ_CHECK(out.size() <= 128 * payload.size(), "%zu bytes from %zu", out.size(), payload.size());
  check_round_trip(
      "RunLength", payload,
      decode_after_prefix({0, filter_output_limit}, b(run_length_encode(payload)), rl));
}

void flate_case(uint8_t opts, const vec& payload) {
  inflated limited = inflated::ok;
  const auto flate = [&limited](bytes in, vec& out, size_t limit) {
    limited = flate_decode(in, out, limit);
    return limited == inflated::ok;
  };
  const decoder_case c = decoder_case_of(opts);
  bool ok = false;
  const vec out = decode_after_prefix(c, b(payload), flate, &ok);
  if (!ok) FUZZ_CHECK(out.empty(), "a failed inflation left %zu bytes", out.size());
  // The unlimited decoding is the reference: a limit lets all of it through or nothing.
  vec full;
  const bool full_ok = flate_decode(b(payload), full) == inflated::ok;
  const bool fits = full_ok && c.prefix + full.size() <= c.limit;
  FUZZ_CHECK(ok == fits, "limit %zu: %s, unlimited: %s with %zu bytes", c.limit,
             ok ? "inflated" : "failed", full_ok ? "inflated" : "failed", full.size());
  FUZZ_CHECK(!full_ok || fits || limited == inflated::too_large,
             "data that inflates but not within the limit was not called too large");
  if (ok) FUZZ_CHECK(out == full, "the limit changed the inflated bytes");
  // The single-Flate path of stream decoding inflates in place into a buffer: same result.
  buf streamed;
  bool too_large = false;
  const std::optional<bytes> in_place =
      inflate_stream(b(payload), streamed, filter_output_limit, too_large);
  FUZZ_CHECK(in_place.has_value() == full_ok, "in place: %s, as a stage: %s",
             in_place ? "inflated" : "failed", full_ok ? "inflated" : "failed");
  if (in_place)
    FUZZ_CHECK(in_place->size() == full.size() &&
                   std::equal(in_place->begin(), in_place->end(), full.begin()),
               "in place: %zu bytes, as a stage: %zu different ones", in_place->size(),
               full.size());
}

// ---------------------------------------------------------------- predictors

// byte 1: the predictor (bits 0-2: 1, 2, 10 to 15) and the PNG row tag for the round trip
// (bits 3-7 % 5); payload bytes 0 to 3: colors, bits per component, columns (two bytes).
struct predictor_case {
  predictor_parms p;
  uint8_t tag = 0;
};

predictor_case predictor_case_of(uint8_t opts, const uint8_t* head) {
  static const int32_t predictors[] = {1, 2, 10, 11, 12, 13, 14, 15};
  static const int32_t depths[] = {1, 2, 4, 8, 16, 8, 0, 3};
  predictor_case c;
  c.p.predictor = predictors[opts & 7u];
  c.tag = static_cast<uint8_t>((opts >> 3) % 5);
  c.p.colors = head[0] & 0x80 ? head[0] % 34 : 1 + head[0] % 4;
  c.p.bits = depths[head[1] & 7u];
  c.p.columns = head[2] | head[3] << 8;
  return c;
}

bool predicts(const predictor_parms& p) {
  return p.predictor == 2 || (p.predictor >= 10 && p.predictor <= 15);
}

bool shape_usable(const predictor_parms& p) {
  const bool bits = p.bits == 1 || p.bits == 2 || p.bits == 4 || p.bits == 8 || p.bits == 16;
  return bits && p.colors >= 1 && p.colors <= 32 && p.columns >= 1;
}

void predictor_case_run(uint8_t opts, const vec& input) {
  if (input.size() < 4) return;
  const predictor_case c = predictor_case_of(opts, input.data());
  const vec payload(input.begin() + 4, input.end());
  vec data = payload;
  apply_predictor(c.p, data);
  if (!predicts(c.p)) {
    FUZZ_CHECK(data == payload, "predictor %d changed the data", c.p.predictor);
    return;
  }
  if (!shape_usable(c.p)) {
    FUZZ_CHECK(data.empty(), "unusable parameters left %zu bytes", data.size());
    return;
  }
  const size_t pixel_bits = static_cast<size_t>(c.p.colors) * static_cast<size_t>(c.p.bits);
  const size_t row = (pixel_bits * static_cast<size_t>(c.p.columns) + 7) / 8;
  const size_t bpp = std::max<size_t>(1, (pixel_bits + 7) / 8);
  if (c.p.predictor == 2) {
    FUZZ_CHECK(data.size() == payload.size(), "TIFF changed the size %zu to %zu", payload.size(),
               data.size());
    const vec plain(payload.begin(),
                    payload.begin() + static_cast<std::ptrdiff_t>(payload.size() / row * row));
    vec encoded = testenc::tiff_encode(plain, row, c.p.colors, c.p.bits);
    apply_predictor(c.p, encoded);
    check_round_trip("TIFF predictor", plain, encoded);
    return;
  }
  const size_t rows = (payload.size() + row) / (row + 1);
  FUZZ_CHECK(data.size() <= payload.size() - std::min(rows, payload.size()),
             "PNG gave %zu bytes from %zu in rows of %zu", data.size(), payload.size(), row);
  vec encoded = testenc::png_encode(payload, row, bpp, c.tag);
  apply_predictor(c.p, encoded);
  check_round_trip("PNG predictor", payload, encoded);
}

// The inflater's PNG routine (one byte per pixel) against the predictor of the filters, and
// the leftover bytes as its header describes them.
void png_unfilter_case(uint8_t opts, const vec& payload) {
  const int32_t width = opts;
  vec data = payload;
  const int rc = inflate::inflate_png_unfilter(data.data(), data.size(), width);
  if (width == 0) {
    FUZZ_CHECK(rc == -1, "row width 0 accepted");
    return;
  }
  const size_t w = static_cast<size_t>(width);
  if (payload.size() < w + 1) {
    FUZZ_CHECK(rc == 0 && data == payload, "less than one row changed");
    return;
  }
  size_t rows = 0;
  const size_t whole = payload.size() / (w + 1);
  while (rows < whole && payload[rows * (w + 1)] <= 4) ++rows;
  FUZZ_CHECK(rc == (rows < whole ? -1 : 0), "result %d with %zu of %zu rows usable", rc, rows,
             whole);
  vec expected = payload;
  apply_predictor({10, 1, 8, width, 1}, expected);
  FUZZ_CHECK(expected.size() >= rows * w, "the predictor restored fewer rows");
  FUZZ_CHECK(std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(rows * w),
                        expected.begin()),
             "restored rows differ from the predictor's");
  const size_t len = payload.size();
  FUZZ_CHECK(std::equal(data.begin() + static_cast<std::ptrdiff_t>(rows * w),
                        data.begin() + static_cast<std::ptrdiff_t>(len - rows),
                        payload.begin() + static_cast<std::ptrdiff_t>(rows * (w + 1))),
             "the unprocessed input does not follow the restored rows");
  FUZZ_CHECK(std::all_of(data.end() - static_cast<std::ptrdiff_t>(rows), data.end(),
                         [&](uint8_t x) { return x == payload.back(); }),
             "the freed bytes do not repeat the last byte");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t kind = data[0] % 7;
  const auto variant = static_cast<uint8_t>(data[0] / 7);
  const uint8_t opts = data[1];
  const vec payload(data + 2, data + size);
  switch (kind) {
  case 0:
    lzw_case(variant, opts, payload);
    break;
  case 1:
    ascii_hex_case(opts, payload);
    break;
  case 2:
    ascii85_case(opts, payload);
    break;
  case 3:
    run_length_case(opts, payload);
    break;
  case 4:
    flate_case(opts, payload);
    break;
  case 5:
    predictor_case_run(opts, payload);
    break;
  default:
    png_unfilter_case(opts, payload);
    break;
  }
  return 0;
}
