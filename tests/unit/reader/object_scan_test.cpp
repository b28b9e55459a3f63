// Object discovery: header recognition, where stream data starts and ends, the removal of false
// entries, and the indexes that keep it linear (each checked against the plain scan it replaces).
#include "loader_fixture.h"
#include "loader_reference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

using namespace pdfmerge;
using namespace std::string_literals;
using loadtest::discovered;
using loadtest::doc_of;
using loadtest::file_text;
using loadtest::nums_of;

namespace {

const obj_entry* entry_of(const doc& d, int32_t num) {
  for (const obj_entry& e : d.objects)
    if (e.num == num) return &e;
  return nullptr;
}

TEST(HeaderScan, RecognisesHeadersByTheirBytes) {
  const struct {
    std::string text;
    int32_t num;   // -1: no entry at all
    int32_t start; // of the entry found
  } cases[] = {
      {"5 0 obj\n1\nendobj", 5, 0},
      {"x5 0 obj\n1\nendobj", -1, 0},
      {"5obj\n1\nendobj", -1, 0},
      {"5 0obj\n1\nendobj", -1, 0},
      {"0 0 obj\n1\nendobj", -1, 0},
      {"5\0"
       "0\0obj 1 endobj"s,
       -1, 0},                      // NUL is no separator here
      {"5\v0\vobj 1 endobj", 5, 0}, // VT is
      {"50 obj 1 endobj", -1, 0},   // one number only
      {"5 0 \t\r\n\f obj 1 endobj", 5, 0},
      {"5  \n 0 obj 1 endobj", 5, 0},
      {"%junk\n12 3 obj 1 endobj", 12, 6},
      {"a 5 0 obj 1 endobj", 5, 2},
      {"-5 0 obj 1 endobj", 5, 1},
      {"5 0 obj 1", -1, 0}, // no endobj
      {"5 0 obj << /A 1 >>", -1, 0},
      {" 4294967302 0 obj 1 endobj", 6, 1}, // digits wrap in 32 bits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const doc d = discovered(c.text);
    if (c.num < 0) {
      EXPECT_TRUE(d.objects.empty());
      continue;
    }
    ASSERT_EQ(d.objects.size(), 1u);
    EXPECT_EQ(d.objects[0].num, c.num);
    EXPECT_EQ(d.objects[0].start, c.start);
  }
}

TEST(HeaderScan, FillsTheEntryOfAPlainObject) {
  const std::string text = "%PDF-1.4\n3 65535 obj\n  << /A (x) >>\nendobj\n4 0 obj 17 endobj\n";
  const doc d = discovered(text);
  ASSERT_EQ(nums_of(d), (std::vector<int32_t>{3, 4}));
  const obj_entry& a = d.objects[0];
  EXPECT_EQ(a.gen, 65535);
  EXPECT_EQ(a.start, 9);
  EXPECT_EQ(a.dict_start, static_cast<int32_t>(text.find("<<")));
  EXPECT_EQ(a.endobj, static_cast<int32_t>(text.find("endobj")));
  EXPECT_EQ(a.end, a.endobj + 6);
  EXPECT_EQ(a.has_stream, 0);
  EXPECT_EQ(a.stream_kw, -1);
  const obj_entry& b = d.objects[1];
  EXPECT_EQ(b.dict_start, -1);
  EXPECT_EQ(b.endobj, static_cast<int32_t>(text.rfind("endobj")));
  EXPECT_EQ(b.text, nullptr);
  EXPECT_EQ(b.in_objstm, 0);
}

TEST(HeaderScan, CommentsAfterObjAreSkippedBeforeTheDictionary) {
  const struct {
    std::string text;
    bool dict; // the entry's dictionary is the "<<" in the text
    int32_t has_stream;
  } cases[] = {
      {"1 0 obj % note\n<< /A 1 >>\nendobj", true, 0},
      {"1 0 obj %a\r%b\r\n  %c\n<< /A 1 >>\nendobj", true, 0},
      {"1 0 obj\n%%x\n<< /Length 1 >>\nstream\nx\nendstream\nendobj", true, 1},
      {"1 0 obj %<<\n 5 endobj", false, 0},      // the comment's bytes are no dictionary
      {"1 0 obj % << /A 1 >> endobj", false, 0}, // a comment that runs to the end
      {"1 0 obj << /A 1 >> endobj", true, 0},
      {"1 0 obj (%) << /A 1 >> endobj", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const doc d = discovered(c.text);
    ASSERT_EQ(d.objects.size(), 1u);
    EXPECT_EQ(d.objects[0].dict_start, c.dict ? static_cast<int32_t>(c.text.rfind("<<")) : -1);
    EXPECT_EQ(d.objects[0].has_stream, c.has_stream);
  }
}

TEST(HeaderScan, StreamDataStartsAfterOneEndOfLine) {
  const std::string head = "1 0 obj << /Length 3 >> stream";
  const int32_t c = static_cast<int32_t>(head.size()); // just after the keyword
  const struct {
    std::string after;
    int32_t offset; // of data_start from c
  } cases[] = {
      {"\r\nabc", 2}, {"  \nabc", 3}, {" \t\r\nabc", 4},
      {"\nabc", 1},   {"\rabc", 1},   {"%abc", 1}, // a direct data byte is skipped
      {"  ", 1},      {"", 0},                     // the file ends
  };
  for (const auto& c2 : cases) {
    SCOPED_TRACE(testing::PrintToString(c2.after));
    const std::string text = head + c2.after;
    doc d = doc_of(text);
    text_indexes ix(d.file());
    headers_scan(d, ix);
    ASSERT_EQ(d.objects.size(), 1u);
    EXPECT_EQ(d.objects[0].has_stream, 1);
    EXPECT_EQ(d.objects[0].stream_kw, c - 6);
    EXPECT_EQ(d.objects[0].data_start, c + c2.offset);
    EXPECT_EQ(d.objects[0].data_end, -1);
  }
}

TEST(StreamEnds, LengthIsTrustedOnlyWhereEndstreamFollows) {
  const struct {
    std::string length;
    std::string data_and_end; // data, then what precedes "endstream"
    std::string want;
  } cases[] = {
      {"10", "0123456789\n", "0123456789"},
      {"999", "0123456789\r\n", "0123456789"}, // wrong length: cut before the CR LF
      {"4", "0123456789\n", "0123456789"},
      {"12", "0123456789\n", "0123456789"},
      {"11", "0123456789\n", "0123456789\n"},      // "endstream" right at the length
      {"10", "0123456789\r\n \x0b", "0123456789"}, // isspace bytes, VT included
      {"10", "0123456789\r", "0123456789"},
      {"14", "ab endstream c\n", "ab endstream c"}, // a false keyword inside the data
      {"0", "", ""},
      {"2147483600", "0123456789\n", "0123456789"}, // beyond any 32-bit position
      {"[1 2 10]", "0123456789\n", "0123456789"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length + " " + testing::PrintToString(c.data_and_end));
    const std::string text = "1 0 obj\n<< /Length " + c.length + " >>\nstream\n" + c.data_and_end +
                             "endstream\nendobj\n";
    const doc d = discovered(text);
    ASSERT_EQ(d.objects.size(), 1u);
    const obj_entry& e = d.objects[0];
    EXPECT_EQ(file_text(d, e.data_start, e.data_end), c.want);
    EXPECT_EQ(e.endobj, static_cast<int32_t>(text.rfind("endobj")));
    EXPECT_EQ(e.end, e.endobj + 6);
  }
}

TEST(StreamEnds, IndirectLengthsAndMissingOnes) {
  // The data holds a false "endstream", so only a resolved length keeps it whole; a length that
  // cannot be read leaves the stream in the table with the extent the search finds.
  const std::string data = "ab endstream cd";
  const struct {
    std::string dict;
    std::string others;
    std::string want;
    int32_t length_unknown;
  } cases[] = {
      {"/Length 5 0 R", "5 0 obj\n15\nendobj\n", data, 0},
      {"/Length 5 0 R", "5 0 obj 15 endobj\n", data, 0},
      {"/Length 5 0 R", "5 0 obj\n3\nendobj\n5 0 obj 15 endobj\n", "ab ", 0}, // the first 5
      {"/Length 5 0 R", "", "ab ", 1},                                        // missing
      {"/Length 5 0 R", "5 0 obj << /Length 1 >> stream\nx\nendstream endobj\n", "ab ", 1},
      {"/Length 5 0 R", "5 0 obj -4 endobj\n", "ab ", 1},
      {"/Length 0 0 R", "", "ab ", 1},
      {"/Filter /X", "", "ab ", 1}, // no /Length at all
      {"/Length1 15", "", "ab ", 1},
      {"/Length (15)", "", "ab ", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dict + " | " + c.others);
    const std::string text =
        "1 0 obj\n<< " + c.dict + " >>\nstream\n" + data + "\nendstream\nendobj\n" + c.others;
    const doc d = discovered(text);
    const obj_entry* e = entry_of(d, 1);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(file_text(d, e->data_start, e->data_end), c.want);
    EXPECT_EQ(e->length_unknown, c.length_unknown);
    EXPECT_EQ(e->endobj, static_cast<int32_t>(text.find("endobj")));
  }
}

TEST(StreamEnds, EndobjBeforeEndstreamClosesTheObject) {
  // The keyword endstream is damaged or missing: the data ends at the endobj that comes first,
  // or at the length when that reaches no further; the next stream's endstream is not taken.
  const std::string next = "2 0 obj << /Length 3 >> stream\nxyz\nendstream\nendobj\n";
  const struct {
    std::string dict;
    std::string body; // data and what follows up to the endobj
    std::string want;
  } cases[] = {
      {"/Length 4", "abcd\nendstrem\n", "abcd"},               // the length lies before the endobj
      {"/Length 999", "abcd\nendstrem\r\n", "abcd\nendstrem"}, // too long: before the line end
      {"/Length 999", "abcd\r", "abcd"},
      {"/Length 999", "abcd ", "abcd "},
      {"/Length 14", "abcd\nendstrem\n", "abcd\nendstrem\n"}, // reaching the endobj exactly
      {"", "abcd\n", "abcd"},                                 // no length either
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dict + " " + testing::PrintToString(c.body));
    const std::string text = "1 0 obj\n<< " + c.dict + " >>\nstream\n" + c.body + "endobj\n" + next;
    const doc d = discovered(text);
    ASSERT_EQ(nums_of(d), (std::vector<int32_t>{1, 2}));
    const obj_entry& e = d.objects[0];
    EXPECT_EQ(file_text(d, e.data_start, e.data_end), c.want);
    EXPECT_EQ(e.endobj, static_cast<int32_t>(text.find("endobj")));
    EXPECT_EQ(e.end, e.endobj + 6);
    EXPECT_EQ(file_text(d, d.objects[1].data_start, d.objects[1].data_end), "xyz");
  }
}

TEST(StreamEnds, EndstreamBeforeEndobjIsSearchedAsBefore) {
  // An endobj inside the data after the real endstream does not matter, nor one after it.
  const std::string text = "1 0 obj\n<< /Length 99 >>\nstream\nab\r\nendstream\nendobj\n"
                           "2 0 obj (endobj) endobj\n";
  const doc d = discovered(text);
  ASSERT_EQ(nums_of(d), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(file_text(d, d.objects[0].data_start, d.objects[0].data_end), "ab");
  EXPECT_EQ(d.objects[0].endobj, static_cast<int32_t>(text.find("endobj")));
}

TEST(StreamEnds, LengthObjectMayFollowTheStream) {
  const std::string text = "1 0 obj\n<< /Length 9 0 R >>\nstream\nab endstream cd\nendstream\n"
                           "endobj\n9 0 obj 15 endobj\n";
  const doc d = discovered(text);
  const obj_entry* e = entry_of(d, 1);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(file_text(d, e->data_start, e->data_end), "ab endstream cd");
}

TEST(FalseEntries, HeadersInsideStreamDataAreDropped) {
  const std::string stream =
      "1 0 obj\n<< /Length 16 >>\nstream\n7 0 obj 5 endobj\nendstream\nendobj\n";
  const doc d = discovered(stream);
  EXPECT_EQ(nums_of(d), (std::vector<int32_t>{1}));

  // In a string of an ordinary dictionary the same bytes make an entry that ends with the
  // enclosing object's endobj.
  const std::string in_string = "1 0 obj\n<< /S (7 0 obj) >>\nendobj\n";
  const doc s = discovered(in_string);
  ASSERT_EQ(nums_of(s), (std::vector<int32_t>{1, 7}));
  EXPECT_EQ(s.objects[1].endobj, s.objects[0].endobj);
}

TEST(FalseEntries, StreamRangesHideHeadersOnlyWhenALengthSettledThem) {
  const struct {
    const char* what;
    std::string text;
    std::vector<int32_t> nums;
  } cases[] = {
      // No endstream and no endobj: the data runs to the end and hides 2; 1 has no endobj.
      {"missing endstream and endobj",
       "4 0 obj 1 endobj\n1 0 obj\n<< /Length 100 >>\nstream\nxyz\n"
       "2 0 obj << /Length 1 >> stream\nx",
       {4}},
      // The endobj of 2 closes 1 first: 2 lies in 1's data (a length was read), 3 stays.
      {"endobj before any endstream",
       "4 0 obj 1 endobj\n1 0 obj\n<< /Length 100 >>\nstream\nxyz\n"
       "2 0 obj 5 endobj\n3 0 obj 6 endobj\n",
       {4, 1, 3}},
      // Without a readable length the searched range hides nothing.
      {"searched range of a stream without length",
       "1 0 obj\n<< /Type /XRef >>\nstream\nxyz\n2 0 obj (a) endobj\n"
       "3 0 obj << /Length 1 >> stream\nx\nendstream\nendobj\n",
       {1, 2, 3}},
      {"the same with a length",
       "1 0 obj\n<< /Length 99 >>\nstream\nxyz\n2 0 obj (a) endobj\n"
       "3 0 obj << /Length 1 >> stream\nx\nendstream\nendobj\n",
       {1, 3}},
      {"headers in data without length",
       "1 0 obj\n<< >>\nstream\n7 0 obj 5 endobj\nendstream\nendobj\n",
       {1, 7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(nums_of(discovered(c.text)), c.nums);
  }
}

TEST(FalseEntries, RangeOfARemovedStreamStillHidesHeaders) {
  // Stream 1 has a length but no endobj after its data; its data range still counts.
  const std::string text = "1 0 obj\n<< /Length 16 >>\nstream\n7 0 obj 5 endobj\nendstream\n";
  EXPECT_TRUE(discovered(text).objects.empty());
}

TEST(FalseEntries, RemovalMovesTheLastEntryForward) {
  const std::string text = "1 0 obj << /Length 16 >> stream\n7 0 obj 5 endobj\nendstream endobj\n"
                           "2 0 obj 2 endobj\n3 0 obj 3 endobj\n";
  EXPECT_EQ(nums_of(discovered(text)), (std::vector<int32_t>{1, 3, 2}));
}

TEST(FalseEntries, DirectRuleMatchesTheIndexedOne) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (int k = 0; k < 12; ++k) {
      const int num = 1 + static_cast<int>(rng() % 6);
      const int pick = static_cast<int>(rng() % 4);
      if (pick == 0) text += std::to_string(num) + " 0 obj 1 endobj\n";
      if (pick == 1)
        text += std::to_string(num) + " 0 obj << /Length " + std::to_string(rng() % 40) +
                " >> stream\n" + std::to_string(num + 1) + " 0 obj 2 endobj\nendstream endobj\n";
      if (pick == 2) text += std::to_string(num) + " 0 obj << >> stream\nx\n";
      if (pick == 3) text += "endstream\n";
    }
    SCOPED_TRACE(text);
    doc a = doc_of(text);
    doc b = doc_of(text);
    for (doc* d : {&a, &b}) {
      text_indexes ix(d->file());
      headers_scan(*d, ix);
      stream_ends_settle(*d, ix);
    }
    false_entries_drop(a);
    false_entries_drop_direct(b);
    ASSERT_EQ(a.objects.size(), b.objects.size());
    for (size_t i = 0; i < a.objects.size(); ++i) {
      EXPECT_EQ(a.objects[i].num, b.objects[i].num);
      EXPECT_EQ(a.objects[i].start, b.objects[i].start);
    }
  }
}

TEST(Selection, LastPlainDefinitionWins) {
  fixtures::pdf_builder b;
  b.object(4, "(old)").object(5, "(five)").xref_table().trailer("<< /Root 1 0 R >>").startxref();
  b.object(4, "(new)").xref_table().trailer("<< /Root 1 0 R >>").startxref();
  doc d = loadtest::selected(b.str());
  ASSERT_EQ(nums_of(d), (std::vector<int32_t>{5, 4}));
  EXPECT_EQ(d.objects[1].start, b.offset_of(4));
  EXPECT_EQ(obj_lookup(d, 4), &d.objects[1]); // the index is rebuilt
  EXPECT_EQ(d.max_num, 5);
}

TEST(Selection, RemovalCanMoveAnOlderDefinitionAhead) {
  // The false entry 7 inside stream 9's data is replaced by the last entry (the newer 5), which
  // then stands before the older 5; the last in table order, the older one, is kept.
  const std::string text = "9 0 obj << /Length 16 >> stream\n7 0 obj 5 endobj\nendstream endobj\n"
                           "5 0 obj (older) endobj\n6 0 obj 6 endobj\n5 0 obj (newer) endobj\n";
  doc d = loadtest::selected(text);
  ASSERT_EQ(nums_of(d), (std::vector<int32_t>{9, 5, 6}));
  EXPECT_EQ(d.objects[1].start, static_cast<int32_t>(text.find("5 0 obj (older)")));
}

TEST(Selection, NumbersAboveTheLimitNeverStay) {
  const struct {
    std::string text;
    std::vector<int32_t> nums;
    int32_t max_num;
  } cases[] = {
      {"8388607 0 obj 1 endobj", {8388607}, 8388607},
      {"8388608 0 obj 1 endobj", {}, 0},
      {"3 0 obj 1 endobj 8388608 0 obj 1 endobj", {3}, 3},
      {"4294967295 0 obj 1 endobj", {}, 0}, // wraps to -1
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    doc d = loadtest::selected(c.text);
    EXPECT_EQ(nums_of(d), c.nums);
    EXPECT_EQ(d.max_num, c.max_num);
  }
}

TEST(Selection, DirectRuleKeepsEveryPlainDefinition) {
  fixtures::pdf_builder b("");
  b.object(4, "(a)").object(4, "(b)");
  loadtest::add_objstm(b, 20, {{4, "(c)"}, {6, "(d)"}}, false);
  doc d = doc_of(b.str());
  objects_discover(d);
  objstms_expand(d);
  definitions_select_direct(d);
  EXPECT_EQ(nums_of(d), (std::vector<int32_t>{4, 4, 6}));
  EXPECT_EQ(loadtest::text_of(d.objects[2]), "(d)\n");
  EXPECT_EQ(d.max_num, 6);
}

// ------------------------------------------------------------ equivalence with the plain scans

std::string random_text(std::mt19937& rng, const std::vector<std::string>& pieces, int count) {
  std::string text;
  for (int k = 0; k < count; ++k) text += pieces[rng() % pieces.size()];
  return text;
}

TEST(Discovery, SameTableAsThePlainScanOnRandomText) {
  const std::vector<std::string> pieces = {"1 0 obj ",    "2 0 obj",
                                           "3 1 obj\n",   "12 0 obj ",
                                           " ",           "\n",
                                           "\r\n",        "<<",
                                           ">>",          "<",
                                           ">",           "(",
                                           ")",           "\\",
                                           "stream\n",    "stream\r\n",
                                           "endstream",   "endstream\n",
                                           "endobj\n",    "endobj",
                                           "/Length 3 ",  "/Length 2 0 R ",
                                           "/Length 40 ", "abc",
                                           "\x0b",        "7",
                                           "x",           "/Type /ObjStm",
                                           "%c\n",        "%",
                                           "\r",          "0123456789abcdefghijklmnopqrstuv"};
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = random_text(rng, pieces, 5 + static_cast<int>(rng() % 120));
    SCOPED_TRACE(testing::PrintToString(text));
    const doc d = discovered(text);
    const objvec want = reference::discover(as_bytes(text));
    ASSERT_EQ(d.objects.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      const obj_entry& a = d.objects[i];
      const obj_entry& w = want[i];
      EXPECT_EQ(std::tie(a.num, a.gen, a.start, a.dict_start, a.stream_kw, a.data_start),
                std::tie(w.num, w.gen, w.start, w.dict_start, w.stream_kw, w.data_start));
      EXPECT_EQ(std::tie(a.data_end, a.endobj, a.end, a.has_stream, a.length_unknown),
                std::tie(w.data_end, w.endobj, w.end, w.has_stream, w.length_unknown));
    }
  }
}

// The keyword position each close gives, as dict_stream_kw reports it.
std::vector<int32_t> keywords_after(bytes t, const std::vector<int32_t>& closes) {
  std::vector<int32_t> kws;
  for (int32_t close : closes) {
    int32_t kw = -1;
    if (close >= 0) {
      const int32_t w = skip_ws(t, close + 2, static_cast<int32_t>(t.size()));
      if (kw_at(t, w, "stream")) kw = w;
    }
    kws.push_back(kw);
  }
  return kws;
}

TEST(DictCloses, SameStopsAsScanningEachDictionary) {
  // The long run of plain bytes is stepped over sixteen bytes at a time.
  const std::vector<std::string> pieces = {
      "<<", ">>", "<",      ">",  "(",   ")",   "\\",
      " ",  "a",  "stream", "\n", "<<<", ">>>", "0123456789abcdefghijKLMNOP"};
  std::mt19937 rng(99);
  for (int round = 0; round < 4000; ++round) {
    const std::string text = random_text(rng, pieces, 1 + static_cast<int>(rng() % 80));
    SCOPED_TRACE(testing::PrintToString(text));
    const bytes t = as_bytes(text);
    std::vector<int32_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == '<' && rng() % 3 != 0) starts.push_back(static_cast<int32_t>(i));
    std::vector<int32_t> want;
    for (int32_t start : starts) want.push_back(dict_stream_kw(t, start));
    for (const auto& closes : {dict_closes(t, starts), dict_closes_forest(t, starts)}) {
      ASSERT_EQ(closes.size(), starts.size());
      for (int32_t close : closes) {
        if (close >= 0) {
          EXPECT_EQ(text.compare(static_cast<size_t>(close), 2, ">>"), 0);
        }
      }
      EXPECT_EQ(keywords_after(t, closes), want);
    }
  }
}

