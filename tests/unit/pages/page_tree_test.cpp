// The page tree walk: accepted tree shapes, failures, rotation inheritance, order and bounds.
#include "doc_fixture.h"
#include "reader/loader_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace pdfmerge;

namespace {

using testdoc::obj;

using records = std::vector<std::pair<int32_t, int32_t>>; // (num, rotation)

records records_of(const pagevec& pages) {
  records out;
  for (const pageinfo& p : pages) out.emplace_back(p.num, p.rotation);
  return out;
}

// The walk's outcome as the tables write it: -1 for a failure, else the length of the list.
int32_t walked(const walk_result& r, const pagevec& pages) {
  return r.why == walk_failure::none ? static_cast<int32_t>(pages.size()) : -1;
}

struct walk_case {
  const char* what;
  std::vector<std::string> objects;
  int32_t root;
  int32_t inherited;
  int32_t result;
  records pages;
  walk_failure why;
};

const std::vector<walk_case>& walk_cases() {
  static const std::vector<walk_case> cases = {
      {"root is a single page",
       {obj(1, "<< /Type /Catalog /Pages 2 0 R >>"),
        obj(2, "<< /Type /Page /MediaBox [0 0 612 792] >>")},
       2,
       0,
       1,
       {{2, 0}},
       walk_failure::none},
      {"single page root normalises the inherited rotation",
       {obj(2, "<< /Type /Page >>")},
       2,
       450,
       1,
       {{2, 90}},
       walk_failure::none},
      {"empty kids", {obj(2, "<< /Type /Pages /Kids [] >>")}, 2, 0, 0, {}, walk_failure::none},
      {"kids holding only 0 0 R",
       {obj(2, "<< /Type /Pages /Kids [0 0 R] >>"), obj(3, "<< /Type /Page >>")},
       2,
       0,
       0,
       {},
       walk_failure::none},
      {"no /Kids at all", {obj(2, "<< /Type /Pages /Count 0 >>")}, 2, 0, 0, {}, walk_failure::none},
      {"kids as an indirect array",
       {obj(2, "<< /Type /Pages /Kids 12 0 R >>"), "12 0 obj\n[3 0 R]\nendobj",
        obj(3, "<< /Type /Page >>")},
       2,
       0,
       0,
       {},
       walk_failure::none},
      {"a later /Kids with a direct array is taken",
       {obj(2, "<< /Type /Pages /Kids 12 0 R /Kids [3 0 R] >>"), obj(3, "<< /Type /Page >>")},
       2,
       0,
       1,
       {{3, 0}},
       walk_failure::none},
      {"array open at the end of the file",
       {"2 0 obj << /Type /Pages /Kids ["},
       2,
       0,
       0,
       {},
       walk_failure::none},
      {"inline page dictionary",
       {obj(2, "<< /Type /Pages /Kids [4 0 R << /Type /Page >>] >>"), obj(4, "<< /Type /Page >>")},
       2,
       0,
       -1,
       {},
       walk_failure::inline_kids},
      {"single '<' in the array is stepped over",
       {obj(2, "<< /Type /Pages /Kids [4 0 R <ab>] >>"), obj(4, "<< /Type /Page >>")},
       2,
       0,
       1,
       {{4, 0}},
       walk_failure::none},
      {"kid missing from the table",
       {obj(2, "<< /Type /Pages /Kids [3 0 R 9 0 R] >>"), obj(3, "<< /Type /Page >>")},
       2,
       0,
       -1,
       {{3, 0}},
       walk_failure::none},
      {"kid of type Font",
       {obj(2, "<< /Type /Pages /Kids [3 0 R] >>"), obj(3, "<< /Type /Font >>")},
       2,
       0,
       -1,
       {},
       walk_failure::none},
      {"kid without a top-level /Type",
       {obj(2, "<< /Type /Pages /Kids [3 0 R] >>"), obj(3, "<< /A << /Type /Page >> >>")},
       2,
       0,
       -1,
       {},
       walk_failure::none},
      {"root missing", {obj(2, "<< /Type /Page >>")}, 5, 0, -1, {}, walk_failure::none},
      {"root is a catalog", {obj(2, "<< /Type /Catalog >>")}, 2, 0, -1, {}, walk_failure::none},
      {"node lists itself",
       {obj(2, "<< /Type /Pages /Kids [3 0 R 2 0 R] >>"), obj(3, "<< /Type /Page >>")},
       2,
       0,
       -1,
       {{3, 0}},
       walk_failure::none},
      {"node under two parents",
       {obj(1, "<< /Type /Pages /Kids [2 0 R 3 0 R] >>"),
        obj(2, "<< /Type /Pages /Kids [4 0 R] >>"), obj(3, "<< /Type /Pages /Kids [4 0 R] >>"),
        obj(4, "<< /Type /Pages /Kids [5 0 R] >>"), obj(5, "<< /Type /Page >>")},
       1,
       0,
       -1,
       {{5, 0}},
       walk_failure::none},
      {"same page listed twice",
       {obj(2, "<< /Type /Pages /Kids [3 0 R 3 0 R] >>"), obj(3, "<< /Type /Page >>")},
       2,
       0,
       2,
       {{3, 0}, {3, 0}},
       walk_failure::none},
      {"root rotation reaches pages below a node without one",
       {obj(1, "<< /Type /Pages /Rotate 90 /Kids [2 0 R 3 0 R] >>"), obj(2, "<< /Type /Page >>"),
        obj(3, "<< /Type /Pages /Kids [4 0 R] >>"), obj(4, "<< /Type /Page >>")},
       1,
       0,
       2,
       {{2, 90}, {4, 90}},
       walk_failure::none},
      {"a node's own rotation wins below it",
       {obj(1, "<< /Type /Pages /Rotate 90 /Kids [2 0 R 3 0 R] >>"), obj(2, "<< /Type /Page >>"),
        obj(3, "<< /Type /Pages /Rotate 180 /Kids [4 0 R] >>"), obj(4, "<< /Type /Page >>")},
       1,
       0,
       2,
       {{2, 90}, {4, 180}},
       walk_failure::none},
      {"rotation 450 is stored as 90",
       {obj(1, "<< /Type /Pages /Rotate 450 /Kids [2 0 R] >>"), obj(2, "<< /Type /Page >>")},
       1,
       0,
       1,
       {{2, 90}},
       walk_failure::none},
      {"rotation 450 is passed down unreduced and normalised at the pages",
       {obj(1, "<< /Type /Pages /Rotate 450 /Kids [3 0 R] >>"),
        obj(3, "<< /Type /Pages /Kids [4 0 R] >>"), obj(4, "<< /Type /Page >>")},
       1,
       0,
       1,
       {{4, 90}},
       walk_failure::none},
      {"-90 on a node is its own rotation, stored as 270",
       {obj(1, "<< /Type /Pages /Rotate 90 /Kids [3 0 R] >>"),
        obj(3, "<< /Type /Pages /Rotate -90 /Kids [4 0 R] >>"), obj(4, "<< /Type /Page >>")},
       1,
       0,
       1,
       {{4, 270}},
       walk_failure::none},
      {"negative rotations on the root reach the pages normalised",
       {obj(1, "<< /Type /Pages /Rotate -180 /Kids [2 0 R 3 0 R] >>"), obj(2, "<< /Type /Page >>"),
        obj(3, "<< /Type /Pages /Rotate -270 /Kids [4 0 R] >>"), obj(4, "<< /Type /Page >>")},
       1,
       90,
       2,
       {{2, 180}, {4, 90}},
       walk_failure::none},
      {"-450 is passed down unreduced and normalised at the pages",
       {obj(1, "<< /Type /Pages /Rotate -450 /Kids [3 0 R] >>"),
        obj(3, "<< /Type /Pages /Kids [4 0 R] >>"), obj(4, "<< /Type /Page >>")},
       1,
       0,
       1,
       {{4, 270}},
       walk_failure::none},
      {"a /Rotate that is no integer counts as absent",
       {obj(1, "<< /Type /Pages /Rotate 90 /Kids [3 0 R 5 0 R] >>"),
        obj(3, "<< /Type /Pages /Rotate /R /Kids [4 0 R] >>"), obj(4, "<< /Type /Page >>"),
        obj(5, "<< /Type /Pages /Rotate - 90 /Kids [6 0 R] >>"), obj(6, "<< /Type /Page >>")},
       1,
       0,
       2,
       {{4, 90}, {6, 90}},
       walk_failure::none},
      {"inherited rotation used when the root has none",
       {obj(1, "<< /Type /Pages /Kids [2 0 R] >>"), obj(2, "<< /Type /Page >>")},
       1,
       -90,
       1,
       {{2, 270}},
       walk_failure::none},
      {"the page's own /Rotate is not consulted",
       {obj(1, "<< /Type /Pages /Kids [2 0 R] >>"), obj(2, "<< /Type /Page /Rotate 270 >>")},
       1,
       0,
       1,
       {{2, 0}},
       walk_failure::none},
      {"a bare third number is a kid, the second a generation",
       {obj(2, "<< /Type /Pages /Kids [5 6 7] >>"), obj(5, "<< /Type /Page >>"),
        obj(6, "<< /Type /Page >>"), obj(7, "<< /Type /Page >>")},
       2,
       0,
       2,
       {{5, 0}, {7, 0}},
       walk_failure::none},
      {"depth-first order",
       {obj(1, "<< /Type /Pages /Kids [2 0 R 5 0 R] >>"),
        obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] >>"), obj(3, "<< /Type /Page >>"),
        obj(4, "<< /Type /Page >>"), obj(5, "<< /Type /Page >>")},
       1,
       0,
       3,
       {{3, 0}, {4, 0}, {5, 0}},
       walk_failure::none},
      {"an empty nested node contributes nothing",
       {obj(1, "<< /Type /Pages /Kids [2 0 R 3 0 R] >>"), obj(2, "<< /Type /Pages /Kids [] >>"),
        obj(3, "<< /Type /Page >>")},
       1,
       0,
       1,
       {{3, 0}},
       walk_failure::none},
      {"the first entry of a number is the one used",
       {obj(2, "<< /Type /Pages /Kids [3 0 R] >>"), obj(3, "<< /Type /Page >>"),
        obj(3, "<< /Type /Font >>")},
       2,
       0,
       1,
       {{3, 0}},
       walk_failure::none},
  };
  return cases;
}

