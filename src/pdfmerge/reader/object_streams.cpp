// Expanding object streams: each container's data is decoded into a block of the document's
// arena and every object it holds becomes an entry that points at its own text there.
#include "pdfmerge/reader/phases.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <tuple>

namespace pdfmerge {
namespace {

constexpr uint32_t max_raw = 268435456;
constexpr int32_t max_members = 100000;
constexpr int64_t max_member_size = 1048576;

struct decoded {
  const uint8_t* block = nullptr; // null when the data could not be decoded
  int32_t produced = 0;
};

// A fresh arena block for each attempt; a failed attempt's block is released at once, and a
// successful one gives back the room it did not use.
struct arena_room {
  struct arena& a;
  decoded got;
  uint8_t* take(size_t cap) {
    got.block = arena_alloc(a, cap);
    return const_cast<uint8_t*>(got.block);
  }
  void keep(size_t produced) {
    got.produced = static_cast<int32_t>(produced);
    arena_shrink_last(a, produced);
  }
  void drop() {
    arena_drop_last(a);
    got = {};
  }
};

// What decoding one container's data gave, within the budget left.
struct inflate_outcome {
  decoded data;
  bool over_budget = false;
};

inflate_outcome inflate_into_arena(struct arena& a, bytes src, uint64_t budget_left) {
  arena_room room{a, {}};
  const uint64_t guess = content_guess(src);
  switch (inflate_sized(src, guess, budget_left, room)) {
  case inflated::ok:
    return {room.got, false};
  case inflated::no_memory:
    throw std::bad_alloc();
  case inflated::too_large:
    // Past the inflater's own limit the container is left out, as data that does not inflate.
    return {{}, budget_left < inflate::max_capacity};
  case inflated::unusable:
    break;
  }
  return {};
}

decoded copy_into_arena(struct arena& a, bytes src) {
  uint8_t* block = arena_alloc(a, src.size() + 1);
  if (!block) throw std::bad_alloc();
  if (!src.empty()) std::memcpy(block, src.data(), src.size());
  return {block, static_cast<int32_t>(src.size())};
}

// The first value of a name in the region [from, end) that `accept` takes, read after the
// name and white space; -1 when none is.
template <class Accept>
int32_t region_value(bytes f, const name_hits& names, int32_t from, int32_t end, Accept accept) {
  const int32_t skip = static_cast<int32_t>(names.name.size()) + 1;
  for (int32_t p = name_hits_find(names, from, end); p >= 0;
       p = name_hits_find(names, p + 1, end)) {
    int32_t j = skip_ws(f, p + skip, end);
    if (j >= static_cast<int32_t>(f.size())) continue;
    const int32_t v = parse_int_at(f, j);
    if (accept(v)) return v;
  }
  return -1;
}

// Appends the members of one decoded container: N header pairs (number, offset) at the start,
// texts from byte `first` on. A text never reaches past the decoded bytes.
void members_add(doc& d, const decoded& data, int32_t n, int32_t first) {
  std::vector<int32_t> nums;
  std::vector<int32_t> offs;
  nums.resize(static_cast<size_t>(n));
  offs.resize(static_cast<size_t>(n));
  const bytes text(data.block, static_cast<size_t>(data.produced));
  int32_t p = 0;
  for (size_t k = 0; k < nums.size(); ++k) {
    nums[k] = read_int_or_skip(text, p);
    offs[k] = read_int_or_skip(text, p);
    if (nums[k] < 0 || offs[k] < 0) return;
  }
  // A member's text runs from its offset to the next larger offset (the offsets taken in
  // sorted order, as the format intends), so that no two members share text however the
  // header orders them; a member at an offset already taken is dropped.
  std::vector<int64_t> ends(nums.size(), int64_t{data.produced} - first);
  std::vector<bool> shared(nums.size(), false);
  {
    std::vector<uint32_t> order(nums.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = static_cast<uint32_t>(k);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return offs[a] < offs[b]; });
    for (size_t r = 0; r < order.size();) {
      size_t next = r + 1; // past the members at the same offset, which are dropped
      while (next < order.size() && offs[order[next]] == offs[order[r]])
        shared[order[next++]] = true;
      if (next < order.size()) ends[order[r]] = offs[order[next]];
      r = next;
    }
  }
  objvec_reserve_more(d.objects, nums.size());
  for (size_t k = 0; k < nums.size(); ++k) {
    const int64_t size = ends[k] - offs[k];
    if (nums[k] < 1 || shared[k] || size < 1 || size > max_member_size) continue;
    const int64_t begin = int64_t{first} + offs[k];
    if (begin >= data.produced) continue;
    obj_entry e;
    e.num = nums[k];
    e.in_objstm = 1;
    e.text = data.block + begin;
    e.text_len = static_cast<int32_t>(std::min(size, data.produced - begin));
    objvec_push(d.objects, e);
  }
}

} // namespace

bool objstm_container(const obj_entry& e, const name_hits& objstm_names) noexcept {
  if (!e.has_stream || e.in_objstm || e.dict_start < 0) return false;
  const int32_t end =
      e.stream_kw > 0 ? e.stream_kw : static_cast<int32_t>(objstm_names.text.size());
  return name_hits_find(objstm_names, e.dict_start, end) >= 0;
}

uint64_t objstm_budget(int32_t file_len) noexcept {
  return objstm_budget_base + objstm_budget_per_byte * static_cast<uint64_t>(file_len);
}

bool objstms_expand(doc& d, text_indexes& ix, uint64_t budget) {
  const bytes f = d.file();
  const name_hits& objstm = ix.names("ObjStm");
  // Containers that share their data (overlapping headers) decode it once.
  std::map<std::tuple<int32_t, int32_t, bool>, decoded> done;
  const size_t count = d.objects.size(); // entries appended here are members, never containers
  for (size_t i = 0; i < count; ++i) {
    const obj_entry e = d.objects[i];
    if (!objstm_container(e, objstm)) continue;
    const int32_t end = e.stream_kw > 0 ? e.stream_kw : d.len;
    const int32_t raw = e.data_end - e.data_start;
    if (static_cast<uint32_t>(raw) > max_raw) continue;
    const int32_t n =
        region_value(f, ix.names("N"), e.dict_start, end, [](int32_t v) { return v > 0; });
    const int32_t first =
        region_value(f, ix.names("First"), e.dict_start, end, [](int32_t v) { return v >= 0; });
    if (first < 0 || n < 1 || n > max_members) continue;
    const bool flate = name_hits_find(ix.names("FlateDecode"), e.dict_start, end) >= 0 ||
                       name_hits_find(ix.names("Fl"), e.dict_start, end) >= 0; // abbreviated
    auto [it, fresh] = done.try_emplace({e.data_start, e.data_end, flate});
    if (fresh) {
      const bytes src = f.subspan(static_cast<size_t>(e.data_start), static_cast<size_t>(raw));
      if (flate) {
        const inflate_outcome got = inflate_into_arena(d.arena, src, budget);
        if (got.over_budget) return false;
        it->second = got.data;
      } else {
        if (src.size() > budget) return false;
        it->second = copy_into_arena(d.arena, src);
      }
      budget -= static_cast<uint64_t>(it->second.produced);
    }
    const decoded& data = it->second;
    if (!data.block || first > data.produced) continue;
    members_add(d, data, n, first);
  }
  return true;
}

} // namespace pdfmerge
