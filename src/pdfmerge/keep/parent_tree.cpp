// The parent tree: for each page or stream, which element holds each of its marked-content
// sequences (an array indexed by MCID), and for each object named by an object reference, the
// element that names it. Its keys are the /StructParents of pages and form XObjects and the
// /StructParent of annotations and other objects. Every input numbers its keys from 0, so the
// output gives new keys, one after another in input order, and makes each entry from the kept
// elements themselves (as the walk of the tree found them), so the parent tree agrees with the
// tree as written even where an input's did not. Objects in the output that hold a key but no
// kept content lose it: a key names one object only.
#include "pdfmerge/keep/keep.h"

#include <algorithm>
#include <unordered_set>

namespace pdfmerge {
namespace {

// MCIDs number the marked content of a page or stream, mostly from 0, though some producers
// leave gaps of thousands. The arrays are given room for their gaps (the nulls written for MCIDs
// that no kept element holds) in proportion to the input's size: an MCID past that room is left
// out of its array (its content keeps its element, without a parent), so that a crafted number
// cannot make the output out of proportion to the input.
int64_t gap_room(const doc& d) {
  return d.len / 4 + 1024;
}

struct key_giver {
  edit_ctx& ctx;
  size_t input;
  structure_plan& sp;
  const content_owners& owners;
  int64_t room = gap_room(ctx.d); // nulls the arrays may still hold

  int32_t add(pdf_value v) {
    sp.parents.push_back({input, std::move(v)});
    return static_cast<int32_t>(sp.parents.size() - 1);
  }

  // The key of a page or stream whose marked content kept elements hold, or -1.
  int32_t marked_key(int32_t holder) {
    const auto at = owners.marked.find(holder);
    if (at == owners.marked.end()) return -1;
    const structure_keep& sk = ctx.keep.structure;
    const int64_t bound = static_cast<int64_t>(at->second.size()) + room;
    int64_t last = -1;
    int64_t held = 0;
    for (const auto& [mcid, elem] : at->second)
      if (mcid < bound && sk.elements.contains(elem)) {
        last = std::max(last, mcid);
        ++held;
      }
    if (last < 0) return -1;
    room -= std::max<int64_t>(0, last + 1 - held);
    pdf_value list{pdf_value::kind::array, 0, {}, {}, {}};
    list.items.assign(static_cast<size_t>(last) + 1, pdf_value::null());
    for (const auto& [mcid, elem] : at->second) {
      ++ctx.keep.memo.steps;
      if (mcid > last) continue;
      pdf_value& slot = list.items[static_cast<size_t>(mcid)];
      if (sk.elements.contains(elem) && slot.is_atom("null"))
        slot = pdf_value{pdf_value::kind::ref, elem, {}, {}, {}};
    }
    return add(std::move(list));
  }

  // The key an object in the output is given: for its marked content, or as the object an
  // element names. None when it holds no kept content.
  std::optional<structure_keep::key> object_key(int32_t num) {
    if (const int32_t k = marked_key(num); k >= 0) return structure_keep::key{k, true};
    const auto at = owners.objects.find(num);
    if (at == owners.objects.end() || !ctx.keep.structure.elements.contains(at->second))
      return std::nullopt;
    return structure_keep::key{add(pdf_value{pdf_value::kind::ref, at->second, {}, {}, {}}), false};
  }

  void give(int32_t num) {
    if (std::optional<structure_keep::key> key = object_key(num))
      ctx.keep.structure.keys.emplace(num, *key);
  }
};

// Whether an object holds a key, found without reading it as a value.
bool holds_key(const doc& d, int32_t num) {
  const obj_entry* e = obj_lookup(d, num);
  dict_span sp;
  if (!e || !dict_span_of(d.file(), *e, sp)) return false;
  const bytes text = span_text(sp);
  return find_own_key(text, sp.start, size_of(text), "StructParents") >= 0 ||
         find_own_key(text, sp.start, size_of(text), "StructParent") >= 0;
}

// Copied objects whose key changes are written as kept objects instead: they leave the copy
// list and join the kept list under the same numbers.
void take_over_copies(renumber_map& map, std::vector<int32_t>& kept,
                      const std::unordered_set<int32_t>& nums) {
  if (nums.empty()) return;
  size_t w = 0;
  for (size_t r = 0; r < map.old_nums.size(); ++r) {
    if (nums.contains(map.old_nums[r])) {
      kept.push_back(map.old_nums[r]);
      continue;
    }
    map.old_nums[w] = map.old_nums[r];
    map.new_nums[w] = map.new_nums[r];
    ++w;
  }
  map.old_nums.resize(w);
  map.new_nums.resize(w);
}

} // namespace

void give_parent_keys(edit_ctx& ctx, size_t input, structure_plan& sp, renumber_map& map,
                      const content_owners& owners, int32_t first_page) {
  key_giver giver{ctx, input, sp, owners};
  const pagevec& pages = ctx.d.pages;
  structure_keep& sk = ctx.keep.structure;
  sk.page_keys.assign(pages.size(), -1);
  // Pages first, in output order. A page listed twice holds its key at its first listing only,
  // the one its elements' /Pg name: one key cannot serve two pages.
  for (size_t k = 0; k < pages.size(); ++k) {
    const auto listed = ctx.keep.page_new.find(pages[k].num);
    if (listed != ctx.keep.page_new.end() && listed->second == first_page + static_cast<int32_t>(k))
      sk.page_keys[k] = giver.marked_key(pages[k].num);
  }
  for (const int32_t num : ctx.keep.kept)
    if (!sk.planned.contains(num)) giver.give(num);
  std::unordered_set<int32_t> taken;
  for (const int32_t num : map.old_nums) {
    ++ctx.keep.memo.steps;
    const bool owns = owners.marked.contains(num) || owners.objects.contains(num);
    if (!owns && !holds_key(ctx.d, num)) continue;
    const pdf_value* v = object_tree(ctx, num);
    if (!v || !v->is(pdf_value::kind::dict) || !taken.insert(num).second) continue;
    giver.give(num);
  }
  take_over_copies(map, ctx.keep.kept, taken);
}

void edit_structure_entries(const structure_keep& sk, int32_t num, pdf_value& v) {
  if (!v.is(pdf_value::kind::dict)) return;
  const auto key = sk.keys.find(num);
  for (const bool plural : {true, false}) {
    const std::string_view name = plural ? "StructParents" : "StructParent";
    if (key != sk.keys.end() && key->second.plural == plural)
      v.set(name, pdf_value::atom(std::to_string(key->second.value)));
    else if (v.get(name))
      v.erase(name);
  }
  if (!sk.ids.empty()) rename_ids(sk, num, v);
}

} // namespace pdfmerge
