// Values read into a tree and written back: what parses and what fails, references, nesting,
// the bytes of strings, and the renaming of fonts in a /DA text.
#include "pdfmerge/keep/keep.h"
#include "pdfmerge/syntax/syntax.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_map>

using namespace pdfmerge;
using namespace std::string_literals;

namespace {

// The value written back with references renumbered as n + 100 (n 7 written as null), or
// "FAIL" when it does not parse.
std::string round_trip(const std::string& text) {
  const std::optional<pdf_value> v = parse_value(as_bytes(text));
  if (!v) return "FAIL";
  std::string out;
  write_value(
      *v, [](int32_t n) { return n == 7 ? -1 : n + 100; }, out);
  return out;
}

TEST(PdfValue, ParsesAndWritesBack) {
  const struct {
    std::string text, want;
  } cases[] = {
      {"<< /Type /Annot /Rect [0 0 10.5 -3] >>", "<< /Type /Annot /Rect [0 0 10.5 -3] >>"},
      {"<</P 3 0 R/Popup 12 0 R>>", "<< /P 103 0 R /Popup 112 0 R >>"},
      {"[4 0 R /XYZ null 792 0]", "[104 0 R /XYZ null 792 0]"},
      {"[7 0 R 1 2]", "[null 1 2]"}, // a reference the map lacks is written as null
      {"<< /A << /S /GoTo /D (a [b] >>) >> >>", "<< /A << /S /GoTo /D (a [b] >>) >> >>"},
      {"<< /T <48 65> /V (x\\)y) >>", "<< /T <48 65> /V (x\\)y) >>"},
      {"  % comment\n<< /K % inside\n 1 >>", "<< /K 1 >>"},
      {"<< /Empty >>", "<< /Empty null >>"}, // a key without a value
      {"<< /A true /B false /N null >>", "<< /A true /B false /N null >>"},
      {"12", "12"},
      {"[]", "[]"},
      {"<< >>", "<< >>"},
      {"<< /K [1 2 >>", "FAIL"}, // a dictionary closing an array
      {"<< /K 1", "FAIL"},       // unclosed
      {"[1 2", "FAIL"},          // unclosed
      {"<< 1 2 >>", "FAIL"},     // a key that is no name
      {"(open", "FAIL"},         // an unclosed string
      {"", "FAIL"},
      {")", "FAIL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(round_trip(c.text), c.want);
  }
}

TEST(PdfValue, NestingDeeperThanTheLimitFails) {
  const auto nested = [](int depth) {
    return std::string(static_cast<size_t>(depth), '[') +
           std::string(static_cast<size_t>(depth), ']');
  };
  EXPECT_NE(round_trip(nested(max_value_depth)), "FAIL");
  EXPECT_EQ(round_trip(nested(max_value_depth + 2)), "FAIL");
  EXPECT_EQ(round_trip(nested(100000)), "FAIL"); // no stack exhaustion either
}

TEST(PdfValue, DictionaryEdits) {
  std::optional<pdf_value> v = parse_value(as_bytes("<< /A 1 /B 2 >>"s));
  ASSERT_TRUE(v);
  v->set("B", pdf_value::atom("3"));
  v->set("C", pdf_value::output_ref(9));
  v->erase("A");
  v->erase("missing");
  std::string out;
  write_value(
      *v, [](int32_t) { return -1; }, out);
  EXPECT_EQ(out, "<< /B 3 /C 9 0 R >>");
  EXPECT_EQ(v->get("A"), nullptr);
  EXPECT_EQ(pdf_value::atom("1").get("A"), nullptr); // no dictionary
}

TEST(PdfValue, StringBytes) {
  const struct {
    std::string text;
    std::optional<std::string> want;
  } cases[] = {
      {"(abc)", "abc"},
      {"(a\\(b\\)c\\\\)", "a(b)c\\"},
      {"(\\n\\r\\t\\b\\f)", "\n\r\t\b\f"},
      {"(\\101\\0618\\7)", "A18\x07"}, // up to three octal digits
      {"(a\\\nb)", "ab"},              // a line continuation
      {"(a\\\r\nb)", "ab"},
      {"(\\q)", "q"}, // an unknown escape stands for the byte
      {"<41 42>", "AB"},
      {"<414>", "A@"}, // an odd digit count ends with a 0
      {"<>", ""},
      {"/Name", std::nullopt},
      {"12", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<pdf_value> v = parse_value(as_bytes(c.text));
    ASSERT_TRUE(v);
    EXPECT_EQ(string_bytes(*v), c.want);
  }
}

TEST(RenamedDa, ReplacesWholeFontNamesOnly) {
  const std::unordered_map<std::string, std::string> renames = {{"Helv", "Helv_2"}, {"F1", "F1_3"}};
  const struct {
    const char* da;
    const char* want;
  } cases[] = {
      {"/Helv 12 Tf 0 g", "/Helv_2 12 Tf 0 g"},
      {"0 g /F1 0 Tf", "0 g /F1_3 0 Tf"},
      {"/Helvetica 12 Tf", "/Helvetica 12 Tf"}, // another name that starts alike
      {"/ZaDb 9 Tf", "/ZaDb 9 Tf"},
      {"/Helv/F1", "/Helv_2/F1_3"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(renamed_da(c.da, renames), c.want) << c.da;
}

} // namespace
