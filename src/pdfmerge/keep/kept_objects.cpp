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

// An /A whose action is a GoTo without a destination left after editing, given directly or as
// a reference.
bool action_lost_target(edit_ctx& ctx, const pdf_value& a) {
  if (a.is(pdf_value::kind::dict)) return is_goto(a) && !a.get("D");
  if (!a.is(pdf_value::kind::ref)) return false;
  const pdf_value* action = object_tree(ctx, a.num);
  if (!action || !is_goto(*action)) return false;
  const pdf_value* dest = action->get("D");
  return !dest || !resolve_dest(ctx, *dest);
}

// Sets `key` to the destination `v` holds there, or removes it when there is none.
void edit_dest_entry(edit_ctx& ctx, pdf_value& v, std::string_view key) {
  const pdf_value* dest = v.get(key);
  if (!dest) return;
  std::optional<pdf_value> target = resolve_dest(ctx, *dest);
  if (target)
    v.set(key, std::move(*target));
  else
    v.erase(key);
}

// A signature dictionary (or a document timestamp): its /Contents holds a signature over the
// bytes of the input file, which a merged file cannot carry.
bool is_signature(edit_ctx& ctx, const pdf_value& v) {
  const pdf_value* sig = resolved_tree(ctx, &v, pdf_value::kind::dict);
  if (!sig) return false;
  const pdf_value* type = sig->get("Type");
  return (type && (type->is_atom("/Sig") || type->is_atom("/DocTimeStamp"))) ||
         sig->get("ByteRange") != nullptr;
}

// A signature field keeps its widget and appearance but not its value.
void drop_signature_value(edit_ctx& ctx, pdf_value& v) {
  const pdf_value* value = v.get("V");
  if (!value) return;
  const pdf_value* ft = v.get("FT");
  if ((ft && ft->is_atom("/Sig")) || is_signature(ctx, *value)) v.erase("V");
}

void edit_at(edit_ctx& ctx, pdf_value& v) {
  ++ctx.keep.memo.steps;
  switch (v.k) {
  case pdf_value::kind::ref:
    if (auto page = ctx.keep.page_new.find(v.num); page != ctx.keep.page_new.end())
      v = pdf_value::output_ref(page->second);
    else if (is_structure(ctx, v.num) || ctx.keep.structure.dropped.contains(v.num))
      v = pdf_value::null();
    return;
  case pdf_value::kind::dict:
    edit_dest_entry(ctx, v, "Dest");
    if (is_goto(v)) edit_dest_entry(ctx, v, "D");
    drop_signature_value(ctx, v);
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

// A stream's /Length is written from the data; an indirect one is not kept as an object.
void drop_indirect_length(const obj_entry& e, pdf_value& v) {
  if (!e.has_stream || e.in_objstm) return;
  if (pdf_value* length = v.get("Length"); length && length->is(pdf_value::kind::ref))
    *length = pdf_value::atom("0");
}

} // namespace

void edit_kept_value(edit_ctx& ctx, pdf_value& v) {
  edit_at(ctx, v);
}

std::optional<pdf_value> kept_value(edit_ctx& ctx, int32_t num) {
  if (auto shared = ctx.keep.shared_arrays.find(num); shared != ctx.keep.shared_arrays.end()) {
    pdf_value list;
    list.k = pdf_value::kind::array;
    list.items = shared->second;
    return list;
  }
  const structure_keep& sk = ctx.keep.structure;
  if (auto planned = sk.planned.find(num); planned != sk.planned.end()) {
    pdf_value v = planned->second;
    edit_kept_value(ctx, v);
    edit_structure_entries(sk, num, v);
    return v;
  }
  const pdf_value* tree = object_tree(ctx, num);
  if (!tree) return std::nullopt;
  if (ctx.keep.dest_arrays.contains(num)) return explicit_dest(ctx, *tree);
  pdf_value v = *tree;
  if (v.is(pdf_value::kind::dict)) drop_indirect_length(*obj_lookup(ctx.d, num), v);
  const auto page = ctx.keep.annot_page.find(num);
  if (page != ctx.keep.annot_page.end() && v.is(pdf_value::kind::dict))
    v.set("P", pdf_value::output_ref(page->second));
  edit_kept_value(ctx, v);
  if (v.is(pdf_value::kind::dict)) rename_da_fonts(ctx.keep, v);
  const auto title = ctx.keep.field_titles.find(num);
  if (title != ctx.keep.field_titles.end() && v.is(pdf_value::kind::dict))
    v.set("T", pdf_value::atom(title->second));
  if (sk.on) edit_structure_entries(sk, num, v);
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
