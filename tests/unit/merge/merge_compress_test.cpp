// Content streams written compressed: when a Flate stream's stored bytes may be written again
// as they are, and the whole output with compression (kept streams, streams encoded anew,
// streams left as they were, shared content, the size limit, repeatability).
#include "deflate/deflate.h"
#include "doc_fixture.h"
#include "filter_encoders.h"
#include "inflate/inflate.h"
#include "pdf_builder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#ifdef HAVE_SYSTEM_ZLIB
#include "zlib_oracle.h"
#endif

using namespace pdfmerge;

namespace {

using testdoc::obj;

using testdoc::stream_obj;

std::string page_obj(int num, const std::string& contents) {
  return obj(num, "<< /Type /Page /MediaBox [0 0 100 100] " + contents + " >>");
}

std::string deflated(const std::string& text) {
  std::vector<uint8_t> out;
  EXPECT_TRUE(deflate::deflate_compress(testenc::to_vec(text), out));
  return testenc::to_str(out);
}

// Content long enough for the encoder to find matches.
std::string text_content(const std::string& seed) {
  std::string s;
  for (int i = 0; i < 40; ++i)
    s += "BT /F1 12 Tf 72 " + std::to_string(700 - 12 * i) + " Td (" + seed + " line " +
         std::to_string(i) + ") Tj ET\n";
  return s;
}

// The inflater's own output of `z` and how it ended: what a page's content decoding gives.
struct inflated_view {
  std::string text;
  flate_source source;
};

inflated_view inflate_view(const std::string& z) {
  inflated_view v;
  std::vector<uint8_t> out(1 << 16);
  size_t n = 0;
  v.source.data = as_bytes(z);
  if (inflate::inflate_decompress(v.source.data.data(), z.size(), out.data(), out.size(), &n,
                                  &v.source.end) == 0)
    v.text.assign(reinterpret_cast<const char*>(out.data()), n);
  return v;
}

// ---------------------------------------------------------------- clean_zlib

TEST(CleanZlib, OnlyWholeCheckedStreamsAreKept) {
  const std::string text = text_content("kept");
  const std::string z = deflated(text);
  const std::string blocks = z.substr(0, z.size() - 4); // without the Adler-32
  std::string bad_adler = z;
  bad_adler.back() = static_cast<char>(bad_adler.back() ^ 1);
  // Stored "abc" that is not final, then block type 3: the inflater keeps "abc" and succeeds.
  const std::string malformed = std::string("\x78\x01\x00\x03\x00\xfc\xff", 7) + "abc" +
                                std::string("\x07\x02\x4d\x01\x27", 5);
  const std::string abc_adler = fixtures::zlib_stored("abc").substr(10);
  struct clean_case {
    const char* name;
    std::string stream;
    std::optional<std::string> content; // what the page holds, when not the stream's inflation
    size_t kept;                        // bytes kept from the start, 0 for none
  };
  const std::vector<clean_case> cases = {
      {"our encoder's stream", z, std::nullopt, z.size()},
      {"stored blocks", fixtures::zlib_stored(text), std::nullopt,
       fixtures::zlib_stored(text).size()},
      {"level 9 header 78 DA", "\x78\xda" + z.substr(2), std::nullopt, z.size()},
      {"white space after the checksum", z + "\r\n \t", std::nullopt, z.size()},
      {"other bytes after the checksum", z + "\nx", std::nullopt, 0},
      {"no checksum", blocks, std::nullopt, 0},
      {"checksum cut short", z.substr(0, z.size() - 1), std::nullopt, 0},
      {"checksum wrong", bad_adler, std::nullopt, 0},
      {"header check bits wrong", "\x78\x02" + z.substr(2), std::nullopt, 0},
      {"window larger than 32 KiB", "\x88\x1c" + z.substr(2), std::nullopt, 0},
      {"malformed part-way with the checksum of what came before", malformed + abc_adler,
       std::nullopt, 0},
      {"content other than the stream's", z, text + " ", 0},
  };
  for (const clean_case& c : cases) {
    SCOPED_TRACE(c.name);
    const inflated_view v = inflate_view(c.stream);
    ASSERT_FALSE(v.text.empty()); // the tolerant inflater reads every one of them
    const std::string content = c.content.value_or(v.text);
    const bytes got = clean_zlib(v.source, as_bytes(content));
    EXPECT_EQ(got.size(), c.kept);
    if (c.kept != 0) {
      EXPECT_EQ(got.data(), v.source.data.data()); // the stored bytes themselves
#ifdef HAVE_SYSTEM_ZLIB
      const auto z_out = zlib_oracle::zlib_decompress(testenc::to_vec(testdoc::str(got)));
      ASSERT_TRUE(z_out.has_value());
      EXPECT_EQ(testenc::to_str(*z_out), content);
#endif
    }
  }
}

// ---------------------------------------------------------------- the output

std::string text_of(const out_file& f) {
  return std::string(reinterpret_cast<const char*>(f.out.data.get()), f.out.len);
}

// One content stream object of an output: its dictionary and its data.
struct written_stream {
  std::string dict;
  std::string data;
};

written_stream stream_in(const std::string& pdf, int num) {
  written_stream w;
  const std::string head = "\n" + std::to_string(num) + " 0 obj\n";
  const size_t at = pdf.find(head);
  if (at == std::string::npos) return w;
  const size_t dict = at + head.size();
  const size_t kw = pdf.find(">>\nstream\n", dict);
  if (kw == std::string::npos) return w;
  w.dict = pdf.substr(dict, kw + 2 - dict);
  const size_t length = std::stoul(pdf.substr(dict + 11));
  w.data = pdf.substr(kw + 10, length);
  return w;
}

// The decoded content of a written stream: inflated (by the system zlib too, which checks the
// header and checksum and takes no trailing bytes) when it names Flate.
std::string decoded_content(const written_stream& w) {
  if (w.dict.find("/Filter /FlateDecode") == std::string::npos) return w.data;
  const std::vector<uint8_t> z = testenc::to_vec(w.data);
  std::vector<uint8_t> out(1 << 22);
  size_t n = 0;
  EXPECT_EQ(inflate::inflate_decompress(z.data(), z.size(), out.data(), out.size(), &n), 0);
  const std::string ours(reinterpret_cast<const char*>(out.data()), n);
#ifdef HAVE_SYSTEM_ZLIB
  const auto theirs = zlib_oracle::zlib_decompress(z);
  EXPECT_TRUE(theirs.has_value()) << w.dict;
  if (theirs) {
    EXPECT_EQ(testenc::to_str(*theirs), ours);
  }
#endif
  return ours;
}

// An input of the given objects whose pages are the listed numbers. The hand-made entries
// take any "stream" keyword for the object's own; a page's is always a direct stream's.
merge_input input_of(const std::vector<std::string>& objects, std::vector<pageinfo> pages) {
  merge_input in;
  in.d = testdoc::make_doc(objects);
  for (obj_entry& e : in.d.objects)
    for (const pageinfo& p : pages)
      if (e.num == p.num) {
        e.has_stream = 0;
        e.stream_kw = e.data_start = e.data_end = -1;
      }
  in.d.pages = std::move(pages);
  return in;
}

std::string write_all(std::vector<merge_input>& inputs, int32_t pages, bool compress,
                      uint64_t limit = output_limit, int32_t* result = nullptr) {
  const auto size = static_cast<int32_t>(merge_plan(inputs, pages));
  out_file f;
  f.limit = limit;
  const int32_t r = write_output(f, inputs, pages, size, nullptr, compress);
  if (result)
    *result = r;
  else
    EXPECT_EQ(r, 0);
  return text_of(f);
}

enum class written { kept, encoded, as_before };

struct page_case {
  const char* name;
  std::vector<std::string> objects; // the page is object 3
  written how;
  std::string stored; // for `kept`: the stream's data in the input
};

std::vector<page_case> page_cases() {
  const std::string a = text_content("first");
  const std::string b = text_content("second");
  const std::string za = deflated(a);
  const std::string stored = fixtures::zlib_stored(b);
  const std::string png = testenc::to_str(testenc::png_encode(testenc::to_vec(a), 8, 1, 2));
  const std::string lzw = testenc::to_str(testenc::lzw_encode(testenc::to_vec(a), 1));
  const std::string hex = "42 54 20 45 54>"; // "BT ET"
  std::string bad_adler = za;
  bad_adler.back() = static_cast<char>(bad_adler.back() ^ 0x40);
  const std::string malformed = std::string("\x78\x01\x00\x05\x00\xfa\xff", 7) + "BT ET" +
                                std::string("\x07\x02\x4d\x01\x27", 5);
  const std::string fl = "/Filter /FlateDecode";
  return {
      {"one Flate stream",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, fl, za)},
       written::kept,
       za},
      {"one Flate stream of stored blocks",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, fl, stored)},
       written::kept,
       stored},
      {"Flate named in a one-element array",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, "/Filter [/FlateDecode]", za)},
       written::kept,
       za},
      {"predictor 1 changes nothing",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, fl + " /DecodeParms << /Predictor 1 >>", za)},
       written::kept,
       za},
      {"array of one stream",
       {page_obj(3, "/Contents [8 0 R]"), stream_obj(8, fl, za)},
       written::kept,
       za},
      {"array with a missing element",
       {page_obj(3, "/Contents [8 0 R 99 0 R]"), stream_obj(8, fl, za)},
       written::kept,
       za},
      {"array of two streams",
       {page_obj(3, "/Contents [8 0 R 9 0 R]"), stream_obj(8, fl, za), stream_obj(9, fl, stored)},
       written::encoded,
       ""},
      {"array held by an object of its own",
       {page_obj(3, "/Contents 7 0 R"), obj(7, "[8 0 R 9 0 R]"), stream_obj(8, fl, za),
        stream_obj(9, "", b)},
       written::encoded,
       ""},
      {"unfiltered stream",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, "", a)},
       written::encoded,
       ""},
      {"LZW",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, "/Filter /LZWDecode", lzw)},
       written::encoded,
       ""},
      {"ASCIIHex",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, "/Filter /ASCIIHexDecode", hex)},
       written::encoded,
       ""},
      {"Flate after ASCIIHex",
       {page_obj(3, "/Contents 8 0 R"),
        stream_obj(8, "/Filter [/ASCIIHexDecode /FlateDecode]", testenc::to_str([&] {
                     std::string h;
                     const char* digits = "0123456789abcdef";
                     for (unsigned char c : za) {
                       h += digits[c >> 4];
                       h += digits[c & 15];
                     }
                     return testenc::to_vec(h + ">");
                   }()))},
       written::encoded,
       ""},
      {"PNG predictor",
       {page_obj(3, "/Contents 8 0 R"),
        stream_obj(8, fl + " /DecodeParms << /Predictor 12 /Columns 8 >>", deflated(png))},
       written::encoded,
       ""},
      {"Flate without its checksum",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, fl, za.substr(0, za.size() - 4))},
       written::encoded,
       ""},
      {"Flate with a wrong checksum",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, fl, bad_adler)},
       written::encoded,
       ""},
      {"Flate malformed part-way",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, fl, malformed)},
       written::encoded,
       ""},
      {"Flate followed by other bytes",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, fl, za + "%%")},
       written::encoded,
       ""},
      {"direct stream",
       {page_obj(3, "/Contents << /Length 5 >>\nstream\nBT ET\nendstream")},
       written::encoded,
       ""},
      {"filter not decoded here",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, "/Filter /DCTDecode", "\xff\xd8\xff")},
       written::as_before,
       ""},
      {"Flate that does not inflate",
       {page_obj(3, "/Contents 8 0 R"), stream_obj(8, fl, "junk")},
       written::as_before,
       ""},
      {"no content", {page_obj(3, "")}, written::as_before, ""},
  };
}

