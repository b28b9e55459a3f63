// The scanning primitives: white space, keywords, names, the top-level /Type, object types,
// balanced dictionaries and integers.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace pdfmerge;
using namespace std::string_literals;

namespace {

bytes b(const std::string& s) {
  return as_bytes(s);
}

TEST(SkipWs, StopsAtTheFirstOtherByte) {
  const struct {
    std::string text;
    int32_t pos, end, want;
  } cases[] = {
      {"\0\t\n\f\r x"s, 0, 7, 6}, {"\x0b x", 0, 3, 0}, // VT is no PDF white space
      {"   ", 0, 3, 3},           {"   ", 0, 2, 2},
      {"ab  ", 5, 4, 5}, // a position not below the end is returned as it is
      {"  x", 1, 9, 2},  // an end past the text is held to the text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(skip_ws(b(c.text), c.pos, c.end), c.want);
  }
}

TEST(FindKw, WholeWordOccurrences) {
  const struct {
    std::string text;
    int32_t from;
    const char* kw;
    int32_t want;
  } cases[] = {
      {"xobj obj", -5, "obj", 5}, // a negative start searches from 0
      {"obj", -1, "obj", 0},       {"endobj obj", 0, "obj", 7},
      {"objobj obj", 0, "obj", 7}, {"obj1 obj", 0, "obj", 5},
      {"aobj", 1, "obj", -1}, // the byte before the start is still examined
      {"obj", 1, "obj", -1},       {"", 0, "obj", -1},
      {"ob", 0, "obj", -1},        {"xx obj", 3, "obj", 3},
      {"\0obj\0"s, 0, "obj", 1},   {"_obj]", 0, "obj", 1},
      {"o o ob obj", 0, "obj", 7}, {"trailer<<", 0, "trailer", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(find_kw(b(c.text), c.from, c.kw), c.want);
  }
}

TEST(KwAt, WholeWordAtPosition) {
  const struct {
    std::string text;
    int32_t pos;
    bool want;
  } cases[] = {
      {"objx", 0, false}, {"12 0 obj", 5, true}, {"12obj", 2, false}, {"obj", -1, false},
      {"ob", 0, false},   {"obj ", 0, true},     {"xobj", 1, false},  {" obj]", 1, true},
      {"obk", 0, false},  {"_obj", 1, true},     {"obj", 3, false},   {"obj\xE9", 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(kw_at(b(c.text), c.pos, "obj"), c.want);
  }
}

TEST(FindName, BytesAllowedAfterTheName) {
  const struct {
    std::string text;
    int32_t from, limit;
    int32_t want;
  } cases[] = {
      {"/Type/Page", 0, 100, 0},
      {"/TypeFace", 0, 100, -1},
      {"/Type+1", 0, 100, -1},
      {"/Type-x", 0, 100, -1},
      {"/Type_1", 0, 100, -1},
      {"/Type.x", 0, 100, 0},
      {"(/Type)", 0, 100, 1}, // strings are not recognised
      {"/Type", 0, 100, 0},   // the name ends the range
      {"/Type", 0, 4, -1},    // the limit cuts it
      {"/TypeX", 0, 5, 0},    // the limit ends the range before the 'X'
      {"x/Type /Type", 2, 100, 7},
      {"/Type[", 0, 100, 0},
      {"/Type<", 0, 100, 0},
      {"/Type(", 0, 100, 0},
      {"/Type/", 0, 100, 0},
      {"/Type\n", 0, 100, 0},
      {"/Type\0"s, 0, 100, 0},
      {"/Type\xE9", 0, 100, 0}, // only ASCII letters and digits continue a name
      {"/Typ", 0, 100, -1},
      {"<< /A << /Type /X >> >>", 0, 100, 9}, // nesting is not recognised
      {"%/Type\n", 0, 100, 1},                // nor comments
      {"//Type", 0, 100, 1},
      {"Type /Type", 0, 100, 5},
      {"/Type", 1, 100, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(find_name(b(c.text), c.from, c.limit, "Type"), c.want);
  }
}

TEST(FindNameTop, DepthStringsAndComments) {
  const struct {
    std::string text;
    int32_t from, limit;
    int32_t want;
  } cases[] = {
      {"<< /Type /X >>", 0, 100, 3},
      {"<< /A << /Type /X >> >>", 0, 100, -1},
      {"<< /S (/Type) /Type /Page >>", 0, 100, 14},
      {"<< /Type.x /Y >>", 0, 100, -1},
      {"<< /Type-1 >>", 0, 100, -1},
      {"<< /Type_1 >>", 0, 100, -1},
      {"<< /Type+1 >>", 0, 100, 3}, // '+' may follow here, unlike find_name
      {"<< % a comment to the end", 0, 100, -1},
      {"<< % c\n/Type /X >>", 0, 100, 7},
      {"<< % /Type\n/Type >>", 0, 100, 11},
      {"<< % /Type\r/Type >>", 0, 100, 11},
      {"/Type", 0, 100, 0},
      {"<< </Type> /Type >>", 0, 100, 11}, // a hexadecimal string is stepped over
      {"<< <abc", 0, 100, -1},
      {"<< (abc", 0, 100, -1},
      {"<< (a\\", 0, 100, -1},
      {"<< (", 0, 100, -1},
      {"<< (a(b)c) /Type >>", 0, 100, 11},
      {"<< (a\\) /Type) /Type >>", 0, 100, 15},
      {"<< /A <<>> /Type >>", 0, 100, 11},
      {">> >> /Type", 0, 100, 6}, // the depth never falls below 0
      {"<< <", 0, 100, -1},
      {"<< >", 0, 100, -1},
      {"<< /Type /X >>", 0, 7, -1},
      {"<< /Type /X >>", 0, 8, 3},
      {"<< /A << /Type /X >>", 6, 100, 9}, // depth counts from the start position
      {"<< /Type /X >>", 4, 100, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(find_name_top(b(c.text), c.from, c.limit), c.want);
  }
}

TEST(ObjType, FileObjects) {
  const struct {
    std::string body;
    int32_t want;
  } cases[] = {
      {"<< /Type /Catalog /Pages 3 0 R >>", 0},
      {"<</Type/Page/Parent 3 0 R>>", 1},
      {"<< /Type /Pages /Kids [4 0 R] >>", 2},
      {"<< /Type /Foo /A << /Type /Page >> >>", 1},
      {"<< /Type /PageLabel >>", 0},
      {"<< /Type /Pagesx >>", 0},
      {"<< /Type /Pages1 >>", 0},
      {"<< /Type /Page1 >>", 0},
      {"<< /Type /Catalog /Type /Page >>", 1},
      {"<< /Type/Pages>>", 2},
      {"<< /Type\n/Page >>", 1},
      {"<< /Type 5 /Type /Pages >>", 2},
      {"<< /Type (/Pages) /Type /Page >>", 1},
      {"<< /A << /Type /Page >> >>", 0}, // without a top-level /Type the nested one is not seen
      {"<< /Kids [] >>", 0},
      {"[/Type /Page]", 0}, // no dictionary span
      {"<< /Length 20 >>\nstream\n<< /Type /Page >>\nendstream", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    doc d = testdoc::make_doc({"1 0 obj\n" + c.body + "\nendobj"});
    EXPECT_EQ(obj_type(d.file(), d.objects[0]), c.want);
  }
}

TEST(ObjType, SpanEndsRightAfterTheName) {
  const struct {
    std::string text;
    int32_t want;
  } cases[] = {
      {"<< /Type /Page", 1}, {"<< /Type /Pages", 2}, {"<< /Type /Pag", 0},
      {"<< /Type /", 0},     {"<< /Type", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    doc d = testdoc::make_doc({}, {{1, c.text}});
    EXPECT_EQ(obj_type(d.file(), d.objects[0]), c.want);
  }
}

TEST(DictSpanOf, BoundsOfAnObjectsDictionary) {
  const std::string file = "0123456789abcdef";
  obj_entry no_dict;
  obj_entry to_stream;
  to_stream.dict_start = 2;
  to_stream.stream_kw = 9;
  to_stream.endobj = 12;
  obj_entry to_endobj;
  to_endobj.dict_start = 2;
  to_endobj.endobj = 12;
  obj_entry to_file_end;
  to_file_end.dict_start = 2;
  const uint8_t own[] = {'<', '<', '>', '>'};
  obj_entry member;
  member.in_objstm = 1;
  member.text = own;
  member.text_len = 4;
  const struct {
    const char* what;
    const obj_entry& e;
    bool ok;
    int32_t start, end;
  } cases[] = {
      {"no dictionary", no_dict, false, 0, 0},      {"stream", to_stream, true, 2, 9},
      {"endobj", to_endobj, true, 2, 12},           {"file end", to_file_end, true, 2, 16},
      {"object stream member", member, true, 0, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dict_span sp;
    ASSERT_EQ(dict_span_of(b(file), c.e, sp), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(sp.start, c.start);
    EXPECT_EQ(sp.end, c.end);
    EXPECT_EQ(sp.text.data(), c.e.in_objstm ? own : as_bytes(file).data());
  }
}

TEST(DictTextAt, BalancedDictionaries) {
  const struct {
    std::string text;
    int32_t pos;
    const char* want; // null: none
  } cases[] = {
      {"<< /A (x>>) >>", 0, "<< /A (x>>) >>"},
      {"<< /A (x)>> tail", 0, "<< /A (x)>>"},
      {"<< /A <41>>>", 0, "<< /A <41>>"}, // a hexadecimal string's '>' closes the dictionary
      {"<< /A 1", 0, nullptr},
      {"<<>>", 0, "<<>>"},
      {"<< /A << /B 1 >> >>x", 0, "<< /A << /B 1 >> >>"},
      {"x<<>>", 1, "<<>>"},
      {"< <>>", 0, nullptr},
      {"<", 0, nullptr},
      {"", 0, nullptr},
      {"<<>>", 3, nullptr},
      {"<< /A (unclosed >>", 0, nullptr},
      {"<< /A (a\\) >>) >>", 0, "<< /A (a\\) >>) >>"},
      {"<< /A ((>>)) >>", 0, "<< /A ((>>)) >>"},
      {"<< %>>\n>>", 0, "<< %>>"}, // comments are not recognised
      {"<<>", 0, nullptr},
      {"<<(a)>>", 0, "<<(a)>>"},
      {"<<(a)", 0, nullptr},
      {"<<(a\\", 0, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const bytes got = dict_text_at(b(c.text), c.pos);
    if (c.want) {
      EXPECT_EQ(testdoc::str(got), c.want);
      EXPECT_EQ(got.data(), b(c.text).data() + c.pos); // a view, not a copy
    } else {
      EXPECT_TRUE(got.empty()) << testdoc::str(got);
    }
  }
}

struct int_case {
  std::string text;
  int32_t pos;
  int32_t want;
  int32_t pos_after;
};

TEST(ParseIntAt, Cases) {
  const int_case cases[] = {
      {"  -12 0 R", 0, -12, 5},
      {"+5", 0, -1, 0},
      {"-", 0, -1, 0},
      {"- 5", 0, -1, 0},
      {"x", 0, -1, 0},
      {"   ", 0, -1, 0},
      {"-1", 0, -1, 2}, // reads -1 and moves on
      {"42", 0, 42, 2},
      {"007x", 0, 7, 3},
      {"\t\r\n\f\0 9"s, 0, 9, 7},
      {"\x0b"
       "5",
       0, -1, 0},
      {"12 34", 3, 34, 5},
      {"12 34", 2, 34, 5},
      {"12", 2, -1, 2},
      // Overlong runs wrap like 32-bit arithmetic.
      {"4294967297", 0, 1, 10},
      {"2147483648", 0, INT32_MIN, 10},
      {"-2147483648", 0, INT32_MIN, 11},
      {"99999999999", 0, 1215752191, 11},
      {"-4294967295", 0, 1, 11},
  };
  for (const int_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    int32_t pos = c.pos;
    EXPECT_EQ(parse_int_at(b(c.text), pos), c.want);
    EXPECT_EQ(pos, c.pos_after);
  }
}

TEST(ReadIntAdv, Cases) {
  const int_case cases[] = {
      {"R 5", 0, -1, 0}, // never consumes an 'R'
      {"x5", 0, -1, 1},  // consumes the offending byte
      {"+7 ", 0, 7, 2},
      {"-7", 0, -7, 2},
      {"  12 ", 0, 12, 4},
      {"", 0, -1, 0}, // not below the end: unchanged
      {"1 2 3", 5, -1, 5},
      {"   ", 0, -1, 3}, // white space to the end
      {"+", 0, -1, 1},
      {"  -", 0, -1, 3},
      {" +R", 0, -1, 2},
      {" -x", 0, -1, 3},
      {"\0 8"s, 0, 8, 3},
      {"4294967296", 0, 0, 10},
      {"-2147483649", 0, INT32_MAX, 11},
  };
  for (const int_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    int32_t pos = c.pos;
    EXPECT_EQ(read_int_adv(b(c.text), pos), c.want);
    EXPECT_EQ(pos, c.pos_after);
  }
}

} // namespace