TEST(ResolvePages, CasesOfTreeShape) {
  for (const walk_case& c : walk_cases()) {
    SCOPED_TRACE(c.what);
    doc d = testdoc::make_doc(c.objects);
    auto visited = testdoc::visited_for(d);
    pagevec pages;
    const walk_result r = resolve_pages(d, c.root, pages, visited, c.inherited);
    EXPECT_EQ(walked(r, pages), c.result);
    EXPECT_EQ(records_of(pages), c.pages);
    if (c.why != walk_failure::none) {
      EXPECT_EQ(r.why, c.why);
      EXPECT_EQ(r.node_at_fault, 2);
    }
  }
}

TEST(ResolvePages, InlineDictionaryMessageIsUtf8EmDash) {
  doc d = testdoc::make_doc({obj(2, "<< /Type /Pages /Kids [<< /Type /Page >>] >>")});
  d.root_num = 2;
  ASSERT_EQ(catalog_resolve(d), -1);
  const std::string msg = error_text();
  EXPECT_EQ(msg, "page tree uses inline page dictionaries in /Kids (obj 2) \xE2\x80\x94 pages "
                 "must be indirect objects");
  EXPECT_NE(msg.find(" \xE2\x80\x94 "), std::string::npos) << msg;
}

TEST(ResolvePages, NodeInsideAnObjectStream) {
  doc d = testdoc::make_doc(
      {obj(3, "<< /Type /Page >>")},
      {{2, "<< /Type /Pages /Rotate 180 /Kids [3 0 R 4 0 R] >>"}, {4, "<< /Type /Page >>"}});
  auto visited = testdoc::visited_for(d);
  pagevec pages;
  EXPECT_EQ(walked(resolve_pages(d, 2, pages, visited, 0), pages), 2);
  EXPECT_EQ(records_of(pages), (records{{3, 180}, {4, 180}}));
}

