// Attributes read from page and page-tree dictionaries: boxes, the own /Rotate, and the
// resources dictionary, directly or through the /Parent chain.
#include "pdfmerge/pdfmerge_internal.h"

#include <algorithm>
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

// An indirect reference "N G R" at i: N, and the position after the 'R'.
bool read_reference(bytes text, int32_t i, int32_t& num, int32_t& after) {
  const int32_t len = size_of(text);
  if (i >= len || !is_digit(text[static_cast<size_t>(i)])) return false;
  num = parse_int_at(text, i);
  int32_t j = skip_ws(text, i, len);
  if (j == i || j >= len || !is_digit(text[static_cast<size_t>(j)])) return false;
  (void)parse_int_at(text, j);
  const int32_t r = skip_ws(text, j, len);
  if (r >= len || text[static_cast<size_t>(r)] != 'R') return false;
  if (r + 1 < len && is_alnum(text[static_cast<size_t>(r + 1)])) return false;
  after = r + 1;
  return num > 0;
}

// The text of object `num` after "obj" (or its object-stream member text), white space skipped.
bytes referenced_body(const doc& d, int32_t num) {
  const obj_entry* e = obj_lookup(d, num);
  if (!e) return {};
  const bytes body = object_body(d.file(), *e);
  const int32_t k = skip_ws(body, 0, size_of(body));
  return body.subspan(static_cast<size_t>(k));
}

// The number that object `num` holds.
bool referenced_number(const doc& d, int32_t num, double& out) {
  const bytes body = referenced_body(d, num);
  if (body.empty() || !starts_box_number(body, 0)) return false;
  int32_t i = 0;
  out = read_box_number(body, i);
  return true;
}

// A box array as real files also write it: an element "N G R" stands for the number object N
// holds, and four non-negative numbers whose corners are swapped are put in order per axis.
bool parse_box_array_resolved(const doc& d, bytes text, int32_t pos, box& out) {
  const int32_t len = size_of(text);
  double v[4];
  int n = 0;
  int32_t i = skip_ws(text, pos + 1, len);
  while (n <= 3 && i < len) {
    int32_t num = 0;
    int32_t after = 0;
    if (text[static_cast<size_t>(i)] == ']') return false;
    if (read_reference(text, i, num, after)) {
      if (!referenced_number(d, num, v[n++])) return false;
      i = skip_ws(text, after, len);
    } else if (starts_box_number(text, i)) {
      v[n++] = read_box_number(text, i);
      i = skip_ws(text, i, len);
    } else {
      ++i;
    }
  }
  if (n < 4) return false;
  if (v[2] > 0 && v[3] > 0) {
    out = {v[0], v[1], v[2], v[3]};
    return true;
  }
  if (v[0] < 0 || v[1] < 0 || v[2] < 0 || v[3] < 0) return false;
  const box sorted{std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]),
                   std::max(v[1], v[3])};
  if (!(sorted.x1 - sorted.x0 > 0) || !(sorted.y1 - sorted.y0 > 0)) return false;
  out = sorted;
  return true;
}

// The box whose value starts at j: a direct array read with the resolving reader, or "N G R"
// naming an array object.
bool box_value_resolved(const doc& d, bytes text, int32_t j, box& out) {
  if (j >= size_of(text)) return false;
  if (text[static_cast<size_t>(j)] == '[') return parse_box_array_resolved(d, text, j, out);
  int32_t num = 0;
  int32_t after = 0;
  if (!read_reference(text, j, num, after)) return false;
  const bytes body = referenced_body(d, num);
  if (body.empty() || body[0] != '[') return false;
  return parse_box_array(body, 0, out) || parse_box_array_resolved(d, body, 0, out);
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

bool box_named_resolved(const doc& d, bytes text, int32_t from, std::string_view name,
                        box& out) noexcept {
  if (box_named(text, from, name, out)) return true;
  const int32_t len = size_of(text);
  const int32_t after_name = static_cast<int32_t>(name.size()) + 1;
  for (int32_t p = find_name(text, from, len, name); p >= 0;
       p = find_name(text, p + 1, len, name)) {
    if (box_value_resolved(d, text, skip_ws(text, p + after_name, len), out)) return true;
  }
  return false;
}

std::optional<int32_t> obj_rotate_own(bytes file, const obj_entry& e) noexcept {
  dict_span sp;
  if (!dict_span_of(file, e, sp)) return std::nullopt;
  const bytes t = span_text(sp);
  const int32_t p = find_name(t, sp.start, size_of(t), "Rotate");
  if (p < 0) return std::nullopt;
  const int32_t start = skip_ws(t, p + 7, size_of(t));
  int32_t i = start;
  const int32_t v = parse_int_at(t, i);
  if (i == start) return std::nullopt;
  return v;
}

bytes page_resources_dict(const doc& d, bytes text, int32_t from) noexcept {
  const int32_t len = size_of(text);
  const int32_t p = find_key_top(text, from, size_of(text), "Resources");
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

bytes page_resources_dict_deep(const doc& d, bytes text, int32_t from, int32_t depth) {
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
    auto memo = d.memo.resources.find(num);
    if (memo == d.memo.resources.end())
      memo = d.memo.resources.emplace(num, page_resources_dict(d, text, from)).first;
    if (!memo->second.empty()) return memo->second;
  }
  return {};
}

bytes page_resources(const doc& d, const dict_span& page) {
  const bytes range = page.text.first(static_cast<size_t>(page.end));
  bytes res = page_resources_dict(d, range, page.start);
  if (res.empty()) res = page_resources_dict_deep(d, range, page.start, 32);
  return res;
}

} // namespace pdfmerge
