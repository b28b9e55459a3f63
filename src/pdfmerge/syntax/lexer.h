// The PDF syntax that the reader and the writer recognise, in one place: byte classes, white
// space and comments, strings, nested values, a dictionary's own keys, integers and references.
// The grammar, and where it deliberately departs from the format, opens lexer.cpp.
//
// Conventions: positions and lengths are signed 32-bit indexes into the text given; -1 means
// "none" (nothing found, or the range ended first); end bounds are exclusive. Every function
// reads only inside [0, min(end, text.size())), whatever positions it is handed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace pdfmerge {

// A byte range of a document's text.
using bytes = std::span<const uint8_t>;

inline bytes as_bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
inline std::string_view as_chars(bytes b) {
  return {reinterpret_cast<const char*>(b.data()), b.size()};
}
inline int32_t size_of(bytes text) {
  return static_cast<int32_t>(text.size());
}
// `i` must index the text.
inline uint8_t byte_at(bytes text, int32_t i) {
  return text[static_cast<size_t>(i)];
}
// Asks for the bytes around position i to be brought into the cache ahead of their use, so that
// the many scattered visits of a large file wait for memory side by side rather than one by
// one. A position outside the text is ignored.
inline void prefetch_at(bytes text, int64_t i) {
#if defined(__GNUC__)
  if (i >= 0 && i < static_cast<int64_t>(text.size())) __builtin_prefetch(text.data() + i);
#else
  (void)text;
  (void)i;
#endif
}
// How many items of such a visit ahead of its use the bytes an item reads are asked for.
inline constexpr size_t prefetch_ahead = 16;

// ---------------------------------------------------------------- byte classes

// NUL, TAB, LF, FF, CR and SPACE.
inline bool is_pdf_ws(uint8_t c) {
  return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}
