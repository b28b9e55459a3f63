// Taking a /Crypt filter out of a stream dictionary written without encryption: a viewer would
// otherwise look for a crypt filter in an output that has no /Encrypt, and warn or fail.
#include "pdfmerge/decrypt/decrypt.h"

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace pdfmerge {
namespace {

// Where an own entry of the dictionary lies: the key's '/', the value, and past the value.
struct entry_span {
  int32_t key = -1;
  int32_t value = -1;
  int32_t stop = -1;
};

entry_span own_entry(bytes text, std::string_view name) {
  const int32_t end = size_of(text);
  const int32_t key = find_own_key(text, 0, end, name);
  if (key < 0) return {};
  const int32_t v = value_after_name(text, key, name, end);
  const int32_t stop = v < end ? value_end(text, v, end) : -1;
  if (stop <= v) return {};
  return {key, v, stop};
}

// The elements of the array whose '[' is at `open` and which ends before `stop`.
std::vector<std::pair<int32_t, int32_t>> elements(bytes text, int32_t open, int32_t stop) {
  std::vector<std::pair<int32_t, int32_t>> out;
  const int32_t end = stop - 1; // the ']'
  for (int32_t i = skip_ws(text, open + 1, end); i < end; i = skip_ws(text, i, end)) {
    if (byte_at(text, i) == '%') {
      i = comment_end(text, i, end);
      continue;
    }
    const int32_t e = value_end(text, i, end);
    if (e <= i) { // a stray byte: no element
      ++i;
      continue;
    }
    out.emplace_back(i, e);
    i = e;
  }
  return out;
}

struct cut {
  int32_t from = 0;
  int32_t to = 0;
};

// The cut that takes the first element out of the array value of `entry`, or the whole entry
// when that element is its only one (or it is no array and `whole` is asked for).
std::optional<cut> first_element_cut(bytes text, const entry_span& entry, bool whole_otherwise) {
  if (byte_at(text, entry.value) != '[')
    return whole_otherwise ? std::optional<cut>(cut{entry.key, entry.stop}) : std::nullopt;
  const auto items = elements(text, entry.value, entry.stop);
  if (items.size() <= 1) return cut{entry.key, entry.stop};
  return cut{items[0].first, items[1].first};
}

} // namespace

void crypt_filter_drop(const doc& d, const obj_entry& e, std::string& dict) {
  if (!crypt_filter_undone(d, e)) return;
  const bytes text = as_bytes(dict);
  const entry_span filter = own_entry(text, "Filter");
  if (filter.key < 0) return;
  // The text to write names the same filters as the file's dictionary; it is checked all the
  // same, so that nothing but a /Crypt stage is ever cut.
  int32_t first = filter.value;
  int32_t first_end = filter.stop;
  if (byte_at(text, filter.value) == '[') {
    const auto items = elements(text, filter.value, filter.stop);
    if (items.empty()) return;
    std::tie(first, first_end) = items[0];
  }
  if (as_chars(text.subspan(static_cast<size_t>(first), static_cast<size_t>(first_end - first))) !=
      "/Crypt")
    return;
  std::vector<cut> cuts;
  const std::optional<cut> filter_cut = first_element_cut(text, filter, true);
  cuts.push_back(*filter_cut);
  const bool no_filter_left = filter_cut->from == filter.key;
  // The parameters of the /Crypt stage: the first element of an array, else the whole value
  // when it is a dictionary (as the crypt filter was read) or no filter is left to use it.
  if (const entry_span parms = own_entry(text, "DecodeParms"); parms.key >= 0) {
    const bool is_dict = parms.stop - parms.value >= 2 && byte_at(text, parms.value) == '<';
    if (const auto c = first_element_cut(text, parms, is_dict || no_filter_left))
      cuts.push_back(*c);
  }
  std::sort(cuts.begin(), cuts.end(), [](const cut& a, const cut& b) { return a.from > b.from; });
  for (const cut& c : cuts)
    dict.erase(static_cast<size_t>(c.from), static_cast<size_t>(c.to - c.from));
}

} // namespace pdfmerge
