// Where the dictionaries after many object headers close, as dict_stream_kw scans each of them,
// in time linear in the text however the dictionaries nest or overlap.
//
// The scan's path through the text (the positions at which a token starts: "<<", ">>", "<",
// ">", a whole literal string, or any other byte) does not depend on the depth; only where it
// stops does. A path that reaches another dictionary start at a token boundary goes on exactly
// as that start's own path. Two ways use this:
//
// The quick way scans from the last start to the first. At a later start whose answer is known
// it may stop (depth 0: the same answer) or jump over that dictionary (depth 1 or more, the
// start opening with "<<": the depth stays above its value until that dictionary's ">>"). This
// covers ordinary files, nested unclosed dictionaries and the like in one pass, but other
// shapes (a depth below 0 on reaching a start) would rescan, so it runs on a budget.
//
// The sure way sees the starts as a forest: each start's segment (its path up to the next start
// it reaches) leads to that start. Give every ">>" token q the key P(after q), where P(x) is the
// sum of the depth changes from x to the end of x's path. The scan from k stops at the first
// ">>" down its path whose key equals P(k): there, and only there, the depth counted from k
// returns to 0 after a decrease. One depth-first pass over the forest, keeping for each key a
// stack of the ">>" tokens on the way down from the roots, answers every start from the top of
// one stack.
#include "pdfmerge/reader/phases.h"

#include <algorithm>
#include <unordered_map>

namespace pdfmerge {
namespace {

enum class token { open, close, other, cut };

// Steps through the tokens of dictionary scans. The end of a literal string is remembered by
// the position of its '(' (a nested string is skipped through its own memo), so no string is
// scanned twice however many scans meet it. `work` counts the bytes examined.
class dict_tokens {
public:
  explicit dict_tokens(bytes t) : t_(t), len_(static_cast<int32_t>(t.size())) {}

  int32_t size() const { return len_; }
  uint8_t at(int32_t k) const { return t_[static_cast<size_t>(k)]; }

  // The token at i and the position after it; `cut` when the scan ends there with no answer.
  token step(int32_t i, int32_t& next) {
    ++work;
    const uint8_t c = at(i);
    if (c == '<' || c == '>') {
      if (i + 1 >= len_) return token::cut;
      next = at(i + 1) == c ? i + 2 : i + 1;
      if (next == i + 1) return token::other;
      return c == '<' ? token::open : token::close;
    }
    if (c == '(') {
      if (i + 1 >= len_) return token::cut;
      next = string_end(i);
      return next < 0 ? token::cut : token::other;
    }
    next = i + 1;
    return token::other;
  }

  // Past the bytes from i on, below stop, that are tokens of one byte with no effect on the
  // scan (all but '<', '>' and '('): the first position that is not one, or stop.
  int32_t skip_plain(int32_t i, int32_t stop) {
    const int32_t after = find_any_of3(t_, i, stop, '<', '>', '(');
    work += after - i;
    return after;
  }

  int64_t work = 0;

private:
  // Position after the ')' closing the string opened at `open`, or -1 when the text ends first.
  int32_t string_end(int32_t open) {
    if (auto it = ends_.find(open); it != ends_.end()) return it->second;
    struct frame {
      int32_t open;
      int32_t j;
    };
    std::vector<frame> frames{{open, open + 1}};
    int32_t result = -1;
    while (!frames.empty()) {
      frame& f = frames.back();
      bool descended = false;
      result = -1;
      while (f.j < len_) {
        ++work;
        const uint8_t c = at(f.j);
        if (c == '\\') {
          f.j += 2;
        } else if (c == ')') {
          result = f.j + 1;
          break;
        } else if (c == '(') {
          auto it = ends_.find(f.j);
          if (it == ends_.end()) {
            frames.push_back({f.j, f.j + 1});
            descended = true;
            break;
          }
          if (it->second < 0) break;
          f.j = it->second;
        } else {
          ++f.j;
        }
      }
      if (descended) continue;
      ends_[f.open] = result;
      frames.pop_back();
      if (!frames.empty()) {
        if (result < 0) {
          frames.back().j = len_; // a string cut off cuts off every string around it
        } else {
          frames.back().j = result;
        }
      }
    }
    return ends_[open];
  }

