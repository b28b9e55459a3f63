// Attributes read from page and page-tree dictionaries: boxes, the own /Rotate, and the
// resources dictionary, directly or through the /Parent chain.
#include "pdfmerge/pages/pages.h"

#include <algorithm>
#include <cstring>

namespace pdfmerge {
namespace {

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

// The text of object `num` after "obj" (or its object-stream member text), white space skipped.
bytes referenced_body(const doc& d, int32_t num) {
  constexpr resolve_rule body_rule{
      definition::selected, reference_form::strict_whole, 1, true, target_text::whole_body, false};
  return object_text(d, num, body_rule);
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
    int32_t after = 0;
    if (text[static_cast<size_t>(i)] == ']') return false;
    if (const int32_t num = strict_ref_at(text, i, len, after); num > 0) {
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
  int32_t after = 0;
  const int32_t num = strict_ref_at(text, j, size_of(text), after);
  if (num <= 0) return false;
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
  for (int32_t p = find_name(text, from, len, name); p >= 0;
       p = find_name(text, p + 1, len, name)) {
    const int32_t j = value_after_name(text, p, name, len);
    if (j < len && text[static_cast<size_t>(j)] == '[' && parse_box_array(text, j, out))
      return true;
  }
  return false;
}

bool box_named_resolved(const doc& d, bytes text, int32_t from, std::string_view name,
                        box& out) noexcept {
  if (box_named(text, from, name, out)) return true;
  const int32_t len = size_of(text);
  for (int32_t p = find_name(text, from, len, name); p >= 0;
       p = find_name(text, p + 1, len, name)) {
    if (box_value_resolved(d, text, value_after_name(text, p, name, len), out)) return true;
  }
  return false;
}

std::optional<int32_t> obj_rotate_own(bytes file, const obj_entry& e) noexcept {
  dict_span sp;
  if (!dict_span_of(file, e, sp)) return std::nullopt;
  const bytes t = span_text(sp);
  const int32_t p = find_name(t, sp.start, size_of(t), "Rotate");
  if (p < 0) return std::nullopt;
  const int32_t start = value_after_name(t, p, "Rotate", size_of(t));
  int32_t i = start;
  const int32_t v = parse_int_at(t, i);
  if (i == start) return std::nullopt;
  return v;
}

bytes own_resources(const doc& d, bytes text, int32_t from) noexcept {
  const int32_t len = size_of(text);
  const int32_t p = find_own_key(text, from, len, "Resources");
  if (p < 0 || past_name(p, "Resources") >= len) return {};
  int32_t i = value_after_name(text, p, "Resources", len);
  if (i >= len) return {};
  const uint8_t c = byte_at(text, i);
  if (c == '<') return dict_text_at(text, i);
  if (!is_digit(c)) return {};
  const int32_t num = parse_int_at(text, i);
  if (num <= 0) return {};
  return referenced_dict(d, num);
}

int32_t parent_num(const doc& d, int32_t num) {
  auto memo = d.memo.parents.find(num);
  if (memo != d.memo.parents.end()) return memo->second;
  int32_t parent = 0;
  const obj_entry* e = obj_lookup(d, num);
  dict_span sp;
  if (e && dict_span_of(d.file(), *e, sp)) {
    const bytes t = span_text(sp);
    const int32_t p = find_name(t, sp.start, size_of(t), "Parent");
    if (p >= 0) {
      int32_t i = value_after_name(t, p, "Parent", size_of(t));
      const int32_t v = parse_int_at(t, i);
      parent = v > 0 ? v : 0;
    }
  }
  d.memo.parents.emplace(num, parent);
  return parent;
}

namespace {

// Calls visit(node, its dictionary span) for the ancestors of object `num`, nearest first, at
// most max_inherit_levels of them, until visit returns true or the /Parent chain ends.
template <class Visit> void each_ancestor(const doc& d, int32_t num, Visit visit) {
  for (int32_t level = 1; level <= max_inherit_levels; ++level) {
    num = parent_num(d, num);
    const obj_entry* e = num > 0 ? obj_lookup(d, num) : nullptr;
    dict_span sp;
    if (!e || !dict_span_of(d.file(), *e, sp)) return;
    if (visit(num, sp)) return;
  }
}

} // namespace

bytes page_resources(const doc& d, const dict_span& page, int32_t page_num) {
  bytes res = own_resources(d, span_text(page), page.start);
  if (!res.empty()) return res;
  each_ancestor(d, page_num, [&](int32_t node, const dict_span& sp) {
    // Every page below a node asks the same of it: each node's own resources are read once.
    auto memo = d.memo.resources.find(node);
    if (memo == d.memo.resources.end())
      memo = d.memo.resources.emplace(node, own_resources(d, span_text(sp), sp.start)).first;
    res = memo->second;
    return !res.empty();
  });
  return res;
}

bool page_box(const doc& d, const dict_span& page, int32_t page_num, std::string_view name,
              box& out) {
  if (box_named_resolved(d, span_text(page), page.start, name, out)) return true;
  bool found = false;
  each_ancestor(d, page_num, [&](int32_t node, const dict_span& sp) {
    const int64_t key = int64_t{node} * 2 + (name == "MediaBox" ? 0 : 1);
    auto memo = d.memo.boxes.find(key);
    if (memo == d.memo.boxes.end()) {
      box b;
      const bool has = box_named_resolved(d, span_text(sp), sp.start, name, b);
      memo = d.memo.boxes.emplace(key, std::make_pair(has, b)).first;
    }
    found = memo->second.first;
    if (found) out = memo->second.second;
    return found;
  });
  return found;
}

} // namespace pdfmerge
