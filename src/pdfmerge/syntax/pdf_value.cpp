// Reading a PDF value into a tree, and the bytes of a string value.
#include "pdfmerge/syntax/pdf_value.h"

#include "pdfmerge/syntax/string_values.h"

namespace pdfmerge {
namespace {

// Past white space and comments.
int32_t skip_filler(bytes text, int32_t pos, int32_t end) {
  while (true) {
    pos = skip_ws(text, pos, end);
    if (pos < 0 || pos >= end || byte_at(text, pos) != '%') return pos;
    pos = comment_end(text, pos, end);
  }
}

std::string_view slice(bytes text, int32_t from, int32_t to) {
  return as_chars(text.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from)));
}

bool at(bytes text, int32_t pos, int32_t end, char c) {
  return pos >= 0 && pos < end && byte_at(text, pos) == static_cast<uint8_t>(c);
}

std::optional<pdf_value> parse_at(bytes text, int32_t& pos, int32_t end, int32_t depth);

// Members up to the closer `close` (']' or '>' of ">>"); keys too when `keyed`.
bool parse_members(bytes text, int32_t& pos, int32_t end, int32_t depth, bool keyed,
                   pdf_value& into) {
  const char close = keyed ? '>' : ']';
  while (true) {
    pos = skip_filler(text, pos, end);
    if (pos >= end) return false;
    if (at(text, pos, end, close)) {
      if (keyed && !at(text, pos + 1, end, '>')) return false;
      pos += keyed ? 2 : 1;
      return true;
    }
    if (keyed) {
      if (!at(text, pos, end, '/')) return false;
      const int32_t key_end = skip_regular(text, pos + 1, end);
      into.keys.emplace_back(slice(text, pos + 1, key_end));
      pos = skip_filler(text, key_end, end);
      if (at(text, pos, end, '>')) {
        into.items.push_back(pdf_value::null()); // a key without a value
        continue;
      }
    }
    std::optional<pdf_value> v = parse_at(text, pos, end, depth + 1);
    if (!v) return false;
    into.items.push_back(std::move(*v));
  }
}

std::optional<pdf_value> parse_at(bytes text, int32_t& pos, int32_t end, int32_t depth) {
  if (depth > max_value_depth) return std::nullopt;
  pos = skip_filler(text, pos, end);
  if (pos < 0 || pos >= end) return std::nullopt;
  const uint8_t c = byte_at(text, pos);
  if (c == '[' || (c == '<' && at(text, pos + 1, end, '<'))) {
    pdf_value v;
    v.k = c == '[' ? pdf_value::kind::array : pdf_value::kind::dict;
    pos += c == '[' ? 1 : 2;
    if (!parse_members(text, pos, end, depth, c != '[', v)) return std::nullopt;
    return v;
  }
  if (is_digit(c)) {
    const ref_match m = ref_at(text, pos, end);
    if (m.found) {
      pos = m.after;
      pdf_value v;
      v.k = pdf_value::kind::ref;
      v.num = m.num;
      return v;
    }
  }
  if (c == ']' || c == '>' || c == ')' || c == '{' || c == '}') return std::nullopt;
  const int32_t stop = c == '/' ? skip_regular(text, pos + 1, end) : value_end(text, pos, end);
  if (stop <= pos) return std::nullopt;
  const int32_t from = pos;
  pos = stop;
  return pdf_value::atom(slice(text, from, stop));
}

} // namespace

const pdf_value* pdf_value::get(std::string_view key) const {
  if (k != kind::dict) return nullptr;
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == key) return &items[i];
  return nullptr;
}

pdf_value* pdf_value::get(std::string_view key) {
  return const_cast<pdf_value*>(static_cast<const pdf_value*>(this)->get(key));
}

void pdf_value::set(std::string_view key, pdf_value v) {
  if (pdf_value* old = get(key)) {
    *old = std::move(v);
    return;
  }
  keys.emplace_back(key);
  items.push_back(std::move(v));
}

void pdf_value::erase(std::string_view key) {
  for (size_t i = 0; i < keys.size(); ++i)
    if (keys[i] == key) {
      keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(i));
      items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
}

std::optional<pdf_value> parse_value(bytes text, int32_t& pos, int32_t end) {
  if (end > size_of(text)) end = size_of(text);
  return parse_at(text, pos, end, 0);
}

bool is_string(const pdf_value& v) {
  if (v.k != pdf_value::kind::atom || v.text.size() < 2) return false;
  return (v.text.front() == '(' && v.text.back() == ')') ||
         (v.text.front() == '<' && v.text.back() == '>');
}

std::optional<std::string> string_bytes(const pdf_value& v) {
  if (v.k != pdf_value::kind::atom || v.text.size() < 2) return std::nullopt;
  const bytes t = as_bytes(v.text);
  std::vector<uint8_t> out;
  if (v.text.front() == '(' && v.text.back() == ')')
    literal_string_value(t, 0, size_of(t), out);
  else if (v.text.front() == '<' && v.text.back() == '>')
    hex_string_value(t, 0, size_of(t), out);
  else
    return std::nullopt;
  return std::string(out.begin(), out.end());
}

} // namespace pdfmerge
