// The content-stream decoders one by one: known encodings, round trips through small encoders
// written here, corrupt input (the bytes before the fault are kept), the output limit, and
// random input through every decoder.
#include "doc_fixture.h"
#include "filter_encoders.h"
#include "pdf_builder.h"
#include "pdfmerge/filters/filters.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

using vec = std::vector<uint8_t>;

vec v(std::string_view s) {
  return {s.begin(), s.end()};
}
bytes b(const vec& x) {
  return {x.data(), x.size()};
}
std::string str(const vec& x) {
  return {x.begin(), x.end()};
}

vec random_bytes(std::mt19937& rng, size_t n, uint32_t alphabet = 256) {
  vec out(n);
  for (uint8_t& c : out) c = static_cast<uint8_t>(rng() % alphabet);
  return out;
}

// ---------------------------------------------------------------- LZW

vec lzw(const vec& in, int early, size_t limit = filter_output_limit, bool* ok = nullptr) {
  vec out;
  const bool r = lzw_decode(b(in), early, out, limit);
  if (ok) *ok = r;
  return out;
}

TEST(Lzw, KnownEncoding) {
  // "-----A---B" with early change, as the format's own example encodes it.
  const vec code = {0x80, 0x0B, 0x60, 0x50, 0x22, 0x0C, 0x0C, 0x85, 0x01};
  EXPECT_EQ(str(lzw(code, 1)), "-----A---B");
}

TEST(Lzw, RoundTripsWithBothEarlyChangeValues) {
  std::mt19937 rng(7);
  // Sizes that keep 9-bit codes, reach each wider code, and fill the table more than once.
  const size_t sizes[] = {0, 1, 2, 300, 2000, 12000, 90000};
  for (const int early : {0, 1}) {
    for (const size_t n : sizes) {
      for (const uint32_t alphabet : {4u, 256u}) {
        SCOPED_TRACE(testing::Message()
                     << "early " << early << " size " << n << " alphabet " << alphabet);
        const vec in = random_bytes(rng, n, alphabet);
        const vec code = testenc::lzw_encode(in, early);
        EXPECT_EQ(lzw(code, early), in);
      }
    }
  }
}

TEST(Lzw, EarlyChangeDecidesWhereCodesWiden) {
  std::mt19937 rng(3);
  const vec in = random_bytes(rng, 4000, 256); // past 511 entries: 10-bit codes are needed
  EXPECT_NE(lzw(testenc::lzw_encode(in, 1), 0), in);
  EXPECT_NE(lzw(testenc::lzw_encode(in, 0), 1), in);
  const vec small = random_bytes(rng, 100, 256); // 9-bit codes only: the two agree
  EXPECT_EQ(lzw(testenc::lzw_encode(small, 1), 0), small);
}

TEST(Lzw, CorruptCodesKeepWhatCameBefore) {
  const vec good = testenc::lzw_encode(v("ABABABAB"), 1);
  // Codes after the clear: 'A'(65) 'B'(66), then 300, which is past the next entry (259).
  vec bad;
  {
    uint32_t acc = 0;
    int count = 0;
    for (const int code : {256, 65, 66, 300, 67}) {
      acc = (acc << 9) | static_cast<uint32_t>(code);
      count += 9;
      while (count >= 8) {
        count -= 8;
        bad.push_back(static_cast<uint8_t>(acc >> count));
      }
    }
    bad.push_back(static_cast<uint8_t>(acc << (8 - count)));
  }
  EXPECT_EQ(str(lzw(bad, 1)), "AB");
  // Cut in the middle: the whole codes before the cut are kept.
  const vec cut(good.begin(), good.begin() + 3);
  EXPECT_EQ(str(lzw(cut, 1)), "A");
  bool ok = true;
  EXPECT_EQ(str(lzw(good, 1, 3, &ok)), "AB");
  EXPECT_FALSE(ok) << "output past the limit";
}

// ---------------------------------------------------------------- ASCIIHex and ASCII85

