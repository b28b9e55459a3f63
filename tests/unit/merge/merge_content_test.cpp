// Stream decoding and the content bytes of a page gathered from its /Contents.
#include "doc_fixture.h"
#include "filter_encoders.h"
#include "pdf_builder.h"
#include "pdfmerge/filters/filters.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

using testdoc::obj;

using testdoc::stream_obj;

std::string page(const std::string& contents) {
  return obj(3, "<< /Type /Page /Parent 2 0 R " + contents + " >>");
}

// The hand-made entries take any "stream" keyword for the object's own; a page never is one.
doc make_pages_doc(const std::vector<std::string>& objects,
                   const std::vector<testdoc::member>& members = {}) {
  doc d = testdoc::make_doc(objects, members);
  for (obj_entry& e : d.objects) {
    if (e.num != 3 || e.in_objstm) continue;
    e.has_stream = 0;
    e.stream_kw = e.data_start = e.data_end = -1;
  }
  return d;
}

// A page's content when the caller does not need the filters of a stream kept raw.
bytes plain_content(const doc& d, int32_t page_num, buf& content, buf& scratch) {
  bytes filter;
  bytes parms;
  return page_content(d, page_num, content, scratch, filter, parms);
}

std::string content_of(const doc& d, int32_t page_num = 3) {
  buf content;
  buf scratch;
  return testdoc::str(plain_content(d, page_num, content, scratch));
}

struct content_case {
  std::string name;
  std::vector<std::string> objects;
  std::string expected;
};

TEST(PageContent, Cases) {
  const std::string a = stream_obj(8, "", "q 1 0 0 1 0 0 cm");
  const std::string b = stream_obj(9, "", "Q");
  const std::string flate = stream_obj(8, "/Filter /FlateDecode", fixtures::zlib_stored("BT ET"));
  const std::string broken = stream_obj(9, "/Filter /FlateDecode", "not deflate");
  const std::string length_obj = obj(12, "5");
  const std::vector<content_case> cases = {
      {"single reference", {page("/Contents 8 0 R"), a}, "q 1 0 0 1 0 0 cm"},
      {"inflated", {page("/Contents 8 0 R"), flate}, "BT ET"},
      {"image filter raw",
       {page("/Contents 8 0 R"), stream_obj(8, "/Filter /DCTDecode", "\xff\xd8\xff")},
       "\xff\xd8\xff"},
      {"array joined with a line feed",
       {page("/Contents [8 0 R 9 0 R]"), a, b},
       "q 1 0 0 1 0 0 cm\nQ"},
      {"array missing element", {page("/Contents [8 0 R 99 0 R]"), a}, "q 1 0 0 1 0 0 cm"},
      {"array missing first element",
       {page("/Contents [99 0 R 8 0 R 9 0 R]"), a, b},
       "q 1 0 0 1 0 0 cm\nQ"},
      {"array element that does not decode",
       {page("/Contents [8 0 R 9 0 R]"), a, broken},
       "q 1 0 0 1 0 0 cm"},
      {"array with a part that inflates to nothing",
       {page("/Contents [8 0 R 10 0 R 9 0 R]"), a, b,
        stream_obj(10, "/Filter /FlateDecode", fixtures::zlib_stored(""))},
       "q 1 0 0 1 0 0 cm\nQ"},
      {"array of flate and raw", {page("/Contents [8 0 R 9 0 R]"), flate, b}, "BT ET\nQ"},
      {"array without references", {page("/Contents [8 9]"), a, b}, "q 1 0 0 1 0 0 cm"},
      {"empty array", {page("/Contents []"), a}, ""},
      {"no contents", {page(""), a}, ""},
      {"null", {page("/Contents null"), a}, ""},
      {"object zero", {page("/Contents 0 0 R"), a}, ""},
      {"name", {page("/Contents /X"), a}, ""},
      {"missing object", {page("/Contents 99 0 R"), a}, ""},
      {"not a stream", {page("/Contents 12 0 R"), length_obj}, ""},
      {"direct stream with indirect length",
       {page("/Contents << /Length 12 0 R >>\nstream\nBT ETxxxx\nendstream"), length_obj},
       "BT ET"},
      {"direct stream after CR LF",
       {page("/Contents << /Length 5 >> stream\r\nBT ET\nendstream"), a},
       "BT ET"},
      {"direct stream after one other byte",
       {page("/Contents << /Length 5 >> stream BT ET\nendstream"), a},
       "BT ET"},
      {"direct stream after a lone CR",
       {page("/Contents << /Length 5 >> stream\rBT ET\nendstream"), a},
       "BT ET"},
      {"direct stream is not decoded",
       {page("/Contents << /Length 5 /Filter /FlateDecode >>\nstream\nBT ET\nendstream"), a},
       "BT ET"},
      {"direct stream longer than the page",
       {page("/Contents << /Length 500 >>\nstream\nBT ET"), a},
       ""},
      {"direct stream with missing length object",
       {page("/Contents << /Length 77 0 R >>\nstream\nBT ET\nendstream"), a},
       ""},
      {"direct stream without length", {page("/Contents << >>\nstream\nBT ET\nendstream"), a}, ""},
  };
  for (const content_case& c : cases) {
    doc d = make_pages_doc(c.objects);
    EXPECT_EQ(content_of(d), c.expected) << c.name;
  }
}

