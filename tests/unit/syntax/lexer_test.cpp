// The lexer: white space, comments, strings, nested values, one value's extent, keywords,
// names, a dictionary's own keys, object types, integers and references.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(FindAnyOf3, FirstOfThreeBytesInEveryWindow) {
  // Long enough for the sixteen-byte steps, with hits at the start and end of a step, past
  // one, and in the bytes left over after the last whole step.
  std::string text(70, 'x');
  for (size_t at : {0u, 15u, 16u, 31u, 40u, 66u, 69u}) text[at] = "<>("[at % 3];
  text[50] = '\x80'; // a byte above 0x7F compares as itself
  const int32_t len = static_cast<int32_t>(text.size());
  for (int32_t pos = -1; pos <= len + 1; ++pos)
    for (int32_t end = 0; end <= len + 2; ++end) {
      int32_t want = std::max(pos, 0);
      const int32_t stop = std::min(end, len);
      while (want < stop && text[static_cast<size_t>(want)] != '<' &&
             text[static_cast<size_t>(want)] != '>' && text[static_cast<size_t>(want)] != '(')
        ++want;
      if (want >= stop) want = std::max(std::max(pos, 0), stop);
      ASSERT_EQ(find_any_of3(b(text), pos, end, '<', '>', '('), want) << pos << " " << end;
    }
  EXPECT_EQ(find_any_of3(b(text), 0, len, '\x80', 'q', 'r'), 50);
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

// A dictionary's own key: the walk that /Type, /Contents, /Resources, /Filter and the like are
// read with.
TEST(FindOwnKey, DepthStringsCommentsAndArrays) {
  const struct {
    std::string text;
    int32_t from, limit;
    int32_t want;
  } cases[] = {
      {"<< /Type /X >>", 0, 100, 3},
      {"<< /A << /Type /X >> >>", 0, 100, -1},
      {"<< /S (/Type) /Type /Page >>", 0, 100, 14},
      {"<< /Type.x /Y >>", 0, 100, 3},           // the same name rule as find_name
      {"<< /K [/Type] /Type /X >>", 0, 100, 14}, // an array's names are values, not keys
      {"<< /K [/Type /Type /X >>", 0, 100, 7},   // an array that never closes is read on
      {"<< /Type-1 >>", 0, 100, -1},
      {"<< /Type_1 >>", 0, 100, -1},
      {"<< /Type+1 >>", 0, 100, -1},
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
    EXPECT_EQ(find_own_key(b(c.text), c.from, c.limit, "Type"), c.want);
  }
}

