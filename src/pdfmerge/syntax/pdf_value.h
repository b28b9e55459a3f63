// A PDF value read into a small tree, for the objects that a merge edits rather than copies as
// text (annotations, actions, destinations, outline items, form fields): atoms keep their text
// as written, references their number, arrays and dictionaries their members in order.
#pragma once

#include "pdfmerge/syntax/lexer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pdfmerge {

struct pdf_value {
  enum class kind : uint8_t {
    atom,    // a number, name, string, boolean, null or other keyword: `text` as written
    ref,     // a reference to source object `num`
    out_ref, // a reference already in output numbers: `num` is written as it is
    array,   // `items`
    dict,    // `keys[k]` (without the slash) names `items[k]`
  };
  kind k = kind::atom;
  int32_t num = 0;
  std::string text;
  std::vector<std::string> keys;
  std::vector<pdf_value> items;

  static pdf_value atom(std::string_view t) { return {kind::atom, 0, std::string(t), {}, {}}; }
  static pdf_value null() { return atom("null"); }
  static pdf_value output_ref(int32_t n) { return {kind::out_ref, n, {}, {}, {}}; }

  bool is(kind which) const { return k == which; }
  // An atom whose text is `t` (a name is given with its slash).
  bool is_atom(std::string_view t) const { return k == kind::atom && text == t; }

  // A dictionary's value under `key`, or null when absent (or when this is no dictionary).
  const pdf_value* get(std::string_view key) const;
  pdf_value* get(std::string_view key);
  // Sets or adds the entry `key`.
  void set(std::string_view key, pdf_value v);
  void erase(std::string_view key);
};

// Values nested deeper than this are not read: the whole value fails.
inline constexpr int32_t max_value_depth = 64;

// The one value that starts at or after pos (white space and comments skipped) in text[.., end),
// or none when it is malformed, unclosed or nested too deep. `pos` is moved past it.
std::optional<pdf_value> parse_value(bytes text, int32_t& pos, int32_t end);
inline std::optional<pdf_value> parse_value(bytes text) {
  int32_t pos = 0;
  return parse_value(text, pos, size_of(text));
}

// The bytes a string atom stands for: a literal string with its escapes resolved, or a
// hexadecimal string decoded. None for any other atom.
std::optional<std::string> string_bytes(const pdf_value& v);
// Whether string_bytes gives bytes for `v`, told without decoding it.
bool is_string(const pdf_value& v);

// Writes the value: references through `renumber` (a number above 0, or anything else for a
// reference that is written as null), output references as they are.
template <class F> void write_value(const pdf_value& v, F&& renumber, std::string& out) {
  switch (v.k) {
  case pdf_value::kind::atom:
    out += v.text;
    return;
  case pdf_value::kind::ref:
  case pdf_value::kind::out_ref: {
    const int32_t n = v.k == pdf_value::kind::ref ? renumber(v.num) : v.num;
    out += n > 0 ? std::to_string(n) + " 0 R" : std::string("null");
    return;
  }
  case pdf_value::kind::array:
    out += '[';
    for (size_t i = 0; i < v.items.size(); ++i) {
      if (i) out += ' ';
      write_value(v.items[i], renumber, out);
    }
    out += ']';
    return;
  case pdf_value::kind::dict:
    out += "<<";
    for (size_t i = 0; i < v.items.size(); ++i) {
      out += " /" + v.keys[i] + ' ';
      write_value(v.items[i], renumber, out);
    }
    out += " >>";
    return;
  }
}

} // namespace pdfmerge
