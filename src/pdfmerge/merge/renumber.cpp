// Rewriting the references of copied text to output numbers.
#include "pdfmerge/merge/merge.h"

#include <charconv>

namespace pdfmerge {

void renumber_map_set(renumber_map& map, std::vector<int32_t> old_nums, int32_t first_new) {
  map.new_nums.resize(old_nums.size());
  map.new_of.clear();
  map.new_of.reserve(old_nums.size());
  for (size_t k = 0; k < old_nums.size(); ++k) {
    map.new_nums[k] = first_new + static_cast<int32_t>(k);
    map.new_of.emplace(old_nums[k], map.new_nums[k]); // the first entry of a number wins
  }
  map.old_nums = std::move(old_nums);
}

int32_t renumber_lookup(const renumber_map& map, int32_t old) noexcept {
  auto it = map.new_of.find(old);
  return it == map.new_of.end() ? -1 : it->second;
}

std::string renumbered_text(bytes text, const renumber_map& map) {
  const int32_t end = size_of(text);
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 16);
  auto copy = [&](int32_t from, int32_t to) {
    out.append(as_chars(text.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from))));
  };
  int32_t i = 0;
  while (i < end) {
    const int32_t number = next_number(text, i, end);
    copy(i, number);
    if (number >= end) break;
    const ref_match m = ref_at(text, number, end);
    const int32_t new_num = m.found ? renumber_lookup(map, m.num) : -1;
    if (new_num > 0) {
      char digits[16];
      out.append(digits, std::to_chars(digits, digits + sizeof digits, new_num).ptr);
      out += " 0 R";
      i = m.after;
    } else {
      // A number that is no reference is copied; so is the whole of a reference form whose
      // number is too large, so that its generation is not read as a reference of its own.
      i = m.after > m.digits_end ? m.after : m.digits_end;
      copy(number, i);
    }
  }
  return out;
}

} // namespace pdfmerge