// Every page's content decodes to what the uncompressed merge writes; the clean Flate stream
// is written as stored, other decoded content is encoded anew, and content without bytes or
// with filters not decoded here is written as without compression.
TEST(CompressedOutput, EveryKindOfContent) {
  for (const page_case& c : page_cases()) {
    SCOPED_TRACE(c.name);
    std::vector<merge_input> plain_in;
    plain_in.push_back(input_of(c.objects, {{3, 0}}));
    std::vector<merge_input> packed_in;
    packed_in.push_back(input_of(c.objects, {{3, 0}}));
    const std::string plain_pdf = write_all(plain_in, 1, false);
    const std::string packed_pdf = write_all(packed_in, 1, true);
    const written_stream plain = stream_in(plain_pdf, 4);
    const written_stream packed = stream_in(packed_pdf, 4);
    ASSERT_FALSE(plain.dict.empty());
    ASSERT_FALSE(packed.dict.empty());
    if (c.how == written::as_before) {
      EXPECT_EQ(packed_pdf, plain_pdf);
      continue;
    }
    ASSERT_FALSE(plain.data.empty());
    EXPECT_EQ(packed.dict,
              "<< /Length " + std::to_string(packed.data.size()) + " /Filter /FlateDecode >>");
    EXPECT_EQ(decoded_content(packed), plain.data);
    if (c.how == written::kept) {
      EXPECT_EQ(packed.data, c.stored);
    } else {
      std::vector<uint8_t> ours;
      ASSERT_TRUE(deflate::deflate_compress(testenc::to_vec(plain.data), ours));
      EXPECT_EQ(packed.data, testenc::to_str(ours));
    }
  }
}

