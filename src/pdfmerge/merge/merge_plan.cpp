// The objects each input's pages need, and the output number of everything that is written.
#include "pdfmerge/merge/merge.h"
#include "pdfmerge/pages/pages.h"

#include <unordered_set>

namespace pdfmerge {
namespace {

// The numbers already in the copy list: one byte per object number of the document, and a set
// for numbers outside that range (references to objects the document does not have).
class membership {
public:
  explicit membership(int32_t max_num) : seen_(static_cast<size_t>(max_num) + 1, 0) {}

  // True when n was not yet a member.
  bool insert(int32_t n) {
    if (n >= 0 && static_cast<size_t>(n) < seen_.size()) {
      if (seen_[static_cast<size_t>(n)]) return false;
      seen_[static_cast<size_t>(n)] = 1;
      return true;
    }
    return others_.insert(n).second;
  }

private:
  std::vector<uint8_t> seen_;
  std::unordered_set<int32_t> others_;
};

bytes span_bytes(const dict_span& sp) {
  if (sp.end <= sp.start) return {};
  return sp.text.subspan(static_cast<size_t>(sp.start), static_cast<size_t>(sp.end - sp.start));
}

// The text whose references a copied object passes on: its dictionary span (which stops before
// a stream's data), or for an object without a dictionary its whole body.
bytes scanned_text(const doc& d, const obj_entry& e) {
  dict_span sp;
  if (dict_span_of(d.file(), e, sp)) return span_bytes(sp);
  return object_body(d.file(), e);
}

// The reference that a stream's own /Length holds: the writer gives every stream a direct
// length, so the object holding it is not copied for it. The range of the reference in `text`,
// or an empty range.
std::pair<int32_t, int32_t> length_ref(const obj_entry& e, bytes text) {
  if (!e.has_stream || e.in_objstm) return {0, 0};
  const int32_t end = size_of(text);
  const int32_t key = find_own_key(text, 0, end, "Length");
  if (key < 0) return {0, 0};
  const int32_t v = value_after_name(text, key, "Length", end);
  if (v >= end || !is_digit(byte_at(text, v))) return {0, 0};
  const ref_match m = ref_at(text, v, end);
  return m.found ? std::make_pair(v, m.after) : std::make_pair(0, 0);
}

void add_refs(bytes text, std::vector<int32_t>& found, membership& members,
              std::vector<int32_t>& list, std::pair<int32_t, int32_t> skip = {0, 0}) {
  found.clear();
  collect_refs(text, 0, skip.first < skip.second ? skip.first : size_of(text), found);
  if (skip.first < skip.second) collect_refs(text, skip.second, size_of(text), found);
  for (int32_t r : found)
    if (members.insert(r)) list.push_back(r);
}

} // namespace

std::vector<int32_t> copy_list_of(const doc& d, std::span<const int32_t> more) {
  std::vector<int32_t> list;
  std::vector<int32_t> found;
  membership members(d.max_num);
  for (const pageinfo& page : d.pages) {
    const obj_entry* e = obj_lookup(d, page.num);
    dict_span sp;
    if (!e || !dict_span_of(d.file(), *e, sp)) continue;
    const bytes res = page_resources(d, sp, page.num);
    if (!res.empty()) add_refs(res, found, members, list);
    // Content written raw keeps its /Filter and /DecodeParms, and with them what they
    // reference (a JBIG2 stream's /JBIG2Globals, parameters held in an object of their own).
    const obj_entry* content = single_content_stream(d, page.num);
    if (!content) continue;
    const stream_filters f = filters_of(d, *content);
    if (!f.kept) continue;
    add_refs(f.filter, found, members, list);
    add_refs(f.parms, found, members, list);
  }
  // Breadth-first: the list is the queue, and grows while it is walked.
  size_t k = 0;
  auto walk = [&] {
    for (; k < list.size(); ++k) {
      const obj_entry* e = obj_lookup(d, list[k]);
      if (!e) continue;
      const bytes text = scanned_text(d, *e);
      if (!text.empty()) add_refs(text, found, members, list, length_ref(*e, text));
    }
  };
  walk();
  // What the pages reach keeps its numbers; the further objects follow.
  for (int32_t n : more)
    if (members.insert(n)) list.push_back(n);
  walk();
  return list;
}

int64_t merge_plan(std::vector<merge_input>& inputs, int32_t total_pages) {
  // Every number takes a 20-byte line of the cross-reference table, so a table larger than
  // this could never be written.
  constexpr int64_t max_size = static_cast<int64_t>(output_limit / 20);
  int64_t next = 2 * int64_t{total_pages} + 3;
  if (next > max_size) return -1;
  for (merge_input& in : inputs) {
    std::vector<int32_t> list = copy_list_of(in.d, optional_content_refs(in.d));
    if (next + static_cast<int64_t>(list.size()) > max_size) return -1;
    const int64_t count = static_cast<int64_t>(list.size());
    renumber_map_set(in.map, std::move(list), static_cast<int32_t>(next));
    next += count;
  }
  return next;
}

} // namespace pdfmerge
