// Text strings: the encodings a PDF string may use read as UTF-8, host text read leniently,
// and text and bytes written back as string tokens.
#include "pdfmerge/syntax/syntax.h"

#include <gtest/gtest.h>

#include <string>

using namespace pdfmerge;
using namespace std::string_literals;

namespace {

TEST(TextStrings, EveryEncodingReadsAsUtf8) {
  const struct {
    std::string pdf, utf8;
  } cases[] = {
      {"Plain title", "Plain title"},
      {"\xFE\xFF\x00T\x00\xFC\x20\x13"s, "T\xC3\xBC\xE2\x80\x93"}, // Tü–
      {"\xFE\xFF\xD8\x3D\xDE\x42"s, "\xF0\x9F\x99\x82"},           // a pair
      {"\xFE\xFF\xD8\x3D\x00x"s, "\xEF\xBF\xBDx"},                 // lone high
      {"\xFE\xFF\x00\x1B"
       "de\x00\x1B\x00H\x00i"s,
       "Hi"},                                                 // language mark
      {"\xFE\xFF\x00H\x00"s, "H"},                            // odd byte
      {"\xFF\xFE\x48\x00\xE9\x00"s, "H\xC3\xA9"},             // UTF-16LE
      {"\xEF\xBB\xBF\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"}, // UTF-8 mark
      {"caf\xE9", "caf\xC3\xA9"},                             // Latin-1 part
      {"\x80\x84\x92\xA0\x18", "\xE2\x80\xA2\xE2\x80\x94\xE2\x84\xA2\xE2\x82\xAC\xCB\x98"}, // •—™€˘
      {"\x7F\x9F", "\xEF\xBF\xBD\xEF\xBF\xBD"}, // undefined in PDFDocEncoding
  };
  for (const auto& c : cases) EXPECT_EQ(text_string_utf8(c.pdf), c.utf8) << c.pdf;
}

TEST(TextStrings, HostTextIsUtf8WhereValidAndWindows1252Elsewhere) {
  EXPECT_EQ(utf8_lenient("Rechnung \xC3\xBC \xF0\x9F\x99\x82"),
            "Rechnung \xC3\xBC \xF0\x9F\x99\x82");
  EXPECT_EQ(utf8_lenient("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(utf8_lenient("\x80\x81\x9F"), "\xE2\x82\xAC\xEF\xBF\xBD\xC5\xB8"); // €, undefined, Ÿ
  EXPECT_EQ(utf8_lenient("\xC3"), "\xC3\x83");                                 // a cut sequence
  EXPECT_EQ(utf8_lenient("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");     // no surrogates
  EXPECT_TRUE(blank_text(" \t\r\n"));
  EXPECT_FALSE(blank_text(" x "));
}

TEST(TextStrings, TokensAreLiteralForPlainAsciiAndUtf16Otherwise) {
  EXPECT_EQ(text_string_token("Invoice 4711"), "(Invoice 4711)");
  EXPECT_EQ(text_string_token("a (b) \\c"), "(a \\(b\\) \\\\c)");
  EXPECT_EQ(text_string_token(""), "()");
  EXPECT_EQ(text_string_token("Gr\xC3\xBC\xC3\x9F"
                              "e"),
            "<feff0047007200fc00df0065>");
  EXPECT_EQ(text_string_token("\xF0\x9F\x99\x82"), "<feffd83dde42>");
  // Control characters are no plain text: they go as UTF-16 too.
  EXPECT_EQ(text_string_token("tab\there"), "<feff00740061006200090068006500720065>");
  EXPECT_EQ(text_string_token("caf\xE9"), "<feff00630061006600e9>"); // read leniently first
  EXPECT_EQ(bytes_string_token("D:20240101"), "(D:20240101)");
  EXPECT_EQ(bytes_string_token("\xFE\xFF\x00"
                               "A"s),
            "<feff0041>");
}

} // namespace