// All pages in one output, twice: the same bytes each time, and every page as on its own.
TEST(CompressedOutput, SameBytesEveryTime) {
  const std::vector<page_case> cases = page_cases();
  std::string first;
  for (int run = 0; run < 2; ++run) {
    std::vector<merge_input> inputs;
    for (const page_case& c : cases) inputs.push_back(input_of(c.objects, {{3, 0}}));
    const std::string pdf = write_all(inputs, static_cast<int32_t>(cases.size()), true);
    if (run == 0)
      first = pdf;
    else
      EXPECT_EQ(pdf, first);
  }
}

// Pages in a row that share a stream get its written bytes again, compressed or kept; a page
// between them with other content gets its own.
TEST(CompressedOutput, SharedContentIsWrittenForEveryPage) {
  const std::string kept = deflated(text_content("shared kept"));
  const std::string raw = text_content("shared raw");
  std::vector<merge_input> inputs;
  inputs.push_back(input_of({page_obj(3, "/Contents 4 0 R"), page_obj(5, "/Contents 6 0 R"),
                             stream_obj(4, "/Filter /FlateDecode", kept), stream_obj(6, "", raw)},
                            {{3, 0}, {3, 0}, {5, 0}, {5, 0}, {3, 0}}));
  const std::string pdf = write_all(inputs, 5, true);
  std::vector<uint8_t> raw_packed;
  ASSERT_TRUE(deflate::deflate_compress(testenc::to_vec(raw), raw_packed));
  const std::string expected[] = {kept, kept, testenc::to_str(raw_packed),
                                  testenc::to_str(raw_packed), kept};
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(k);
    const written_stream w = stream_in(pdf, 8 + k);
    EXPECT_NE(w.dict.find("/Filter /FlateDecode"), std::string::npos);
    EXPECT_EQ(w.data, expected[k]);
  }
}

