// Page ranges: every form an item takes and the pages it selects, every way a range fails and
// the reason given, and how a range is quoted in a message.
#include "pdfmerge/merge/merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

// The 1-based pages `text` selects from a document of `pages` pages, or "why: ..." when it
// fails.
std::string selected(const std::string& text, int32_t pages, size_t room = 1000) {
  page_range r;
  std::string why;
  if (!page_range_parse(text, r, why)) return "why: " + why;
  std::vector<int32_t> out;
  if (!page_range_select(r, pages, room, out, why)) return "why: " + why;
  std::string list;
  for (int32_t p : out) list += (list.empty() ? "" : " ") + std::to_string(p + 1);
  return list;
}

TEST(PageRanges, EveryFormSelectsItsPages) {
  const struct {
    const char* range;
    const char* pages; // of a five-page document
  } cases[] = {
      {"3", "3"},
      {"2-4", "2 3 4"},
      {"4-2", "4 3 2"}, // backwards
      {"3-3", "3"},
      {"z", "5"},
      {"r1", "5"},
      {"r5", "1"},
      {"r2-r4", "4 3 2"},
      {"z-1", "5 4 3 2 1"},
      {"1-z", "1 2 3 4 5"},
      {"2-r2", "2 3 4"},
      {"z,1", "5 1"},
      {"1,1,1", "1 1 1"}, // a page may be named again
      {"1-2,2-1", "1 2 2 1"},
      {" 1 - 3 , z ", "1 2 3 5"}, // white space around items and pages
      {"\t2\n,\r4", "2 4"},
      {"005", "5"},
  };
  for (const auto& c : cases) EXPECT_EQ(selected(c.range, 5), c.pages) << c.range;
}

TEST(PageRanges, EveryFaultHasItsReason) {
  const struct {
    const char* range;
    int32_t pages;
    const char* why;
  } cases[] = {
      {"", 3, "selects no page"},
      {"  \t ", 3, "selects no page"},
      {",", 3, "item 1 is empty"},
      {"1,,2", 3, "item 2 is empty"},
      {"1,", 3, "item 2 is empty"},
      {"1-x", 3, "\"x\" is not a page number"},
      {"x", 3, "\"x\" is not a page number"},
      {"1 2", 3, "\"1 2\" is not a page number"},
      {"Z", 3, "\"Z\" is not a page number"},
      {"r", 3, "\"r\" is not a page number"},
      {"r-1", 3, "\"r\" is not a page number"},
      {"+1", 3, "\"+1\" is not a page number"},
      {"1.5", 3, "\"1.5\" is not a page number"},
      {"1-2-3", 3, "\"2-3\" is not a page number"},
      {"-2", 3, "item 1 lacks a page before \"-\""},
      {"2,3-", 3, "item 2 lacks a page after \"-\""},
      {"0", 3, "page 0 does not exist: pages count from 1"},
      {"4", 3, "page 4 does not exist: the input has 3 pages"},
      {"2", 1, "page 2 does not exist: the input has 1 page"},
      {"1-9", 3, "page 9 does not exist: the input has 3 pages"},
      {"r0", 3, "page r0 does not exist: r1 is the last page"},
      {"r4", 3, "page r4 does not exist: the input has 3 pages"},
      {"99999999999999999999", 3,
       "page 99999999999999999999 does not exist: the input has 3 pages"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(selected(c.range, c.pages), std::string("why: ") + c.why) << c.range;
  // A page number of any length is quoted short.
  EXPECT_EQ(selected("1" + std::string(300, '0'), 3),
            "why: page 1" + std::string(199, '0') + "... does not exist: the input has 3 pages");
}

TEST(PageRanges, TheSelectionStaysWithinTheRoomGiven) {
  EXPECT_EQ(selected("1-3,1-2", 5, 5), "1 2 3 1 2");
  EXPECT_EQ(selected("1-3,1-3", 5, 5), "why: selects more pages than one output can hold");
  EXPECT_EQ(selected("1", 5, 0), "why: selects more pages than one output can hold");
}

TEST(PageRanges, MessagesQuoteTheRangeOnOneLineOfUtf8) {
  EXPECT_EQ(page_range_quoted("1-3, z"), "1-3, z");
  EXPECT_EQ(page_range_quoted("1\n2\r3\t4\x01"), "1\\n2\\r3\\t4\\x01");
  EXPECT_EQ(page_range_quoted("s\xC3\xA9ite \xFF\xC3"), "s\xC3\xA9ite \\xff\\xc3");
  const std::string quoted = page_range_quoted(std::string(5000, '1'));
  EXPECT_EQ(quoted, std::string(200, '1') + "...");
}

} // namespace
