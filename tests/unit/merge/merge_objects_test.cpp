// The objects the writer composes: page objects (boxes, rotation, resources) and the copies of
// the objects the pages reach.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

using testdoc::obj;

std::string out_text(const out_file& f) {
  return std::string(reinterpret_cast<const char*>(f.out.data.get()), f.out.len);
}

out_file fresh_output(size_t numbers) {
  out_file f;
  f.xref_offsets.assign(numbers, -1);
  return f;
}

// ---------------------------------------------------------------- box_num_text

TEST(BoxNumText, Cases) {
  const struct {
    double x;
    std::string text;
  } cases[] = {
      {612, "612"},
      {-0.0, "0"},
      {595.28, "595.2800"},
      {841.89, "841.8900"},
      {0.5, "0.5000"},
      {612.5, "612.5000"},
      {-10.25, "-10.2500"},
      {0.00004, "0.0000"},
      {1.23456, "1.2346"},
      {2147483647.0, "2147483647"},
      {-2147483648.0, "-2147483648"},
      {2147483648.0, "2147483648.0000"},
      {3000000000.0, "3000000000.0000"},
      {-2147483649.0, "-2147483649.0000"},
  };
  for (const auto& c : cases) EXPECT_EQ(box_num_text(c.x), c.text) << c.x;
}

TEST(BoxNumText, LongValuesAreCutAt63Characters) {
  const std::string text = box_num_text(1e80);
  EXPECT_EQ(text.size(), 63u);
  EXPECT_EQ(text.substr(0, 2), "10");
}

// ---------------------------------------------------------------- page objects

struct page_case {
  std::string name;
  std::vector<std::string> objects; // the page is object 3
  int32_t inherited_rotation;
  std::string expected; // the dictionary between "3 0 obj\n" and "\nendobj\n"
};

std::string page(const std::string& entries) {
  return obj(3, "<< /Type /Page /Parent 2 0 R " + entries + " >>");
}

std::string node(int num, const std::string& entries, int parent = 0) {
  return obj(num, "<< /Type /Pages /Kids [3 0 R] " + entries +
                      (parent ? " /Parent " + std::to_string(parent) + " 0 R" : "") + " >>");
}

std::string written_page(const std::vector<std::string>& objects, int32_t rotation) {
  merge_input in;
  in.d = testdoc::make_doc(objects);
  in.d.pages.push_back({3, rotation});
  renumber_map_set(in.map, copy_list_of(in.d), 20);
  out_file f = fresh_output(30);
  EXPECT_EQ(write_page_object(f, in, in.d.pages[0], 3, 1), 0);
  EXPECT_EQ(f.xref_offsets[3], 0);
  return out_text(f);
}

