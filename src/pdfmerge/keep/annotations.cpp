// The pages' annotations: which objects each page lists, and the output page each belongs to.
// An /Annots array object that several pages share is written once and referred to by each of
// them, so that the output grows with the input however many pages share one long array. An
// annotation's /P names a page that lists it: the page its input names when that page lists it,
// else the first page that does.
#include "pdfmerge/keep/keep.h"

#include "pdfmerge/decrypt/decrypt.h"

#include <unordered_set>

namespace pdfmerge {
namespace {

// A page's own /Annots: the members of a direct array, or the array object it refers to.
struct page_annots {
  std::vector<pdf_value> items; // a direct array's members
  int32_t array = 0;            // the referenced array object, 0 for a direct array or none
};

page_annots annots_of(edit_ctx& ctx, int32_t page_num) {
  page_annots out;
  const obj_entry* e = obj_lookup(ctx.d, page_num);
  dict_span sp;
  if (!e || !dict_span_of(ctx.d.file(), *e, sp)) return out;
  const bytes text = span_text(sp);
  const bytes value = own_value(text, sp.start, size_of(text), "Annots");
  if (value.empty()) return out;
  std::string plain; // the text with its strings decrypted, for an encrypted input
  std::optional<pdf_value> parsed = parse_value(strings_decrypted(ctx.d, *e, value, plain));
  if (!parsed) return out;
  if (parsed->is(pdf_value::kind::ref)) {
    if (resolved_tree(ctx, &*parsed, pdf_value::kind::array)) out.array = parsed->num;
  } else if (parsed->is(pdf_value::kind::array)) {
    out.items = std::move(parsed->items);
  }
  return out;
}

// An annotation worth keeping: an object that reads as a dictionary and is no page, page-tree
// node or other part of the file's structure.
bool is_annotation(edit_ctx& ctx, int32_t num) {
  if (is_structure(ctx, num)) return false;
  const pdf_value* v = object_tree(ctx, num);
  return v && v->is(pdf_value::kind::dict);
}

// Who lists what: the annotations of each source page, and the pages of each annotation.
struct listings {
  std::unordered_map<int32_t, std::unordered_set<int32_t>> of_page; // direct lists
  std::unordered_map<int32_t, int32_t> shared_of_page;              // page -> its shared array
  std::unordered_map<int32_t, std::unordered_set<int32_t>> of_array;
  std::unordered_map<int32_t, int32_t> first_page; // annotation -> first output page listing it
  std::vector<int32_t> order;                      // annotations in the order first listed

  bool page_lists(int32_t page, int32_t a) const {
    if (auto s = shared_of_page.find(page); s != shared_of_page.end())
      return of_array.at(s->second).contains(a);
    auto d = of_page.find(page);
    return d != of_page.end() && d->second.contains(a);
  }
};

// The members of a list as they are written: annotation references (each once) and annotation
// dictionaries written inside the array, edited with /P naming `page`.
struct list_builder {
  edit_ctx& ctx;
  listings& who;
  std::vector<int32_t>& seeds;

  // `members` gathers the annotations listed (each listing of a page lists each one once).
  std::vector<pdf_value> build(std::vector<pdf_value> items, int32_t page,
                               std::unordered_set<int32_t>& members) {
    std::unordered_set<int32_t> listed;
    std::vector<pdf_value> out;
    for (pdf_value& item : items) {
      if (item.is(pdf_value::kind::dict)) {
        item.set("P", pdf_value::output_ref(page));
        edit_kept_value(ctx, item);
        collect_refs_of(item, seeds);
        out.push_back(std::move(item));
        continue;
      }
      if (!item.is(pdf_value::kind::ref)) continue;
      const int32_t a = item.num;
      const bool first_use = !who.first_page.contains(a);
      if (first_use && (ctx.keep.page_new.contains(a) || !is_annotation(ctx, a))) continue;
      if (first_use) {
        who.first_page.emplace(a, page);
        who.order.push_back(a);
        seeds.push_back(a);
      }
      if (listed.insert(a).second) {
        members.insert(a);
        out.push_back(std::move(item));
      }
    }
    return out;
  }
};

// The array objects that more than one source page refers to.
std::unordered_set<int32_t> shared_arrays(const std::vector<page_annots>& per_listing,
                                          const pagevec& pages) {
  std::unordered_map<int32_t, int32_t> first_user;
  std::unordered_set<int32_t> shared;
  for (size_t k = 0; k < pages.size(); ++k) {
    const int32_t a = per_listing[k].array;
    if (a == 0) continue;
    const auto [it, added] = first_user.emplace(a, pages[k].num);
    if (!added && it->second != pages[k].num) shared.insert(a);
  }
  return shared;
}

// /P of every referenced annotation: the page its input names when that page lists it, else the
// first output page that lists it.
void place_annotations(edit_ctx& ctx, const listings& who) {
  for (int32_t a : who.order) {
    int32_t page = who.first_page.at(a);
    const pdf_value* tree = object_tree(ctx, a);
    const pdf_value* p = tree ? tree->get("P") : nullptr;
    if (p && p->is(pdf_value::kind::ref))
      if (auto named = ctx.keep.page_new.find(p->num);
          named != ctx.keep.page_new.end() && who.page_lists(p->num, a))
        page = named->second;
    ctx.keep.annot_page.emplace(a, page);
  }
}

} // namespace

std::vector<int32_t> plan_annotations(edit_ctx& ctx, int32_t first_page) {
  const pagevec& pages = ctx.d.pages;
  input_keep& keep = ctx.keep;
  std::vector<int32_t> seeds;
  std::vector<page_annots> per_listing(pages.size());
  for (size_t k = 0; k < pages.size(); ++k) per_listing[k] = annots_of(ctx, pages[k].num);
  const std::unordered_set<int32_t> shared = shared_arrays(per_listing, pages);

  listings who;
  list_builder lists{ctx, who, seeds};
  keep.annots.resize(pages.size());
  keep.annots_shared.assign(pages.size(), 0);
  for (size_t k = 0; k < pages.size(); ++k) {
    const int32_t page = first_page + static_cast<int32_t>(k);
    const int32_t array = per_listing[k].array;
    std::vector<pdf_value> items = std::move(per_listing[k].items);
    if (array != 0) {
      const pdf_value* tree = object_tree(ctx, array);
      if (shared.contains(array)) {
        keep.annots_shared[k] = array;
        who.shared_of_page.emplace(pages[k].num, array);
        if (!keep.shared_arrays.contains(array)) {
          seeds.push_back(array);
          keep.shared_arrays[array] = lists.build(tree->items, page, who.of_array[array]);
        }
        continue;
      }
      items = tree->items;
    }
    // A page listed twice shares its annotations; their /P names the first listing.
    keep.annots[k] = lists.build(std::move(items), page, who.of_page[pages[k].num]);
  }
  place_annotations(ctx, who);
  return seeds;
}

} // namespace pdfmerge
