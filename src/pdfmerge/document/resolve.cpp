// The value an entry stands for: the value itself, or the value of the object that a reference
// names, followed from reference to reference. One function, in steps of one getter each (the
// reference a value is, the definition of a number, the text of that definition), so that the
// readers that resolve entries differ only in the rule they pass.
#include "pdfmerge/document/document.h"

#include <algorithm>

namespace pdfmerge {
namespace {

// The last definition in the file itself (not inside an object stream) of `num`: the one that
// object selection keeps, asked for before the table is settled. Through the document's index
// when the reader built it, so that many references cost no scan each.
const obj_entry* last_plain_definition(const doc& d, int32_t num) noexcept {
  if (d.last_plain) {
    const auto& v = d.last_plain->by_num; // one entry per number
    const auto it = std::lower_bound(v.begin(), v.end(), num, [&](const auto& entry, int32_t n) {
      ++d.work.compared;
      return entry.first < n;
    });
    if (it == v.end() || it->first != num || static_cast<size_t>(it->second) >= d.objects.size())
      return nullptr;
    return &d.objects[static_cast<size_t>(it->second)];
  }
  d.work.compared += d.objects.size();
  const obj_entry* found = nullptr;
  for (const obj_entry& e : d.objects)
    if (e.num == num && !e.in_objstm) found = &e;
  return found;
}

} // namespace

int32_t reference_of(bytes value, reference_form form) noexcept {
  if (value.empty() || !is_digit(value[0])) return -1;
  if (form == reference_form::loose_whole) {
    const ref_match m = ref_at(value, 0, size_of(value));
    return m.found && m.after == size_of(value) ? m.num : -1;
  }
  int32_t after = 0;
  const int32_t num = strict_ref_at(value, 0, size_of(value), after);
  if (form == reference_form::strict_whole && after != size_of(value)) return -1;
  return num;
}

const obj_entry* definition_of(const doc& d, int32_t num, definition which) noexcept {
  return which == definition::selected ? obj_lookup(d, num) : last_plain_definition(d, num);
}

bytes definition_text(const doc& d, const obj_entry& e, target_text text) noexcept {
  const bytes body = object_body(d.file(), e);
  const int32_t start = skip_ws(body, 0, size_of(body));
  if (text == target_text::whole_body) return body.subspan(static_cast<size_t>(start));
  const int32_t stop = value_end(body, start, size_of(body));
  if (stop <= start) return {};
  return body.subspan(static_cast<size_t>(start), static_cast<size_t>(stop - start));
}

bytes object_text(const doc& d, int32_t num, const resolve_rule& rule) noexcept {
  const obj_entry* e = definition_of(d, num, rule.which);
  if (!e || (e->has_stream && !rule.stream_targets)) return {};
  return definition_text(d, *e, rule.text);
}

bytes resolve_value(const doc& d, bytes value, const resolve_rule& rule) noexcept {
  for (int32_t hop = 0;; ++hop) {
    const int32_t num = reference_of(value, rule.form);
    if (num < 0) return value;
    if (hop == rule.hops) return rule.give_up_past_hops ? bytes{} : value;
    value = object_text(d, num, rule);
  }
}

} // namespace pdfmerge
