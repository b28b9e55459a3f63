// One input's structure elements, walked once from its root in document order. A kid that stays
// is marked content on a page in the output (an MCID, or a marked-content reference whose page
// and stream are in the output), an object reference to an object in the output, or an element
// that keeps any of these; an element whose content is all gone is left behind, while one that
// had none in the input stays as it was. Each element is read once: one listed again (by a
// second parent, or in a loop) is left out there, so the output is a tree.
#include "pdfmerge/keep/keep.h"

#include <charconv>

namespace pdfmerge {
namespace {

bool is_type(const pdf_value& d, std::string_view type) {
  const pdf_value* t = d.get("Type");
  return t && t->is_atom(type);
}

enum class kid_kind { mcr, objr, element, other };

kid_kind kind_of(const pdf_value& d) {
  if (is_type(d, "/MCR")) return kid_kind::mcr;
  if (is_type(d, "/OBJR")) return kid_kind::objr;
  if (d.get("S")) return kid_kind::element;
  if (d.get("MCID")) return kid_kind::mcr;
  if (d.get("Obj")) return kid_kind::objr;
  return kid_kind::other;
}

bool is_mcid(const pdf_value& v) {
  if (!v.is(pdf_value::kind::atom) || v.text.empty()) return false;
  for (char c : v.text)
    if (c < '0' || c > '9') return false;
  return true;
}

int32_t ref_num(const pdf_value* v) {
  return v && v->is(pdf_value::kind::ref) ? v->num : 0;
}

// One element being walked: its kids are read one at a time, and what stays gathered.
struct frame {
  int32_t num = 0; // its object; 0 for an element written inside its parent, -1 for the root
  const pdf_value* elem = nullptr;
  const pdf_value* kids = nullptr; // the items of /K
  size_t count = 0;
  size_t next = 0;
  bool kids_array = false; // /K was an array
  pdf_value self;          // the /P its kids are written with
  int32_t page = 0;        // the page its MCIDs lie on (its own /Pg or its parent's), 0 unknown
  std::vector<pdf_value> out;
  std::vector<int32_t> children; // kept element objects among its kids, or below inline ones
  bool had = false;              // content in the input
  bool has = false;              // content in the output

  const pdf_value& kid(size_t k) const { return kids_array ? kids->items[k] : *kids; }
};

struct tree_walk {
  edit_ctx& ctx;
  const renumber_map& map;
  std::optional<pdf_value> lang; // /Lang for the top-level elements, when the input needs one
  content_owners& owners;
  std::vector<frame> stack{};
  std::unordered_set<int32_t> seen{};
  std::unordered_map<int32_t, std::vector<int32_t>> children{}; // kept element -> its kids
  std::vector<pdf_value> top{};                                 // the root's kids kept
  std::vector<int32_t> top_children{};

  bool page_in(int32_t page) const { return page == 0 || ctx.keep.page_new.contains(page); }

  // An object in the output that an object reference may name: a kept annotation, a copied
  // XObject, anything numbered that is no page.
  bool object_in(int32_t num) const {
    return num > 0 && !ctx.keep.page_new.contains(num) && renumber_lookup(map, num) > 0;
  }

  bool content_kept(kid_kind kind, const pdf_value& d, int32_t page) const {
    if (kind == kid_kind::objr) return object_in(ref_num(d.get("Obj")));
    const int32_t own = ref_num(d.get("Pg"));
    if (!page_in(own ? own : page)) return false;
    const pdf_value* stm = d.get("Stm");
    return !stm || object_in(ref_num(stm));
  }

  void push(int32_t num, const pdf_value& elem, const frame& parent) {
    frame f;
    f.num = num;
    f.elem = &elem;
    f.self = num > 0 ? pdf_value{pdf_value::kind::ref, num, {}, {}, {}} : parent.self;
    const int32_t own = ref_num(elem.get("Pg"));
    f.page = own ? own : parent.page;
    set_kids(f, elem.get("K"));
    stack.push_back(std::move(f));
  }

  void set_kids(frame& f, const pdf_value* k) {
    if (!k) return;
    if (k->is(pdf_value::kind::ref))
      if (const pdf_value* t = object_tree(ctx, k->num); t && t->is(pdf_value::kind::array)) k = t;
    f.kids = k;
    f.kids_array = k->is(pdf_value::kind::array);
    f.count = f.kids_array ? k->items.size() : 1;
  }

  // The element that the parent tree names for the frame's content: itself, or for one written
  // inside its parent the nearest element that is an object; 0 for none.
  static int32_t owner_of(const frame& f) {
    return f.self.is(pdf_value::kind::ref) ? f.self.num : 0;
  }

  // Notes kept content: marked content of a page or stream, or an object reference.
  void own(kid_kind kind, const pdf_value* d, const frame& f, const pdf_value* mcid) {
    const int32_t owner = owner_of(f);
    if (owner == 0) return;
    if (kind == kid_kind::objr) {
      if (const int32_t obj = ref_num(d->get("Obj"))) owners.objects.emplace(obj, owner);
      return;
    }
    const std::optional<int64_t> id = integer_of(mcid);
    int32_t holder = d ? ref_num(d->get("Stm")) : 0;
    if (holder == 0 && d) holder = ref_num(d->get("Pg"));
    if (holder == 0) holder = f.page;
    if (holder != 0 && id && *id >= 0) owners.marked[holder].emplace_back(*id, owner);
  }

