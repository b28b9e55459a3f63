// Page attributes: box arrays, named boxes, the own /Rotate and the resources dictionary.
#include "doc_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

using namespace pdfmerge;

namespace {

using testdoc::obj;

const box untouched{7, 7, 7, 7};

void expect_box(const box& got, const box& want) {
  EXPECT_DOUBLE_EQ(got.x0, want.x0);
  EXPECT_DOUBLE_EQ(got.y0, want.y0);
  EXPECT_DOUBLE_EQ(got.x1, want.x1);
  EXPECT_DOUBLE_EQ(got.y1, want.y1);
}

struct box_case {
  std::string text;
  std::optional<box> want; // nullopt: result 0 and nothing stored
};

TEST(ParseBoxArray, Cases) {
  const box_case cases[] = {
      {"[0 0 612 792]", box{0, 0, 612, 792}},
      {"[ -10.5 +0 .5 792.25 ]", box{-10.5, 0, 0.5, 792.25}},
      {"[0 0 612]", std::nullopt},
      {"[0 0 0 792]", std::nullopt},
      {"[0 0 612 -1]", std::nullopt},
      {"[0 0 612 792 5]", box{0, 0, 612, 792}},
      {"[0 0 612 792", box{0, 0, 612, 792}},
      {"[/X 1 2 3 4]", box{1, 2, 3, 4}},
      {"[1 2 3 R 4]", box{1, 2, 3, 4}},
      {"[-.5 - 612. 595.28]", box{-0.5, -0.0, 612, 595.28}},
      {"[+ 0 1 1]", box{0, 0, 1, 1}},
      {"[0 0 1.5.5 7]", box{0, 0, 1.5, 0.5}}, // a second '.' ends the number
      {"[0 0 1e3 5]", box{0, 0, 1, 3}},       // no exponents: 'e' is stepped over
      {"[0 0 . 5 6]", box{0, 0, 5, 6}},       // a '.' without a digit after it is no number
      {"[0 0 612 -", std::nullopt},           // a lone '-' at the end is negative zero
      {"[0 0 612 +", std::nullopt},
      {"[0 0 0.25 1.125]", box{0, 0, 0.25, 1.125}},
      {"[]", std::nullopt},
      {"[", std::nullopt},
      {"[ \r\n\t", std::nullopt},
      {"[1 2 ] 3 4]", std::nullopt},
  };
  for (const box_case& c : cases) {
    SCOPED_TRACE(c.text);
    box got = untouched;
    EXPECT_EQ(parse_box_array(as_bytes(c.text), 0, got), c.want.has_value());
    expect_box(got, c.want.value_or(untouched));
  }
}

TEST(ParseBoxArray, LoneMinusIsNegativeZero) {
  box got;
  ASSERT_TRUE(parse_box_array(as_bytes("[- + 1 1]"), 0, got));
  EXPECT_TRUE(std::signbit(got.x0));
  EXPECT_FALSE(std::signbit(got.y0));
}

TEST(ParseBoxArray, StartsAtTheGivenBracket) {
  box got;
  ASSERT_TRUE(parse_box_array(as_bytes("[9 9] [1 2 3 4]"), 6, got));
  expect_box(got, {1, 2, 3, 4});
}

struct named_case {
  std::string text;
  int32_t from;
  const char* name;
  std::optional<box> want;
};

TEST(BoxNamed, Cases) {
  const named_case cases[] = {
      {"/MediaBox 5 0 R /MediaBox [0 0 100 100]", 0, "MediaBox", box{0, 0, 100, 100}},
      {"/MediaBoxes [0 0 1 1]", 0, "MediaBox", std::nullopt},
      {"/MediaBox [0 0 0 0] /MediaBox [0 0 5 5]", 0, "MediaBox", box{0, 0, 5, 5}},
      {"/MediaBox\r\n [0 0 5 5]", 0, "MediaBox", box{0, 0, 5, 5}},
      {"/MediaBox\x0b[0 0 5 5]", 0, "MediaBox", std::nullopt}, // VT is no white space
      {"/CropBox [1 2 3 4] /MediaBox [0 0 9 9]", 0, "CropBox", box{1, 2, 3, 4}},
      {"/CropBox [1 2 3 4] /MediaBox [0 0 9 9]", 0, "MediaBox", box{0, 0, 9, 9}},
      {"/MediaBox [0 0 5 5]", 1, "MediaBox", std::nullopt},
      {"/MediaBox", 0, "MediaBox", std::nullopt},
      {"/MediaBox ", 0, "MediaBox", std::nullopt},
      {"<< /A << /MediaBox [0 0 2 2] >> >>", 0, "MediaBox", box{0, 0, 2, 2}},
      {"/MediaBox[0 0 3 3]", 0, "MediaBox", box{0, 0, 3, 3}},
  };
  for (const named_case& c : cases) {
    SCOPED_TRACE(c.text);
    box got = untouched;
    EXPECT_EQ(box_named(as_bytes(c.text), c.from, c.name, got), c.want.has_value());
    expect_box(got, c.want.value_or(untouched));
  }
}

// Objects that indirect boxes and box elements point at.
doc box_doc() {
  return testdoc::make_doc({"5 0 obj\n[0 0 612 792]\nendobj", "6 0 obj\n612\nendobj",
                            "7 0 obj\n792.5\nendobj", obj(8, "<< /A 1 >>"),
                            "9 0 obj\n[10 20 6 0 R 7 0 R]\nendobj",
                            "15 0 obj\n[0.0 792.0 612.0 0.0]\nendobj"},
                           {{10, " [ 1 2 3 4 ]"}, {11, "300"}, {12, "(text)"}});
}

TEST(BoxNamedResolved, Cases) {
  doc d = box_doc();
  const named_case cases[] = {
      {"/MediaBox [0 0 100 100]", 0, "MediaBox", box{0, 0, 100, 100}},
      {"/MediaBox [100 100 50 50]", 0, "MediaBox", box{100, 100, 50, 50}},
      {"/MediaBox 5 0 R /MediaBox [0 0 100 100]", 0, "MediaBox", box{0, 0, 100, 100}},
      {"/MediaBox 5 0 R", 0, "MediaBox", box{0, 0, 612, 792}},
      {"/MediaBox\n5\n0\nR", 0, "MediaBox", box{0, 0, 612, 792}},
      {"/MediaBox 10 0 R", 0, "MediaBox", box{1, 2, 3, 4}},
      {"/MediaBox 9 0 R", 0, "MediaBox", box{10, 20, 612, 792.5}},
      {"/MediaBox 15 0 R", 0, "MediaBox", box{0, 0, 612, 792}},
      {"/MediaBox [0 0 6 0 R 7 0 R]", 0, "MediaBox", box{0, 0, 612, 792.5}},
      {"/MediaBox [0 0 11 0 R 6 0 R]", 0, "MediaBox", box{0, 0, 300, 612}},
      {"/MediaBox [6 0 R 7 0 R 0 0]", 0, "MediaBox", box{0, 0, 612, 792.5}},
      {"/MediaBox [0.0 792.0 612.0 0.0]", 0, "MediaBox", box{0, 0, 612, 792}},
      {"/MediaBox [612 792 0 0]", 0, "MediaBox", box{0, 0, 612, 792}},
      {"/MediaBox [0 792 612 -1]", 0, "MediaBox", std::nullopt},
      {"/MediaBox [0 0 0 792]", 0, "MediaBox", std::nullopt},
      {"/MediaBox [5 0 5 0]", 0, "MediaBox", std::nullopt},
      {"/MediaBox [0 0 8 0 R 7 0 R]", 0, "MediaBox", std::nullopt}, // no number object
      {"/MediaBox [0 0 5 0 R 7 0 R]", 0, "MediaBox", std::nullopt},
      {"/MediaBox [0 0 12 0 R 7 0 R]", 0, "MediaBox", std::nullopt}, // a string
      {"/MediaBox [0 0 42 0 R 7 0 R]", 0, "MediaBox", std::nullopt}, // no such object
      {"/MediaBox 6 0 R", 0, "MediaBox", std::nullopt},
      {"/MediaBox 8 0 R", 0, "MediaBox", std::nullopt},
      {"/MediaBox 42 0 R", 0, "MediaBox", std::nullopt},
      {"/MediaBox 5 0", 0, "MediaBox", std::nullopt},
      {"/MediaBox 5 0 Rx", 0, "MediaBox", std::nullopt},
      {"/MediaBox 0 0 R", 0, "MediaBox", std::nullopt},
      {"/MediaBox [0 0 6 0 R", 0, "MediaBox", std::nullopt},
      {"/MediaBox [0 0 6 0 R 7 0 R ", 0, "MediaBox", box{0, 0, 612, 792.5}},
      {"/CropBox 5 0 R /MediaBox [0 0 9 9]", 0, "CropBox", box{0, 0, 612, 792}},
      {"/MediaBox 5 0 R", 1, "MediaBox", std::nullopt},
  };
  for (const named_case& c : cases) {
    SCOPED_TRACE(c.text);
    box got = untouched;
    EXPECT_EQ(box_named_resolved(d, as_bytes(c.text), c.from, c.name, got), c.want.has_value());
    expect_box(got, c.want.value_or(untouched));
  }
}

TEST(ObjRotateOwn, FileObjects) {
  const struct {
    std::string object;
    std::optional<int32_t> want;
  } cases[] = {
      {obj(1, "<< /Rotate 90 >>"), 90},
      {obj(1, "<< /Rotate 450 >>"), 450},
      {obj(1, "<< /Rotate -90 >>"), -90},
      {obj(1, "<< /Rotate -450 >>"), -450},
      {obj(1, "<< /Rotate -1 >>"), -1},
      {obj(1, "<< /Rotate -0 >>"), 0},
      {obj(1, "<< /Rotate - 90 >>"), std::nullopt},
      {obj(1, "<< /Rotate -/X >>"), std::nullopt},
      {obj(1, "<< /Rotate +90 >>"), std::nullopt},
      {obj(1, "<< /Type /Page >>"), std::nullopt},
      {obj(1, "<< /Rotate 12 0 R >>"), 12},
      {obj(1, "<< /Rotate /X >>"), std::nullopt},
      {obj(1, "<< /Rotated 90 >>"), std::nullopt},
      {obj(1, "<< /Rotate 1 /Rotate 2 >>"), 1},
      {obj(1, "<< /A << /Rotate 270 >> >>"), 270},
      {obj(1, "<< /Length 10 >>\nstream\n/Rotate 90\nendstream"),
       std::nullopt},                         // data is not the dict
      {obj(1, "[/Rotate 90]"), std::nullopt}, // no dictionary span
      {"1 0 obj << /Rotate", std::nullopt},
      {"1 0 obj << /Rotate -", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.object);
    doc d = testdoc::make_doc({c.object});
    EXPECT_EQ(obj_rotate_own(d.file(), d.objects[0]), c.want);
  }
}

TEST(ObjRotateOwn, ObjectStreamMember) {
  doc d = testdoc::make_doc({}, {{4, "<< /Rotate 180 >>"}});
  EXPECT_EQ(obj_rotate_own(d.file(), d.objects[0]), std::optional<int32_t>(180));
}

// Objects that resources references point at.
doc resources_doc() {
  return testdoc::make_doc({obj(7, "<< /ProcSet [/PDF] >>"), "9 0 obj\n[1 2]\nendobj",
                            obj(12, "<< /A << /B 1 >>\nstream\nxx >>\nendstream"),
                            obj(13, "<< /Second 1 >>"), obj(13, "<< /Second 2 >>")},
                           {{8, "  << /XObject << >> >> tail"}, {10, "[1 2]"}, {11, "[<ab>]"}});
}

TEST(OwnResources, Cases) {
  doc d = resources_doc();
  const struct {
    std::string text;
    const char* want; // null: none
  } cases[] = {
      {"/Resources << /Font << /F1 5 0 R >> >>", "<< /Font << /F1 5 0 R >> >>"},
      {"<< /Type /Page /Resources << /Font << /F1 5 0 R >> >> /Rotate 90 >>",
       "<< /Font << /F1 5 0 R >> >>"},
      {"/Resources << /A (>>) >> tail", "<< /A (>>) >>"},
      {"/Resources 7 0 R", "<< /ProcSet [/PDF] >>"},
      {"/Resources 8 0 R", "<< /XObject << >> >>"},
      {"/Resources 13 0 R", "<< /Second 1 >>"}, // first entry of the number
      {"/Resources\n7", "<< /ProcSet [/PDF] >>"},
      {"/Resources 9 0 R", nullptr},  // no dictionary
      {"/Resources 10 0 R", nullptr}, // member without '<'
      {"/Resources 11 0 R", nullptr}, // member whose '<' opens no dictionary
      {"/Resources 12 0 R", nullptr}, // dictionary does not close before "stream"
      {"/Resources 42 0 R", nullptr},
      {"/Resources 0 0 R", nullptr},
      {"/Resources [ ]", nullptr},
      {"/Resources /R", nullptr},
      {"/Resources <ab>", nullptr},
      {"/Resources <", nullptr},
      {"/Resources << /A 1", nullptr},
      {"/Resources\x0b<< >>", nullptr},
      {"/Resources", nullptr},
      {"/Resources  ", nullptr},
      {"/ResourcesX << >>", nullptr},
      {"/Font << >>", nullptr},
      {"<< /Type /Page /Annots [<< /Resources << /A 1 >> >>] /Resources << /Own 1 >> >>",
       "<< /Own 1 >>"},
      {"<< /Type /Page /Annots [<< /Resources << /A 1 >> >>] >>", nullptr},
      {"<< /Type /Page /Resources << /Own 1 >> /Annots [<< /Resources << /A 1 >> >>] >>",
       "<< /Own 1 >>"},
      {"<< /T (/Resources << /S 1 >>) /Resources << /Own 2 >> >>", "<< /Own 2 >>"},
      {"<< /T (a\\) /Resources << /S 1 >> \\)) /Resources << /Own 3 >> >>", "<< /Own 3 >>"},
      {"<< /T ((/Resources 7 0 R)) /Resources << /Own 4 >> >>", "<< /Own 4 >>"},
      {"<< % /Resources << /C 1 >>\n/Resources << /Own 5 >> >>", "<< /Own 5 >>"},
      {"<< /H <2F5265> /Resources 7 0 R >>", "<< /ProcSet [/PDF] >>"},
      {"<< /Group << /S /Transparency >> /Resources 7 0 R >>", "<< /ProcSet [/PDF] >>"},
      {"<< /T (/Resources 7 0 R", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const bytes got = own_resources(d, as_bytes(c.text), 0);
    if (c.want) {
      EXPECT_EQ(testdoc::str(got), c.want);
    } else {
      EXPECT_TRUE(got.empty()) << testdoc::str(got);
    }
  }
}

TEST(OwnResources, ViewsIntoTheDocument) {
  doc d = resources_doc();
  const std::string page = "/Resources 7 0 R";
  const bytes file_dict = own_resources(d, as_bytes(page), 0);
  ASSERT_FALSE(file_dict.empty());
  EXPECT_GE(file_dict.data(), d.data.get());
  EXPECT_LE(file_dict.data() + file_dict.size(), d.data.get() + d.len);

  const obj_entry& member = *obj_lookup(d, 8);
  const bytes member_dict = own_resources(d, as_bytes("/Resources 8 0 R"), 0);
  ASSERT_FALSE(member_dict.empty());
  EXPECT_EQ(member_dict.data(), member.text + 2);
}

TEST(OwnResources, SearchStartsAtFrom) {
  doc d = resources_doc();
  const std::string text = "/Resources << /A 1 >> /Resources << /B 2 >>";
  EXPECT_EQ(testdoc::str(own_resources(d, as_bytes(text), 1)), "<< /B 2 >>");
}

doc parent_chain_doc() {
  return testdoc::make_doc(
      {obj(1, "<< /Type /Page /Parent 2 0 R >>"), obj(2, "<< /Type /Pages /Parent 3 0 R >>"),
       obj(3, "<< /Type /Pages /Resources << /Font 9 0 R >> >>"),
       obj(4, "<< /Type /Page /Parent 5 0 R >>"),
       obj(5, "<< /Type /Pages /Parent 3 0 R /Resources << /Near 1 >> >>"),
       obj(6, "<< /Type /Page /Resources << /Own 1 >> /Parent 14 0 R >>"),
       obj(14, "<< /Type /Pages >>"), obj(7, "<< /Type /Page /Parent 7 0 R >>"),
       obj(15, "<< /Type /Page /Parent 0 0 R >>"), obj(16, "<< /Type /Page >>"),
       obj(17, "<< /Type /Page /Parent 99 0 R >>"), obj(18, "<< /Type /Page /Parent 9 0 R >>"),
       "9 0 obj\n[1 2]\nendobj", obj(19, "<< /Type /Page /Parent 20 0 R >>"),
       obj(21, "<< /Type /Page /Parent 22 0 R >>"), obj(23, "<< /Type /Page /Parent 24 0 R >>"),
       obj(24, "<< /Type /Pages /Parent 3 0 R /X << /Resources << /Nested 1 >> >> >>")},
      {{20, "<< /Resources << /Member 1 >> >>"}, {22, "<< /Parent 3 0 R >>"}});
}

TEST(PageResources, OwnElseNearestAncestor) {
  doc d = parent_chain_doc();
  const struct {
    int32_t page;
    const char* want;
  } cases[] = {
      {1, "<< /Font 9 0 R >>"}, // grandparent
      {4, "<< /Near 1 >>"},     // nearest ancestor first
      {6, "<< /Own 1 >>"},      // the page's own come before any ancestor's
      {7, nullptr},             // /Parent names the page itself
      {15, nullptr},
      {16, nullptr},
      {17, nullptr},
      {18, nullptr}, // parent without a dictionary
      {19, "<< /Member 1 >>"},
      {21, "<< /Font 9 0 R >>"}, // through a member to a file object
      {23, "<< /Font 9 0 R >>"}, // a nested dictionary's /Resources is not the parent's
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "page " << c.page);
    dict_span sp;
    ASSERT_TRUE(dict_span_of(d.file(), *obj_lookup(d, c.page), sp));
    const bytes got = page_resources(d, sp, c.page);
    if (c.want) {
      EXPECT_EQ(testdoc::str(got), c.want);
    } else {
      EXPECT_TRUE(got.empty()) << testdoc::str(got);
    }
  }
}

// Resources are inherited through at most 32 levels of /Parent: the 32nd ancestor's count, the
// 33rd's do not.
TEST(PageResources, ThirtyTwoLevelsUp) {
  for (const int levels : {32, 33}) {
    SCOPED_TRACE(levels);
    std::vector<std::string> objects = {obj(1, "<< /Type /Page /Parent 2 0 R >>")};
    for (int k = 2; k <= levels; ++k)
      objects.push_back(obj(k, "<< /Type /Pages /Parent " + std::to_string(k + 1) + " 0 R >>"));
    objects.push_back(obj(levels + 1, "<< /Type /Pages /Resources << /Far 1 >> >>"));
    doc d = testdoc::make_doc(objects);
    dict_span sp;
    ASSERT_TRUE(dict_span_of(d.file(), *obj_lookup(d, 1), sp));
    EXPECT_EQ(testdoc::str(page_resources(d, sp, 1)), levels == 32 ? "<< /Far 1 >>" : "");
  }
}

} // namespace
