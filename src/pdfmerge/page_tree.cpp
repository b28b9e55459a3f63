// The depth-first walk of the page tree that lists a document's pages in order.
#include "pdfmerge/pdfmerge_internal.h"

#include <new>

namespace pdfmerge {
namespace {

// Page-tree nodes nested deeper than this fail the walk like a broken tree, so that a hostile
// file cannot exhaust the stack.
constexpr int32_t max_tree_depth = 256;

int32_t size_of(bytes text) {
  return static_cast<int32_t>(text.size());
}

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
    const int32_t j = skip_ws(t, p + 5, end);
    if (j < end && t[static_cast<size_t>(j)] == '[') return j + 1;
  }
  return -1;
}

// Reads the references of a /Kids array starting after its '['. Only object numbers are kept;
// a generation and an 'R' after them are stepped over. Fails on an inline dictionary.
bool read_kids(bytes t, int32_t i, int32_t node, std::vector<int32_t>& kids, size_t cap) {
  const int32_t end = size_of(t);
  auto at = [&](int32_t k) { return t[static_cast<size_t>(k)]; };
  while (i < end) {
    const uint8_t c = at(i);
    if (c == ']') break;
    if (c == '<') {
      if (i + 1 < end && at(i + 1) == '<') {
        set_error("page tree uses inline page dictionaries in /Kids (obj %ld) \xE2\x80\x94 pages "
                  "must be indirect objects",
                  static_cast<long>(node));
        return false;
      }
      ++i;
      continue;
    }
    if (!is_digit(c)) {
      ++i;
      continue;
    }
    const int32_t num = parse_int_at(t, i);
    if (num > 0 && kids.size() < cap) kids.push_back(num);
    i = skip_ws(t, i, end);
    if (i < end && is_digit(at(i))) {
      (void)parse_int_at(t, i);
      i = skip_ws(t, i, end);
    }
    if (i < end && at(i) == 'R') i = skip_ws(t, i + 1, end);
  }
  return true;
}

} // namespace

int32_t resolve_pages(const doc& d, int32_t node, pagevec& pages, std::vector<uint8_t>& visited,
                      int32_t inherited_rotation, int32_t depth) {
  if (depth >= max_tree_depth) return -1;
  const obj_entry* entry = obj_lookup(d, node);
  if (!entry) return -1;
  const bytes file = d.file();
  const int32_t type = obj_type(file, *entry);
  if (type == 1) {
    pagevec_push(pages, {entry->num, normalise_rotation(inherited_rotation)});
    return 1;
  }
  if (type != 2) return -1;

  if (d.max_num >= 0 && node >= 0 && node <= d.max_num &&
      static_cast<size_t>(node) < visited.size()) {
    if (visited[static_cast<size_t>(node)]) return -1;
    visited[static_cast<size_t>(node)] = 1;
  }

  const size_t cap = kids_cap_of(*entry);
  std::vector<int32_t> kids;
  try {
    kids.reserve(cap);
  } catch (const std::bad_alloc&) {
    return -1;
  }

  dict_span sp;
  if (!dict_span_of(file, *entry, sp)) return 0;
  const int32_t end = sp.end < size_of(sp.text) ? sp.end : size_of(sp.text);
  const bytes t = sp.text.first(static_cast<size_t>(end > 0 ? end : 0));
  const int32_t open = kids_array_at(t, sp.start);
  if (open < 0) return 0;
  const int32_t first = skip_ws(t, open, size_of(t));
  if (first >= size_of(t)) return 0;
  if (!read_kids(t, first, node, kids, cap)) return -1;
  if (kids.empty()) return 0;

  const std::optional<int32_t> own = obj_rotate_own(file, *entry);
  const int32_t passed_down = own ? *own : inherited_rotation;
  const int32_t rotation = normalise_rotation(passed_down);
  for (int32_t num : kids) {
    const obj_entry* kid = obj_lookup(d, num);
    if (!kid) return -1;
    switch (obj_type(file, *kid)) {
    case 1:
      pagevec_push(pages, {kid->num, rotation});
      break;
    case 2:
      if (resolve_pages(d, num, pages, visited, passed_down, depth + 1) < 0) return -1;
      break;
    default:
      return -1;
    }
  }
  return static_cast<int32_t>(pages.size());
}

} // namespace pdfmerge
