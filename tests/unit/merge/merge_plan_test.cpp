// The object search of a merge and the numbering of the output objects.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

using testdoc::obj;

std::string page_obj(int num, const std::string& entries) {
  return obj(num, "<< /Type /Page /Parent 2 0 R " + entries + " >>");
}

doc with_pages(std::vector<std::string> objects, std::vector<int32_t> pages,
               const std::vector<testdoc::member>& members = {}) {
  doc d = testdoc::make_doc(objects, members);
  for (int32_t p : pages) d.pages.push_back({p, 0});
  return d;
}

struct search_case {
  std::string name;
  std::vector<std::string> objects;
  std::vector<int32_t> pages;
  std::vector<int32_t> expected;
};

std::string refs_text(int first, int count) {
  std::string s;
  for (int n = first; n < first + count; ++n) s += std::to_string(n) + " 0 R ";
  return s;
}

std::vector<int32_t> range(int first, int count) {
  std::vector<int32_t> v;
  for (int n = first; n < first + count; ++n) v.push_back(n);
  return v;
}

std::vector<std::string> chain(int first, int length) {
  std::vector<std::string> objects;
  for (int n = first; n < first + length; ++n)
    objects.push_back(obj(n, "<< /Next " + std::to_string(n + 1) + " 0 R >>"));
  return objects;
}

template <class V, class... T> V join(V a, T... more) {
  (a.insert(a.end(), more.begin(), more.end()), ...);
  return a;
}

TEST(CopyList, Cases) {
  const std::vector<search_case> cases = {
      {"breadth-first font chain",
       {page_obj(3, "/Resources << /Font << /F1 5 0 R >> /XObject << /Im1 6 0 R >> >>"),
        obj(5, "<< /Type /Font /FontDescriptor 7 0 R >>"),
        obj(6, "<< /Subtype /Image /SMask 8 0 R /Length 4 >>\nstream\n10 0 R\nendstream"),
        obj(7, "<< /Type /FontDescriptor /FontFile2 9 0 R >>"),
        obj(8, "<< /Length 1 >>\nstream\nx\nendstream"),
        obj(9, "<< /Length 6 >>\nstream\n11 0 R\nendstream")},
       {3},
       {5, 6, 7, 8, 9}},
      {"a reference named twice is seeded once",
       {page_obj(3, "/Resources << /Font << /F1 5 0 R /F2 5 0 R >> >>"), obj(5, "<< >>")},
       {3},
       {5}},
      {"a chain twenty levels deep",
       join(std::vector<std::string>{page_obj(3, "/Resources << /A 10 0 R >>")}, chain(10, 20)),
       {3},
       range(10, 21)},
      {"more than 64 references in resources",
       {page_obj(3, "/Resources << /Font [" + refs_text(100, 90) + "] >>")},
       {3},
       range(100, 90)},
      {"more than 16 references in one object",
       {page_obj(3, "/Resources << /A 5 0 R >>"), obj(5, "<< /K [" + refs_text(100, 40) + "] >>")},
       {3},
       join(std::vector<int32_t>{5}, range(100, 40))},
      {"a missing object still takes a place",
       {page_obj(3, "/Resources << /A 50 0 R /B 5 0 R >>"), obj(5, "<< >>")},
       {3},
       {50, 5}},
      {"an array object passes its references on",
       {page_obj(3, "/Resources << /ColorSpace << /CS0 5 0 R >> >>"), obj(5, "[/ICCBased 6 0 R]"),
        obj(6, "<< /N 3 /Length 1 >>\nstream\nx\nendstream")},
       {3},
       {5, 6}},
      {"a number object ends the walk",
       {page_obj(3, "/Resources << /A 5 0 R >>"), obj(5, "12")},
       {3},
       {5}},
      {"the same object from several pages is listed once",
       {page_obj(3, "/Resources << /F 5 0 R >>"), page_obj(4, "/Resources << /F 5 0 R /G 6 0 R >>"),
        obj(5, "<< >>"), obj(6, "<< >>")},
       {3, 4},
       {5, 6}},
      {"resources of another object",
       {page_obj(3, "/Resources 4 0 R"), obj(4, "<< /Font << /F1 5 0 R >> >>"), obj(5, "<< >>")},
       {3},
       {5}},
      {"resources inherited from the page tree",
       {obj(2, "<< /Type /Pages /Kids [3 0 R] /Resources << /Font << /F1 5 0 R >> >> >>"),
        page_obj(3, ""), obj(5, "<< >>")},
       {3},
       {5}},
      {"a page without resources",
       {page_obj(3, "/Contents 5 0 R"), obj(5, "<< /Length 0 >>\nstream\n\nendstream")},
       {3},
       {}},
      {"numbers beyond the document are listed once",
       {page_obj(3, "/Resources << /A 5000 0 R /B 5000 0 R >>")},
       {3},
       {5000}},
      {"references of the page outside its resources are not followed",
       {page_obj(3, "/Contents 6 0 R /Annots [7 0 R] /Resources << /A 5 0 R >>"), obj(5, "<< >>"),
        obj(7, "<< >>")},
       {3},
       {5}},
  };
  for (const search_case& c : cases) {
    doc d = with_pages(c.objects, c.pages);
    EXPECT_EQ(copy_list_of(d), c.expected) << c.name;
  }
}