  // Reads the next kid of the frame on top; may push a frame for a kid element.
  void step() {
    frame& f = stack.back();
    const pdf_value& kid = f.kid(f.next++);
    ++ctx.keep.memo.steps;
    const bool root = f.num < 0;
    if (is_mcid(kid)) {
      if (root) return;
      f.had = true;
      if (page_in(f.page)) {
        f.has = true;
        f.out.push_back(kid);
        own(kid_kind::mcr, nullptr, f, &kid);
      }
      return;
    }
    const pdf_value* d = &kid;
    if (kid.is(pdf_value::kind::ref)) d = object_tree(ctx, kid.num);
    if (!d || !d->is(pdf_value::kind::dict)) return;
    const kid_kind kind = kind_of(*d);
    if (kind == kid_kind::element) {
      if (kid.is(pdf_value::kind::ref) &&
          (is_structure(ctx, kid.num) || !seen.insert(kid.num).second))
        return;
      push(kid.is(pdf_value::kind::ref) ? kid.num : 0, *d, f);
      return;
    }
    if (root || kind == kid_kind::other) return;
    f.had = true;
    if (!content_kept(kind, *d, f.page)) return;
    f.has = true;
    f.out.push_back(kid);
    own(kind, d, f, d->get("MCID"));
  }

  // The element on top as written, its kids those kept.
  pdf_value written(frame& f, const pdf_value& parent_self, bool top_level) {
    pdf_value v = *f.elem;
    v.set("P", parent_self);
    if (f.out.empty())
      v.erase("K");
    else if (f.out.size() == 1 && !f.kids_array)
      v.set("K", std::move(f.out.front()));
    else
      v.set("K", pdf_value{pdf_value::kind::array, 0, {}, {}, std::move(f.out)});
    rename_element_names(ctx.keep.structure, v);
    if (top_level && lang && !v.get("Lang")) v.set("Lang", *lang);
    return v;
  }

  // The frame on top is read: it joins its parent's kids, or is left behind.
  void finish() {
    frame f = std::move(stack.back());
    stack.pop_back();
    if (f.num < 0) {
      top = std::move(f.out);
      top_children = std::move(f.children);
      return;
    }
    frame& parent = stack.back();
    parent.had = parent.had || f.had;
    if (f.had && !f.has) {
      if (f.num > 0) ctx.keep.structure.dropped.insert(f.num);
      return;
    }
    parent.has = parent.has || f.has;
    pdf_value v = written(f, parent.self, parent.num < 0);
    if (f.num == 0) {
      parent.out.push_back(std::move(v));
      parent.children.insert(parent.children.end(), f.children.begin(), f.children.end());
      return;
    }
    ctx.keep.structure.planned.insert_or_assign(f.num, std::move(v));
    children.emplace(f.num, std::move(f.children));
    parent.out.push_back(pdf_value{pdf_value::kind::ref, f.num, {}, {}, {}});
    parent.children.push_back(f.num);
  }

  void run(const pdf_value& root, int32_t root_num, int32_t out_root) {
    frame r;
    r.num = -1;
    r.elem = &root;
    r.self = pdf_value::output_ref(out_root);
    set_kids(r, root.get("K"));
    if (root_num > 0) seen.insert(root_num);
    stack.push_back(std::move(r));
    while (!stack.empty()) {
      if (stack.back().next < stack.back().count)
        step();
      else
        finish();
    }
  }
};

} // namespace

std::vector<pdf_value> walk_structure(edit_ctx& ctx, size_t input, structure_plan& sp,
                                      const renumber_map& map, const pdf_value& root,
                                      int32_t root_num, std::optional<pdf_value> lang,
                                      content_owners& owners, std::vector<int32_t>& seeds) {
  structure_keep& sk = ctx.keep.structure;
  tree_walk walk{ctx, map, std::move(lang), owners};
  walk.run(root, root_num, sp.root);
  // The elements in the output are those reached from the root through kept elements (an empty
  // element below one left behind is not); their IDs are claimed in document order.
  std::vector<int32_t> todo(walk.top_children.rbegin(), walk.top_children.rend());
  while (!todo.empty()) {
    const int32_t num = todo.back();
    todo.pop_back();
    ++ctx.keep.memo.steps;
    if (!sk.elements.insert(num).second) continue;
    seeds.push_back(num);
    claim_element_id(ctx, input, sp, num, sk.planned.at(num));
    const std::vector<int32_t>& below = walk.children[num];
    todo.insert(todo.end(), below.rbegin(), below.rend());
  }
  for (auto it = sk.planned.begin(); it != sk.planned.end();) {
    if (sk.elements.contains(it->first)) {
      ++it;
      continue;
    }
    sk.dropped.insert(it->first);
    it = sk.planned.erase(it);
  }
  return std::move(walk.top);
}

std::optional<int64_t> integer_of(const pdf_value* v) {
  if (!v || !v->is(pdf_value::kind::atom)) return std::nullopt;
  int64_t out = 0;
  const char* end = v->text.data() + v->text.size();
  const auto r = std::from_chars(v->text.data(), end, out);
  if (r.ec != std::errc() || r.ptr != end) return std::nullopt;
  return out;
}

} // namespace pdfmerge