TEST(PageObject, Cases) {
  const std::string plain = "<< /Type /Page /Parent 2 0 R /MediaBox [";
  const std::vector<page_case> cases = {
      {"own box written without decimals",
       {page("/MediaBox [0.0 0.0 612.0 792.0]")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"fraction written with four decimals",
       {page("/MediaBox [0 0 612.5 792]")},
       0,
       plain + "0 0 612.5000 792] /Contents 4 0 R >>"},
      {"no box anywhere: Letter and no CropBox",
       {page(""), node(2, "")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"box inherited from the parent",
       {page(""), node(2, "/MediaBox [0 0 612 792]")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"boxes inherited from different ancestors",
       {page(""), node(2, "/CropBox [10 10 600 780]", 5), node(5, "/MediaBox [0 0 612 792]")},
       0,
       plain + "0 0 612 792] /CropBox [10 10 600 780] /Contents 4 0 R >>"},
      {"own box before the inherited one",
       {page("/MediaBox [0 0 100 200]"), node(2, "/MediaBox [0 0 612 792]")},
       0,
       plain + "0 0 100 200] /Contents 4 0 R >>"},
      {"indirect own box before the parent's",
       {page("/MediaBox 9 0 R"), node(2, "/MediaBox [0 0 612 792]"), obj(9, "[0 0 1 1]")},
       0,
       plain + "0 0 1 1] /Contents 4 0 R >>"},
      {"indirect own box without a parent box",
       {page("/MediaBox 9 0 R"), node(2, ""), obj(9, "[ 0 0 612 792 ]")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"indirect CropBox with the MediaBox inherited",
       {page("/CropBox 24 0 R"), node(2, "/MediaBox [0 0 612 792]"),
        obj(24, "[\n10\n20\n582\n752\n]")},
       0,
       plain + "0 0 612 792] /CropBox [10 20 582 752] /Contents 4 0 R >>"},
      {"indirect box inherited from the parent",
       {page(""), node(2, "/MediaBox 9 0 R"), obj(9, "[0 0 300 400]")},
       0,
       plain + "0 0 300 400] /Contents 4 0 R >>"},
      {"box elements naming number objects",
       {page("/MediaBox [0 0 9 0 R 10 0 R]"), node(2, ""), obj(9, "612.5"), obj(10, "792")},
       0,
       plain + "0 0 612.5000 792] /Contents 4 0 R >>"},
      {"box corners swapped on both axes",
       {page("/MediaBox [0.0 792.0 612.0 0.0]"), node(2, "/MediaBox [0 0 10 10]")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"box corners swapped on one axis",
       {page("/MediaBox [612 0 0 792]"), node(2, "")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"lower corner above the upper one kept as written",
       {page("/MediaBox [100 100 50 50]"), node(2, "")},
       0,
       plain + "100 100 50 50] /Contents 4 0 R >>"},
      {"swapped corners with a negative value fall back to the parent",
       {page("/MediaBox [0 792 612 -5]"), node(2, "/MediaBox [0 0 10 10]")},
       0,
       plain + "0 0 10 10] /Contents 4 0 R >>"},
      {"an empty swapped box falls back to the default",
       {page("/MediaBox [0 792 0 0]"), node(2, "")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"a reference to no array falls back to the default",
       {page("/MediaBox 9 0 R /CropBox [0 0 11 0 R 11 0 R]"), node(2, ""), obj(9, "<< >>"),
        obj(11, "/Name")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"own CropBox",
       {page("/MediaBox [0 0 612 792] /CropBox [0 0 595.28 792]")},
       0,
       plain + "0 0 612 792] /CropBox [0 0 595.2800 792] /Contents 4 0 R >>"},
      {"rotation 450",
       {page("/MediaBox [0 0 612 792] /Rotate 450")},
       0,
       plain + "0 0 612 792] /Rotate 90 /Contents 4 0 R >>"},
      {"rotation 0",
       {page("/MediaBox [0 0 612 792] /Rotate 0")},
       270,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"rotation 45",
       {page("/MediaBox [0 0 612 792] /Rotate 45")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"rotation inherited",
       {page("/MediaBox [0 0 612 792]")},
       270,
       plain + "0 0 612 792] /Rotate 270 /Contents 4 0 R >>"},
      {"own rotation -90",
       {page("/MediaBox [0 0 612 792] /Rotate -90")},
       180,
       plain + "0 0 612 792] /Rotate 270 /Contents 4 0 R >>"},
      {"own rotation -180",
       {page("/MediaBox [0 0 612 792] /Rotate -180")},
       90,
       plain + "0 0 612 792] /Rotate 180 /Contents 4 0 R >>"},
      {"own rotation -270",
       {page("/MediaBox [0 0 612 792] /Rotate -270")},
       0,
       plain + "0 0 612 792] /Rotate 90 /Contents 4 0 R >>"},
      {"own rotation -450",
       {page("/MediaBox [0 0 612 792] /Rotate -450")},
       0,
       plain + "0 0 612 792] /Rotate 270 /Contents 4 0 R >>"},
      {"own rotation -360",
       {page("/MediaBox [0 0 612 792] /Rotate -360")},
       90,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"own rotation -45",
       {page("/MediaBox [0 0 612 792] /Rotate -45")},
       90,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
      {"a /Rotate that is no integer counts as none",
       {page("/MediaBox [0 0 612 792] /Rotate /R")},
       180,
       plain + "0 0 612 792] /Rotate 180 /Contents 4 0 R >>"},
      {"resources of another object written inline",
       {page("/MediaBox [0 0 612 792] /Resources 9 0 R"), obj(9, "<< /Font << /F1 10 0 R >> >>"),
        obj(10, "<< /Type /Font >>")},
       0,
       plain + "0 0 612 792] /Resources << /Font << /F1 20 0 R >> >> /Contents 4 0 R >>"},
      {"resources inherited",
       {page("/MediaBox [0 0 612 792]"), node(2, "/Resources << /XObject << /X 10 0 R >> >>"),
        obj(10, "<< >>")},
       0,
       plain + "0 0 612 792] /Resources << /XObject << /X 20 0 R >> >> /Contents 4 0 R >>"},
      {"resources of an inline annotation are not the page's",
       {page("/MediaBox [0 0 612 792] /Annots [<< /Resources << /Font << /F1 11 0 R >> >> >>]"),
        node(2, "/Resources << /XObject << /X 10 0 R >> >>"), obj(10, "<< >>"),
        obj(11, "<< /Type /Font >>")},
       0,
       plain + "0 0 612 792] /Resources << /XObject << /X 20 0 R >> >> /Contents 4 0 R >>"},
      {"own resources after an inline annotation's",
       {page("/MediaBox [0 0 612 792] /Annots [<< /Resources << /Font << /F1 11 0 R >> >> >>] "
             "/Resources << /XObject << /X 10 0 R >> >>"),
        node(2, ""), obj(10, "<< >>"), obj(11, "<< /Type /Font >>")},
       0,
       plain + "0 0 612 792] /Resources << /XObject << /X 20 0 R >> >> /Contents 4 0 R >>"},
      {"a parent loop ends",
       {obj(3, "<< /Type /Page /Parent 3 0 R >>")},
       0,
       plain + "0 0 612 792] /Contents 4 0 R >>"},
  };
  for (const page_case& c : cases)
    EXPECT_EQ(written_page(c.objects, c.inherited_rotation),
              "3 0 obj\n" + c.expected + "\nendobj\n")
        << c.name;
}

// Boxes are looked for in at most 32 ancestors, nearest first.
TEST(PageObject, InheritedBoxesComeFromAtMost32Ancestors) {
  for (int levels : {32, 33}) {
    std::vector<std::string> objects = {obj(3, "<< /Type /Page /Parent 100 0 R >>")};
    for (int k = 0; k < levels; ++k) {
      const int num = 100 + k;
      const bool top = k == levels - 1;
      objects.push_back(obj(num, "<< /Type /Pages " +
                                     (top ? std::string("/MediaBox [0 0 300 400]")
                                          : "/Parent " + std::to_string(num + 1) + " 0 R") +
                                     " >>"));
    }
    const std::string text = written_page(objects, 0);
    EXPECT_NE(text.find(levels == 32 ? "[0 0 300 400]" : "[0 0 612 792]"), std::string::npos)
        << levels << ": " << text;
  }
}

TEST(PageObject, MissingPageFails) {
  const struct {
    std::string name;
    std::vector<std::string> objects;
  } cases[] = {
      {"no such object", {obj(4, "<< >>")}},
      {"no dictionary", {obj(3, "[/Page]")}},
  };
  for (const auto& c : cases) {
    merge_input in;
    in.d = testdoc::make_doc(c.objects);
    out_file f = fresh_output(10);
    set_error("before");
    EXPECT_EQ(write_page_object(f, in, {3, 0}, 3, 1), -1) << c.name;
    EXPECT_STREQ(error_text(), "page object missing") << c.name;
    EXPECT_EQ(f.out.len, 0u) << c.name;
  }
}

// ---------------------------------------------------------------- copied objects

struct copy_case {
  std::string name;
  std::string object;   // object 5 of the input; object 7 is mapped to 21
  std::string expected; // what is written under number 20, "" for nothing
};

std::string written_copy(const std::vector<std::string>& objects,
                         const std::vector<testdoc::member>& members = {}) {
  merge_input in;
  in.d = testdoc::make_doc(objects, members);
  renumber_map_set(in.map, {5, 7}, 20);
  out_file f = fresh_output(30);
  write_copied_object(f, in, 5, 20);
  EXPECT_EQ(f.xref_offsets[20], f.out.len == 0 ? -1 : 0);
  return out_text(f);
}

TEST(CopiedObject, Cases) {
  const std::vector<copy_case> cases = {
      {"dictionary", "<< /Type /Font /FontDescriptor 7 0 R >>",
       "<< /Type /Font /FontDescriptor 21 0 R >>"},
      {"only the dictionary itself", "<< /A 1 >> trailing words", "<< /A 1 >>"},
      {"number", "612", "612"},
      {"array", "[/ICCBased 7 0 R]", "[/ICCBased 21 0 R]"},
      {"array over lines with white space around", "  \r\n[0 500\n 7 0 R]  \r\n ",
       "[0 500\n 21 0 R]"},
      {"name", "/DeviceRGB", "/DeviceRGB"},
      {"string", "(a 7 0 R string)", "(a 7 0 R string)"}, // a string holds no reference
      {"hexadecimal string", "<48656C6C6F>", "<48656C6C6F>"},
      {"boolean", "true", "true"},
      {"null", "null", "null"},
      {"empty body", "", "null"},
      {"stream with direct length",
       "<< /Length 4 /Filter /DCTDecode >>\nstream\n\xff\xd8zz\nendstream",
       "<< /Length 4 /Filter /DCTDecode >>\nstream\n\xff\xd8zz\nendstream"},
      {"stream with wrong length", "<< /Length 999 >>\nstream\nabc\nendstream",
       "<< /Length 3 >>\nstream\nabc\nendstream"},
      {"stream with indirect length",
       "<< /Length 7 0 R /Filter /FlateDecode >>\nstream\nabcd\nendstream",
       "<< /Length 4 /Filter /FlateDecode >>\nstream\nabcd\nendstream"},
      {"stream without length", "<< /Subtype /Image >>\nstream\nab\nendstream",
       "<< /Subtype /Image /Length 2 >>\nstream\nab\nendstream"},
      {"stream with length keys of a font file",
       "<< /Length1 100 /Length2 50 /Length 9 /Length3 0 >>\nstream\nxyz\nendstream",
       "<< /Length1 100 /Length2 50 /Length 3 /Length3 0 >>\nstream\nxyz\nendstream"},
      {"stream whose nested dictionary has a length",
       "<< /DecodeParms << /Length 7 >> /Length 8 >>\nstream\nxy\nendstream",
       "<< /DecodeParms << /Length 7 >> /Length 2 >>\nstream\nxy\nendstream"},
      {"stream with length after a string",
       "<< /S (/Length 4) /Length 5 >>\nstream\nxyz\nendstream",
       "<< /S (/Length 4) /Length 3 >>\nstream\nxyz\nendstream"},
      {"stream with length next to the end", "<</Length 77>>\nstream\nxyz\nendstream",
       "<</Length 3>>\nstream\nxyz\nendstream"},
      {"stream with empty data", "<< /Length 0 >>\nstream\n\nendstream",
       "<< /Length 0 >>\nstream\n\nendstream"},
  };
  for (const copy_case& c : cases) {
    const std::string text = written_copy({obj(5, c.object), obj(7, "4")});
    EXPECT_EQ(text, "20 0 obj\n" + c.expected + "\nendobj\n") << c.name;
  }
}

TEST(CopiedObject, ObjectStreamMemberKeepsItsText) {
  EXPECT_EQ(written_copy({}, {{5, "[/ICCBased 7 0 R]"}}), "20 0 obj\n[/ICCBased 21 0 R]\nendobj\n");
  EXPECT_EQ(written_copy({}, {{5, "42"}}), "20 0 obj\n42\nendobj\n");
}

TEST(CopiedObject, MissingObjectWritesNothing) {
  EXPECT_EQ(written_copy({obj(7, "4")}), "");
}

// ---------------------------------------------------------------- object bodies

TEST(ObjectBody, TextBetweenHeaderAndEndobj) {
  const struct {
    std::string object;
    std::string body;
  } cases[] = {
      {"5 0 obj\n[1 2]\nendobj", "[1 2]"},
      {"5 0 obj[1 2]endobj", "[1 2]"},
      {"5  12\r\nobj \t 77 \r\n endobj", "77"},
      {"5 0 obj\nendobj", ""},
  };
  for (const auto& c : cases) {
    doc d = testdoc::make_doc({c.object});
    EXPECT_EQ(testdoc::str(object_body(d.file(), d.objects[0])), c.body) << c.object;
  }
}

} // namespace
