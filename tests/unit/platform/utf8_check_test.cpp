// Which path bytes are read as UTF-8 on Windows: well-formed UTF-8 with a non-ASCII byte.
// Everything else (plain ASCII, legacy code-page bytes, malformed sequences) keeps the ANSI
// reading, so hosts that pass ANSI paths see no change.
#include "pdfmerge/platform/platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8Check, TellsUtf8FromOtherBytes) {
  const struct {
    const char* label;
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"empty", "", false},
      {"ascii", "C:\\files\\in.pdf", false},
      {"latin-1 e acute", "caf\xE9.pdf", false},
      {"cp1252 quotes", "\x93quoted\x94.pdf", false},
      {"two-byte", "caf\xC3\xA9.pdf", true},
      {"greek", "\xCE\xB1\xCE\xB2\xCE\xB3", true},
      {"three-byte cjk", "\xE4\xB8\xAD\xE6\x96\x87", true},
      {"four-byte emoji", "\xF0\x9F\x99\x82", true},
      {"highest code point", "\xF4\x8F\xBF\xBF", true},
      {"lowest three-byte", "\xE0\xA0\x80", true},
      {"last before surrogates", "\xED\x9F\xBF", true},
      {"lone continuation", "a\x80z", false},
      {"overlong slash C0", "\xC0\xAF", false},
      {"overlong two-byte C1", "\xC1\xBF", false},
      {"overlong three-byte", "\xE0\x80\xAF", false},
      {"overlong four-byte", "\xF0\x80\x80\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", false},
      {"F5 lead", "\xF5\x80\x80\x80", false},
      {"cut at the end", "ab\xE4\xB8", false},
      {"cut before ascii", "\xE4\xB8z", false},
      {"four-byte missing last", "\xF0\x9F\x99z", false},
      {"valid then latin-1", "\xC3\xA9 \xE9", false},
      {"embedded nul kept", std::string("\xC3\xA9\0x", 4), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(pdfmerge::utf8_with_non_ascii(c.bytes), c.utf8);
  }
}

} // namespace