TEST(DictCloses, HostileNestingStaysLinear) {
  // Each shape makes every scan run to the end of the text when done one by one.
  const struct {
    const char* unit;
    const char* tail;
  } shapes[] = {
      {"1 0 obj <<", ""},             // nested, never closed
      {"1 0 obj <<", " >> stream\n"}, // nested, the outermost closed
      {"1 0 obj <a>> ", ""},          // the depth drops below 0 before each start
      {"1 0 obj <a>> ", "<< << >> stream\n"},
      {"1 0 obj <x ", ">> stream\n"},
      {"1 0 obj << (", ""}, // strings that never end
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.unit);
    // Small: the same answers as scanning each dictionary.
    std::string small;
    for (int i = 0; i < 40; ++i) small += shape.unit;
    small += shape.tail;
    std::vector<int32_t> starts; // the dictionaries after the headers
    for (size_t p = small.find("obj <"); p != std::string::npos; p = small.find("obj <", p + 1))
      starts.push_back(static_cast<int32_t>(p + 4));
    std::vector<int32_t> want;
    for (int32_t start : starts) want.push_back(dict_stream_kw(as_bytes(small), start));
    EXPECT_EQ(keywords_after(as_bytes(small), dict_closes(as_bytes(small), starts)), want);
    // Large: completes (each shape would take hours scanned one dictionary at a time).
    std::string large;
    for (int i = 0; i < 200000; ++i) large += shape.unit;
    large += shape.tail;
    const doc d = discovered(large);
    EXPECT_LE(d.objects.size(), 200000u);
  }
}