// The whole filter chain of a content stream is decoded.
TEST(PageContent, FilterChains) {
  using testenc::a85_encode;
  using testenc::lzw_encode;
  using testenc::to_str;
  using testenc::to_vec;
  const std::string text = "BT /F1 12 Tf (Hi) Tj ET";
  const std::string z = fixtures::zlib_stored(text);
  // PNG rows of five bytes, each tagged None; the tags are gone after the predictor.
  const std::string rows = std::string("\0BT /F", 6) +
                           std::string("\0"
                                       "1 12 ",
                                       6) +
                           std::string("\0Tf (H", 6) + std::string("\0i) Tj", 6) +
                           std::string("\0 ET", 4);
  const struct {
    const char* name;
    std::string dict;
    std::string data;
    const char* expected = nullptr; // the text above when null
  } cases[] = {
      {"hex", "/Filter /ASCIIHexDecode", "4254 202f46 31203132205466202848 692920546A2045 54>"},
      {"hex abbreviated", "/Filter /AHx", "4254202f463120313220\n5466202848692920546a204554"},
      {"ascii85 then flate", "/Filter [/ASCII85Decode /FlateDecode]", a85_encode(to_vec(z))},
      {"ascii85 then flate abbreviated", "/Filter [/A85 /Fl]", a85_encode(to_vec(z))},
      {"flate abbreviated", "/Filter /Fl", z},
      {"lzw", "/Filter /LZWDecode", to_str(lzw_encode(to_vec(text), 1))},
      {"lzw without early change", "/Filter /LZW /DecodeParms << /EarlyChange 0 >>",
       to_str(lzw_encode(to_vec(text), 0))},
      {"run length", "/Filter /RL",
       std::string(1, static_cast<char>(text.size() - 1)) + text + "\x80"},
      {"run length then hex", "/Filter [/RunLengthDecode /AHx]",
       "\x03"
       "4254\xfd"
       "2\x80",
       "BT\"\""},
      {"flate with png predictor",
       "/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 5 >>",
       fixtures::zlib_stored(rows)},
      {"predictor in a parameters array",
       "/Filter [/A85 /FlateDecode] /DecodeParms [null << /Predictor 15 /Columns 5 >>]",
       a85_encode(to_vec(fixtures::zlib_stored(rows)))},
      {"lzw with png predictor", "/Filter /LZW /DecodeParms << /Predictor 10 /Columns 5 >>",
       to_str(lzw_encode(to_vec(rows), 1))},
  };
  for (const auto& c : cases) {
    doc d = make_pages_doc({page("/Contents 8 0 R"), stream_obj(8, c.dict, c.data)});
    EXPECT_EQ(content_of(d), c.expected ? c.expected : text) << c.name;
  }
}

// A stream whose chain holds a filter not decoded here is written raw with that chain; as
// one part of several it contributes nothing.
TEST(PageContent, UnknownFiltersAreKept) {
  const std::string jpeg = "\xff\xd8\xff\xe0";
  const struct {
    const char* name;
    std::string contents;
    std::string dict;
    std::string content, filter, parms;
  } cases[] = {
      {"image filter", "/Contents 8 0 R", "/Filter /DCTDecode", jpeg, "/DCTDecode", ""},
      {"unknown filter after a known one", "/Contents 8 0 R",
       "/Filter [/FlateDecode /JBIG2Decode] /DecodeParms [null << /JBIG2Globals 5 >>]", jpeg,
       "[/FlateDecode /JBIG2Decode]", "[null << /JBIG2Globals 5 >>]"},
      {"part of an array", "/Contents [8 0 R 9 0 R]", "/Filter /DCTDecode", "Q", "", ""},
      {"no filter", "/Contents 8 0 R", "", jpeg, "", ""},
  };
  for (const auto& c : cases) {
    doc d = make_pages_doc({page(c.contents), stream_obj(8, c.dict, jpeg), stream_obj(9, "", "Q")});
    buf content;
    buf scratch;
    bytes filter;
    bytes parms;
    EXPECT_EQ(testdoc::str(page_content(d, 3, content, scratch, filter, parms)), c.content)
        << c.name;
    EXPECT_EQ(testdoc::str(filter), c.filter) << c.name;
    EXPECT_EQ(testdoc::str(parms), c.parms) << c.name;
  }
}

