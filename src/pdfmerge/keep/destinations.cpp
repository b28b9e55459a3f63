// Destinations of links, GoTo actions and bookmarks: explicit ones pointed at the output's
// pages, named ones looked up in the input's /Dests dictionary or /Names tree first.
#include "pdfmerge/keep/keep.h"

#include <unordered_set>

namespace pdfmerge {
namespace {

// Named destinations lead to at most this many further lookups (a name naming a reference to a
// dictionary with /D ...), so that a loop ends.
constexpr int32_t max_dest_hops = 8;
// A name tree is read up to this many nodes and this depth.
constexpr size_t max_tree_nodes = 1 << 20;
constexpr int32_t max_tree_depth_read = 64;

void read_name_tree(const doc& d, const pdf_value& root, named_dests& names) {
  struct node {
    pdf_value value;
    int32_t depth;
  };
  std::vector<node> stack{{root, 0}};
  std::unordered_set<int32_t> visited;
  size_t nodes = 0;
  while (!stack.empty() && nodes++ < max_tree_nodes) {
    node n = std::move(stack.back());
    stack.pop_back();
    if (const pdf_value* leaf = n.value.get("Names"); leaf && leaf->is(pdf_value::kind::array))
      for (size_t k = 0; k + 1 < leaf->items.size(); k += 2)
        if (std::optional<std::string> key = string_bytes(leaf->items[k]))
          names.by_string.emplace(std::move(*key), leaf->items[k + 1]);
    const pdf_value* kids = n.value.get("Kids");
    if (!kids || !kids->is(pdf_value::kind::array) || n.depth >= max_tree_depth_read) continue;
    // Pushed in reverse, so that the kids are read in order and the first key found wins.
    for (auto it = kids->items.rbegin(); it != kids->items.rend(); ++it) {
      if (!it->is(pdf_value::kind::ref) || !visited.insert(it->num).second) continue;
      std::optional<pdf_value> kid = object_tree(d, it->num);
      if (kid && kid->is(pdf_value::kind::dict)) stack.push_back({std::move(*kid), n.depth + 1});
    }
  }
}

void read_named_dests(const doc& d, named_dests& names) {
  names.read = true;
  const std::optional<pdf_value> catalog = object_tree(d, d.catalog_num);
  if (!catalog) return;
  if (const pdf_value* dests = catalog->get("Dests")) {
    const std::optional<pdf_value> dict = resolved_tree(d, dests);
    if (dict && dict->is(pdf_value::kind::dict))
      for (size_t k = 0; k < dict->keys.size(); ++k)
        names.by_name.emplace(dict->keys[k], dict->items[k]);
  }
  const pdf_value* names_entry = catalog->get("Names");
  const std::optional<pdf_value> names_dict = resolved_tree(d, names_entry);
  const pdf_value* tree = names_dict ? names_dict->get("Dests") : nullptr;
  const std::optional<pdf_value> root = resolved_tree(d, tree);
  if (root && root->is(pdf_value::kind::dict)) read_name_tree(d, *root, names);
}

// The value a name or a string names, or null.
const pdf_value* named_target(edit_ctx& ctx, const pdf_value& dest) {
  named_dests& names = ctx.keep.names;
  if (!names.read) read_named_dests(ctx.d, names);
  std::string key;
  if (dest.text.size() > 0 && dest.text[0] == '/') {
    key = dest.text.substr(1);
    if (auto it = names.by_name.find(key); it != names.by_name.end()) return &it->second;
  } else if (std::optional<std::string> s = string_bytes(dest)) {
    key = std::move(*s);
  } else {
    return nullptr;
  }
  if (auto it = names.by_string.find(key); it != names.by_string.end()) return &it->second;
  if (auto it = names.by_name.find(key); it != names.by_name.end()) return &it->second;
  return nullptr;
}

} // namespace

std::optional<pdf_value> resolve_dest(edit_ctx& ctx, const pdf_value& dest) {
  pdf_value v = dest;
  for (int32_t hop = 0; hop < max_dest_hops; ++hop) {
    switch (v.k) {
    case pdf_value::kind::array: {
      if (v.items.empty() || !v.items[0].is(pdf_value::kind::ref)) return std::nullopt;
      const auto page = ctx.keep.page_new.find(v.items[0].num);
      if (page == ctx.keep.page_new.end()) return std::nullopt;
      v.items[0] = pdf_value::output_ref(page->second);
      // The view's parameters are numbers and names; anything else is written as null.
      for (size_t k = 1; k < v.items.size(); ++k)
        if (!v.items[k].is(pdf_value::kind::atom)) v.items[k] = pdf_value::null();
      return v;
    }
    case pdf_value::kind::ref: {
      std::optional<pdf_value> target = object_tree(ctx.d, v.num);
      if (!target) return std::nullopt;
      v = std::move(*target);
      break;
    }
    case pdf_value::kind::dict: {
      const pdf_value* d = v.get("D");
      if (!d) return std::nullopt;
      v = pdf_value(*d);
      break;
    }
    case pdf_value::kind::atom: {
      const pdf_value* target = named_target(ctx, v);
      if (!target) return std::nullopt;
      v = pdf_value(*target);
      break;
    }
    case pdf_value::kind::out_ref:
      return std::nullopt;
    }
  }
  return std::nullopt;
}

} // namespace pdfmerge