  bytes t_;
  int32_t len_;
  std::unordered_map<int32_t, int32_t> ends_;
};

// Moves `next` to the first start at or after i; true when a start lies exactly at i.
bool start_at(const std::vector<int32_t>& starts, std::vector<int32_t>::const_iterator& next,
              int32_t i) {
  if (next != starts.end() && *next < i) next = std::lower_bound(next + 1, starts.end(), i);
  return next != starts.end() && *next == i;
}

// Where a run of plain bytes must stop so that the next start is looked at: that start (the
// first at or after the position start_at last moved `next` to), or the end of the text.
int32_t next_stop(const std::vector<int32_t>& starts, std::vector<int32_t>::const_iterator next,
                  int32_t len) {
  return next != starts.end() ? *next : len;
}

// The quick way for starts[idx], given the answers of all later starts; -2 once the tokens'
// work passes `budget`.
int32_t close_quick(dict_tokens& tk, const std::vector<int32_t>& starts,
                    const std::vector<int32_t>& closes, size_t idx, int64_t budget) {
  auto next = starts.begin() + static_cast<ptrdiff_t>(idx) + 1;
  int32_t depth = 0;
  int32_t i = starts[idx];
  while (i < tk.size()) {
    if (tk.work > budget) return -2;
    if (start_at(starts, next, i)) {
      const int32_t known = closes[static_cast<size_t>(next - starts.begin())];
      if (depth == 0) return known;
      if (depth > 0 && i + 1 < tk.size() && tk.at(i + 1) == '<') {
        if (known < 0) return -1;
        i = known + 2;
        continue;
      }
    }
    if (const int32_t plain_end = tk.skip_plain(i, next_stop(starts, next, tk.size()));
        plain_end > i) {
      i = plain_end;
      continue;
    }
    int32_t after = 0;
    switch (tk.step(i, after)) {
    case token::cut:
      return -1;
    case token::open:
      ++depth;
      break;
    case token::close:
      if (--depth == 0) return i;
      break;
    case token::other:
      break;
    }
    i = after;
  }
  return -1;
}

// One ">>" of a segment: its position and the depth change from the segment's start through it.
struct close_token {
  int32_t pos;
  int64_t level;
};

// The path from starts[idx] up to the next start it reaches at a token boundary. Calls
// on_close for every ">>" (in path order); returns the index of the start reached, or -1
// when the path ends (text exhausted, or a token cut off by the end).
template <class OnClose>
int64_t segment_walk(dict_tokens& tk, const std::vector<int32_t>& starts, size_t idx, int64_t& net,
                     OnClose on_close) {
  auto next = starts.begin() + static_cast<ptrdiff_t>(idx) + 1;
  net = 0;
  int32_t i = starts[idx];
  while (i < tk.size()) {
    if (i != starts[idx] && start_at(starts, next, i)) return next - starts.begin();
    if (const int32_t plain_end = tk.skip_plain(i, next_stop(starts, next, tk.size()));
        plain_end > i) {
      i = plain_end;
      continue;
    }
    int32_t after = 0;
    switch (tk.step(i, after)) {
    case token::cut:
      return -1;
    case token::open:
      ++net;
      break;
    case token::close:
      --net;
      on_close(close_token{i, net});
      break;
    case token::other:
      break;
    }
    i = after;
  }
  return -1;
}

} // namespace

std::vector<int32_t> dict_closes(bytes text, const std::vector<int32_t>& starts) {
  std::vector<int32_t> closes(starts.size(), -1);
  dict_tokens tk(text);
  const int64_t budget = 4 * static_cast<int64_t>(text.size()) + 4096;
  for (size_t idx = starts.size(); idx-- > 0;) {
    if (idx >= prefetch_ahead) prefetch_at(text, starts[idx - prefetch_ahead]);
    closes[idx] = close_quick(tk, starts, closes, idx, budget);
    if (closes[idx] == -2) return dict_closes_forest(text, starts);
  }
  return closes;
}

std::vector<int32_t> dict_closes_forest(bytes text, const std::vector<int32_t>& starts) {
  const size_t n = starts.size();
  dict_tokens tk(text);
  std::vector<int64_t> parent(n);
  std::vector<int64_t> net(n);
  for (size_t i = 0; i < n; ++i)
    parent[i] = segment_walk(tk, starts, i, net[i], [](close_token) {});

  // P of each start; a parent always lies further on, so from the last start back.
  std::vector<int64_t> p(n);
  for (size_t i = n; i-- > 0;)
    p[i] = net[i] + (parent[i] >= 0 ? p[static_cast<size_t>(parent[i])] : 0);

  // Children of each start, in compressed rows.
  std::vector<size_t> first_child(n + 1, 0);
  for (size_t i = 0; i < n; ++i)
    if (parent[i] >= 0) ++first_child[static_cast<size_t>(parent[i]) + 1];
  for (size_t i = 0; i < n; ++i) first_child[i + 1] += first_child[i];
  std::vector<size_t> children(first_child[n]);
  std::vector<size_t> fill(first_child.begin(), first_child.end() - 1);
  for (size_t i = 0; i < n; ++i)
    if (parent[i] >= 0) children[fill[static_cast<size_t>(parent[i])]++] = i;

  std::vector<int32_t> closes(n, -1);
  std::unordered_map<int64_t, std::vector<int32_t>> open; // key -> ">>" positions, nearest last
  struct visit {
    size_t node;
    size_t next_child;
    std::vector<int64_t> pushed_keys;
  };
  std::vector<visit> stack;
  std::vector<close_token> tokens;
  auto enter = [&](size_t node) {
    tokens.clear();
    int64_t unused = 0;
    segment_walk(tk, starts, node, unused, [&](close_token c) { tokens.push_back(c); });
    visit v{node, first_child[node], {}};
    // The ">>" nearest to the start must end up on top: push from the far end.
    for (auto it = tokens.rbegin(); it != tokens.rend(); ++it) {
      const int64_t key = p[node] - it->level;
      open[key].push_back(it->pos);
      v.pushed_keys.push_back(key);
    }
    auto found = open.find(p[node]);
    if (found != open.end() && !found->second.empty()) closes[node] = found->second.back();
    stack.push_back(std::move(v));
  };
  for (size_t root = 0; root < n; ++root) {
    if (parent[root] >= 0) continue;
    enter(root);
    while (!stack.empty()) {
      visit& top = stack.back();
      if (top.next_child < first_child[top.node + 1]) {
        enter(children[top.next_child++]);
        continue;
      }
      for (int64_t key : top.pushed_keys) open[key].pop_back();
      stack.pop_back();
    }
  }
  return closes;
}

} // namespace pdfmerge