// /Contents is the page's own key: one inside an annotation, a nested dictionary or a string
// does not count.
TEST(PageContent, OwnContentsKeyOnly) {
  const std::string a = stream_obj(8, "", "q Q");
  const std::string b = stream_obj(9, "", "annotation");
  const std::vector<content_case> cases = {
      {"inline annotation first",
       {page("/Annots [<< /Subtype /Text /Contents (note) >>] /Contents 8 0 R"), a, b},
       "q Q"},
      {"nested dictionary first", {page("/AA << /Contents 9 0 R >> /Contents 8 0 R"), a, b}, "q Q"},
      {"inside a string first", {page("/T (/Contents 9 0 R) /Contents 8 0 R"), a, b}, "q Q"},
      {"own key first", {page("/Contents 8 0 R /Annots [<< /Contents 9 0 R >>]"), a, b}, "q Q"},
      {"only a nested one", {page("/Annots [<< /Contents 9 0 R >>]"), a, b}, ""},
  };
  for (const content_case& c : cases) {
    doc d = make_pages_doc(c.objects);
    EXPECT_EQ(content_of(d), c.expected) << c.name;
  }
}

// /Contents naming an object that holds the array of streams.
TEST(PageContent, ContentsArrayInAnObjectOfItsOwn) {
  const std::string a = stream_obj(8, "", "q");
  const std::string b = stream_obj(9, "/Filter /AHx", "51>");
  const std::vector<content_case> cases = {
      {"array object", {page("/Contents 12 0 R"), a, b, obj(12, "[8 0 R 9 0 R]")}, "q\nQ"},
      {"array object one level only",
       {page("/Contents 12 0 R"), a, b, obj(12, "[8 0 R 13 0 R]"), obj(13, "[9 0 R]")},
       "q"},
      {"number object", {page("/Contents 12 0 R"), a, obj(12, "8")}, ""},
      {"dictionary object", {page("/Contents 12 0 R"), a, obj(12, "<< /A [8 0 R] >>")}, ""},
  };
  for (const content_case& c : cases) {
    doc d = make_pages_doc(c.objects);
    EXPECT_EQ(content_of(d), c.expected) << c.name;
  }
  doc member = make_pages_doc({page("/Contents 12 0 R"), a, b}, {{12, "[9 0 R 8 0 R]"}});
  EXPECT_EQ(content_of(member), "Q\nq");
}

TEST(PageContent, PageFromAnObjectStream) {
  doc d = make_pages_doc({stream_obj(8, "", "BT ET")}, {{3, "<< /Type /Page /Contents 8 0 R >>"}});
  EXPECT_EQ(content_of(d), "BT ET");
}

TEST(PageContent, MissingPageHasNoContent) {
  doc d = make_pages_doc({stream_obj(8, "", "BT ET")});
  EXPECT_EQ(content_of(d, 3), "");
}

TEST(PageContent, BuffersAreReusedFromPageToPage) {
  doc d = make_pages_doc({page("/Contents [8 0 R 9 0 R]"),
                          stream_obj(8, "/Filter /FlateDecode", fixtures::zlib_stored("AAAA")),
                          stream_obj(9, "/Filter /FlateDecode", fixtures::zlib_stored("BB"))});
  buf content;
  buf scratch;
  for (int round = 0; round < 3; ++round)
    EXPECT_EQ(testdoc::str(plain_content(d, 3, content, scratch)), "AAAA\nBB");
}

