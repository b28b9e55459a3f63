// Copied text that reads back as the text it is. The tolerant reader finds objects by their
// keywords wherever they stand, so a copied string holding "4 0 obj" or "endobj", or a damaged
// body holding "trailer << /Root ... >>", would be taken for file structure when the output is
// read again. Such keywords are written so that no reader sees them, and everything else is
// copied byte for byte.
#include "pdfmerge/merge/merge.h"

#include <array>
#include <cstdio>

namespace pdfmerge {
namespace {

// The keywords of the file structure, as the reader looks for them: whole words.
constexpr std::array<std::string_view, 7> structure_words = {
    "obj", "endobj", "stream", "endstream", "trailer", "xref", "startxref"};

// The length of the structure keyword standing at pos, or 0.
size_t structure_word_at(bytes text, int32_t pos) {
  const uint8_t c = byte_at(text, pos);
  if (c != 'o' && c != 'e' && c != 's' && c != 't' && c != 'x') return 0;
  for (std::string_view w : structure_words)
    if (kw_at(text, pos, w)) return w.size();
  return 0;
}

void octal_escape(std::string& out, uint8_t c) {
  char esc[5];
  std::snprintf(esc, sizeof esc, "\\%03o", c);
  out += esc;
}

// Copies the literal string opened at `open` (to its close, or to the end when it does not
// close), writing the first letter of every structure keyword in it as an octal escape: the
// same string, which no reader takes for a keyword. Returns the position after it.
int32_t copy_string(bytes text, int32_t open, std::string& out, bool& changed) {
  const int32_t end = size_of(text);
  const int32_t close = skip_literal_string(text, open, end);
  const int32_t stop = close < 0 ? end : close;
  out += '(';
  for (int32_t i = open + 1; i < stop; ++i) {
    const uint8_t c = byte_at(text, i);
    // "\x" where x is no escape letter stands for x itself: the escape replaces both bytes.
    const bool escaped_letter =
        c == '\\' && i + 1 < stop && is_alnum(byte_at(text, i + 1)) &&
        !is_digit(byte_at(text, i + 1)) &&
        std::string_view("nrtbf").find(static_cast<char>(byte_at(text, i + 1))) ==
            std::string_view::npos;
    const int32_t at = escaped_letter ? i + 1 : i;
    if ((escaped_letter || c != '\\') && structure_word_at(text, at) > 0) {
      octal_escape(out, byte_at(text, at));
      changed = true;
      i = at;
      continue;
    }
    out += static_cast<char>(c);
    if (c == '\\' && i + 1 < stop) out += static_cast<char>(byte_at(text, ++i));
  }
  return stop;
}

} // namespace

// Only literal strings are stepped over whole: a keyword in a comment or in a hexadecimal string
// (where it can stand only in damaged text) is replaced like any other outside a string, since
// the tolerant reader finds keywords there too.
void make_reader_safe(std::string& text) {
  const bytes t = as_bytes(text);
  const int32_t end = size_of(t);
  std::string out;
  bool changed = false;
  for (int32_t i = 0; i < end;) {
    const uint8_t c = byte_at(t, i);
    if (c == '(') {
      i = copy_string(t, i, out, changed);
    } else if (const size_t n = structure_word_at(t, i); n > 0) {
      out += "null"; // never valid outside a string: the keyword goes
      changed = true;
      i += static_cast<int32_t>(n);
    } else {
      out += static_cast<char>(c);
      ++i;
    }
  }
  if (changed) text.swap(out);
}

} // namespace pdfmerge
