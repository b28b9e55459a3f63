// Text strings: the bytes of a PDF string read as text (UTF-16 with a byte order mark, UTF-8
// with one, or PDFDocEncoding), text given by a host read as UTF-8, and text or bytes written
// back as a string token.
#pragma once

#include <string>
#include <string_view>

namespace pdfmerge {

// The text that the bytes of a PDF text string stand for, as UTF-8: UTF-16BE after FE FF (and
// UTF-16LE after FF FE, which some writers use), UTF-8 after EF BB BF, PDFDocEncoding
// otherwise. Language marks (ESC ... ESC) are dropped; what cannot be read (a lone surrogate, a
// byte PDFDocEncoding leaves undefined) becomes U+FFFD.
std::string text_string_utf8(std::string_view pdf_bytes);

// `given` as UTF-8: well-formed sequences as they are, every other byte read as Windows-1252
// (the code page such bytes most often come from); U+FFFD for the five bytes it leaves
// undefined.
std::string utf8_lenient(std::string_view given);

// The length of the well-formed UTF-8 sequence that starts at s[i] (1 for ASCII), or 0 when
// none does (no overlong forms, surrogates or values past U+10FFFF).
size_t utf8_sequence_length(std::string_view s, size_t i);

// True when nothing but white space is in the text.
bool blank_text(std::string_view utf8);

// A string token for text given as UTF-8 (read leniently): a literal string when it is plain
// printable ASCII, else UTF-16BE with a byte order mark, in hexadecimal.
std::string text_string_token(std::string_view utf8);

// A string token for bytes as they are: a literal string when they are printable ASCII, else a
// hexadecimal string.
std::string bytes_string_token(std::string_view raw);

} // namespace pdfmerge