// Content that needs more than its room gives nothing and says so, whichever stream or stage
// needs it; the buffers never grow to the size the data would have.
TEST(PageContent, ContentPastItsRoomIsNotDecoded) {
  const size_t size = 3000000; // past the buffers' first capacity, so growth would show
  const std::string big(size, 'x');
  const std::string twice = fixtures::zlib_repeat('x', size);
  const std::string double_flate = fixtures::zlib_stored(twice);
  struct room_case {
    const char* name;
    std::string contents;
    std::string dict8;
    std::string data8;
    size_t limit;
    bool exceeded;
  };
  const room_case cases[] = {
      {"single Flate", "/Contents 8 0 R", "/Filter /FlateDecode", twice, size / 2, true},
      {"single Flate within", "/Contents 8 0 R", "/Filter /FlateDecode", twice, size + 1, false},
      {"two Flate stages", "/Contents 8 0 R", "/Filter [/FlateDecode /FlateDecode]", double_flate,
       size / 2, true},
      {"a part of an array", "/Contents [9 0 R 8 0 R]", "/Filter /FlateDecode", twice, size / 2,
       true},
      {"RunLength stage", "/Contents 8 0 R", "/Filter /RunLengthDecode",
       std::string(2000, '\x81') + "\x80", 100, true},
  };
  for (const room_case& c : cases) {
    SCOPED_TRACE(c.name);
    doc d = make_pages_doc(
        {page(c.contents), stream_obj(8, c.dict8, c.data8), stream_obj(9, "", "q Q")});
    buf content;
    buf scratch;
    bytes filter;
    bytes parms;
    content_room room{c.limit};
    const bytes got = page_content(d, 3, content, scratch, filter, parms, &room);
    EXPECT_EQ(room.exceeded, c.exceeded);
    if (c.exceeded) {
      EXPECT_TRUE(got.empty());
      EXPECT_LT(content.cap, size);
      EXPECT_LT(scratch.cap, size);
    } else {
      EXPECT_EQ(testdoc::str(got), big);
    }
  }
  // Parts that each fit but not together.
  doc d = make_pages_doc(
      {page("/Contents [8 0 R 8 0 R]"), stream_obj(8, "/Filter /FlateDecode", twice)});
  buf content;
  buf scratch;
  bytes filter;
  bytes parms;
  content_room room{size + size / 2};
  EXPECT_TRUE(page_content(d, 3, content, scratch, filter, parms, &room).empty());
  EXPECT_TRUE(room.exceeded);
}

// ---------------------------------------------------------------- a stream's decoded data

struct decoded {
  std::optional<std::string> bytes;
  uint64_t grown = 0;
  bool points_into_file = false;
};

decoded decode(const doc& d, int32_t num) {
  buf out;
  buf_str(out, "prefix");
  const uint64_t before = out.len;
  decoded r;
  std::optional<bytes> got = decode_stream_chain(d, *obj_lookup(d, num), out).data;
  r.grown = out.len - before;
  if (got) {
    r.bytes = testdoc::str(*got);
    r.points_into_file = got->data() >= d.data.get() && got->data() < d.data.get() + d.len;
    if (!r.points_into_file) {
      EXPECT_EQ(out.data.get()[out.len], 0) << "NUL after the content";
    }
  }
  return r;
}

TEST(StreamChain, FiltersAndPlaces) {
  const std::string z = fixtures::zlib_stored("0 0 m 10 10 l S");
  doc d = testdoc::make_doc({
      stream_obj(1, "/Filter [/FlateDecode]", z),
      stream_obj(2, "/Filter /FlateDecode /DecodeParms << /Predictor 1 /Columns 4 >>", z),
      stream_obj(3, "/Filter /DCTDecode", "\xff\xd8\xff\xe0"),
      stream_obj(4, "/Filter /Fl", z),
      stream_obj(5, "", "raw bytes"),
      stream_obj(6, "/Filter /FlateDecode", z.substr(0, z.size() - 8)), // cut short
      obj(7, "<< /Length 3 >>"),
  });
  struct expect {
    int32_t num;
    std::optional<std::string> bytes;
    bool in_file;
  };
  const expect cases[] = {
      {1, "0 0 m 10 10 l S", false}, {2, "0 0 m 10 10 l S", false}, {3, "\xff\xd8\xff\xe0", true},
      {4, "0 0 m 10 10 l S", false}, {5, "raw bytes", true},        {6, std::nullopt, false},
      {7, std::nullopt, false},
  };
  for (const expect& c : cases) {
    SCOPED_TRACE(c.num);
    decoded r = decode(d, c.num);
    EXPECT_EQ(r.bytes, c.bytes);
    if (!c.bytes) continue;
    EXPECT_EQ(r.points_into_file, c.in_file);
    EXPECT_EQ(r.grown, c.in_file ? 0 : c.bytes->size());
  }
}