TEST(DictCloses, NestedDictionariesCloseFromTheInsideOut) {
  std::string text;
  for (int i = 0; i < 200000; ++i) text += "1 0 obj <<";
  const std::string closed = text + std::string(400000, '>') + " stream\n";
  std::vector<int32_t> starts;
  for (size_t p = closed.find('<'); p < text.size(); p = closed.find("<<", p + 2))
    starts.push_back(static_cast<int32_t>(p));
  const int32_t n = static_cast<int32_t>(starts.size());
  for (const auto& closes :
       {dict_closes(as_bytes(closed), starts), dict_closes_forest(as_bytes(closed), starts)}) {
    // The i-th dictionary (from 0) closes at the ">>" pairing with it from the inside out.
    EXPECT_EQ(closes[0], static_cast<int32_t>(text.size()) + 2 * (n - 1));
    EXPECT_EQ(closes[static_cast<size_t>(n - 1)], static_cast<int32_t>(text.size()));
  }
}

TEST(TextIndexes, KeywordHitsAnswerLikeFindKw) {
  const std::string text = "endobj xendobj endobj1 endobj\nendobjendobj (endobj)endobj";
  const kw_hits hits = kw_hits_build(as_bytes(text), "endobj");
  for (int32_t from = -2; from <= static_cast<int32_t>(text.size()) + 1; ++from)
    EXPECT_EQ(kw_hits_find(hits, from), find_kw(as_bytes(text), from, "endobj")) << from;
}

