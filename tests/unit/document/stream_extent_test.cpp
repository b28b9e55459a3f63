// Where stream data lies: the keyword after a dictionary, the /Length entry and the rule for
// an indirect length.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <string>

using namespace pdfmerge;
using namespace std::string_literals;

namespace {

bytes b(const std::string& s) {
  return as_bytes(s);
}

TEST(DictStreamKw, KeywordAfterTheDictionary) {
  const struct {
    std::string text;
    int32_t from;
    int32_t want;
  } cases[] = {
      {"<< /Length 5 /Filter /FlateDecode >>\r\nstream", 0, 38},
      {"<< /A << /B 1 >> /C (a >> b \\) c) >> stream", 0, 37},
      {"<< /Length 5 >>streamx", 0, -1},
      {"<< /ID <ab>>>\nstream", 0, -1}, // the hexadecimal string's '>' pairs with the end
      {"<< /ID <ab> >>\nstream", 0, 15},
      {"<< /Length 5 >>stream", 0, 15},
      {"<< /A 1 >> \n\t\f\0stream"s, 0, 15},
      {"<< /A 1 >>\x0bstream", 0, -1}, // VT is no white space
      {"<< /A 1 >> endstream", 0, -1},
      {"<< /A (a(b)c) >> stream", 0, 17},
      {"xx << /A 1 >> stream", 0, 14},
      {"1 0 obj << >> stream", 8, 14},
      {">> << /A 1 >> stream", 0, -1}, // a leading ">>" leaves the depth below 0
      {"<< /A 1", 0, -1},
      {"<< /A 1 >>", 0, -1},
      {"<< /A (x", 0, -1},
      {"<< /A (x\\", 0, -1},
      {"<< /A (", 0, -1},
      {"<< /A (x)", 0, -1},
      {"<< /A <", 0, -1},
      {"<< /A >", 0, -1},
      {"<<>>stream", 10, -1},
      {"<<>>stream", 11, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(dict_stream_kw(b(c.text), c.from), c.want);
  }
}

TEST(ParseLength, DirectAndIndirectForms) {
  const struct {
    std::string text;
    int32_t from, stop; // stop -1: the whole text
    int32_t want_len, want_ref;
  } cases[] = {
      {"/Length 120", 0, -1, 120, -1},
      {"/Length 12 0 R", 0, -1, -1, 12},
      {"/Length 12 0 R >>", 0, -1, -1, 12},
      {"/Length 12 0 obj", 0, -1, 12, -1},
      {"/Length 12 0 Rx", 0, -1, 12, -1},
      {"/Length 12 0 Rx", 0, 14, -1, 12}, // the range ends right after the 'R'
      {"/Length 12 0 R", 0, 13, 12, -1},  // the range ends before the 'R'
      {"/Length 12 R", 0, -1, -1, 12},
      {"/Length 12 0", 0, -1, 12, -1},
      {"/Length1 300 /Length 40", 0, -1, 40, -1},
      {"/Length -5 /Length 7", 0, -1, 7, -1},
      {"/Length /X /Length 4", 0, -1, 4, -1},
      {"/Length - /Length 6", 0, -1, 6, -1},
      {"/Length [1 2 3]", 0, -1, 3, -1},
      {"/Length [1 2 3", 0, -1, 3, -1},
      {"/Length [1 -2]", 0, -1, 1, -1},
      {"/Length [-1] /Length 9", 0, -1, 9, -1},
      {"/Length [ ]", 0, -1, -1, -1},
      {"/Length [x] /Length [y]", 0, -1, -1, -1},
      {"/Length 3 /Length 4", 0, -1, 3, -1},
      {"/Length 1 /Length 2", 1, -1, 2, -1},
      {"/Length", 0, -1, -1, -1},
      {"/Length 5", 0, 8, -1, -1}, // nothing after the name inside the range
      {"/Length\n5", 0, -1, 5, -1},
      {"/Length(5)", 0, -1, 5, -1},   // the byte after the name is passed over unexamined
      {"/Length    ", 0, -1, -1, -1}, // white space up to the end
      {"/Length \x0b"
       "5 /Length 6",
       0, -1, 6, -1},
      {"/Length 55", 0, 9, 55, -1}, // the integer is read past the range's end
      {"/Length 4294967297", 0, -1, 1, -1},
      {"/Length 2147483648", 0, -1, -1, -1}, // wraps negative: not usable
      {"/Filter /FlateDecode", 0, -1, -1, -1},
      {"/Length5 7", 0, -1, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const int32_t stop = c.stop < 0 ? static_cast<int32_t>(c.text.size()) : c.stop;
    int32_t len = 99, ref = 99;
    parse_length(b(c.text), c.from, stop, len, ref);
    EXPECT_EQ(len, c.want_len);
    EXPECT_EQ(ref, c.want_ref);
  }
}

TEST(ResolveLengthRef, PlainIntegerObjects) {
  doc d = testdoc::make_doc({"7 0 obj 345 endobj", "8 0 obj\n-4\nendobj", "9 0 obj\n/Name\nendobj",
                             "10 0 obj\n<< /A 1 >>\nendobj", "11 0 obj12 endobj",
                             "12 obj 77 endobj", "13 0 99 endobj", "14 0 obj 1 endobj",
                             "14 0 obj 2 endobj", "15 0 obj\r\n0\r\nendobj",
                             "16 0 obj\n<< /Length 3 >>\nstream\nabc\nendstream\nendobj"},
                            {{17, "5"}});
  ASSERT_EQ(obj_lookup(d, 16)->has_stream, 1);
  const struct {
    int32_t ref;
    int32_t want;
  } cases[] = {
      {7, 345}, {8, -1},  // negative
      {9, -1},            // not a number
      {10, -1}, {11, -1}, // "obj12" is no keyword
      {12, 77},           // no generation
      {13, 99},           // no keyword obj
      {14, 1},            // the first entry of the number
      {15, 0},  {16, -1}, // a stream
      {17, -1},           // taken from an object stream
      {42, -1},           // absent
      {0, -1},  {-1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ref);
    EXPECT_EQ(resolve_length_ref(d.file(), d.objects, d.index, c.ref), c.want);
  }
}

// The length of a stream object given as a reference, read end to end.
TEST(ResolveLengthRef, FromAParsedReference) {
  doc d = testdoc::make_doc(
      {"1 0 obj\n<< /Length 2 0 R >>\nstream\nabcde\nendstream\nendobj", "2 0 obj\n5\nendobj"});
  const obj_entry& e = d.objects[0];
  int32_t len = 0, ref = 0;
  parse_length(d.file(), e.dict_start, e.stream_kw, len, ref);
  ASSERT_EQ(len, -1);
  ASSERT_EQ(ref, 2);
  EXPECT_EQ(resolve_length_ref(d.file(), d.objects, d.index, ref), e.data_end - e.data_start);
}

} // namespace
