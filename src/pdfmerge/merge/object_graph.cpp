// The references between the held objects of an output, read as the output file reads them.
#include "pdfmerge/merge/compact.h"

#include <algorithm>

namespace pdfmerge {
namespace {

// A reference to a number that no object has stands for null; it is written so, with white
// space where the bytes around it would otherwise run into it.
void append_null(std::string& literal, bytes text, int32_t after) {
  if (!literal.empty() && is_regular(static_cast<uint8_t>(literal.back()))) literal += ' ';
  literal += "null";
  if (after < size_of(text) && is_regular(byte_at(text, after))) literal += ' ';
}

// Where a stream dictionary's own /Length entry stands in `text`: the key through the white
// space after its value. (0, 0) when it has none.
std::pair<int32_t, int32_t> length_entry_in(bytes text) {
  const int32_t end = size_of(text);
  const int32_t key = find_own_key(text, 0, end, "Length");
  if (key < 0) return {0, 0};
  const int32_t value = skip_ws(text, past_name(key, "Length"), end);
  const int32_t stop = value_end(text, value, end);
  if (stop <= value) return {0, 0};
  return {key, skip_ws(text, stop, end)};
}

} // namespace

object_graph graph_of(const held_output& h) {
  object_graph g;
  int32_t max_num = 0;
  for (const held_object& o : h.objects) max_num = std::max(max_num, o.num);
  g.index_of.assign(static_cast<size_t>(max_num) + 1, -1);
  for (size_t i = 0; i < h.objects.size(); ++i)
    if (h.objects[i].num > 0)
      g.index_of[static_cast<size_t>(h.objects[i].num)] = static_cast<int32_t>(i);
  g.edge_begin.reserve(h.objects.size() + 1);
  g.literal_begin.reserve(h.objects.size() + 1);
  g.length_entry.reserve(h.objects.size());
  for (const held_object& o : h.objects) {
    g.edge_begin.push_back(static_cast<int32_t>(g.heads.size()));
    const size_t begin = g.literals.size();
    g.literal_begin.push_back(begin);
    const bytes text = as_bytes(o.text);
    const int32_t end = size_of(text);
    const std::pair<int32_t, int32_t> length = o.stream ? length_entry_in(text) : std::pair{0, 0};
    std::pair<int32_t, int32_t> length_in_literal{0, 0};
    int32_t copied = 0;
    // Copies text[copied, to) into the literal, and notes where the /Length entry lands when it
    // lies within that piece.
    auto copy_to = [&](int32_t to) {
      if (length.second > length.first && length.first >= copied && length.second <= to) {
        const auto at = static_cast<int32_t>(g.literals.size() - begin) + length.first - copied;
        length_in_literal = {at, at + length.second - length.first};
      }
      g.literals.append(
          as_chars(text.subspan(static_cast<size_t>(copied), static_cast<size_t>(to - copied))));
    };
    for (int32_t p = next_number(text, 0, end); p < end; p = next_number(text, p, end)) {
      const ref_match m = ref_at(text, p, end);
      if (!m.found) {
        // As the renumbering reads it: a reference form whose number is too large is stepped
        // over whole, so that its generation is not read as a reference of its own.
        p = m.after > m.digits_end ? m.after : m.digits_end;
        continue;
      }
      copy_to(p);
      const int32_t target =
          m.num > 0 && m.num <= max_num ? g.index_of[static_cast<size_t>(m.num)] : -1;
      if (target >= 0) {
        g.cuts.push_back(static_cast<int32_t>(g.literals.size() - begin));
        g.heads.push_back(target);
      } else {
        append_null(g.literals, text, m.after);
      }
      copied = p = m.after;
    }
    copy_to(end);
    g.length_entry.push_back(length_in_literal);
  }
  g.edge_begin.push_back(static_cast<int32_t>(g.heads.size()));
  g.literal_begin.push_back(g.literals.size());
  return g;
}

} // namespace pdfmerge
