// Choosing the catalog and the root of the page tree, and having the tree walked. The catalog
// is the trailer's /Root when that object exists, else the first object naming /Catalog, else
// object 1; a catalog that is itself a page-tree node or a page is walked directly.
#include "pdfmerge/reader/phases.h"

#include <algorithm>
#include <functional>
#include <new>

namespace pdfmerge {
namespace {

// Answers "does this object-stream member's text name /Catalog" for all members with one pass
// over their texts, even where crafted offsets make the texts overlap: overlapping texts (which
// can only share one decoded block) are searched together as one cluster.
class member_catalogs {
public:
  explicit member_catalogs(const objvec& objects) {
    std::vector<size_t> order;
    for (size_t i = 0; i < objects.size(); ++i)
      if (searchable(objects[i])) order.push_back(i);
    auto begin_of = [&](size_t i) { return objects[i].text; };
    auto end_of = [&](size_t i) { return objects[i].text + objects[i].text_len; };
    const std::less<const uint8_t*> before;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return before(begin_of(a), begin_of(b)); });
    place_.assign(objects.size(), {0, 0});
    for (size_t k = 0; k < order.size();) {
      const uint8_t* lo = begin_of(order[k]);
      const uint8_t* hi = end_of(order[k]);
      size_t last = k + 1;
      while (last < order.size() && before(begin_of(order[last]), hi)) {
        if (before(hi, end_of(order[last]))) hi = end_of(order[last]);
        ++last;
      }
      for (size_t m = k; m < last; ++m)
        place_[order[m]] = {clusters_.size(), static_cast<int32_t>(begin_of(order[m]) - lo)};
      clusters_.push_back(name_hits_build(bytes(lo, static_cast<size_t>(hi - lo)), "Catalog"));
      k = last;
    }
  }

  static bool searchable(const obj_entry& e) { return e.in_objstm && e.text && e.text_len > 7; }

  bool names_catalog(size_t i, const obj_entry& e) const {
    const auto& [cluster, off] = place_[i];
    return name_hits_find(clusters_[cluster], off, off + e.text_len) >= 0;
  }

private:
  std::vector<name_hits> clusters_;
  std::vector<std::pair<size_t, int32_t>> place_; // per entry: cluster and offset in it
};

// The number of the first entry, in table order, that names /Catalog (a stream's data
// included); 1 when none does.
int32_t catalog_search(const doc& d, text_indexes& ix) {
  const name_hits& in_file = ix.names("Catalog");
  std::unique_ptr<member_catalogs> in_members; // built when the first member is reached
  for (size_t i = 0; i < d.objects.size(); ++i) {
    const obj_entry& e = d.objects[i];
    if (e.in_objstm) {
      if (!member_catalogs::searchable(e)) continue;
      if (!in_members) in_members = std::make_unique<member_catalogs>(d.objects);
      if (in_members->names_catalog(i, e)) return e.num;
    } else if (e.dict_start >= 0) {
      const int32_t end = e.endobj > 0 ? e.endobj : d.len;
      if (name_hits_find(in_file, e.dict_start, end) >= 0) return e.num;
    }
  }
  return 1;
}

// The page-tree root named by the catalog's /Pages: the first value above 0 after a /Pages
// name in its dictionary region; -1 when there is none.
int32_t pages_ref(const doc& d, const obj_entry& catalog) {
  bytes text;
  int32_t from = 0;
  if (catalog.in_objstm) {
    text = bytes(catalog.text, static_cast<size_t>(catalog.text_len));
  } else {
    if (catalog.dict_start < 0) return -1;
    const int32_t end = catalog.endobj > 0 ? catalog.endobj : d.len;
    text = d.file().first(static_cast<size_t>(end));
    from = catalog.dict_start;
  }
  const int32_t end = size_of(text);
  for (int32_t p = find_name(text, from, end, "Pages"); p >= 0;
       p = find_name(text, p + 1, end, "Pages")) {
    int32_t j = value_after_name(text, p, "Pages", end);
    const int32_t v = parse_int_at(text, j);
    if (v > 0) return v;
  }
  return -1;
}

// /Root is taken only when it names a page-tree node, a page, or a catalog with a /Pages value
// above 0; otherwise (a stale or wrong number) the catalog is searched for as without /Root.
bool root_usable(const doc& d, const obj_entry& root) {
  return obj_type(d.file(), root) != node_type::other || pages_ref(d, root) >= 0;
}

int32_t no_pages_reference(const doc& d) {
  set_error("catalog (obj %ld) has no /Pages reference", static_cast<long>(d.catalog_num));
  return -1;
}

} // namespace

int32_t catalog_resolve(doc& d, text_indexes& ix) {
  d.catalog_num = d.root_num;
  const obj_entry* root = d.root_num < 0 ? nullptr : obj_lookup(d, d.root_num);
  if (!root || !root_usable(d, *root)) d.catalog_num = catalog_search(d, ix);
  const obj_entry* catalog = obj_lookup(d, d.catalog_num);
  if (!catalog) return no_pages_reference(d);

  int32_t tree_root = d.catalog_num;
  if (obj_type(d.file(), *catalog) == node_type::other) {
    tree_root = pages_ref(d, *catalog);
    if (tree_root < 0) return no_pages_reference(d);
  }

  std::vector<uint8_t> visited;
  try {
    visited.assign(static_cast<size_t>(d.max_num) + 1, 0);
  } catch (const std::bad_alloc&) {
    set_error("out of memory");
    return -1;
  }
  const walk_result r = resolve_pages(d, tree_root, d.pages, visited, 0);
  switch (r.why) {
  case walk_failure::none:
    break;
  case walk_failure::inline_kids:
    set_error("page tree uses inline page dictionaries in /Kids (obj %ld) \xE2\x80\x94 pages "
              "must be indirect objects",
              static_cast<long>(r.node_at_fault));
    return -1;
  case walk_failure::too_deep:
    set_error("page tree nested deeper than %ld levels (below obj %ld)",
              static_cast<long>(max_tree_depth), static_cast<long>(tree_root));
    return -1;
  case walk_failure::broken:
    set_error("could not resolve the page tree (obj %ld is not a /Pages or /Page object, or "
              "tree is broken)",
              static_cast<long>(tree_root));
    return -1;
  }
  if (d.pages.empty()) {
    set_error("document has no pages");
    return -1;
  }
  clear_error(); // a document that loads leaves no message behind
  return 0;
}

} // namespace pdfmerge
