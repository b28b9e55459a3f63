// The coarsest stable partition of a graph whose edges carry labels, as in the minimisation of
// a deterministic automaton: blocks of nodes and sets of edges are refined against each other
// until no edge set splits a block. Each block that a split creates is used to split in turn,
// the smaller part of every split is the new one, and one block of the initial partition is
// never used (the rest and the whole make it redundant), which bounds the work by
// O(m log n) for m edges and n nodes, however long the chains and whatever the cycles.
#include "pdfmerge/merge/compact.h"

#include <algorithm>

namespace pdfmerge {
namespace {

// Elements 0..n-1 in sets that can be split: every set is a range of `elems`; marking moves an
// element to the front of its set's range, and split() separates each set's marked elements
// from the others, the smaller part becoming a new set.
class refinable_partition {
public:
  // Sets 0..sets-1 as `set_of` gives them; every set must have an element.
  refinable_partition(std::span<const int32_t> set_of, int32_t sets)
      : elems_(set_of.size()), loc_(set_of.size()), set_of_(set_of.begin(), set_of.end()),
        first_(static_cast<size_t>(sets) + 1, 0), past_(static_cast<size_t>(sets), 0),
        marked_(static_cast<size_t>(sets), 0) {
    for (int32_t s : set_of_) ++first_[static_cast<size_t>(s) + 1];
    for (size_t s = 1; s < first_.size(); ++s) first_[s] += first_[s - 1];
    first_.pop_back();
    past_ = first_;
    for (size_t e = 0; e < set_of_.size(); ++e) {
      const auto at = static_cast<size_t>(past_[static_cast<size_t>(set_of_[e])]++);
      elems_[at] = static_cast<int32_t>(e);
      loc_[e] = static_cast<int32_t>(at);
    }
  }

  int32_t sets() const { return static_cast<int32_t>(first_.size()); }
  int32_t set_of(int32_t e) const { return set_of_[static_cast<size_t>(e)]; }
  std::span<const int32_t> members(int32_t s) const {
    const auto b = static_cast<size_t>(first_[static_cast<size_t>(s)]);
    const auto e = static_cast<size_t>(past_[static_cast<size_t>(s)]);
    return std::span<const int32_t>(elems_).subspan(b, e - b);
  }

  // An element may be marked once between splits.
  void mark(int32_t e) {
    const auto ue = static_cast<size_t>(e);
    const auto s = static_cast<size_t>(set_of_[ue]);
    const auto i = static_cast<size_t>(loc_[ue]);
    const auto j = static_cast<size_t>(first_[s] + marked_[s]);
    elems_[i] = elems_[j];
    loc_[static_cast<size_t>(elems_[i])] = static_cast<int32_t>(i);
    elems_[j] = e;
    loc_[ue] = static_cast<int32_t>(j);
    if (marked_[s]++ == 0) touched_.push_back(static_cast<int32_t>(s));
  }

  void split() {
    while (!touched_.empty()) {
      const auto s = static_cast<size_t>(touched_.back());
      touched_.pop_back();
      const int32_t j = first_[s] + marked_[s];
      marked_[s] = 0;
      if (j == past_[s]) continue; // every element marked: nothing to split
      const size_t z = first_.size();
      if (j - first_[s] <= past_[s] - j) { // the marked part is the smaller: it moves out
        first_.push_back(first_[s]);
        past_.push_back(j);
        first_[s] = j;
      } else {
        first_.push_back(j);
        past_.push_back(past_[s]);
        past_[s] = j;
      }
      marked_.push_back(0);
      for (int32_t i = first_[z]; i < past_[z]; ++i)
        set_of_[static_cast<size_t>(elems_[static_cast<size_t>(i)])] = static_cast<int32_t>(z);
    }
  }

private:
  std::vector<int32_t> elems_;
  std::vector<int32_t> loc_;
  std::vector<int32_t> set_of_;
  std::vector<int32_t> first_;
  std::vector<int32_t> past_;
  std::vector<int32_t> marked_;
  std::vector<int32_t> touched_;
};

} // namespace

std::vector<int32_t> stable_partition(int32_t n, std::span<const int32_t> initial, int32_t classes,
                                      std::span<const graph_edge> edges) {
  if (n <= 0) return {};
  refinable_partition blocks(initial, classes);
  // Edge sets start as one set per label.
  int32_t labels = 0;
  for (const graph_edge& e : edges) labels = std::max(labels, e.label + 1);
  std::vector<int32_t> label_of(edges.size());
  for (size_t t = 0; t < edges.size(); ++t) label_of[t] = edges[t].label;
  refinable_partition cords(label_of, labels);
  // The edges into each node.
  std::vector<int32_t> in_begin(static_cast<size_t>(n) + 1, 0);
  for (const graph_edge& e : edges) ++in_begin[static_cast<size_t>(e.head) + 1];
  for (size_t q = 1; q < in_begin.size(); ++q) in_begin[q] += in_begin[q - 1];
  std::vector<int32_t> incoming(edges.size());
  {
    std::vector<int32_t> fill(in_begin.begin(), in_begin.end() - 1);
    for (size_t t = 0; t < edges.size(); ++t)
      incoming[static_cast<size_t>(fill[static_cast<size_t>(edges[t].head)]++)] =
          static_cast<int32_t>(t);
  }
  int32_t b = 1; // block 0 is the one never used to split
  for (int32_t c = 0; c < cords.sets(); ++c) {
    for (int32_t t : cords.members(c)) blocks.mark(edges[static_cast<size_t>(t)].tail);
    blocks.split();
    for (; b < blocks.sets(); ++b) {
      for (int32_t q : blocks.members(b))
        for (int32_t k = in_begin[static_cast<size_t>(q)]; k < in_begin[static_cast<size_t>(q) + 1];
             ++k)
          cords.mark(incoming[static_cast<size_t>(k)]);
      cords.split();
    }
  }
  std::vector<int32_t> block_of(static_cast<size_t>(n));
  for (int32_t q = 0; q < n; ++q) block_of[static_cast<size_t>(q)] = blocks.set_of(q);
  return block_of;
}

} // namespace pdfmerge
