// Objects kept by a merge with options: read as values, edited so that nothing in them points
// at the input's page tree or at a destination outside the output, numbered breadth-first, and
// written after the copies.
#include "pdfmerge/keep/keep.h"

namespace pdfmerge {
namespace {

bool is_goto(const pdf_value& action) {
  const pdf_value* s = action.get("S");
  return s && s->is_atom("/GoTo");
}

// True for the objects a kept value must never reach: pages, page-tree nodes and the catalog.
bool is_structure(const doc& d, int32_t num) {
  if (num == d.catalog_num || num == d.root_num) return true;
  const obj_entry* e = obj_lookup(d, num);
  return e && obj_type(d.file(), *e) != node_type::other;
}

// An /A whose action is a GoTo without a destination left after editing, given directly or as
// a reference.
bool action_lost_target(edit_ctx& ctx, const pdf_value& a) {
  if (a.is(pdf_value::kind::dict)) return is_goto(a) && !a.get("D");
  if (!a.is(pdf_value::kind::ref)) return false;
  const std::optional<pdf_value> action = object_tree(ctx.d, a.num);
  if (!action || !is_goto(*action)) return false;
  const pdf_value* dest = action->get("D");
  return !dest || !resolve_dest(ctx, *dest);
}

void edit_dict_dests(edit_ctx& ctx, pdf_value& v) {
  if (const pdf_value* dest = v.get("Dest")) {
    std::optional<pdf_value> target = resolve_dest(ctx, *dest);
    if (target)
      v.set("Dest", std::move(*target));
    else
      v.erase("Dest");
  }
  if (is_goto(v))
    if (const pdf_value* dest = v.get("D")) {
      std::optional<pdf_value> target = resolve_dest(ctx, *dest);
      if (target)
        v.set("D", std::move(*target));
      else
        v.erase("D");
    }
}

void edit_at(edit_ctx& ctx, pdf_value& v) {
  switch (v.k) {
  case pdf_value::kind::ref:
    if (auto page = ctx.keep.page_new.find(v.num); page != ctx.keep.page_new.end())
      v = pdf_value::output_ref(page->second);
    else if (is_structure(ctx.d, v.num))
      v = pdf_value::null();
    return;
  case pdf_value::kind::dict:
    edit_dict_dests(ctx, v);
    for (pdf_value& item : v.items) edit_at(ctx, item);
    if (const pdf_value* a = v.get("A"); a && action_lost_target(ctx, *a)) v.erase("A");
    return;
  case pdf_value::kind::array:
    for (pdf_value& item : v.items) edit_at(ctx, item);
    return;
  default:
    return;
  }
}

} // namespace

void edit_kept_value(edit_ctx& ctx, pdf_value& v) {
  edit_at(ctx, v);
}

std::optional<pdf_value> kept_value(edit_ctx& ctx, int32_t num) {
  std::optional<pdf_value> v = object_tree(ctx.d, num);
  if (!v) return std::nullopt;
  const auto page = ctx.keep.annot_page.find(num);
  if (page != ctx.keep.annot_page.end() && v->is(pdf_value::kind::dict))
    v->set("P", pdf_value::output_ref(page->second));
  edit_kept_value(ctx, *v);
  if (v->is(pdf_value::kind::dict)) rename_da_fonts(ctx.keep, *v);
  const auto title = ctx.keep.field_titles.find(num);
  if (title != ctx.keep.field_titles.end() && v->is(pdf_value::kind::dict))
    v->set("T", pdf_value::atom(title->second));
  return v;
}

bool keep_reached(edit_ctx& ctx, renumber_map& map, std::vector<int32_t> seeds, int64_t& next,
                  int64_t max_size) {
  std::vector<int32_t>& kept = ctx.keep.kept;
  size_t k = kept.size();
  auto add = [&](int32_t num) {
    if (renumber_lookup(map, num) > 0 || !obj_lookup(ctx.d, num)) return true;
    if (next >= max_size) return false;
    map.new_of.emplace(num, static_cast<int32_t>(next++));
    kept.push_back(num);
    return true;
  };
  for (int32_t s : seeds)
    if (!add(s)) return false;
  std::vector<int32_t> found;
  // Breadth-first: the list is the queue, and grows while it is walked.
  for (; k < kept.size(); ++k) {
    const std::optional<pdf_value> v = kept_value(ctx, kept[k]);
    if (!v) continue;
    found.clear();
    collect_refs_of(*v, found);
    for (int32_t r : found)
      if (!add(r)) return false;
  }
  return true;
}

void write_kept_objects(out_file& f, const merge_input& in, input_keep& keep) {
  edit_ctx ctx{in.d, keep};
  const auto renumber = [&](int32_t n) { return renumber_lookup(in.map, n); };
  for (int32_t num : keep.kept) {
    if (f.failed) return;
    const obj_entry* e = obj_lookup(in.d, num);
    std::optional<pdf_value> v = kept_value(ctx, num);
    if (!v) {
      // An object that no longer reads as a value is written as null, without its data.
      obj_entry plain = *e;
      plain.has_stream = 0;
      write_edited_object(f, in, plain, renumber(num), "null");
      continue;
    }
    std::string text;
    write_value(*v, renumber, text);
    write_edited_object(f, in, *e, renumber(num), std::move(text));
  }
}

} // namespace pdfmerge
