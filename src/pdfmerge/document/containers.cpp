// Growable containers of the document model and the output buffer.
#include "pdfmerge/document/document.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pdfmerge {
namespace {

template <class T, class A>
void push_doubling(std::vector<T, A>& vec, const T& item, size_t first) {
  if (vec.size() == vec.capacity()) vec.reserve(vec.capacity() == 0 ? first : 2 * vec.capacity());
  vec.push_back(item);
}

} // namespace

void objvec_push(objvec& vec, const obj_entry& entry) {
  push_doubling(vec, entry, 128);
}

void objvec_reserve_more(objvec& vec, size_t more) {
  if (vec.capacity() - vec.size() < more)
    vec.reserve(std::max(2 * vec.capacity(), vec.size() + more));
}

void pagevec_push(pagevec& vec, const pageinfo& page) {
  push_doubling(vec, page, 64);
}

namespace {

constexpr size_t first_chunk = size_t{64} << 10;
constexpr size_t last_chunk = size_t{32} << 20;
// A block from this size on gets a chunk of its own.
constexpr size_t own_chunk = size_t{1} << 20;
constexpr size_t block_align = 16;

size_t aligned(size_t n) {
  return (n + block_align - 1) / block_align * block_align;
}

// Storage for one more block pointer (the array doubles from four) and one more chunk.
void arena_make_room(struct arena& a) {
  if (a.blocks.size() == a.blocks.capacity())
    a.blocks.reserve(a.blocks.capacity() == 0 ? 4 : 2 * a.blocks.capacity());
  if (a.chunks.size() == a.chunks.capacity()) a.chunks.reserve(2 * a.chunks.size() + 4);
}

// True when the last block was cut from the chunk blocks are cut from.
bool last_is_cut(const struct arena& a) {
  const uint8_t* last = a.blocks.back();
  return a.chunk && last >= a.chunk && last < a.chunk + a.chunk_room;
}

uint8_t* chunk_add(struct arena& a, size_t size) {
  a.chunks.push_back(
      table_block(static_cast<uint8_t*>(table_memory_take(size)), table_memory_free{size}));
  return a.chunks.back().get();
}

} // namespace

uint8_t* arena_alloc(struct arena& a, size_t size) noexcept {
  size = std::max<size_t>(size, 1); // every block has an address of its own
  try {
    arena_make_room(a);
    uint8_t* block = nullptr;
    if (exact_blocks() || size >= own_chunk) {
      block = chunk_add(a, size);
    } else {
      if (a.chunk_room - a.chunk_used < size) {
        const size_t next = a.chunk ? std::min(2 * a.chunk_room, last_chunk) : first_chunk;
        const size_t room = std::max(size, next);
        a.chunk = chunk_add(a, room);
        a.chunk_room = room;
        a.chunk_used = 0;
      }
      block = a.chunk + a.chunk_used;
      a.chunk_used = std::min(a.chunk_room, a.chunk_used + aligned(size));
    }
    a.blocks.push_back(block);
    return block;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void arena_shrink_last(struct arena& a, size_t size) noexcept {
  if (a.blocks.empty() || !last_is_cut(a)) return;
  const size_t at = static_cast<size_t>(a.blocks.back() - a.chunk);
  a.chunk_used = std::min(a.chunk_used, at + aligned(size));
}

void arena_drop_last(struct arena& a) noexcept {
  if (a.blocks.empty()) return;
  if (last_is_cut(a))
    a.chunk_used = static_cast<size_t>(a.blocks.back() - a.chunk);
  else if (!a.chunks.empty() && a.chunks.back().get() == a.blocks.back())
    a.chunks.pop_back(); // a chunk of its own
  a.blocks.pop_back();
}

void obj_index_build(obj_index& index, const objvec& objects) {
  auto& v = index.by_num;
  v.clear();
  v.reserve(objects.size());
  for (size_t i = 0; i < objects.size(); ++i)
    v.emplace_back(objects[i].num, static_cast<int32_t>(i));
  std::sort(v.begin(), v.end());
}

obj_index last_plain_index_of(const objvec& objects) {
  obj_index index;
  auto& v = index.by_num;
  for (size_t i = 0; i < objects.size(); ++i)
    if (!objects[i].in_objstm) v.emplace_back(objects[i].num, static_cast<int32_t>(i));
  std::sort(v.begin(), v.end());
  // Of each run of one number, the last (largest) position stays, alone.
  size_t kept = 0;
  for (size_t i = 0; i < v.size(); ++i) {
    if (i + 1 < v.size() && v[i + 1].first == v[i].first) continue;
    v[kept++] = v[i];
  }
  v.resize(kept);
  return index;
}

int32_t obj_index_find(const obj_index& index, int32_t num) noexcept {
  const auto& v = index.by_num;
  auto it = std::lower_bound(v.begin(), v.end(), std::make_pair(num, INT32_MIN));
  if (it == v.end() || it->first != num) return -1;
  return it->second;
}

const obj_entry* obj_lookup(const doc& d, int32_t num) noexcept {
  int32_t pos = obj_index_find(d.index, num);
  if (pos < 0 || static_cast<size_t>(pos) >= d.objects.size()) return nullptr;
  return &d.objects[static_cast<size_t>(pos)];
}

void doc_free(doc& d) noexcept {
  d = doc{};
}

void buf_reserve(buf& out, uint64_t extra) noexcept {
  if (out.failed) return;
  if (!out.data) {
    out.data.reset(static_cast<uint8_t*>(std::malloc(buf_first_cap)));
    if (!out.data) {
      out.failed = true;
      return;
    }
    out.len = 0;
    out.cap = buf_first_cap;
  }
  uint64_t need = out.len + extra + 1;
  if (need < out.len) need = UINT64_MAX; // overflow: no storage can satisfy it
  if (need <= out.cap) return;
  uint64_t cap = out.cap;
  while (cap < need && cap <= UINT64_MAX / 2) cap *= 2;
  void* grown = cap >= need && cap <= SIZE_MAX ? std::realloc(out.data.get(), cap) : nullptr;
  if (!grown) {
    out.data.reset();
    out.len = 0;
    out.cap = 0;
    out.failed = true;
    return;
  }
  (void)out.data.release();
  out.data.reset(static_cast<uint8_t*>(grown));
  out.cap = cap;
}

void buf_append(buf& out, const void* src, size_t n) noexcept {
  buf_reserve(out, n);
  if (!out.data) return;
  if (n > 0) std::memcpy(out.data.get() + out.len, src, n);
  out.len += n;
  out.data.get()[out.len] = 0;
}

void buf_str(buf& out, std::string_view text) noexcept {
  buf_append(out, text.data(), text.size());
}

} // namespace pdfmerge
