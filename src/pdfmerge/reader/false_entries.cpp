// Dropping what the header scan found but cannot be an object: streams without an endobj after
// their data and "N G obj" bytes that lie inside the data of a stream with a known length.
#include "pdfmerge/reader/phases.h"

#include <algorithm>
#include <new>

namespace pdfmerge {
namespace {

struct range {
  int32_t start;
  int32_t end;
};

bool unfinished(const obj_entry& e) {
  return e.has_stream && e.endobj < 0;
}

// A stream whose data range hides the headers inside it. Only a range that a length settled
// does: one found by searching for its end may have run over objects that are real.
bool hides_headers(const obj_entry& e) {
  return e.has_stream && !e.length_unknown && e.data_start >= 0 && e.data_start < e.data_end;
}

// Removes the entries `doomed` says, each by moving the table's last entry into its place, so
// the table keeps file order only up to the first removal.
template <class Pred> void remove_moving_last(objvec& table, Pred doomed) {
  size_t i = 0;
  while (i < table.size()) {
    if (doomed(table[i])) {
      table[i] = table.back();
      table.pop_back();
    } else {
      ++i;
    }
  }
}

} // namespace

void false_entries_drop(doc& d) {
  std::vector<range> ranges;
  std::vector<int32_t> max_end;
  try {
    ranges.reserve(d.objects.size() + 1);
    max_end.reserve(d.objects.size() + 1);
  } catch (const std::bad_alloc&) {
    false_entries_drop_direct(d);
    return;
  }
  for (const obj_entry& e : d.objects)
    if (hides_headers(e)) ranges.push_back({e.data_start, e.data_end});
  std::sort(ranges.begin(), ranges.end(),
            [](const range& a, const range& b) { return a.start < b.start; });
  for (const range& r : ranges)
    max_end.push_back(max_end.empty() ? r.end : std::max(max_end.back(), r.end));

  auto inside_data = [&](const obj_entry& e) {
    // The last range starting at or before e.start; any range before it that reaches past
    // e.start shows in max_end.
    auto it = std::upper_bound(ranges.begin(), ranges.end(), e.start,
                               [](int32_t s, const range& r) { return s < r.start; });
    if (it == ranges.begin()) return false;
    return e.start < max_end[static_cast<size_t>(it - ranges.begin()) - 1];
  };
  remove_moving_last(d.objects,
                     [&](const obj_entry& e) { return unfinished(e) || inside_data(e); });
}

void false_entries_drop_direct(doc& d) {
  objvec& table = d.objects;
  // Every verdict is taken against all ranges before anything moves; a doomed entry is marked
  // by negating its number (all numbers are positive here).
  for (obj_entry& e : table) {
    bool doomed = unfinished(e);
    for (const obj_entry& s : table) {
      if (doomed) break;
      doomed = hides_headers(s) && s.data_start <= e.start && e.start < s.data_end;
    }
    if (doomed) e.num = -e.num;
  }
  remove_moving_last(table, [](const obj_entry& e) { return e.num < 0; });
}

} // namespace pdfmerge
