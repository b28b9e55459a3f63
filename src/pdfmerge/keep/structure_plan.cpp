// The output's structure tree: one /StructTreeRoot whose kids are every tagged input's top-level
// elements in input order, with one parent tree, one role map, one class map and one ID tree
// merged from the inputs'. The catalog says the output is marked only when every input is.
#include "pdfmerge/keep/keep.h"

#include <algorithm>

namespace pdfmerge {
namespace {

// What the input's catalog says of its structure.
struct structure_source {
  const pdf_value* root = nullptr;
  int32_t root_num = 0;
  bool marked = false;
  const pdf_value* lang = nullptr; // a string
};

structure_source source_of(edit_ctx& ctx) {
  structure_source out;
  const pdf_value* catalog =
      resolved_tree(ctx, object_tree(ctx, ctx.d.catalog_num), pdf_value::kind::dict);
  if (!catalog) return out;
  const pdf_value* given = catalog->get("StructTreeRoot");
  out.root = resolved_tree(ctx, given, pdf_value::kind::dict);
  out.root_num = given && given->is(pdf_value::kind::ref) ? given->num : 0;
  const pdf_value* mark = resolved_tree(ctx, catalog->get("MarkInfo"), pdf_value::kind::dict);
  const pdf_value* marked = mark ? resolved_tree(ctx, mark->get("Marked")) : nullptr;
  out.marked = marked && marked->is_atom("true");
  const pdf_value* lang = resolved_tree(ctx, catalog->get("Lang"), pdf_value::kind::atom);
  if (lang && string_bytes(*lang)) out.lang = lang;
  return out;
}

// The /Lang an input's top-level elements are given: its own where it differs from the
// catalog's (the empty string, unknown, when it has none); none when they agree.
std::optional<pdf_value> top_lang(const std::optional<pdf_value>& catalog, const pdf_value* own) {
  const std::optional<std::string> a = catalog ? string_bytes(*catalog) : std::nullopt;
  const std::optional<std::string> b = own ? string_bytes(*own) : std::nullopt;
  if (a == b) return std::nullopt;
  return b ? *own : pdf_value::atom("()");
}

// Annotations written inside a page's /Annots array can be named by no object reference: they
// lose their key.
void forget_direct_annotation_keys(input_keep& keep) {
  auto forget = [](std::vector<pdf_value>& list) {
    for (pdf_value& a : list) {
      a.erase("StructParent");
      a.erase("StructParents");
    }
  };
  for (std::vector<pdf_value>& list : keep.annots) forget(list);
  for (auto& [num, list] : keep.shared_arrays) forget(list);
}

std::string ref_text(int32_t n) {
  return std::to_string(n) + " 0 R";
}

void write_text_object(out_file& f, int32_t num, std::string text) {
  make_reader_safe(text);
  out_begin_object(f, num);
  out_put(f, text);
  out_put(f, "\nendobj\n");
}

} // namespace

void begin_structure(edit_ctx& ctx) {
  ctx.keep.structure.on = true;
  const pdf_value* catalog = object_tree(ctx, ctx.d.catalog_num);
  const pdf_value* root = catalog ? catalog->get("StructTreeRoot") : nullptr;
  if (root && root->is(pdf_value::kind::ref)) ctx.keep.structure.dropped.insert(root->num);
}

bool plan_structure(std::vector<merge_input>& inputs, keep_plan& plan, size_t i, int32_t first_page,
                    int64_t& next, int64_t max_size) {
  edit_ctx ctx{inputs[i].d, plan.inputs[i]};
  structure_plan& sp = plan.structure;
  renumber_map& map = inputs[i].map;
  const structure_source src = source_of(ctx);
  sp.all_marked = sp.all_marked && src.root && src.marked;
  if (i == 0 && src.lang) sp.lang = *src.lang;
  std::vector<int32_t> seeds;
  content_owners owners;
  if (src.root) {
    if (sp.root == 0) {
      if (next >= max_size) return false;
      sp.root = static_cast<int32_t>(next++);
    }
    sp.tagged = true;
    merge_role_map(ctx, i, *src.root, sp);
    merge_class_map(inputs, plan.inputs, i, *src.root, sp, seeds);
    std::vector<pdf_value> top = walk_structure(ctx, i, sp, map, *src.root, src.root_num,
                                                top_lang(sp.lang, src.lang), owners, seeds);
    for (pdf_value& v : top) sp.kids.push_back({i, std::move(v)});
  }
  forget_direct_annotation_keys(ctx.keep);
  if (!keep_reached(ctx, map, std::move(seeds), next, max_size)) return false;
  give_parent_keys(ctx, i, sp, map, owners, first_page);
  return true;
}

bool number_structure(structure_plan& sp, int64_t& next, int64_t max_size) {
  if (!sp.tagged) return true;
  if (next + 2 > max_size) return false;
  sp.parent_tree = static_cast<int32_t>(next++);
  if (!sp.ids.empty()) sp.id_tree = static_cast<int32_t>(next++);
  return true;
}

std::string structure_catalog_entries(const structure_plan& sp, bool with_lang) {
  std::string out;
  if (sp.tagged) out += " /StructTreeRoot " + ref_text(sp.root);
  if (sp.tagged && sp.all_marked) out += " /MarkInfo << /Marked true >>";
  if (sp.lang && with_lang) {
    std::string lang = sp.lang->text;
    make_reader_safe(lang);
    out += " /Lang " + lang;
  }
  return out;
}

void write_structure(out_file& f, const std::vector<merge_input>& inputs,
                     const structure_plan& sp) {
  if (!sp.tagged) return;
  auto put = [&](std::string& text, size_t input, const pdf_value& v) {
    const renumber_map& map = inputs[input].map;
    write_value(
        v, [&map](int32_t n) { return renumber_lookup(map, n); }, text);
  };
  std::string root = "<< /Type /StructTreeRoot /K [";
  for (size_t k = 0; k < sp.kids.size(); ++k) {
    if (k) root += ' ';
    put(root, sp.kids[k].input, sp.kids[k].value);
  }
  root += "] /ParentTree " + ref_text(sp.parent_tree) + " /ParentTreeNextKey " +
          std::to_string(sp.parents.size());
  for (const auto& [key, list] : {std::pair{"RoleMap", &sp.roles}, {"ClassMap", &sp.classes}}) {
    if (list->empty()) continue;
    root += " /" + std::string(key) + " <<";
    for (const structure_plan::named& n : *list) {
      root += " /" + n.name + ' ';
      put(root, n.input, n.value);
    }
    root += " >>";
  }
  if (sp.id_tree > 0) root += " /IDTree " + ref_text(sp.id_tree);
  write_text_object(f, sp.root, root + " >>");

  std::string nums = "<< /Nums [";
  for (size_t k = 0; k < sp.parents.size(); ++k) {
    nums += (k ? " " : "") + std::to_string(k) + ' ';
    put(nums, sp.parents[k].input, sp.parents[k].value);
  }
  write_text_object(f, sp.parent_tree, nums + "] >>");
  if (sp.id_tree == 0) return;

  // A name tree lists its keys in byte order.
  std::vector<const structure_plan::id_entry*> ids;
  for (const structure_plan::id_entry& e : sp.ids) ids.push_back(&e);
  std::sort(ids.begin(), ids.end(), [](auto* a, auto* b) { return a->id < b->id; });
  std::string names = "<< /Names [";
  bool first = true;
  for (const structure_plan::id_entry* e : ids) {
    const int32_t n = renumber_lookup(inputs[e->input].map, e->num);
    if (n <= 0) continue;
    if (!first) names += ' ';
    first = false;
    append_hex_string(names, as_bytes(e->id));
    names += ' ' + ref_text(n);
  }
  write_text_object(f, sp.id_tree, names + "] >>");
}

} // namespace pdfmerge