TEST(ResolvePages, ResultCountsTheWholeList) {
  doc d = testdoc::make_doc(
      {obj(2, "<< /Type /Pages /Kids [3 0 R 3 0 R] >>"), obj(3, "<< /Type /Page >>")});
  auto visited = testdoc::visited_for(d);
  pagevec pages = {{40, 0}, {41, 0}};
  EXPECT_EQ(walked(resolve_pages(d, 2, pages, visited, 0), pages), 4);
  EXPECT_EQ(visited[2], 1);
}

TEST(ResolvePages, VisitedMarksOnlyNodes) {
  doc d = testdoc::make_doc({obj(1, "<< /Type /Pages /Kids [2 0 R 4 0 R] >>"),
                             obj(2, "<< /Type /Pages /Kids [3 0 R] >>"),
                             obj(3, "<< /Type /Page >>"), obj(4, "<< /Type /Page >>")});
  auto visited = testdoc::visited_for(d);
  pagevec pages;
  ASSERT_EQ(walked(resolve_pages(d, 1, pages, visited, 0), pages), 2);
  EXPECT_EQ(visited, (std::vector<uint8_t>{0, 1, 1, 0, 0}));
}

// Kids beyond the node's capacity are dropped: the surplus names an absent object, which would
// fail the walk if it were read.
TEST(ResolvePages, KidsBeyondCapacityAreDropped) {
  std::string kids;
  for (int i = 0; i < 10000; ++i) kids += "3R";
  for (int i = 0; i < 100; ++i) kids += "99R";
  const std::string node = "<< /Type /Pages /Kids [" + kids + "] >>";
  struct variant {
    const char* what;
    doc d;
  };
  variant variants[] = {
      {"file object", testdoc::make_doc({obj(2, node), obj(3, "<< /Type /Page >>")})},
      {"object stream member", testdoc::make_doc({obj(3, "<< /Type /Page >>")}, {{2, node}})},
  };
  for (variant& v : variants) {
    SCOPED_TRACE(v.what);
    const obj_entry& e = *obj_lookup(v.d, 2);
    const int32_t cap = e.in_objstm ? e.text_len / 4 + 4096 : (e.endobj - e.start) / 4 + 4096;
    ASSERT_LT(cap, 10000);
    auto visited = testdoc::visited_for(v.d);
    pagevec pages;
    EXPECT_EQ(walked(resolve_pages(v.d, 2, pages, visited, 0), pages), cap);
    EXPECT_EQ(pages.size(), static_cast<size_t>(cap));
  }
}

