// Rewriting the references of copied text to output numbers.
#include "pdfmerge/pdfmerge_internal.h"

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
  const int32_t end = static_cast<int32_t>(text.size());
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 16);
  int32_t i = 0;
  while (i < end) {
    const int32_t plain_from = i;
    while (i < end && !is_digit(byte_at(text, i))) ++i;
    out.append(reinterpret_cast<const char*>(text.data()) + plain_from,
               static_cast<size_t>(i - plain_from));
    if (i >= end) break;
    const ref_match m = ref_at(text, i, end);
    const int32_t new_num = m.found ? renumber_lookup(map, m.num) : -1;
    if (new_num > 0) {
      char digits[16];
      out.append(digits, std::to_chars(digits, digits + sizeof digits, new_num).ptr);
      out += " 0 R";
      i = m.after;
    } else {
      out.append(reinterpret_cast<const char*>(text.data()) + i,
                 static_cast<size_t>(m.digits_end - i));
      i = m.digits_end;
    }
  }
  return out;
}

} // namespace pdfmerge