// The white space of the C library's isspace in the "C" locale (VT counts, NUL does not); used
// only where object headers are read.
inline bool is_c_space(uint8_t c) {
  return c == ' ' || (c >= 9 && c <= 13);
}
inline bool is_digit(uint8_t c) {
  return c >= '0' && c <= '9';
}
// The value of a hexadecimal digit (either case), or -1 for any other byte.
inline int hex_digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// ASCII letters and digits, whatever the locale.
inline bool is_alnum(uint8_t c) {
  return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
inline bool is_delimiter(uint8_t c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
         c == '}' || c == '/' || c == '%';
}
// A byte that continues a name, a number or a keyword.
inline bool is_regular(uint8_t c) {
  return !is_pdf_ws(c) && !is_delimiter(c);
}
// A byte after which a searched-for name counts as ended: anything but a letter, a digit, '+',
// '-' or '_'. (Looser than the format, which ends names only at white space and delimiters.)
inline bool ends_searched_name(uint8_t c) {
  return !is_alnum(c) && c != '+' && c != '-' && c != '_';
}

// ---------------------------------------------------------------- white space and tokens

int32_t skip_ws(bytes text, int32_t pos, int32_t end) noexcept;
int32_t skip_regular(bytes text, int32_t pos, int32_t end) noexcept;
// The CR or LF that ends the comment whose '%' is at pos; end when the range ends first.
int32_t comment_end(bytes text, int32_t pos, int32_t end) noexcept;
// The first position at or after pos, below end, whose byte is a, b or c; end when there is
// none (pos when pos is at or past end).
int32_t find_any_of3(bytes text, int32_t pos, int32_t end, uint8_t a, uint8_t b,
                     uint8_t c) noexcept;
// Past the ')' that closes the literal string whose '(' is at open: a backslash escapes the
// byte after it, unescaped parentheses nest. -1 when the range ends first.
int32_t skip_literal_string(bytes text, int32_t open, int32_t end) noexcept;
// Past the '>' that closes the hexadecimal string whose '<' is at open; -1 when none does.
int32_t skip_hex_string(bytes text, int32_t open, int32_t end) noexcept;
// What a loop that steps over strings and comments meets at a position.
enum class lex_item { other, literal_string, hex_string, dict_open, comment };
struct lex_step {
  lex_item item = lex_item::other;
  int32_t next = 0;   // past the item; `end` for a string or comment that runs to the end
  bool closed = true; // false for a string that does not close before `end`
};
// The item at i (below end) and where it ends: a literal string, a hexadecimal string, the "<<"
// that opens a dictionary (never read as a hexadecimal string), a comment up to the CR or LF
// that ends it, or any other single byte.
lex_step lex_step_at(bytes text, int32_t i, int32_t end) noexcept;
// Past the ']' or ">>" that closes the array or dictionary opened at `open`, with strings,
// hexadecimal strings and comments inside stepped over; -1 when the range ends first. Only the
// opener's own kind is counted, so a stray closer of the other kind never ends it.
int32_t skip_nested(bytes text, int32_t open, int32_t end) noexcept;
// Past the one value that starts at pos: a reference, number, name, keyword, string, array or
// dictionary. pos itself when no value starts there; -1 when a string or nested value runs to
// the end of the range.
int32_t value_end(bytes text, int32_t pos, int32_t end) noexcept;

// The balanced dictionary that opens with "<<" at pos, as a view into `text`; empty if none.
bytes dict_text_at(bytes text, int32_t pos) noexcept;

// ---------------------------------------------------------------- keywords and names

// The first whole-word `kw` at or after `from` (a negative `from` counts as 0), or -1. Whole
// word: no letter or digit right before or after it.
int32_t find_kw(bytes text, int32_t from, std::string_view kw) noexcept;
bool kw_at(bytes text, int32_t pos, std::string_view kw) noexcept;
// The position just after the keyword `kw` found at pos.
inline int32_t past_kw(int32_t pos, std::string_view kw) {
  return pos + static_cast<int32_t>(kw.size());
}
// The '/' of the first /name at or after `from` below `limit`, wherever it stands (in strings
// and nested values too), followed by a byte that ends_searched_name; -1 when none.
int32_t find_name(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept;
// The position just after "/name" whose slash is at `slash`.
inline int32_t past_name(int32_t slash, std::string_view name) {
  return slash + 1 + static_cast<int32_t>(name.size());
}
// The first position of the value written after "/name" whose slash is at `slash`: white space
// skipped, at most `end`.
inline int32_t value_after_name(bytes text, int32_t slash, std::string_view name, int32_t end) {
  return skip_ws(text, past_name(slash, name), end);
}

// The key /name among the own entries of the dictionary whose "<<" is at or after `from`:
// nested dictionaries, strings and comments are stepped over, so an inline annotation's
// entries never match. The slash's offset, or -1.
int32_t find_own_key(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept;
// The value of that key, as a view into `text`; empty when the key or its value is missing.
bytes own_value(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept;

// ---------------------------------------------------------------- integers

// The digit run at i read as a 32-bit value that wraps past 2^32 (as the format's readers in
// C always did); moves i past the run.
int32_t read_digits(bytes text, int32_t& i, int32_t end) noexcept;
// An integer after optional white space: an optional '-' and digits. Moves pos past the
// digits and returns the value (negated for '-'); -1 with pos unchanged when there is none.
// A written -1 also gives -1.
int32_t parse_int_at(bytes text, int32_t& pos) noexcept;
// As parse_int_at, but '+' is accepted too, and a failed read moves pos on: past white space,
// the sign and the offending byte (but never past an 'R'). For the number pairs that head an
// object stream, so that one bad token does not stop the reading of the rest.
int32_t read_int_or_skip(bytes text, int32_t& pos) noexcept;

// ---------------------------------------------------------------- references

// An indirect reference "N [G] R" whose number starts at a digit: the number (below 2^31: a
// larger one is no object number), optional PDF white space, an optional generation of any
// number of digits, optional PDF white space and an "R" that no letter or digit follows.
struct ref_match {
  bool found = false;
  int32_t num = 0;         // the number, read with 32-bit wrap-around
  int32_t digits_end = 0;  // just past the number's digits
  int32_t after = 0;       // just past the "R" when found
  bool spaced_gen = false; // a generation was written, with white space before it
};

// `i` must index a digit below `end`.
ref_match ref_at(bytes text, int32_t i, int32_t end) noexcept;
// The strict form: "N G R" with white space between N and G and N above 0. The number, or -1;
// `after` is moved past the 'R'.
int32_t strict_ref_at(bytes text, int32_t i, int32_t end, int32_t& after) noexcept;
// Past what may follow an object number in an array or after a key: white space, an optional
// generation and white space again. Lands on the 'R' when one follows.
int32_t skip_generation(bytes text, int32_t i, int32_t end) noexcept;
// The keyword "R" at i: an 'R' that no letter or digit follows.
bool r_at(bytes text, int32_t i, int32_t end) noexcept;
// A loosely written array element "N [G] [R]" from the digit at i: moves i past it and past
// the white space after an 'R', and returns N.
int32_t loose_ref_element(bytes text, int32_t& i, int32_t end) noexcept;

// The first digit at or after i that lies outside literal strings, hexadecimal strings and
// comments (where references are looked for); end when there is none.
int32_t next_number(bytes text, int32_t i, int32_t end) noexcept;
// Appends every reference number in text[start, end) in the order found, duplicates included;
// text inside strings and comments holds none.
void collect_refs(bytes text, int32_t start, int32_t end, std::vector<int32_t>& found);

} // namespace pdfmerge
