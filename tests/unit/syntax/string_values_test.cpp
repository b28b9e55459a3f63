// The bytes that literal and hexadecimal string tokens stand for, read by the one decoder that
// both the text readers and the value trees use, and bytes written back in hex.
#include "hex_bytes.h"
#include "pdfmerge/syntax/syntax.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace pdfmerge;
using hexb::to_hex;

namespace {

using vec = std::vector<uint8_t>;

TEST(StringValues, LiteralStringsAsTheFormatReadsThem) {
  const struct {
    const char* written; // from the '(' on
    std::string value;
  } cases[] = {
      {"(plain)", "plain"},
      {"(a (nested) pair)", "a (nested) pair"},
      {"(\\n\\r\\t\\b\\f\\(\\)\\\\)", "\n\r\t\b\f()\\"},
      {"(\\101\\0501\\7\\1234)", std::string("A(1\x07S4")},   // 1 to 3 digits, a 4th is text
      {"(\\q\\/)", "q/"},                                     // not an escape: the byte itself
      {"(one\\\ntwo\\\r\nthree\\\rfour)", "onetwothreefour"}, // continued lines
      {"(a\rb\r\nc\nd)", "a\nb\nc\nd"},                       // line ends read as LF
      {"(a\n\rb\r\rc)", "a\n\nb\n\nc"},                       // LF CR and CR CR are two each
      {R"((\0\00\000\0000))", std::string(4, '\0') + "0"},    // octal of 1, 2, 3 digits
      {"(\\400)", std::string(1, '\0')},                      // wraps past a byte
      {"(runs to the end \\)", "runs to the end )"},          // never closes
      {"(ends in a backslash \\", "ends in a backslash "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    const bytes text = as_bytes(c.written);
    vec out;
    const int32_t close = skip_literal_string(text, 0, size_of(text));
    literal_string_value(text, 0, close, out);
    EXPECT_EQ(to_hex(out), to_hex(c.value));
    // A string read into a value tree is the same bytes: one decoder serves both.
    if (close == size_of(text)) {
      const std::optional<pdf_value> v = parse_value(text);
      ASSERT_TRUE(v);
      EXPECT_EQ(to_hex(as_bytes(string_bytes(*v).value_or("?"))), to_hex(c.value));
    }
  }
}

TEST(StringValues, HexStringsAndHexWriting) {
  const struct {
    const char* written;
    const char* value_hex;
  } cases[] = {
      {"<48656C6c6f>", "48656c6c6f"},
      {"< 48 65\n6c\t6c 6f >", "48656c6c6f"},
      {"<abc>", "abc0"}, // an odd last digit is followed by 0
      {"<>", ""},
      {"<4x8z6>", "4860"}, // other bytes skipped
      {"<0102", "0102"},   // never closes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    const bytes text = as_bytes(c.written);
    vec out;
    hex_string_value(text, 0, skip_hex_string(text, 0, size_of(text)), out);
    EXPECT_EQ(to_hex(out), c.value_hex);
    std::string written;
    append_hex_string(written, out);
    EXPECT_EQ(written, std::string("<") + c.value_hex + ">");
  }
}

} // namespace