// With compression the room left in the output bounds what is written, not the decoded size:
// content far larger than the output may take fits once compressed, and an output that would
// still reach the limit fails as a whole.
TEST(CompressedOutput, SizeLimitCountsTheWrittenBytes) {
  const std::string big(600000, 'x');
  const auto inputs_of = [&] {
    std::vector<merge_input> inputs; // unfiltered content: encoded anew
    inputs.push_back(input_of({page_obj(3, "/Contents 8 0 R"), stream_obj(8, "", big)}, {{3, 0}}));
    return inputs;
  };
  std::vector<merge_input> whole_in = inputs_of();
  const std::string whole = write_all(whole_in, 1, true);
  ASSERT_LT(whole.size(), big.size() / 10);
  for (uint64_t limit : {uint64_t{big.size() / 2}, uint64_t{whole.size() + 1},
                         uint64_t{whole.size()}, uint64_t{whole.size() - 1}, uint64_t{200}}) {
    SCOPED_TRACE(limit);
    for (const bool compress : {false, true}) {
      std::vector<merge_input> inputs = inputs_of();
      clear_error();
      int32_t result = 0;
      const std::string pdf = write_all(inputs, 1, compress, limit, &result);
      const bool fits = compress && limit > whole.size();
      EXPECT_EQ(result, fits ? 0 : -1) << compress;
      EXPECT_STREQ(error_text(), fits ? "" : "failed to build output") << compress;
      if (fits) {
        EXPECT_EQ(pdf, whole);
      }
    }
  }
}

} // namespace