vec hex(std::string_view s) {
  vec out;
  EXPECT_TRUE(ascii_hex_decode(as_bytes(s), out));
  return out;
}

vec a85(std::string_view s) {
  vec out;
  EXPECT_TRUE(ascii85_decode(as_bytes(s), out));
  return out;
}

TEST(AsciiHex, Cases) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"48656C6c6F>", "Hello"},
      {"48 65\n6C\t6c\r6F>", "Hello"}, // white space
      {"4 1 4>", "A@"},
      {"7>", "\x70"}, // odd digit counts
      {"41>42", "A"},
      {"4142", "AB"}, // end marker optional
      {"41x42>", "A"},
      {"4x>", ""}, // corrupt digit
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(str(hex(c.in)), c.out) << c.in;
}

TEST(Ascii85, Cases) {
  const struct {
    const char* in;
    std::string out;
  } cases[] = {
      {"9jqo^~>", "Man "},
      {"9jqo~>", "Man"}, // short last group
      {"z~>", std::string(4, '\0')},
      {"9jqo^z9jqo~>", "Man " + std::string(4, '\0') + "Man"},
      {"<~9jqo^~>", "Man "},                    // optional opening marker
      {"9j q\no^ ~>", "Man "},                  // white space
      {"9jqo^9~>", "Man "},                     // a lone last digit gives nothing
      {"9jqo^9jzo^~>", "Man "},                 // 'z' inside a group is corrupt
      {"9jqo^s8W-\"~>", "Man "},                // a group over 32 bits is corrupt
      {"9jqo^s8W-!~>", "Man \xff\xff\xff\xff"}, // the largest group
      {"9jqo^v~>", "Man "},                     // a byte outside the alphabet
      {"9jqo", "Man"},                          // no end marker
  };
  for (const auto& c : cases) EXPECT_EQ(str(a85(c.in)), c.out) << c.in;
}

TEST(Ascii85, RoundTripsEveryShortLength) {
  std::mt19937 rng(11);
  for (size_t n = 0; n < 40; ++n) {
    vec in = random_bytes(rng, n);
    if (n >= 8) std::fill(in.begin() + 4, in.begin() + 8, 0); // a 'z' group
    EXPECT_EQ(a85(testenc::a85_encode(in)), in) << n;
  }
}

// ---------------------------------------------------------------- RunLength

TEST(RunLength, Cases) {
  const struct {
    std::string in;
    std::string out;
    size_t limit;
    bool ok;
  } cases[] = {
      {"\x02"
       "abc\xfeX\x80junk",
       "abcXXX", filter_output_limit, true},
      {std::string("\x00Z\x81", 3) + "Q", "Z" + std::string(128, 'Q'), filter_output_limit, true},
      {"\x05"
       "ab",
       "ab", filter_output_limit, true}, // literal run cut short
      {"\x01"
       "ab\xfd",
       "ab", filter_output_limit, true}, // repeat without its byte
      {"\xfeX\xfeY", "XXX", 4, false},   // limit reached
      {"", "", filter_output_limit, true},
  };
  for (const auto& c : cases) {
    vec out;
    EXPECT_EQ(run_length_decode(as_bytes(c.in), out, c.limit), c.ok);
    EXPECT_EQ(str(out), c.out);
  }
}

// ---------------------------------------------------------------- Flate

TEST(FlateStage, InflatesAndFails) {
  vec out;
  const std::string z = fixtures::zlib_stored("stage text");
  EXPECT_EQ(flate_decode(as_bytes(z), out), inflated::ok);
  EXPECT_EQ(str(out), "stage text");
  out.clear();
  EXPECT_EQ(flate_decode(as_bytes(z.substr(0, z.size() - 8)), out),
            inflated::unusable); // cut short
  EXPECT_TRUE(out.empty());
  const std::string big = fixtures::zlib_repeat('A', 300000); // beyond twenty to one
  EXPECT_EQ(flate_decode(as_bytes(big), out), inflated::ok);
  EXPECT_EQ(out.size(), 300000u);
  out.clear();
  EXPECT_EQ(flate_decode(as_bytes(big), out, 299999), inflated::too_large);
}