TEST(CopyList, ObjectStreamMembersAreScannedWhole) {
  doc d = with_pages({page_obj(3, "/Resources << /ColorSpace << /C 5 0 R >> >>")}, {3},
                     {{5, "[/Indexed /DeviceRGB 1 6 0 R]"}, {6, "(palette) 7 0 R"}});
  EXPECT_EQ(copy_list_of(d), (std::vector<int32_t>{5, 6, 7}));
}

TEST(CopyList, ReferenceLoopsEnd) {
  doc d = with_pages({page_obj(3, "/Resources << /A 5 0 R >>"), obj(5, "<< /B 6 0 R >>"),
                      obj(6, "<< /A 5 0 R /Self 6 0 R >>")},
                     {3});
  EXPECT_EQ(copy_list_of(d), (std::vector<int32_t>{5, 6}));
}

// Two inputs of 3 and 2 pages: pages 3..7, contents 8..12, copies from 13.
TEST(MergePlan, NumbersInputsOneAfterAnother) {
  std::vector<merge_input> inputs(2);
  inputs[0].d = with_pages({page_obj(3, "/Resources << /F 10 0 R >>"), page_obj(4, ""),
                            page_obj(5, "/Resources << /F 10 0 R /G 11 0 R >>"), obj(10, "<< >>"),
                            obj(11, "<< >>")},
                           {3, 4, 5});
  inputs[1].d = with_pages({page_obj(3, "/Resources << /X 7 0 R >>"),
                            page_obj(4, "/Resources << /Y 8 0 R >>"), obj(7, "<< /Z 9 0 R >>"),
                            obj(8, "<< >>"), obj(9, "<< >>")},
                           {3, 4});
  EXPECT_EQ(merge_plan(inputs, 5), 18);
  EXPECT_EQ(inputs[0].map.old_nums, (std::vector<int32_t>{10, 11}));
  EXPECT_EQ(inputs[0].map.new_nums, (std::vector<int32_t>{13, 14}));
  EXPECT_EQ(inputs[1].map.old_nums, (std::vector<int32_t>{7, 8, 9}));
  EXPECT_EQ(inputs[1].map.new_nums, (std::vector<int32_t>{15, 16, 17}));
  EXPECT_EQ(renumber_lookup(inputs[1].map, 9), 17);
}

TEST(MergePlan, InputWithoutCopiesTakesNoNumbers) {
  std::vector<merge_input> inputs(2);
  inputs[0].d = with_pages({page_obj(3, "")}, {3});
  inputs[1].d = with_pages({page_obj(3, "/Resources << /F 4 0 R >>"), obj(4, "<< >>")}, {3});
  EXPECT_EQ(merge_plan(inputs, 2), 8);
  EXPECT_TRUE(inputs[0].map.new_nums.empty());
  EXPECT_EQ(inputs[1].map.new_nums, (std::vector<int32_t>{7}));
}

TEST(MergePlan, RefusesATableNoOutputCouldHold) {
  std::vector<merge_input> inputs(1);
  inputs[0].d = with_pages({page_obj(3, "")}, {3});
  // Every number needs a 20-byte line of the table: 2 GiB / 20 numbers at most.
  EXPECT_EQ(merge_plan(inputs, 60000000), -1);
  EXPECT_EQ(merge_plan(inputs, 1000), 2003);
}

} // namespace
