// Copied text never reads back as file structure: keywords in strings are escaped (the same
// string), keywords outside strings go, and all other text is copied byte for byte.
#include "pdfmerge/pdfmerge_internal.h"

#include <gtest/gtest.h>

#include <string>

using namespace pdfmerge;

namespace {

TEST(MakeReaderSafe, Cases) {
  const struct {
    std::string text, want;
  } cases[] = {
      {"<< /Type /Font /BaseFont /Helvetica >>", "<< /Type /Font /BaseFont /Helvetica >>"},
      {"(2 0 obj << >> endobj)", R"((2 0 \157bj << >> \145ndobj))"},
      {"(trailer << /Root 1 0 R >>)", R"((\164railer << /Root 1 0 R >>))"},
      {"(xref startxref stream endstream)", R"((\170ref \163tartxref \163tream \145ndstream))"},
      {"(objects, robj, obj1)", "(objects, robj, obj1)"}, // not whole words: copied as written
      {R"((a \obj))", R"((a \157bj))"},    // "\o" stands for "o": the escape replaces both
      {R"((a \\obj))", R"((a \\\157bj))"}, // an escaped backslash, then the word
      {R"((a \nobj))", R"((a \nobj))"},    // "\n" is a line feed, and "nobj" no keyword
      {"(a (obj) b)", R"((a (\157bj) b))"},
      {"<< /A 4 0 obj /B 1 >>", "<< /A 4 0 null /B 1 >>"},
      {"[1 2] endobj 5 0 obj", "[1 2] null 5 0 null"},
      {"<< /S (open obj", R"(<< /S (open \157bj)"}, // a string that never closes
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    make_reader_safe(text);
    EXPECT_EQ(text, c.want);
  }
}

} // namespace
