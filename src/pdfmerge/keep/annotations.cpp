// The pages' annotations: which objects each page lists, and the output page each belongs to.
#include "pdfmerge/decrypt/decrypt.h"
#include "pdfmerge/keep/keep.h"

#include <unordered_set>

namespace pdfmerge {
namespace {

// The members of the page's own /Annots (an array, or a reference to an array object).
std::vector<pdf_value> annots_of(const doc& d, int32_t page_num) {
  std::vector<pdf_value> out;
  const obj_entry* e = obj_lookup(d, page_num);
  dict_span sp;
  if (!e || !dict_span_of(d.file(), *e, sp)) return out;
  const bytes text = span_text(sp);
  const bytes value = own_value(text, sp.start, size_of(text), "Annots");
  if (value.empty()) return out;
  std::string plain; // the text with its strings decrypted, for an encrypted input
  const std::optional<pdf_value> parsed = parse_value(strings_decrypted(d, *e, value, plain));
  std::optional<pdf_value> list =
      parsed ? resolved_tree(d, &*parsed, pdf_value::kind::array) : std::nullopt;
  if (!list) return out;
  return std::move(list->items);
}

// An annotation worth keeping: an object that reads as a dictionary.
bool is_annotation(const doc& d, int32_t num) {
  const obj_entry* e = obj_lookup(d, num);
  if (!e || num == d.catalog_num || obj_type(d.file(), *e) != node_type::other) return false;
  const std::optional<pdf_value> v = object_tree(d, num);
  return v && v->is(pdf_value::kind::dict);
}

} // namespace

std::vector<int32_t> plan_annotations(edit_ctx& ctx, int32_t first_page) {
  const doc& d = ctx.d;
  input_keep& keep = ctx.keep;
  std::vector<int32_t> seeds;
  std::unordered_set<int32_t> listed; // the annotations of the page at hand
  keep.annots.resize(d.pages.size());
  for (size_t k = 0; k < d.pages.size(); ++k) {
    const int32_t page = first_page + static_cast<int32_t>(k);
    listed.clear();
    for (pdf_value& item : annots_of(d, d.pages[k].num)) {
      if (item.is(pdf_value::kind::dict)) {
        // An annotation written inside the array stays there, edited like the others.
        item.set("P", pdf_value::output_ref(page));
        edit_kept_value(ctx, item);
        collect_refs_of(item, seeds);
        keep.annots[k].push_back(std::move(item));
        continue;
      }
      if (!item.is(pdf_value::kind::ref)) continue;
      const int32_t a = item.num;
      // A page listed twice shares its annotations; their /P names the first listing.
      const bool first_use = !keep.annot_page.contains(a);
      if (first_use && (keep.page_new.contains(a) || !is_annotation(d, a))) continue;
      if (first_use) {
        keep.annot_page.emplace(a, page);
        seeds.push_back(a);
      }
      if (listed.insert(a).second) keep.annots[k].push_back(std::move(item));
    }
  }
  return seeds;
}

} // namespace pdfmerge
