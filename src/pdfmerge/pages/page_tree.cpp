// The depth-first walk of the page tree that lists a document's pages in order.
#include "pdfmerge/pages/pages.h"

#include <new>

namespace pdfmerge {
namespace {

// Room for the kid numbers of one node: a quarter of its byte extent plus a fixed allowance.
// Numbers beyond it are dropped.
size_t kids_cap_of(const obj_entry& e) {
  if (e.in_objstm) return static_cast<size_t>(e.text_len / 4) + 4096;
  if (e.endobj > e.start) return static_cast<size_t>((e.endobj - e.start) / 4) + 4096;
  return 4096;
}

// Position just after the '[' of the first /Kids that a direct array follows, or -1.
int32_t kids_array_at(bytes t, int32_t from) {
  const int32_t end = size_of(t);
  for (int32_t p = find_name(t, from, end, "Kids"); p >= 0; p = find_name(t, p + 1, end, "Kids")) {
    const int32_t j = value_after_name(t, p, "Kids", end);
    if (j < end && t[static_cast<size_t>(j)] == '[') return j + 1;
  }
  return -1;
}

// Reads the references of a /Kids array starting after its '['. Only object numbers are kept;
// a generation and an 'R' after them are stepped over. False on an inline dictionary.
bool read_kids(bytes t, int32_t i, std::vector<int32_t>& kids, size_t cap) {
  const int32_t end = size_of(t);
  while (i < end) {
    const uint8_t c = byte_at(t, i);
    if (c == ']') break;
    if (c == '<' && i + 1 < end && byte_at(t, i + 1) == '<') return false;
    if (!is_digit(c)) {
      ++i;
      continue;
    }
    const int32_t num = loose_ref_element(t, i, end);
    if (num > 0 && kids.size() < cap) kids.push_back(num);
  }
  return true;
}

walk_result failed(walk_failure why, int32_t node = -1) {
  return {why, node};
}

} // namespace

walk_result resolve_pages(const doc& d, int32_t node, pagevec& pages, std::vector<uint8_t>& visited,
                          int32_t inherited_rotation, int32_t depth) {
  if (depth >= max_tree_depth) return failed(walk_failure::too_deep);
  const obj_entry* entry = obj_lookup(d, node);
  if (!entry) return failed(walk_failure::broken);
  const bytes file = d.file();
  const node_type type = obj_type(file, *entry);
  if (type == node_type::page) {
    pagevec_push(pages, {entry->num, normalise_rotation(inherited_rotation)});
    return {};
  }
  if (type != node_type::pages) return failed(walk_failure::broken);

  if (d.max_num >= 0 && node >= 0 && node <= d.max_num &&
      static_cast<size_t>(node) < visited.size()) {
    if (visited[static_cast<size_t>(node)]) return failed(walk_failure::broken);
    visited[static_cast<size_t>(node)] = 1;
  }

  const size_t cap = kids_cap_of(*entry);
  std::vector<int32_t> kids;
  try {
    kids.reserve(cap);
  } catch (const std::bad_alloc&) {
    return failed(walk_failure::broken);
  }

  dict_span sp;
  if (!dict_span_of(file, *entry, sp)) return {};
  const bytes t = span_text(sp);
  const int32_t open = kids_array_at(t, sp.start);
  if (open < 0) return {};
  const int32_t first = skip_ws(t, open, size_of(t));
  if (first >= size_of(t)) return {};
  if (!read_kids(t, first, kids, cap)) return failed(walk_failure::inline_kids, node);

  const std::optional<int32_t> own = obj_rotate_own(file, *entry);
  const int32_t passed_down = own ? *own : inherited_rotation;
  const int32_t rotation = normalise_rotation(passed_down);
  for (int32_t num : kids) {
    const obj_entry* kid = obj_lookup(d, num);
    if (!kid) return failed(walk_failure::broken);
    switch (obj_type(file, *kid)) {
    case node_type::page:
      pagevec_push(pages, {kid->num, rotation});
      break;
    case node_type::pages:
      if (const walk_result r = resolve_pages(d, num, pages, visited, passed_down, depth + 1);
          r.why != walk_failure::none)
        return r;
      break;
    case node_type::other:
      return failed(walk_failure::broken);
    }
  }
  return {};
}

} // namespace pdfmerge
