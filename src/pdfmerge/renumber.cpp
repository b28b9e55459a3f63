// Indirect references in PDF text: finding them, and rewriting them to output numbers.
#include "pdfmerge/pdfmerge_internal.h"

#include <charconv>

namespace pdfmerge {
namespace {

uint8_t byte_at(bytes text, int32_t i) {
  return text[static_cast<size_t>(i)];
}

int32_t skip_pdf_ws(bytes text, int32_t i, int32_t end) {
  while (i < end && is_pdf_ws(byte_at(text, i))) ++i;
  return i;
}

int32_t skip_digits(bytes text, int32_t i, int32_t end) {
  while (i < end && is_digit(byte_at(text, i))) ++i;
  return i;
}

} // namespace

ref_match ref_at(bytes text, int32_t i, int32_t end) noexcept {
  if (end > static_cast<int32_t>(text.size())) end = static_cast<int32_t>(text.size());
  ref_match m;
  uint32_t value = 0;
  int32_t p = i;
  for (; p < end && is_digit(byte_at(text, p)); ++p)
    value = value * 10u + static_cast<uint32_t>(byte_at(text, p) - '0');
  m.num = static_cast<int32_t>(value);
  m.digits_end = p;
  p = skip_pdf_ws(text, p, end);
  p = skip_digits(text, p, end);
  p = skip_pdf_ws(text, p, end);
  if (p >= end || byte_at(text, p) != 'R') return m;
  if (p + 1 < end && is_alnum(byte_at(text, p + 1))) return m;
  m.found = true;
  m.after = p + 1;
  return m;
}

void collect_refs(bytes text, int32_t start, int32_t end, std::vector<int32_t>& found) {
  if (end > static_cast<int32_t>(text.size())) end = static_cast<int32_t>(text.size());
  int32_t i = start < 0 ? 0 : start;
  while (i < end) {
    if (!is_digit(byte_at(text, i))) {
      ++i;
      continue;
    }
    const ref_match m = ref_at(text, i, end);
    if (m.found) found.push_back(m.num);
    i = m.found ? m.after : m.digits_end;
  }
}

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

std::string remap_res_text(bytes text, const renumber_map& map) {
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
