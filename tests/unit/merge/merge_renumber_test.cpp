// Finding indirect references and rewriting them to output numbers.
#include "pdfmerge/pdfmerge_internal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

renumber_map map_of(std::vector<int32_t> old_nums, int32_t first_new) {
  renumber_map m;
  renumber_map_set(m, std::move(old_nums), first_new);
  return m;
}

std::string remap(std::string_view text, const renumber_map& m) {
  return renumbered_text(as_bytes(text), m);
}

std::vector<int32_t> refs_in(std::string_view text) {
  std::vector<int32_t> found;
  collect_refs(as_bytes(text), 0, static_cast<int32_t>(text.size()), found);
  return found;
}

struct remap_case {
  std::string text;
  std::string expected;
};

TEST(RenumberedText, RewritesReferencesThroughTheMap) {
  const renumber_map m = map_of({7}, 15);
  const std::vector<remap_case> cases = {
      {"<< /Font << /F1 7 0 R >> >>", "<< /Font << /F1 15 0 R >> >>"},
      {"[7 0 R 7 0 R]", "[15 0 R 15 0 R]"},
      {"7 3 R", "15 0 R"},
      {"7   0   R", "15 0 R"},
      {"7 R", "15 0 R"},
      {"7R", "15 0 R"},
      // Any PDF white space separates the parts, and the generation may have several digits.
      {"7 0\nR", "15 0 R"},
      {"7\r\n0\tR", "15 0 R"},
      {std::string("7\0"
                   "0\fR",
                   5),
       "15 0 R"},
      {"7 10 R", "15 0 R"},
      {"7 0 RG", "7 0 RG"},
      {"7 0 R1", "7 0 R1"},
      {"7 0 obj", "7 0 obj"},
      // Strings and comments hold no references: their bytes are copied as they are.
      {"(see 7 0 R)", "(see 7 0 R)"},
      {"<< /T (a (7 0 R) b) /F 7 0 R >>", "<< /T (a (7 0 R) b) /F 15 0 R >>"},
      {"<< /T <37> /F 7 0 R >>", "<< /T <37> /F 15 0 R >>"},
      {"% 7 0 R\n7 0 R", "% 7 0 R\n15 0 R"},
      {"(7 0 R", "(7 0 R"},
      {"8 0 R", "8 0 R"},
      {"17 0 R", "17 0 R"},
      {"/X 7 0 R", "/X 15 0 R"},
      {"", ""},
      {"7", "7"},
      {"7 0", "7 0"},
      {"/A 1 /B 7 0 R", "/A 1 /B 15 0 R"},
      // A number too large for an object number is no reference (it would wrap to 7).
      {"4294967303 0 R", "4294967303 0 R"},
      // A NUL byte does not end the text.
      {std::string("<< /S (a\0b) /F 7 0 R >>", 23), std::string("<< /S (a\0b) /F 15 0 R >>", 24)},
  };
  for (const remap_case& c : cases) EXPECT_EQ(remap(c.text, m), c.expected) << c.text;
}

TEST(RenumberedText, EmptyMapCopiesTheText) {
  const renumber_map none;
  EXPECT_EQ(remap("<< /F1 7 0 R /F2 8 0 R >>", none), "<< /F1 7 0 R /F2 8 0 R >>");
}

TEST(RenumberedText, GrowsBeyondFourTimesTheInput) {
  // Each two-byte reference "7R" becomes "12345678 0 R": the result outgrows 4 x L + 128.
  const renumber_map m = map_of({7}, 12345678);
  std::string text;
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    text += "7R ";
    expected += "12345678 0 R ";
  }
  ASSERT_GT(expected.size(), 4 * text.size() + 128);
  EXPECT_EQ(remap(text, m), expected);
}

