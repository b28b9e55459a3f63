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

// A name for `key` that no entry of the category holds yet: key_2, key_3, ... Each key's next
// suffix is kept, so that many entries of one name cost one try each.
std::string fresh_key(edit_ctx& ctx, form_plan::category& cat, const std::string& key) {
  int& n = cat.next_suffix.try_emplace(key, 2).first->second;
  for (;; ++n) {
    ++ctx.keep.memo.steps;
    std::string candidate = key + "_" + std::to_string(n);
    if (!cat.keys.contains(candidate)) return candidate;
  }
}

form_plan::category& category_of(form_plan& form, const std::string& name) {
  const auto [it, added] = form.resource_index.emplace(name, form.resources.size());
  if (added) form.resources.push_back({name, {}, {}, {}});
  return form.resources[it->second];
}

// Merges the input's /DR. Fonts whose name is taken by an earlier input's are renamed; in the
// other categories the first entry of a name wins.
void merge_resources(edit_ctx& ctx, size_t input, const pdf_value& dr, form_plan& form,
                     std::vector<int32_t>& seeds) {
  for (size_t c = 0; c < dr.keys.size(); ++c) {
    const pdf_value* entries = resolved_tree(ctx, &dr.items[c], pdf_value::kind::dict);
    if (!entries) continue;
    form_plan::category& cat = category_of(form, dr.keys[c]);
    const bool fonts = dr.keys[c] == "Font";
    for (size_t k = 0; k < entries->keys.size(); ++k) {
      std::string key = entries->keys[k];
      const bool taken = cat.keys.contains(key);
      if (taken && !fonts) continue;
      if (taken) {
        const std::string renamed = fresh_key(ctx, cat, key);
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
bool is_field_tree(edit_ctx& ctx, int32_t root) {
  constexpr int32_t max_depth = 32;
  constexpr size_t max_nodes = 1 << 16;
  std::unordered_set<int32_t> seen{root};
  std::vector<std::pair<int32_t, int32_t>> stack{{root, 0}}; // (field, depth)
  while (!stack.empty()) {
    const auto [num, depth] = stack.back();
    stack.pop_back();
    const pdf_value* field = object_tree(ctx, num);
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

// `name` with the suffix "_n": in UTF-16 (big- or little-endian, after its byte order mark) for a
// name written so, else in the name's own bytes.
std::string suffixed(const std::string& name, int n) {
  const std::string suffix = "_" + std::to_string(n);
  const bool be = name.size() >= 2 && name[0] == '\xFE' && name[1] == '\xFF';
  const bool le = name.size() >= 2 && name[0] == '\xFF' && name[1] == '\xFE';
  if (!be && !le) return name + suffix;
  std::string out = name;
  if (out.size() % 2 != 0) out += '\0'; // a cut last unit: completed, so the suffix stays aligned
  for (char c : suffix) {
    out += be ? '\0' : c;
    out += be ? c : '\0';
  }
  return out;
}

// The names of the input's top-level fields, and the fields themselves, each listed once.
struct top_fields {
  std::vector<std::pair<int32_t, std::optional<std::string>>> fields; // (field, its name)
  std::unordered_set<std::string> names;
};

top_fields read_fields(edit_ctx& ctx, const pdf_value& list) {
  top_fields out;
  std::unordered_set<int32_t> listed;
  for (const pdf_value& f : list.items) {
    if (!f.is(pdf_value::kind::ref) || !listed.insert(f.num).second) continue;
    const pdf_value* field = object_tree(ctx, f.num);
    if (!field || !field->is(pdf_value::kind::dict) || !is_field_tree(ctx, f.num)) continue;
    const pdf_value* t = field->get("T");
    std::optional<std::string> name = t ? string_bytes(*t) : std::nullopt;
    if (name) out.names.insert(*name);
    out.fields.emplace_back(f.num, std::move(name));
  }
  return out;
}

// Lists the input's top-level fields, renaming those whose names an earlier input uses: a field
// of that name gets a name that neither an earlier input nor this one uses (every field of the
// input with that name the same one).
void list_fields(edit_ctx& ctx, size_t input, const pdf_value& list, form_plan& form,
                 std::vector<int32_t>& seeds) {
  top_fields own = read_fields(ctx, list);
  std::unordered_map<std::string, std::string> renamed; // a clashing name -> its new name
  for (auto& [num, name] : own.fields) {
    seeds.push_back(num);
    form.fields.push_back({input, num});
    if (!name || !form.used_names.contains(*name)) continue;
    auto it = renamed.find(*name);
    if (it == renamed.end()) {
      // Only a later input's names clash: n starts at its number, counted from 1.
      int& n = form.next_suffix.try_emplace(*name, static_cast<int>(input) + 1).first->second;
      n = std::max(n, static_cast<int>(input) + 1);
      std::string candidate = suffixed(*name, n);
      while (form.used_names.contains(candidate) || own.names.contains(candidate)) {
        ++ctx.keep.memo.steps;
        candidate = suffixed(*name, ++n);
      }
      ++n;
      it = renamed.emplace(*name, std::move(candidate)).first;
    }
    ctx.keep.field_titles.emplace(num, literal_of(it->second));
  }
  for (auto& [old_name, new_name] : renamed) own.names.insert(new_name);
  for (const std::string& n : own.names) form.used_names.insert(n);
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
  const pdf_value* catalog = object_tree(ctx, ctx.d.catalog_num);
  const pdf_value* acroform =
      catalog ? resolved_tree(ctx, catalog->get("AcroForm"), pdf_value::kind::dict) : nullptr;
  if (!acroform) return;
  const pdf_value* fields = acroform->get("Fields");
  if (const pdf_value* list = resolved_tree(ctx, fields, pdf_value::kind::array))
    list_fields(ctx, input, *list, form, seeds);
  if (const pdf_value* dr = resolved_tree(ctx, acroform->get("DR"), pdf_value::kind::dict))
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
