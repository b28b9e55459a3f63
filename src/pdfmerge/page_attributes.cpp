// Attributes read from page and page-tree dictionaries: boxes, the own /Rotate, and the
// resources dictionary, directly or through the /Parent chain.
#include "pdfmerge/pdfmerge_internal.h"

#include <cstring>

namespace pdfmerge {
namespace {

int32_t size_of(bytes text) {
  return static_cast<int32_t>(text.size());
}

// The span's text cut at its end, so that the end serves as length and limit alike.
bytes span_text(const dict_span& sp) {
  const int32_t end = sp.end < size_of(sp.text) ? sp.end : size_of(sp.text);
  return sp.text.first(static_cast<size_t>(end > 0 ? end : 0));
}

// A box coordinate: optional sign, digits, optional '.' and fraction digits. No exponent; a
// lone sign is zero (negative zero for '-').
double read_box_number(bytes text, int32_t& i) {
  const int32_t len = size_of(text);
  auto at = [&](int32_t k) { return text[static_cast<size_t>(k)]; };
  bool negative = false;
  if (at(i) == '+' || at(i) == '-') {
    negative = at(i) == '-';
    if (++i == len) return negative ? -0.0 : 0.0;
  }
  double value = 0.0;
  while (i < len && is_digit(at(i))) value = value * 10 + (at(i++) - '0');
  if (i < len && at(i) == '.') {
    ++i;
    double factor = 0.1;
    while (i < len && is_digit(at(i))) {
      value += (at(i++) - '0') * factor;
      factor *= 0.1;
    }
  }
  return negative ? -value : value;
}

bool starts_box_number(bytes text, int32_t i) {
  const uint8_t c = text[static_cast<size_t>(i)];
  if (c == '+' || c == '-' || is_digit(c)) return true;
  return c == '.' && i + 1 < size_of(text) && is_digit(text[static_cast<size_t>(i + 1)]);
}

// The dictionary of object `num`: from the first '<' of an object-stream member's text, or
// at the file object's dict_start within its span.
bytes referenced_dict(const doc& d, int32_t num) {
  const obj_entry* e = obj_lookup(d, num);
  if (!e) return {};
  if (e->in_objstm) {
    const bytes own(e->text, static_cast<size_t>(e->text_len));
    const void* lt = own.empty() ? nullptr : std::memchr(own.data(), '<', own.size());
    if (!lt) return {};
    return dict_text_at(own, static_cast<int32_t>(static_cast<const uint8_t*>(lt) - own.data()));
  }
  dict_span sp;
  if (!dict_span_of(d.file(), *e, sp)) return {};
  return dict_text_at(span_text(sp), sp.start);
}

} // namespace

bool parse_box_array(bytes text, int32_t pos, box& out) noexcept {
  const int32_t len = size_of(text);
  if (pos < 0) return false;
  int32_t i = pos + 1;
  if (i >= len) return false;
  i = skip_ws(text, i, len);
  if (i >= len) return false;
  double values[4];
  int n = 0;
  while (n <= 3 && i < len) {
    if (text[static_cast<size_t>(i)] == ']') return false;
    if (starts_box_number(text, i)) {
      values[n++] = read_box_number(text, i);
      i = skip_ws(text, i, len);
    } else {
      ++i;
    }
  }
  if (n < 4 || !(values[2] > 0) || !(values[3] > 0)) return false;
  out = {values[0], values[1], values[2], values[3]};
  return true;
}

bool box_named(bytes text, int32_t from, std::string_view name, box& out) noexcept {
  const int32_t len = size_of(text);
  const int32_t after_name = static_cast<int32_t>(name.size()) + 1;
  for (int32_t p = find_name(text, from, len, name); p >= 0;
       p = find_name(text, p + 1, len, name)) {
    const int32_t j = skip_ws(text, p + after_name, len);
    if (j < len && text[static_cast<size_t>(j)] == '[' && parse_box_array(text, j, out))
      return true;
  }
  return false;
}

int32_t obj_rotate_own(bytes file, const obj_entry& e) noexcept {
  dict_span sp;
  if (!dict_span_of(file, e, sp)) return -1;
  const bytes t = span_text(sp);
  const int32_t p = find_name(t, sp.start, size_of(t), "Rotate");
  if (p < 0) return -1;
  int32_t i = skip_ws(t, p + 7, size_of(t));
  const int32_t v = parse_int_at(t, i);
  return v >= 0 ? v : -1;
}

bytes page_resources_dict(const doc& d, bytes text, int32_t from) noexcept {
  const int32_t len = size_of(text);
  const int32_t p = find_name(text, from, len, "Resources");
  if (p < 0) return {};
  int32_t i = p + 10;
  if (i >= len) return {};
  i = skip_ws(text, i, len);
  if (i >= len) return {};
  const uint8_t c = text[static_cast<size_t>(i)];
  if (c == '<') {
    if (i + 1 < len && text[static_cast<size_t>(i + 1)] == '<') return dict_text_at(text, i);
    return {};
  }
  if (!is_digit(c)) return {};
  const int32_t num = parse_int_at(text, i);
  if (num <= 0) return {};
  return referenced_dict(d, num);
}

bytes page_resources_dict_deep(const doc& d, bytes text, int32_t from, int32_t depth) noexcept {
  // One ancestor per round, nearest first; `depth` bounds the rounds, so a looping /Parent
  // chain ends.
  for (; depth > 0 && text.data() != nullptr; --depth) {
    const int32_t len = size_of(text);
    const int32_t p = find_name(text, from, len, "Parent");
    if (p < 0) return {};
    int32_t i = skip_ws(text, p + 7, len);
    const int32_t num = parse_int_at(text, i);
    if (num <= 0) return {};
    const obj_entry* parent = obj_lookup(d, num);
    if (!parent) return {};
    dict_span sp;
    if (!dict_span_of(d.file(), *parent, sp)) return {};
    text = span_text(sp);
    from = sp.start;
    const bytes found = page_resources_dict(d, text, from);
    if (!found.empty()) return found;
  }
  return {};
}

} // namespace pdfmerge
