// The key and value pairs of a name tree or a number tree, read in tree order with a bounded
// walk: each node once, at most `max_tree_nodes` nodes and `max_tree_depth_read` levels, so that
// a tree whose kids loop or fan out without end costs no more than the file holds.
#include "pdfmerge/keep/keep.h"

#include <unordered_set>

namespace pdfmerge {
namespace {

constexpr size_t max_tree_nodes = 1 << 20;
constexpr int32_t max_tree_depth_read = 64;

} // namespace

void for_each_tree_pair(edit_ctx& ctx, const pdf_value& root, std::string_view leaves,
                        const std::function<void(const pdf_value&, const pdf_value&)>& visit) {
  struct node {
    const pdf_value* value;
    int32_t depth;
  };
  std::vector<node> stack{{&root, 0}};
  std::unordered_set<int32_t> visited;
  size_t nodes = 0;
  while (!stack.empty() && nodes++ < max_tree_nodes) {
    const node n = stack.back();
    stack.pop_back();
    if (const pdf_value* pairs = n.value->get(leaves); pairs && pairs->is(pdf_value::kind::array))
      for (size_t k = 0; k + 1 < pairs->items.size(); k += 2)
        visit(pairs->items[k], pairs->items[k + 1]);
    const pdf_value* kids = n.value->get("Kids");
    if (!kids || !kids->is(pdf_value::kind::array) || n.depth >= max_tree_depth_read) continue;
    // Pushed in reverse, so that the kids are read in order and the first key found wins.
    for (auto it = kids->items.rbegin(); it != kids->items.rend(); ++it) {
      if (!it->is(pdf_value::kind::ref) || !visited.insert(it->num).second) continue;
      const pdf_value* kid = object_tree(ctx, it->num);
      if (kid && kid->is(pdf_value::kind::dict)) stack.push_back({kid, n.depth + 1});
    }
  }
}

} // namespace pdfmerge
