#include "deflate/deflate_huffman.h"

#include "deflate/deflate_bits.h"

#include <algorithm>
#include <cstring>

namespace deflate {
namespace {

struct leaf {
  uint32_t freq;
  uint16_t symbol;
};

// Codes per length of an optimal code for the leaves (sorted by rising frequency), with the
// two-queue method: leaves and merged nodes are both taken in rising weight order, so the
// next two lightest are always at the front of one queue or the other. A node's parent is
// made after it, so depths follow in one pass from the root down. Depths past max_length are
// counted at max_length.
void optimal_counts(const leaf* leaves, int m, int max_length, int* count) {
  constexpr int max_nodes = 2 * huffman_max_symbols - 1;
  uint32_t weight[max_nodes];
  int16_t parent[max_nodes];
  for (int i = 0; i < m; ++i) weight[i] = leaves[i].freq;
  int next_leaf = 0;
  int next_node = m;
  const auto take_lightest = [&](int made_until) {
    const bool leaf_first =
        next_leaf < m && (next_node == made_until || weight[next_leaf] <= weight[next_node]);
    return leaf_first ? next_leaf++ : next_node++;
  };
  for (int node = m; node < 2 * m - 1; ++node) {
    const int a = take_lightest(node);
    const int b = take_lightest(node);
    weight[node] = weight[a] + weight[b];
    parent[a] = parent[b] = static_cast<int16_t>(node);
  }

  // `weight` now serves for depths: the root has depth 0.
  uint32_t* depth = weight;
  depth[2 * m - 2] = 0;
  for (int node = 2 * m - 3; node >= 0; --node) depth[node] = depth[parent[node]] + 1;
  for (int i = 0; i < m; ++i) count[std::min<int>(static_cast<int>(depth[i]), max_length)]++;
}

// Makes the counts a complete code again after depths were cut to max_length. In units of
// 2^-max_length the code space used, `used`, then exceeds the whole, 2^max_length. Each round
// takes one code of the longest length and splits one shorter code into two one bit longer:
// the number of codes stays, and `used` drops by exactly one, so it ends exactly full.
// A code of the longest length exists in every round: the shorter codes alone never filled
// the space, since cutting added longest codes and splitting never makes shorter ones.
void restore_kraft(int* count, int max_length) {
  uint32_t used = 0;
  for (int length = 1; length <= max_length; ++length) {
    used += static_cast<uint32_t>(count[length]) << (max_length - length);
  }
  const uint32_t full = 1u << max_length;
  while (used > full) {
    count[max_length]--;
    for (int length = max_length - 1; length > 0; --length) {
      if (count[length] != 0) {
        count[length]--;
        count[length + 1] += 2;
        break;
      }
    }
    used--;
  }
}

} // namespace

void huffman_lengths(const uint32_t* freq, int n, int max_length, uint8_t* lengths) {
  std::memset(lengths, 0, static_cast<size_t>(n));
  leaf leaves[huffman_max_symbols];
  int m = 0;
  for (int symbol = 0; symbol < n; ++symbol) {
    if (freq[symbol] != 0) leaves[m++] = {freq[symbol], static_cast<uint16_t>(symbol)};
  }
  if (m < 2) {
    // Two one-bit codes: the used symbol (if any) and the lowest other one.
    const int used = m == 1 ? leaves[0].symbol : 0;
    lengths[used] = 1;
    lengths[used == 0 ? 1 : 0] = 1;
    return;
  }
  std::sort(leaves, leaves + m, [](const leaf& a, const leaf& b) {
    return a.freq != b.freq ? a.freq < b.freq : a.symbol < b.symbol;
  });

  int count[deflate_max_bits + 1] = {}; // codes per length
  optimal_counts(leaves, m, max_length, count);
  restore_kraft(count, max_length);

  // The longest codes go to the rarest symbols.
  int next = 0;
  for (int length = max_length; length > 0; --length) {
    for (int k = 0; k < count[length]; ++k)
      lengths[leaves[next++].symbol] = static_cast<uint8_t>(length);
  }
}

void huffman_codes(const uint8_t* lengths, int n, uint16_t* codes) {
  int count[deflate_max_bits + 1] = {};
  for (int symbol = 0; symbol < n; ++symbol) count[lengths[symbol]]++;
  count[0] = 0;
  uint32_t next[deflate_max_bits + 1] = {};
  uint32_t code = 0;
  for (int length = 1; length <= deflate_max_bits; ++length) {
    code = (code + static_cast<uint32_t>(count[length - 1])) << 1;
    next[length] = code;
  }
  for (int symbol = 0; symbol < n; ++symbol) {
    const int length = lengths[symbol];
    if (length == 0) {
      codes[symbol] = 0;
      continue;
    }
    uint32_t forward = next[length]++;
    uint32_t reversed = 0;
    for (int i = 0; i < length; ++i) {
      reversed = (reversed << 1) | (forward & 1);
      forward >>= 1;
    }
    codes[symbol] = static_cast<uint16_t>(reversed);
  }
}

} // namespace deflate
