// Which held objects are written under which numbers, the text each is written with, and the
// order in which they are packed.
#include "pdfmerge/merge/compact.h"

#include <algorithm>
#include <charconv>

namespace pdfmerge {
namespace {

bool current(const held_output& h, const object_graph& g, size_t i) {
  const int32_t num = h.objects[i].num;
  return num > 0 && g.index_of[static_cast<size_t>(num)] == static_cast<int32_t>(i);
}

// Depth-first from the references of `from`, in text order: every object reached that is not
// yet visited is appended to `order`.
void reach_from(const object_graph& g, std::span<const int32_t> rep, int32_t from,
                std::vector<uint8_t>& visited, std::vector<int32_t>& order,
                std::vector<int32_t>& stack) {
  auto push_refs = [&](int32_t i) {
    for (int32_t e = g.edge_begin[static_cast<size_t>(i) + 1];
         e-- > g.edge_begin[static_cast<size_t>(i)];) {
      const int32_t to = rep[static_cast<size_t>(g.heads[static_cast<size_t>(e)])];
      if (!visited[static_cast<size_t>(to)]) stack.push_back(to);
    }
  };
  push_refs(from);
  while (!stack.empty()) {
    const int32_t i = stack.back();
    stack.pop_back();
    if (visited[static_cast<size_t>(i)]) continue;
    visited[static_cast<size_t>(i)] = 1;
    order.push_back(i);
    push_refs(i);
  }
}

} // namespace

held_plan plan_as_held(const held_output& h, const object_graph& g) {
  held_plan plan;
  plan.out_num.assign(h.objects.size(), 0);
  for (size_t i = 0; i < h.objects.size(); ++i)
    if (current(h, g, i)) plan.out_num[i] = h.objects[i].num;
  plan.size = static_cast<int32_t>(g.index_of.size());
  return plan;
}

held_plan plan_shared(const held_output& h, const object_graph& g,
                      std::span<const int32_t> representative) {
  held_plan plan;
  plan.rebuild = true;
  plan.out_num.assign(h.objects.size(), 0);
  // index_of lists the current objects in number order.
  int32_t next = 1;
  for (int32_t i : g.index_of)
    if (i >= 0 && representative[static_cast<size_t>(i)] == i)
      plan.out_num[static_cast<size_t>(i)] = next++;
  plan.size = next;
  return plan;
}

void append_held_text(std::string& out, const held_output& h, const object_graph& g,
                      const held_plan& plan, size_t i, std::span<const int32_t> representative) {
  if (!plan.rebuild) {
    out += h.objects[i].text;
    return;
  }
  const std::string_view literal = literal_of(g, i);
  size_t copied = 0;
  for (int32_t e = g.edge_begin[i]; e < g.edge_begin[i + 1]; ++e) {
    const auto cut = static_cast<size_t>(g.cuts[static_cast<size_t>(e)]);
    out.append(literal.substr(copied, cut - copied));
    copied = cut;
    const int32_t to = representative[static_cast<size_t>(g.heads[static_cast<size_t>(e)])];
    char digits[16];
    out.append(
        digits,
        std::to_chars(digits, digits + sizeof digits, plan.out_num[static_cast<size_t>(to)]).ptr);
    out += " 0 R";
  }
  out.append(literal.substr(copied));
}

std::string held_text(const held_output& h, const object_graph& g, const held_plan& plan, size_t i,
                      std::span<const int32_t> representative) {
  std::string out;
  append_held_text(out, h, g, plan, i, representative);
  return out;
}

std::vector<int32_t> page_order(const held_output& h, const object_graph& g, const held_plan& plan,
                                std::span<const int32_t> representative, int32_t total_pages) {
  std::vector<uint8_t> visited(h.objects.size(), 0);
  for (size_t i = 0; i < h.objects.size(); ++i)
    if (plan.out_num[i] <= 0) visited[i] = 1;
  std::vector<int32_t> order;
  order.reserve(h.objects.size());
  std::vector<int32_t> stack;
  auto object_numbered = [&](int64_t num) -> int32_t {
    return num < static_cast<int64_t>(g.index_of.size()) ? g.index_of[static_cast<size_t>(num)]
                                                         : -1;
  };
  // The catalog, the page tree and the pages come first and bound each page's walk.
  std::vector<int32_t> top;
  for (int64_t num = 1; num <= int64_t{total_pages} + 2; ++num) {
    const int32_t i = object_numbered(num);
    if (i < 0 || visited[static_cast<size_t>(i)]) continue;
    visited[static_cast<size_t>(i)] = 1;
    top.push_back(i);
  }
  for (size_t k = 0; k < top.size(); ++k) {
    order.push_back(top[k]);
    if (h.objects[static_cast<size_t>(top[k])].num > 2)
      reach_from(g, representative, top[k], visited, order, stack);
  }
  for (int32_t i : top)
    if (h.objects[static_cast<size_t>(i)].num <= 2)
      reach_from(g, representative, i, visited, order, stack);
  for (size_t i = 0; i < h.objects.size(); ++i)
    if (!visited[i]) order.push_back(static_cast<int32_t>(i));
  return order;
}

} // namespace pdfmerge