TEST(ObjType, FileObjects) {
  const struct {
    std::string body;
    node_type want;
  } cases[] = {
      {"<< /Type /Catalog /Pages 3 0 R >>", node_type::other},
      {"<</Type/Page/Parent 3 0 R>>", node_type::page},
      {"<< /Type /Pages /Kids [4 0 R] >>", node_type::pages},
      {"<< /Type /Foo /A << /Type /Page >> >>", node_type::page},
      {"<< /Type /PageLabel >>", node_type::other},
      {"<< /Type /Pagesx >>", node_type::other},
      {"<< /Type /Pages1 >>", node_type::other},
      {"<< /Type /Page1 >>", node_type::other},
      {"<< /Type /Catalog /Type /Page >>", node_type::page},
      {"<< /Type/Pages>>", node_type::pages},
      {"<< /Type\n/Page >>", node_type::page},
      {"<< /Type 5 /Type /Pages >>", node_type::pages},
      {"<< /Type (/Pages) /Type /Page >>", node_type::page},
      {"<< /A << /Type /Page >> >>",
       node_type::other}, // without a top-level /Type the nested one is not seen
      {"<< /Kids [] >>", node_type::other},
      {"[/Type /Page]", node_type::other}, // no dictionary span
      {"<< /Length 20 >>\nstream\n<< /Type /Page >>\nendstream", node_type::other},
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
    node_type want;
  } cases[] = {
      {"<< /Type /Page", node_type::page}, {"<< /Type /Pages", node_type::pages},
      {"<< /Type /Pag", node_type::other}, {"<< /Type /", node_type::other},
      {"<< /Type", node_type::other},
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
      {"<< /A <41>>>", 0, "<< /A <41>>>"},         // a hexadecimal string is stepped over
      {"<< /A ] /B [ >> x", 0, "<< /A ] /B [ >>"}, // brackets never close a dictionary
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
      {"<< %>>\n>>", 0, "<< %>>\n>>"}, // so is a comment
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

TEST(ReadIntOrSkip, Cases) {
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
    EXPECT_EQ(read_int_or_skip(b(c.text), pos), c.want);
    EXPECT_EQ(pos, c.pos_after);
  }
}

// ---------------------------------------------------------------- tokens

struct skip_case {
  std::string text;
  int32_t pos, end;
  int32_t want;
};

TEST(SkipLiteralString, EscapesAndNesting) {
  const skip_case cases[] = {
      {"(abc) x", 0, 99, 5},      {"(a(b)c) x", 0, 99, 7},
      {R"((a\\) x)", 0, 99, 5},   // an escaped backslash, then the closing ')'
      {R"((a\)) x)", 0, 99, 5},   // an escaped ')', then the closing one
      {R"((a\\\)) x)", 0, 99, 7}, // an escaped backslash and an escaped ')'
      {R"((a\(b) x)", 0, 99, 6},  // an escaped '(' does not nest
      {"((a) x", 0, 99, -1},      {"(a", 0, 99, -1},
      {R"((a\)", 0, 99, -1}, // a backslash in the last position
      {"(abc) x", 0, 4, -1}, // the end bound cuts it off
      {"(", 0, 99, -1},           {"x(a)", 1, 99, 4},
      {"(a)", -1, 99, -1},        {"(\0)"s, 0, 99, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(skip_literal_string(b(c.text), c.pos, c.end), c.want);
  }
}

TEST(SkipHexStringAndComments, Ends) {
  EXPECT_EQ(skip_hex_string(b("<4142> x"), 0, 99), 6);
  EXPECT_EQ(skip_hex_string(b("<41"), 0, 99), -1);
  EXPECT_EQ(skip_hex_string(b("<41>"), 0, 3), -1);
  EXPECT_EQ(skip_hex_string(b("<"), 0, 99), -1);
  EXPECT_EQ(comment_end(b("% a\nx"), 0, 99), 3);
  EXPECT_EQ(comment_end(b("% a\rx"), 0, 99), 3);
  EXPECT_EQ(comment_end(b("% a (b"), 0, 99), 6); // runs to the end
  EXPECT_EQ(comment_end(b("% a\nx"), 0, 2), 2);
}

TEST(LexStep, EachItemAndWhereItEnds) {
  struct row {
    const char* text;
    int32_t at, end;
    lex_item item;
    int32_t next;
    bool closed;
  };
  const row rows[] = {
      {"(a(b)c) x", 0, 99, lex_item::literal_string, 7, true},
      {R"((a\\) x)", 0, 99, lex_item::literal_string, 5, true}, // an escaped backslash
      {"(ab) x", 0, 3, lex_item::literal_string, 3, false},     // cut by the range
      {"(a\\)", 0, 99, lex_item::literal_string, 4, false},     // an escaped parenthesis
      {"(open", 0, 99, lex_item::literal_string, 5, false},
      {"<41 42> x", 0, 99, lex_item::hex_string, 7, true},
      {"<41", 0, 99, lex_item::hex_string, 3, false},
      {"<< /A 1 >>", 0, 99, lex_item::dict_open, 2, true},
      {"% (a\nb", 0, 99, lex_item::comment, 4, true}, // ends at its line end
      {"% (a", 0, 99, lex_item::comment, 4, true},
      {">> x", 0, 99, lex_item::other, 1, true},
      {"/N", 0, 99, lex_item::other, 1, true},
  };
  for (const row& r : rows) {
    const lex_step got = lex_step_at(b(r.text), r.at, r.end);
    EXPECT_EQ(got.item, r.item) << r.text;
    EXPECT_EQ(got.next, r.next) << r.text;
    EXPECT_EQ(got.closed, r.closed) << r.text;
  }
}

TEST(SkipNested, ArraysAndDictionaries) {
  const skip_case cases[] = {
      {"[1 2] x", 0, 99, 5},
      {"[[1] [2 [3]]] x", 0, 99, 13},
      {"<< /A << /B 1 >> >> x", 0, 99, 19},
      {"[(]) 1] x", 0, 99, 7},       // a string's bracket
      {"[<5D> 1] x", 0, 99, 8},      // a hexadecimal string's bytes
      {"[% ]\n1] x", 0, 99, 7},      // a comment's bracket
      {"<< /A <41>>> x", 0, 99, 12}, // the hex string's '>' is not half a ">>"
      {"<< /A [>> x", 0, 99, 9},     // a dictionary counts only "<<" and ">>"
      {"[<< ] x", 0, 99, 5},         // an array counts only '[' and ']'
      {"[1 2", 0, 99, -1},
      {"[(1]", 0, 99, -1},
      {"[1 2]", 0, 4, -1},
      {"x", 0, 99, -1}, // no opener there
      {"<x", 0, 99, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(skip_nested(b(c.text), c.pos, c.end), c.want);
  }
}

TEST(ValueEnd, OneValue) {
  const skip_case cases[] = {
      {"12 0 R /X", 0, 99, 6}, {"12 0 Rx", 0, 99, 2},
      {"12 /X", 0, 99, 2},     {"-1.5 /X", 0, 99, 4},
      {"/Name/X", 0, 99, 5},   {"/Na#20me x", 0, 99, 8},
      {"(a (b)) x", 0, 99, 7}, {"<41> x", 0, 99, 4},
      {"[1 [2]] x", 0, 99, 7}, {"<< /A 1 >> x", 0, 99, 10},
      {"true]", 0, 99, 4},     {"] x", 0, 99, 0},
      {">> x", 0, 99, 0},      {") x", 0, 99, 0},
      {"{1}", 0, 99, 0},       {"(abc", 0, 99, -1},
      {"[1", 0, 99, -1},       {"<41", 0, 99, -1},
      {"x", 1, 99, 1}, // nothing at the end of the range
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(value_end(b(c.text), c.pos, c.end), c.want);
  }
}

TEST(OwnValue, TheValueOfAnOwnKey) {
  const struct {
    std::string text;
    const char* name;
    const char* want;
  } cases[] = {
      {"<< /Filter /FlateDecode /Length 5 >>", "Filter", "/FlateDecode"},
      {"<< /Filter [/A85 /Fl] >>", "Filter", "[/A85 /Fl]"},
      {"<< /DecodeParms << /Columns 4 >> >>", "DecodeParms", "<< /Columns 4 >>"},
      {"<< /Filter 6 0 R >>", "Filter", "6 0 R"},
      {"<< /S << /Filter /X >> /Filter /Y >>", "Filter", "/Y"},
      {"<< /Filter >>", "Filter", ""},
      {"<< /Filter", "Filter", ""},
      {"<< /Filter (open", "Filter", ""},
      {"<< /Length 5 >>", "Filter", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(testdoc::str(own_value(b(c.text), 0, 999, c.name)), c.want);
  }
}

// ---------------------------------------------------------------- references

TEST(RefAt, Spacing) {
  const struct {
    std::string text;
    bool found;
    int32_t num, after;
    bool spaced_gen;
  } cases[] = {
      {"12 0 R", true, 12, 6, true},
      {"12 0 R/X", true, 12, 6, true},
      {"12\n0\r\nR", true, 12, 7, true},
      {"12 0R", true, 12, 5, true},
      {"12 R", true, 12, 4, false}, // no generation
      {"12R", true, 12, 3, false},
      {"12 0 RG", false, 12, 0, true}, // a keyword that starts with R
      {"12 0 obj", false, 12, 0, true},
      {"12 0", false, 12, 0, true},
      {"12\x0b"
       "0 R",
       false, 12, 0, false},                 // VT is no white space
      {"4294967301 0 R", false, 5, 0, true}, // too large for an object number
      {"2147483647 0 R", true, 2147483647, 14, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const ref_match m = ref_at(b(c.text), 0, size_of(b(c.text)));
    EXPECT_EQ(m.found, c.found);
    EXPECT_EQ(m.num, c.num);
    EXPECT_EQ(static_cast<size_t>(m.digits_end), c.text.find_first_not_of("0123456789"));
    if (c.found) {
      EXPECT_EQ(m.after, c.after);
      EXPECT_EQ(m.spaced_gen, c.spaced_gen);
    }
  }
}

TEST(StrictRefAt, NeedsTheFullForm) {
  const struct {
    std::string text;
    int32_t want;
  } cases[] = {
      {"7 0 R", 7},  {"7 0  R]", 7}, {"7R", -1},     {"7 R", -1},    {"70 R", -1},
      {"0 0 R", -1}, {"7 0 Rx", -1}, {"x7 0 R", -1}, {"-7 0 R", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t after = -5;
    EXPECT_EQ(strict_ref_at(b(c.text), 0, 99, after), c.want);
    if (c.want > 0) {
      EXPECT_EQ(c.text[static_cast<size_t>(after) - 1], 'R');
    }
  }
}

TEST(LooseRefElement, ArrayElements) {
  const struct {
    std::string text;
    int32_t num, after;
  } cases[] = {
      {"3 0 R 4 0 R]", 3, 6}, {"3 0 R]", 3, 5}, {"3R4R", 3, 2},
      {"3 0 4 0 R", 3, 4},    {"3]", 3, 1},     {"3 0", 3, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t i = 0;
    EXPECT_EQ(loose_ref_element(b(c.text), i, size_of(b(c.text))), c.num);
    EXPECT_EQ(i, c.after);
  }
}

TEST(CollectRefs, InOrderWithDuplicates) {
  std::vector<int32_t> found;
  collect_refs(b("<< /A 5 0 R /B [6 0 R 5 0 R] /C 7 /D 8R /E 12 0 obj >>"), 0, 99, found);
  EXPECT_EQ(found, (std::vector<int32_t>{5, 6, 5, 8}));
}

} // namespace
