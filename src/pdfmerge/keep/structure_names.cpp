// The names a structure tree gives meaning to, merged over the inputs: /RoleMap (structure types
// mapped to standard ones), /ClassMap (attribute classes) and the elements' IDs. The first input
// that uses a name keeps it; a later input that gives the name another meaning has its name
// renamed, in the map and in its own elements, so that each input's elements keep their meaning.
#include "pdfmerge/keep/keep.h"

#include <unordered_set>

namespace pdfmerge {
namespace {

// A name for `name` (or an ID) that `taken` does not hold: name_2, name_3, ... Each name's next
// suffix is kept, so that many renames of one name cost one try each.
template <class Taken>
std::string fresh_name(edit_ctx& ctx, structure_plan& sp, const std::string& name,
                       const Taken& taken) {
  int& n = sp.next_suffix.try_emplace(name, 2).first->second;
  for (;; ++n) {
    ++ctx.keep.memo.steps;
    std::string candidate = name + "_" + std::to_string(n);
    if (!taken(candidate)) return candidate;
  }
}

// Whether two values of two inputs mean the same: equal atoms, arrays and dictionaries of such,
// references followed (one level at a time). Comparing stops, as different, once `budget` is
// spent, so that a crafted value cannot make it long.
bool same_value(edit_ctx& a, const pdf_value* x, edit_ctx& b, const pdf_value* y, int64_t& budget) {
  if (--budget < 0) return false;
  ++a.keep.memo.steps;
  x = resolved_tree(a, x);
  y = resolved_tree(b, y);
  if (!x || !y || x->k != y->k) return false;
  switch (x->k) {
  case pdf_value::kind::atom:
    return x->text == y->text;
  case pdf_value::kind::array:
    if (x->items.size() != y->items.size()) return false;
    for (size_t i = 0; i < x->items.size(); ++i)
      if (!same_value(a, &x->items[i], b, &y->items[i], budget)) return false;
    return true;
  case pdf_value::kind::dict:
    if (x->keys.size() != y->keys.size()) return false;
    for (size_t i = 0; i < x->keys.size(); ++i) {
      budget -= static_cast<int64_t>(y->keys.size()); // the lookup below is a linear search
      if (budget < 0 || !same_value(a, &x->items[i], b, y->get(x->keys[i]), budget)) return false;
    }
    return true;
  default:
    return false;
  }
}

// The entries of a name map of the input (direct or referenced), each name once.
struct map_entries {
  std::vector<std::pair<std::string, const pdf_value*>> list;
  std::unordered_map<std::string, const pdf_value*> of;
};

map_entries entries_of(edit_ctx& ctx, const pdf_value* map) {
  map_entries out;
  const pdf_value* m = resolved_tree(ctx, map, pdf_value::kind::dict);
  if (!m) return out;
  for (size_t k = 0; k < m->keys.size(); ++k) {
    ++ctx.keep.memo.steps;
    if (out.of.emplace(m->keys[k], &m->items[k]).second)
      out.list.emplace_back(m->keys[k], &m->items[k]);
  }
  return out;
}

// The role a structure type is mapped to: a name, without its slash; empty for anything else.
std::string role_of(edit_ctx& ctx, const pdf_value* v) {
  const pdf_value* r = resolved_tree(ctx, v, pdf_value::kind::atom);
  return r && r->text.size() > 1 && r->text[0] == '/' ? r->text.substr(1) : std::string();
}

} // namespace

void merge_role_map(edit_ctx& ctx, size_t input, const pdf_value& root, structure_plan& sp) {
  map_entries mine = entries_of(ctx, root.get("RoleMap"));
  std::unordered_map<std::string, std::string> role;
  std::unordered_map<std::string, std::vector<std::string>> users; // a role -> names mapped to it
  for (const auto& [name, v] : mine.list) {
    std::string r = role_of(ctx, v);
    if (r.empty()) continue;
    users[r].push_back(name);
    role.emplace(name, std::move(r));
  }
  // A name the merged map holds with another role is renamed; so, then, is every name of this
  // input mapped to a renamed one, whose role is then another name.
  std::unordered_set<std::string> renamed;
  std::vector<std::string> work;
  for (const auto& [name, r] : role)
    if (auto at = sp.role_index.find(name);
        at != sp.role_index.end() && sp.roles[at->second].value.text != "/" + r) {
      renamed.insert(name);
      work.push_back(name);
    }
  while (!work.empty()) {
    const std::string name = std::move(work.back());
    work.pop_back();
    for (const std::string& user : users[name])
      if (role.contains(user) && sp.role_index.contains(user) && renamed.insert(user).second)
        work.push_back(user);
  }
  std::unordered_map<std::string, std::string>& renames = ctx.keep.structure.roles;
  const auto taken = [&](const std::string& n) {
    return sp.role_index.contains(n) || role.contains(n);
  };
  for (const auto& [name, v] : mine.list)
    if (renamed.contains(name)) renames.emplace(name, fresh_name(ctx, sp, name, taken));
  const auto as_written = [&](const std::string& n) {
    const auto r = renames.find(n);
    return r == renames.end() ? n : r->second;
  };
  for (const auto& [name, v] : mine.list) {
    const auto r = role.find(name);
    if (r == role.end()) continue;
    const std::string key = as_written(name);
    if (sp.role_index.emplace(key, sp.roles.size()).second)
      sp.roles.push_back({key, input, pdf_value::atom("/" + as_written(r->second))});
  }
}

void merge_class_map(std::vector<merge_input>& inputs, std::vector<input_keep>& keeps, size_t input,
                     const pdf_value& root, structure_plan& sp, std::vector<int32_t>& seeds) {
  edit_ctx ctx{inputs[input].d, keeps[input]};
  map_entries mine = entries_of(ctx, root.get("ClassMap"));
  std::unordered_map<std::string, std::string>& renames = ctx.keep.structure.classes;
  const auto taken = [&](const std::string& n) {
    return sp.class_index.contains(n) || mine.of.contains(n);
  };
  for (const auto& [name, v] : mine.list) {
    std::string key = name;
    if (const auto at = sp.class_index.find(name); at != sp.class_index.end()) {
      const structure_plan::named& held = sp.classes[at->second];
      edit_ctx other{inputs[held.input].d, keeps[held.input]};
      int64_t budget = 4096;
      // The first input's entry stands for both when the two mean the same.
      if (same_value(other, &held.value, ctx, v, budget)) continue;
      key = fresh_name(ctx, sp, name, taken);
      renames.emplace(name, key);
    }
    pdf_value value = *v;
    edit_kept_value(ctx, value);
    collect_refs_of(value, seeds);
    sp.class_index.emplace(key, sp.classes.size());
    sp.classes.push_back({std::move(key), input, std::move(value)});
  }
}

void rename_element_names(const structure_keep& sk, pdf_value& elem) {
  if (!sk.roles.empty())
    if (pdf_value* s = elem.get("S"); s && s->is(pdf_value::kind::atom) && s->text.size() > 1)
      if (const auto r = sk.roles.find(s->text.substr(1)); r != sk.roles.end())
        s->text = "/" + r->second;
  if (sk.classes.empty()) return;
  pdf_value* c = elem.get("C");
  if (!c) return;
  auto rename = [&](pdf_value& name) {
    if (!name.is(pdf_value::kind::atom) || name.text.size() < 2 || name.text[0] != '/') return;
    if (const auto r = sk.classes.find(name.text.substr(1)); r != sk.classes.end())
      name.text = "/" + r->second;
  };
  if (c->is(pdf_value::kind::array))
    for (pdf_value& item : c->items) rename(item);
  else
    rename(*c);
}

void claim_element_id(edit_ctx& ctx, size_t input, structure_plan& sp, int32_t num,
                      const pdf_value& elem) {
  const pdf_value* given = resolved_tree(ctx, elem.get("ID"), pdf_value::kind::atom);
  std::optional<std::string> id = given ? string_bytes(*given) : std::nullopt;
  if (!id) return;
  std::unordered_map<std::string, std::string>& renames = ctx.keep.structure.ids;
  if (renames.contains(*id)) return; // a repeat, within this input, of an ID it renamed
  const auto [owner, added] = sp.id_owner.emplace(*id, input);
  if (added) {
    sp.ids.push_back({std::move(*id), input, num});
    return;
  }
  // The same ID twice in one input is left as the input has it.
  if (owner->second == input) return;
  std::string fresh =
      fresh_name(ctx, sp, *id, [&](const std::string& n) { return sp.id_owner.contains(n); });
  sp.id_owner.emplace(fresh, input);
  renames.emplace(std::move(*id), fresh);
  sp.ids.push_back({std::move(fresh), input, num});
}

namespace {

pdf_value hex_string(const std::string& s) {
  std::string text;
  append_hex_string(text, as_bytes(s));
  return pdf_value::atom(text);
}

// Renames the IDs that table cells' /Headers attributes name, anywhere in the value.
void rename_headers(const structure_keep& sk, pdf_value& v) {
  if (v.is(pdf_value::kind::dict))
    if (pdf_value* headers = v.get("Headers"); headers && headers->is(pdf_value::kind::array))
      for (pdf_value& h : headers->items)
        if (const std::optional<std::string> id = string_bytes(h))
          if (const auto r = sk.ids.find(*id); r != sk.ids.end()) h = hex_string(r->second);
  for (pdf_value& item : v.items) rename_headers(sk, item);
}

} // namespace

void rename_ids(const structure_keep& sk, int32_t num, pdf_value& v) {
  if (sk.elements.contains(num))
    if (pdf_value* id = v.get("ID"))
      if (const std::optional<std::string> bytes = string_bytes(*id))
        if (const auto r = sk.ids.find(*bytes); r != sk.ids.end()) *id = hex_string(r->second);
  rename_headers(sk, v);
}

} // namespace pdfmerge
