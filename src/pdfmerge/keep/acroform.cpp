// The form fields: one /AcroForm for the output, gathered from the inputs' forms. Top-level
// fields are listed in input order; a later input's top-level field whose name an earlier one
// already uses is renamed, so that filling one does not fill the other. The default resources
// are merged, a clashing font name renamed in them and in every /DA of that input.
#include "pdfmerge/keep/keep.h"

#include <unordered_set>

namespace pdfmerge {
namespace {

// A literal string holding `s`, escaped where the syntax needs it.
std::string literal_of(std::string_view s) {
  std::string out = "(";
  for (char c : s) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    if (c == '\r') {
      out += "\\r";
      continue;
    }
    out += c;
  }
  return out + ")";
}

// A name for `key` that no entry of the category holds yet: key_2, key_3, ...
std::string fresh_key(const form_plan::category& cat, const std::string& key) {
  for (int n = 2;; ++n) {
    std::string candidate = key + "_" + std::to_string(n);
    if (!cat.keys.contains(candidate)) return candidate;
  }
}

form_plan::category& category_of(form_plan& form, const std::string& name) {
  const auto [it, added] = form.resource_index.emplace(name, form.resources.size());
  if (added) form.resources.push_back({name, {}, {}});
  return form.resources[it->second];
}

// Merges the input's /DR. Fonts whose name is taken by an earlier input's are renamed; in the
// other categories the first entry of a name wins.
void merge_resources(edit_ctx& ctx, size_t input, const pdf_value& dr, form_plan& form,
                     std::vector<int32_t>& seeds) {
  for (size_t c = 0; c < dr.keys.size(); ++c) {
    const std::optional<pdf_value> entries =
        resolved_tree(ctx.d, &dr.items[c], pdf_value::kind::dict);
    if (!entries) continue;
    form_plan::category& cat = category_of(form, dr.keys[c]);
    const bool fonts = dr.keys[c] == "Font";
    for (size_t k = 0; k < entries->keys.size(); ++k) {
      std::string key = entries->keys[k];
      const bool taken = cat.keys.contains(key);
      if (taken && !fonts) continue;
      if (taken) {
        const std::string renamed = fresh_key(cat, key);
        ctx.keep.font_renames.emplace(key, renamed);
        key = renamed;
      }
      pdf_value value = entries->items[k];
      edit_kept_value(ctx, value);
      collect_refs_of(value, seeds);
      cat.keys.insert(key);
      cat.entries.push_back({std::move(key), input, std::move(value)});
    }
  }
}

// A field hierarchy is a tree: no field below `root` is reached twice (a kid shared by two
// parents, or a loop), and it stays within a depth and a size that readers walk in good time.
bool is_field_tree(const doc& d, int32_t root) {
  constexpr int32_t max_depth = 32;
  constexpr size_t max_nodes = 1 << 16;
  std::unordered_set<int32_t> seen{root};
  std::vector<std::pair<int32_t, int32_t>> stack{{root, 0}}; // (field, depth)
  while (!stack.empty()) {
    const auto [num, depth] = stack.back();
    stack.pop_back();
    const std::optional<pdf_value> field = object_tree(d, num);
    const pdf_value* kids = field ? field->get("Kids") : nullptr;
    if (!kids || !kids->is(pdf_value::kind::array)) continue;
    if (depth >= max_depth) return false;
    for (const pdf_value& kid : kids->items) {
      if (!kid.is(pdf_value::kind::ref)) continue;
      if (!seen.insert(kid.num).second || seen.size() > max_nodes) return false;
      stack.push_back({kid.num, depth + 1});
    }
  }
  return true;
}

// Renames the top-level fields whose names an earlier input uses.
void list_fields(edit_ctx& ctx, size_t input, const pdf_value& fields, form_plan& form,
                 std::vector<int32_t>& seeds) {
  std::vector<std::string> own; // names this input adds to the used ones once it is read
  for (const pdf_value& f : fields.items) {
    if (!f.is(pdf_value::kind::ref)) continue;
    const std::optional<pdf_value> field = object_tree(ctx.d, f.num);
    if (!field || !field->is(pdf_value::kind::dict) || !is_field_tree(ctx.d, f.num)) continue;
    seeds.push_back(f.num);
    form.fields.push_back({input, f.num});
    const pdf_value* t = field->get("T");
    std::optional<std::string> name = t ? string_bytes(*t) : std::nullopt;
    if (!name) continue;
    if (form.used_names.contains(*name)) {
      std::string renamed;
      // Only a later input's names clash: n starts at its number, counted from 1.
      for (int n = static_cast<int>(input) + 1;; ++n) {
        renamed = *name + "_" + std::to_string(n);
        if (!form.used_names.contains(renamed)) break;
      }
      ctx.keep.field_titles.emplace(f.num, literal_of(renamed));
      name = std::move(renamed);
    }
    own.push_back(std::move(*name));
  }
  for (std::string& n : own) form.used_names.insert(std::move(n));
}

} // namespace