// ---------------------------------------------------------------- predictors

TEST(Predictor, PngEveryTagRoundTrips) {
  std::mt19937 rng(5);
  const struct {
    int colors, bits, columns;
    size_t row, bpp;
  } shapes[] = {{1, 8, 7, 7, 1}, {3, 8, 5, 15, 3}, {4, 16, 3, 24, 8}, {1, 1, 20, 3, 1}};
  for (const auto& s : shapes) {
    for (uint8_t tag = 0; tag <= 4; ++tag) {
      SCOPED_TRACE(testing::Message()
                   << "colors " << s.colors << " bits " << s.bits << " tag " << int{tag});
      const vec plain = random_bytes(rng, s.row * 4);
      vec data = testenc::png_encode(plain, s.row, s.bpp, tag);
      apply_predictor({10 + tag, s.colors, s.bits, s.columns, 1}, data);
      EXPECT_EQ(data, plain);
    }
  }
}

TEST(Predictor, PngFaults) {
  const predictor_parms p{12, 1, 8, 3, 1};
  vec bad_tag = {2, 1, 2, 3, 2, 1, 1, 1, 9, 5, 5, 5, 2, 1, 1, 1};
  apply_predictor(p, bad_tag);
  EXPECT_EQ(bad_tag, (vec{1, 2, 3, 2, 3, 4})) << "rows from the bad tag on are dropped";
  vec short_row = {0, 1, 2, 3, 2, 1};
  apply_predictor(p, short_row);
  EXPECT_EQ(short_row, (vec{1, 2, 3, 2})) << "a short last row as far as it goes";
}

TEST(Predictor, TiffRoundTripsEveryDepth) {
  std::mt19937 rng(9);
  const struct {
    int colors, bits, columns;
    size_t row;
  } shapes[] = {{1, 8, 6, 6},  {3, 8, 4, 12}, {2, 16, 3, 12},
                {1, 1, 16, 2}, {3, 2, 4, 3},  {1, 4, 6, 3}};
  for (const auto& s : shapes) {
    SCOPED_TRACE(testing::Message() << "colors " << s.colors << " bits " << s.bits);
    const vec plain = random_bytes(rng, s.row * 5);
    vec data = testenc::tiff_encode(plain, s.row, s.colors, s.bits);
    ASSERT_NE(data, plain);
    apply_predictor({2, s.colors, s.bits, s.columns, 1}, data);
    EXPECT_EQ(data, plain);
  }
}

TEST(Predictor, ParametersThatLeaveDataAloneOrEmpty) {
  const vec data = {0, 1, 2, 3, 4, 5};
  const struct {
    predictor_parms p;
    vec out;
  } cases[] = {
      {{1, 1, 8, 1, 1}, data}, {{3, 1, 8, 1, 1}, data}, // no or unknown predictor
      {{12, 1, 7, 1, 1}, {}},  {{12, 0, 8, 1, 1}, {}},  // unusable parameters
      {{2, 1, 8, 0, 1}, {}},   {{12, 1, 8, 1 << 25, 1}, {}},
  };
  for (const auto& c : cases) {
    vec x = data;
    apply_predictor(c.p, x);
    EXPECT_EQ(x, c.out) << c.p.predictor << " " << c.p.bits << " " << c.p.columns;
  }
}

// ---------------------------------------------------------------- random input