// A chain of `nodes` page-tree nodes, each the only kid of the one before, ending in a page.
doc chain(int nodes) {
  std::vector<std::string> objects;
  objects.reserve(static_cast<size_t>(nodes) + 1);
  for (int i = 1; i <= nodes; ++i)
    objects.push_back(obj(i, "<< /Type /Pages /Kids [" + std::to_string(i + 1) + " 0 R] >>"));
  objects.push_back(obj(nodes + 1, "<< /Type /Page >>"));
  return testdoc::make_doc(objects);
}

TEST(ResolvePages, DepthIsBounded) {
  struct {
    int nodes;
    int32_t result;
  } const cases[] = {{1, 1}, {256, 1}, {257, -1}, {10000, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nodes);
    doc d = chain(c.nodes);
    auto visited = testdoc::visited_for(d);
    pagevec pages;
    clear_error();
    const walk_result r = resolve_pages(d, 1, pages, visited, 0);
    EXPECT_EQ(walked(r, pages), c.result);
    EXPECT_EQ(r.why, c.result > 0 ? walk_failure::none : walk_failure::too_deep);
    EXPECT_EQ(pages.size(), c.result > 0 ? 1u : 0u);
    EXPECT_STREQ(error_text(), "");
  }
}

} // namespace

namespace {

// A tree too deep to walk says so, instead of blaming a valid node.
TEST(ResolvePages, TooDeepTreeSaysSo) {
  doc d = chain(300);
  d.root_num = 1;
  ASSERT_EQ(catalog_resolve(d), -1);
  EXPECT_STREQ(error_text(), "page tree nested deeper than 256 levels (below obj 1)");
}

} // namespace