std::string renamed_da(std::string_view da,
                       const std::unordered_map<std::string, std::string>& renames) {
  std::string out;
  for (size_t i = 0; i < da.size();) {
    if (da[i] != '/') {
      out += da[i++];
      continue;
    }
    size_t end = i + 1;
    while (end < da.size() && is_regular(static_cast<uint8_t>(da[end]))) ++end;
    const std::string name(da.substr(i + 1, end - i - 1));
    const auto it = renames.find(name);
    out += '/';
    out += it == renames.end() ? name : it->second;
    i = end;
  }
  return out;
}

void rename_da_fonts(const input_keep& keep, pdf_value& v) {
  if (keep.font_renames.empty()) return;
  pdf_value* da = v.get("DA");
  const std::optional<std::string> text = da ? string_bytes(*da) : std::nullopt;
  if (text) *da = pdf_value::atom(literal_of(renamed_da(*text, keep.font_renames)));
}

void plan_form(edit_ctx& ctx, size_t input, form_plan& form, std::vector<int32_t>& seeds) {
  const std::optional<pdf_value> catalog = object_tree(ctx.d, ctx.d.catalog_num);
  const std::optional<pdf_value> acroform =
      catalog ? resolved_tree(ctx.d, catalog->get("AcroForm"), pdf_value::kind::dict)
              : std::nullopt;
  if (!acroform) return;
  const pdf_value* fields = acroform->get("Fields");
  if (const std::optional<pdf_value> list = resolved_tree(ctx.d, fields, pdf_value::kind::array))
    list_fields(ctx, input, *list, form, seeds);
  if (const std::optional<pdf_value> dr =
          resolved_tree(ctx.d, acroform->get("DR"), pdf_value::kind::dict))
    merge_resources(ctx, input, *dr, form, seeds);
  if (const pdf_value* da = acroform->get("DA"); da && !form.da && string_bytes(*da)) {
    pdf_value holder;
    holder.k = pdf_value::kind::dict;
    holder.set("DA", *da);
    rename_da_fonts(ctx.keep, holder);
    form.da = *holder.get("DA");
  }
  if (const pdf_value* q = acroform->get("Q"); q && !form.q && q->is(pdf_value::kind::atom))
    form.q = *q;
  if (const pdf_value* na = acroform->get("NeedAppearances"); na && na->is_atom("true"))
    form.need_appearances = true;
  form.present = true;
}

bool number_form(form_plan& form, int64_t& next, int64_t max_size) {
  if (!form.present) return true;
  if (next >= max_size) return false;
  form.num = static_cast<int32_t>(next++);
  return true;
}

void write_form(out_file& f, const std::vector<merge_input>& inputs, const form_plan& form) {
  if (form.num <= 0) return;
  std::string text = "<< /Fields [";
  bool first = true;
  for (const form_plan::field& fd : form.fields) {
    const int32_t n = renumber_lookup(inputs[fd.input].map, fd.num);
    if (n <= 0) continue;
    text += (first ? "" : " ") + std::to_string(n) + " 0 R";
    first = false;
  }
  text += "]";
  if (!form.resources.empty()) {
    text += " /DR <<";
    for (const form_plan::category& cat : form.resources) {
      text += " /" + cat.name + " <<";
      for (const form_plan::entry& e : cat.entries) {
        const renumber_map& map = inputs[e.input].map;
        text += " /" + e.key + " ";
        write_value(
            e.value, [&map](int32_t n) { return renumber_lookup(map, n); }, text);
      }
      text += " >>";
    }
    text += " >>";
  }
  if (form.da) text += " /DA " + form.da->text;
  if (form.q) text += " /Q " + form.q->text;
  if (form.need_appearances) text += " /NeedAppearances true";
  text += " >>";
  make_reader_safe(text);
  out_begin_object(f, form.num);
  out_put(f, text);
  out_put(f, "\nendobj\n");
}

} // namespace pdfmerge