// A /Filter or /DecodeParms written as a reference, or holding references, is resolved; a
// filter that cannot be known keeps the data raw with the value as written.
TEST(StreamChain, IndirectFiltersAndParametersAreResolved) {
  const std::string text = "0 0 m 10 10 l S 20 20 m"; // 23 bytes: rows of 3 and a short one
  const std::string z = fixtures::zlib_stored(text);
  const std::string png =
      fixtures::zlib_stored(testenc::to_str(testenc::png_encode(testenc::to_vec(text), 3, 1, 2)));
  doc d = testdoc::make_doc({
      stream_obj(1, "/Filter 20 0 R", z),
      stream_obj(2, "/Filter [20 0 R]", z),
      stream_obj(3, "/Filter /FlateDecode /DecodeParms 21 0 R", png),
      stream_obj(4, "/Filter [/FlateDecode] /DecodeParms [21 0 R]", png),
      stream_obj(5, "/Filter 22 0 R /DecodeParms 23 0 R", png),
      stream_obj(6, "/Filter 29 0 R", z),
      stream_obj(7, "/Filter 24 0 R", z),
      stream_obj(8, "/Filter [/FlateDecode 29 0 R]", z),
      obj(20, "/FlateDecode"),
      obj(21, "<< /Predictor 12 /Columns 3 >>"),
      obj(22, "[/FlateDecode]"),
      obj(23, "[21 0 R]"),
      obj(24, "42"),
  });
  struct expect {
    int32_t num;
    bool kept;
    std::string bytes, filter;
  };
  const expect cases[] = {
      {1, false, text, ""},
      {2, false, text, ""},
      {3, false, text, ""},
      {4, false, text, ""},
      {5, false, text, ""},
      {6, true, z, "29 0 R"}, // no such object
      {7, true, z, "24 0 R"}, // not a name
      {8, true, z, "[/FlateDecode 29 0 R]"},
  };
  for (const expect& c : cases) {
    SCOPED_TRACE(c.num);
    buf out;
    const stream_result r = decode_stream_chain(d, *obj_lookup(d, c.num), out);
    ASSERT_TRUE(r.data);
    EXPECT_EQ(r.kept_filter, c.kept);
    EXPECT_EQ(testdoc::str(*r.data), c.bytes);
    EXPECT_EQ(testdoc::str(r.filter), c.filter);
  }
}

TEST(StreamChain, FailureLeavesTheBufferAsItWas) {
  doc d = testdoc::make_doc(
      {stream_obj(1, "/Filter /FlateDecode", std::string("\x78\x01\x00\x05", 4))});
  decoded r = decode(d, 1);
  EXPECT_FALSE(r.bytes);
  EXPECT_EQ(r.grown, 0u);
}

TEST(StreamChain, EmptyExtentGivesNothing) {
  doc d = testdoc::make_doc({stream_obj(1, "", "x")});
  obj_entry& e = d.objects[0];
  e.data_end = e.data_start;
  EXPECT_FALSE(decode(d, 1).bytes);
  e.data_end = -1;
  EXPECT_FALSE(decode(d, 1).bytes);
}

// Well-compressed content beyond twenty to one is delivered whole, not dropped.
TEST(StreamChain, HighlyCompressedDataIsDeliveredWhole) {
  const struct {
    size_t size;
    bool beyond_first_capacity; // more than n x 20 + 4096 bytes
  } cases[] = {{5000, false}, {300000, true}, {3000001, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string z = fixtures::zlib_repeat('A', c.size);
    ASSERT_EQ(c.size > z.size() * 20 + 4096, c.beyond_first_capacity);
    doc d = testdoc::make_doc({stream_obj(1, "/Filter /FlateDecode", z)});
    decoded r = decode(d, 1);
    ASSERT_TRUE(r.bytes);
    EXPECT_EQ(*r.bytes, std::string(c.size, 'A'));
    EXPECT_EQ(r.grown, c.size);
  }
}

} // namespace

// ---------------------------------------------------------------- merged output