TEST(RenumberedText, FirstMapEntryOfANumberWins) {
  renumber_map m;
  renumber_map_set(m, {5, 6, 5}, 20);
  EXPECT_EQ(m.new_nums, (std::vector<int32_t>{20, 21, 22}));
  EXPECT_EQ(renumber_lookup(m, 5), 20);
  EXPECT_EQ(renumber_lookup(m, 6), 21);
  EXPECT_EQ(renumber_lookup(m, 9), -1);
  EXPECT_EQ(remap("[5 0 R 6 0 R]", m), "[20 0 R 21 0 R]");
}

struct collect_case {
  std::string text;
  std::vector<int32_t> expected;
};

const std::vector<collect_case>& collect_cases() {
  static const std::vector<collect_case> cases = {
      {"12 0 R", {12}},
      {"12 0R", {12}},
      {"12 R", {12}},
      {"12R", {12}},
      {"12\n0\nR", {12}},
      {"12\r\n0\r\nR", {12}},
      {"12 0 obj", {}},
      {"7 10 R", {7}},
      {"7 123456 R", {7}},
      {"5 0 R 5 0 R", {5, 5}},
      {"/F1 7 0 R", {7}},
      {"(3 0 R)", {}},
      {"<33 0 52> 4 0 R", {4}},
      {"% 3 0 R\r4 0 R", {4}},
      {"<< /A (x) 5 0 R >>", {5}},
      {"4294967301 0 R", {}},
      {"1 0 RG", {}},
      {"1 0 R_", {1}},
      {"[1 2 3]", {}},
      {"12", {}},
      {"12 0", {}},
      {"<< /A 1 0 R /B [2 0 R 3 0 R] /C << /D 4 0 R >> >>", {1, 2, 3, 4}},
      {"/W [1 2 R]", {1}},
  };
  return cases;
}

TEST(CollectRefs, FindsEveryReferenceInOrder) {
  for (const collect_case& c : collect_cases()) EXPECT_EQ(refs_in(c.text), c.expected) << c.text;
}

TEST(CollectRefs, HasNoCapOnReferencesPerText) {
  std::string text = "<< /Font << ";
  std::vector<int32_t> expected;
  for (int32_t n = 1; n <= 200; ++n) {
    text += "/F" + std::to_string(n) + " " + std::to_string(n + 1000) + " 0 R ";
    expected.push_back(n + 1000);
  }
  text += ">> >>";
  EXPECT_EQ(refs_in(text), expected);
}

TEST(CollectRefs, StaysWithinTheRange) {
  const std::string text = "1 0 R 2 0 R 3 0 R";
  std::vector<int32_t> found;
  collect_refs(as_bytes(text), 6, 11, found); // "2 0 R"
  EXPECT_EQ(found, (std::vector<int32_t>{2}));
  found.clear();
  collect_refs(as_bytes(text), 6, 10, found); // "2 0 " ends before the R
  EXPECT_TRUE(found.empty());
}

// What the object search follows is exactly what the renumbering rewrites.
TEST(ReferenceMatchers, FollowedEqualsRenumbered) {
  std::vector<int32_t> all;
  for (int32_t n = 0; n < 2000; ++n) all.push_back(n);
  const renumber_map m = map_of(all, 100000);
  for (const collect_case& c : collect_cases()) {
    std::string rewritten = remap(c.text, m);
    std::vector<int32_t> renumbered;
    for (int32_t n : refs_in(rewritten)) renumbered.push_back(n - 100000);
    EXPECT_EQ(renumbered, c.expected) << c.text << " -> " << rewritten;
  }
}

TEST(RefAt, ReportsTheNumberAndWhereItEnds) {
  const std::string text = "42 0 R rest";
  ref_match m = ref_at(as_bytes(text), 0, static_cast<int32_t>(text.size()));
  EXPECT_TRUE(m.found);
  EXPECT_EQ(m.num, 42);
  EXPECT_EQ(m.digits_end, 2);
  EXPECT_EQ(m.after, 6);
  m = ref_at(as_bytes(text), 0, 5); // the R lies beyond the end given
  EXPECT_FALSE(m.found);
  EXPECT_EQ(m.digits_end, 2);
}

} // namespace