// Runs `check(width)` for each width of block the index pass tests at once (32 and 16 bytes where
// the processor has them, and byte by byte).
template <class Check> void for_each_pass_width(Check check) {
  for (int width : {32, 16, 1}) {
    SCOPED_TRACE("index pass width " + std::to_string(width));
    check(width);
  }
}

TEST(TextIndexes, SharedKeywordPassesFindWhatFindKwFinds) {
  const std::vector<std::string> pieces = {"obj",       "endobj", "end",  "stream", "endstream",
                                           "startxref", "start",  "xref", "x",      " ",
                                           "o",         "s",      "e",    "_"};
  for_each_pass_width([&](int width) {
    std::mt19937 rng(11);
    for (int round = 0; round < 500; ++round) {
      const std::string text = random_text(rng, pieces, static_cast<int>(rng() % 30));
      const bytes t = as_bytes(text);
      text_indexes ix(t, width);
      for (const char* kw : {"endstream", "obj", "startxref", "endobj", "trailer"})
        ASSERT_EQ(ix.keywords(kw).at, kw_hits_build(t, kw).at) << kw << " in " << text;
    }
  });
}

TEST(TextIndexes, NameHitsAnswerLikeFindNameInEveryRegion) {
  // "L" starts a name the index keeps; "Pg" one it does not, which takes a pass of its own.
  const std::vector<std::string> pieces = {"/Length", "/Length1", "/Lengthx", " ", "/",
                                           "Length",  "x",        "-",        "(", "/L",
                                           "/Pg",     "/Pgs",     "/P",       "o", "stream"};
  for_each_pass_width([&](int width) {
    std::mt19937 rng(5);
    for (int round = 0; round < 400; ++round) {
      const std::string text = random_text(rng, pieces, 1 + static_cast<int>(rng() % 20));
      const bytes t = as_bytes(text);
      text_indexes ix(t, width);
      const int32_t len = static_cast<int32_t>(text.size());
      for (const name_hits* hits : {&ix.names("Length"), &ix.names("L"), &ix.names("Pg")}) {
        const name_hits built = name_hits_build(t, hits->name);
        ASSERT_EQ(built.at, hits->at) << testing::PrintToString(text);
        for (int32_t from = 0; from <= len; ++from)
          for (int32_t end = 0; end <= len + 1; ++end)
            ASSERT_EQ(name_hits_find(*hits, from, end), find_name(t, from, end, hits->name))
                << testing::PrintToString(text) << " from " << from << " end " << end;
      }
    }
  });
}

TEST(TextIndexes, RunSkipperAgreesWithAByteLoop) {
  std::string text = "ab" + std::string(70, ' ') + "c" + std::string(63, ' ') + "d" +
                     std::string(200, '\n') + "  x" + std::string(100, ' ');
  const bytes t = as_bytes(text);
  run_skipper skipper(t, is_c_space);
  const int32_t len = static_cast<int32_t>(text.size());
  for (int32_t end : {len, len - 50, 100, 3})
    for (int32_t pos = 0; pos <= len; ++pos) {
      int32_t want = pos;
      while (want < end && is_c_space(t[static_cast<size_t>(want)])) ++want;
      if (pos >= end) want = pos;
      EXPECT_EQ(skipper.skip(pos, end), want) << pos << " " << end;
    }
}

} // namespace