namespace {

// One page (object 3) whose content is object 4, with font 5 as a member of object stream 6.
std::string one_page_pdf(const std::string& content_dict, const std::string& content,
                         const std::string& font_text) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
              "/Resources << /Font << /F1 5 0 R >> >> /Contents 4 0 R >>");
  b.stream(4, content_dict, content);
  int first = 0;
  const std::string members = fixtures::objstm_body({{5, font_text}}, first);
  b.stream(6, "/Type /ObjStm /N 1 /First " + std::to_string(first), members);
  b.xref_table().trailer("<< /Size 7 /Root 1 0 R >>");
  return b.startxref().str();
}

std::string merged(const std::string& name, const std::string& pdf) {
  const std::string in = fixtures::write_temp(name + "_in.pdf", pdf);
  const std::string out = fixtures::temp_path(name + "_out.pdf");
  const char* paths[] = {in.c_str()};
  EXPECT_EQ(merge_many(paths, 1, out.c_str()), 0) << error_text();
  return out;
}

std::string object_text(const std::string& pdf, int num) {
  const std::string head = "\n" + std::to_string(num) + " 0 obj\n";
  const size_t at = pdf.find(head);
  if (at == std::string::npos) return "";
  const size_t end = pdf.find("endobj\n", at);
  return pdf.substr(at + 1, end == std::string::npos ? std::string::npos : end + 7 - at - 1);
}

} // namespace

// The new content dictionary carries the filters of a stream written raw, and nothing else
// for a decoded one.
TEST(MergedContent, ContentDictionary) {
  const std::string font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  const struct {
    const char* name;
    std::string dict, data, written;
  } cases[] = {
      {"kept", "/Filter /DCTDecode /DecodeParms << /ColorTransform 0 >>", "\xff\xd8\xff",
       "4 0 obj\n<< /Length 3 /Filter /DCTDecode /DecodeParms << /ColorTransform 0 >> "
       ">>\nstream\n\xff\xd8\xff\nendstream\nendobj\n"},
      {"decoded", "/Filter /AHx", "4254204554>",
       "4 0 obj\n<< /Length 5 >>\nstream\nBT ET\nendstream\nendobj\n"},
      {"plain", "", "BT ET", "4 0 obj\n<< /Length 5 >>\nstream\nBT ET\nendstream\nendobj\n"},
  };
  for (const auto& c : cases) {
    const std::string out = merged(c.name, one_page_pdf(c.dict, c.data, font));
    EXPECT_EQ(object_text(fixtures::read_file(out), 4), c.written) << c.name;
  }
}

// Comments in a copied text are dropped: "% 4 0 obj" at the start of a member's text would
// otherwise read as the header of object 4 when the output is loaded, and replace it. (The
// builder ends each member's text with a line feed, which is copied with it.)
TEST(MergedContent, CommentsInCopiedTextsAreDropped) {
  const struct {
    const char* name;
    std::string member, written;
  } cases[] = {
      {"comment before the dictionary", "% 4 0 obj\n<< /Type /Font /BaseFont /Helvetica >>",
       "5 0 obj\n\n<< /Type /Font /BaseFont /Helvetica >>\n\nendobj\n"},
      {"comment inside the dictionary", "<< /Type /Font % 4 0 obj\r/BaseFont /Helvetica >>",
       "5 0 obj\n<< /Type /Font \r/BaseFont /Helvetica >>\n\nendobj\n"},
      {"percent signs in strings stay",
       "<< /Type /Font /T (100% sure) /U <25> /BaseFont /Helvetica >>",
       "5 0 obj\n<< /Type /Font /T (100% sure) /U <25> /BaseFont /Helvetica >>\n\nendobj\n"},
      {"no comment", "<< /Type /Font /BaseFont /Helvetica >>",
       "5 0 obj\n<< /Type /Font /BaseFont /Helvetica >>\n\nendobj\n"},
  };
  for (const auto& c : cases) {
    const std::string out = merged("comment", one_page_pdf("", "BT /F1 12 Tf ET", c.member));
    EXPECT_EQ(object_text(fixtures::read_file(out), 5), c.written) << c.name;
    doc d;
    ASSERT_EQ(doc_load(out.c_str(), d), 0) << c.name;
    ASSERT_EQ(d.pages.size(), 1u) << c.name;
    EXPECT_EQ(content_of(d, d.pages[0].num), "BT /F1 12 Tf ET") << c.name;
    const obj_entry* font = obj_lookup(d, 5);
    ASSERT_NE(font, nullptr) << c.name;
    EXPECT_NE(testdoc::str(object_body(d.file(), *font)).find("/BaseFont /Helvetica"),
              std::string::npos)
        << c.name;
  }
}