// Random bytes (and random bytes from each decoder's own alphabet) through every decoder and
// predictor: nothing reads out of bounds, and no output passes what its input can give.
TEST(FiltersFuzz, RandomInputThroughEveryDecoder) {
  std::mt19937 rng(2026);
  const std::string hex_alphabet = "0123456789abcdefABCDEF \n>x";
  const std::string a85_alphabet = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUuz~ \n";
  for (int round = 0; round < 3000; ++round) {
    const size_t n = rng() % 200;
    vec in = random_bytes(rng, n);
    vec hex_in(n), a85_in(n);
    for (size_t k = 0; k < n; ++k) {
      hex_in[k] = static_cast<uint8_t>(hex_alphabet[rng() % hex_alphabet.size()]);
      a85_in[k] = static_cast<uint8_t>(a85_alphabet[rng() % a85_alphabet.size()]);
    }
    vec out;
    ASSERT_TRUE(ascii_hex_decode(b(hex_in), out));
    ASSERT_LE(out.size(), (n + 1) / 2);
    out.clear();
    ASSERT_TRUE(ascii85_decode(b(a85_in), out));
    ASSERT_LE(out.size(), 4 * n);
    out.clear();
    ASSERT_TRUE(ascii85_decode(b(in), out));
    ASSERT_LE(out.size(), 4 * n);
    out.clear();
    ASSERT_TRUE(run_length_decode(b(in), out));
    ASSERT_LE(out.size(), 128 * n);
    out.clear();
    ASSERT_TRUE(lzw_decode(b(in), static_cast<int32_t>(rng() % 2), out));
    ASSERT_LE(out.size(), 4096 * (n * 8 / 9 + 1));
    out.clear();
    (void)flate_decode(b(in), out);
    ASSERT_LE(out.size(), n * 1032 + 4096);
    const predictor_parms p{
        static_cast<int32_t>(rng() % 2 ? 2 : 10 + rng() % 6), static_cast<int32_t>(1 + rng() % 4),
        std::array<int32_t, 5>{1, 2, 4, 8, 16}[rng() % 5], static_cast<int32_t>(1 + rng() % 9), 1};
    vec predicted = in;
    apply_predictor(p, predicted);
    ASSERT_LE(predicted.size(), n);
  }
}

// Random chains of filter names and parameters over random or partly valid data, through the
// whole stream decoding: a chain with an unknown name gives the raw bytes, any other chain
// gives decoded bytes or nothing, and nothing is read out of bounds.
TEST(FiltersFuzz, RandomChainsThroughStreamDecoding) {
  std::mt19937 rng(44);
  const char* names[] = {"/FlateDecode", "/Fl", "/LZWDecode",      "/LZW",       "/AHx",
                         "/A85",         "/RL", "/ASCIIHexDecode", "/DCTDecode", "/Foo"};
  for (int round = 0; round < 400; ++round) {
    std::string filter = "[";
    bool unknown = false;
    const size_t count = 1 + rng() % 3;
    for (size_t k = 0; k < count; ++k) {
      const size_t pick = rng() % 10;
      unknown = unknown || pick >= 8;
      filter += std::string(names[pick]) + " ";
    }
    filter += "]";
    const std::string parms = "<< /Predictor " + std::to_string(rng() % 16) + " /Colors " +
                              std::to_string(rng() % 5) + " /Columns " +
                              std::to_string(rng() % 20) + " /BitsPerComponent " +
                              std::to_string(1 << (rng() % 5)) + " >>";
    // (ending in a letter, so that the fixture's line-end trimming cannot touch the data)
    std::string data = testdoc::str(b(random_bytes(rng, rng() % 300))) + "x";
    if (rng() % 2) data = testenc::a85_encode(testenc::lzw_encode(random_bytes(rng, 50, 8), 1));
    const std::string text = "1 0 obj\n<< /Filter " + filter + " /DecodeParms " + parms +
                             " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data +
                             "\nendstream\nendobj";
    pdfmerge::doc d = testdoc::make_doc({text});
    buf out;
    const stream_result r = decode_stream_chain(d, d.objects[0], out);
    ASSERT_EQ(r.kept_filter, unknown) << filter;
    if (unknown) {
      ASSERT_TRUE(r.data);
      EXPECT_EQ(testdoc::str(*r.data), data);
    }
  }
}

} // namespace
