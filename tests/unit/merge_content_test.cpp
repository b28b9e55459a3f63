// Stream decoding and the content bytes of a page gathered from its /Contents.
#include "doc_fixture.h"
#include "pdf_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

std::string obj(int num, const std::string& body) {
  return std::to_string(num) + " 0 obj\n" + body + "\nendobj";
}

std::string stream_obj(int num, const std::string& dict_entries, const std::string& data) {
  return obj(num, "<< " + dict_entries + " /Length " + std::to_string(data.size()) +
                      " >>\nstream\n" + data + "\nendstream");
}

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

std::string content_of(const doc& d, int32_t page_num = 3) {
  buf content;
  buf scratch;
  return testdoc::str(page_content(d, page_num, content, scratch));
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
      {"other filter raw",
       {page("/Contents 8 0 R"), stream_obj(8, "/Filter /LZWDecode", "\x80\x0b")},
       "\x80\x0b"},
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
    EXPECT_EQ(testdoc::str(page_content(d, 3, content, scratch)), "AAAA\nBB");
}

// ---------------------------------------------------------------- decoded_stream

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
  std::optional<bytes> got = decoded_stream(*obj_lookup(d, num), d.file(), out);
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

TEST(DecodedStream, FiltersAndPlaces) {
  const std::string z = fixtures::zlib_stored("0 0 m 10 10 l S");
  doc d = testdoc::make_doc({
      stream_obj(1, "/Filter [/FlateDecode]", z),
      stream_obj(2, "/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 4 >>", z),
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
      {1, "0 0 m 10 10 l S", false}, {2, "0 0 m 10 10 l S", false},
      {3, "\xff\xd8\xff\xe0", true}, {4, z, true},
      {5, "raw bytes", true},        {6, std::nullopt, false},
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

TEST(DecodedStream, FailureLeavesTheBufferAsItWas) {
  doc d = testdoc::make_doc(
      {stream_obj(1, "/Filter /FlateDecode", std::string("\x78\x01\x00\x05", 4))});
  decoded r = decode(d, 1);
  EXPECT_FALSE(r.bytes);
  EXPECT_EQ(r.grown, 0u);
}

TEST(DecodedStream, EmptyExtentGivesNothing) {
  doc d = testdoc::make_doc({stream_obj(1, "", "x")});
  obj_entry& e = d.objects[0];
  e.data_end = e.data_start;
  EXPECT_FALSE(decode(d, 1).bytes);
  e.data_end = -1;
  EXPECT_FALSE(decode(d, 1).bytes);
}

// Well-compressed content beyond twenty to one is delivered whole, not dropped.
TEST(DecodedStream, HighlyCompressedDataIsDeliveredWhole) {
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
