// Destinations of links, GoTo actions and bookmarks: explicit ones pointed at the output's
// pages, named ones looked up in the input's /Dests dictionary or /Names tree first. What a
// destination object or a name resolves to is found once per merge, and what is written inline
// is bounded: a page and at most five parameters, however long the array in the input.
#include "pdfmerge/keep/keep.h"

namespace pdfmerge {
namespace {

// Named destinations lead to at most this many further lookups (a name naming a reference to a
// dictionary with /D ...), so that a loop ends.
constexpr int32_t max_dest_hops = 8;
// An explicit destination is a page, the name of a view and at most four numbers.
constexpr size_t max_dest_items = 6;

void read_name_tree(edit_ctx& ctx, const pdf_value& root, named_dests& names) {
  for_each_tree_pair(ctx, root, "Names", [&](const pdf_value& key, const pdf_value& value) {
    if (std::optional<std::string> bytes = string_bytes(key))
      names.by_string.emplace(std::move(*bytes), value);
  });
}

void read_named_dests(edit_ctx& ctx, named_dests& names) {
  names.read = true;
  const pdf_value* catalog = object_tree(ctx, ctx.d.catalog_num);
  if (!catalog) return;
  if (const pdf_value* dict = resolved_tree(ctx, catalog->get("Dests"), pdf_value::kind::dict))
    for (size_t k = 0; k < dict->keys.size(); ++k)
      names.by_name.emplace(dict->keys[k], dict->items[k]);
  const pdf_value* names_dict = resolved_tree(ctx, catalog->get("Names"));
  const pdf_value* tree = names_dict ? names_dict->get("Dests") : nullptr;
  if (const pdf_value* root = resolved_tree(ctx, tree, pdf_value::kind::dict))
    read_name_tree(ctx, *root, names);
}

// The value a name or a string names, or null.
const pdf_value* named_target(edit_ctx& ctx, const pdf_value& dest) {
  named_dests& names = ctx.keep.names;
  if (!names.read) read_named_dests(ctx, names);
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

// Follows `v` to an explicit destination, `hops` lookups at most.
std::optional<pdf_value> follow(edit_ctx& ctx, const pdf_value* v, int32_t hops) {
  for (int32_t hop = 0; v && hop < hops; ++hop) {
    switch (v->k) {
    case pdf_value::kind::array:
      return explicit_dest(ctx, *v);
    case pdf_value::kind::ref:
      v = object_tree(ctx, v->num);
      break;
    case pdf_value::kind::dict:
      v = v->get("D");
      break;
    case pdf_value::kind::atom:
      v = named_target(ctx, *v);
      break;
    case pdf_value::kind::out_ref:
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// A destination given as a reference: the reference itself when it names an explicit
// destination whose page is in the output (that array is kept and written once), else what the
// object leads to.
std::optional<pdf_value> referenced_dest(edit_ctx& ctx, int32_t num) {
  const pdf_value* target = object_tree(ctx, num);
  if (target && target->is(pdf_value::kind::array)) {
    if (!explicit_dest(ctx, *target)) return std::nullopt;
    ctx.keep.dest_arrays.insert(num);
    pdf_value ref;
    ref.k = pdf_value::kind::ref;
    ref.num = num;
    return ref;
  }
  return follow(ctx, target, max_dest_hops - 1);
}

} // namespace

std::optional<pdf_value> explicit_dest(edit_ctx& ctx, const pdf_value& array) {
  if (!array.is(pdf_value::kind::array) || array.items.empty() ||
      !array.items[0].is(pdf_value::kind::ref))
    return std::nullopt;
  const auto page = ctx.keep.page_new.find(array.items[0].num);
  if (page == ctx.keep.page_new.end()) return std::nullopt;
  pdf_value out;
  out.k = pdf_value::kind::array;
  const size_t n = std::min(array.items.size(), max_dest_items);
  ctx.keep.memo.steps += n;
  out.items.reserve(n);
  out.items.push_back(pdf_value::output_ref(page->second));
  // The view's parameters are numbers and names; anything else is written as null.
  for (size_t k = 1; k < n; ++k)
    out.items.push_back(array.items[k].is(pdf_value::kind::atom) ? array.items[k]
                                                                 : pdf_value::null());
  return out;
}

std::optional<pdf_value> resolve_dest(edit_ctx& ctx, const pdf_value& dest) {
  object_memo& memo = ctx.keep.memo;
  ++memo.steps;
  switch (dest.k) {
  case pdf_value::kind::ref: {
    auto it = memo.dests.find(dest.num);
    if (it == memo.dests.end())
      it = memo.dests.emplace(dest.num, referenced_dest(ctx, dest.num)).first;
    return it->second;
  }
  case pdf_value::kind::atom: {
    auto it = memo.named.find(dest.text);
    if (it == memo.named.end())
      it = memo.named.emplace(dest.text, follow(ctx, &dest, max_dest_hops)).first;
    return it->second;
  }
  default:
    return follow(ctx, &dest, max_dest_hops);
  }
}

} // namespace pdfmerge
