// Growable containers of the document model and the output buffer.
#include "pdfmerge/pdfmerge_internal.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pdfmerge {
namespace {

template <class T> void push_doubling(std::vector<T>& vec, const T& item, size_t first) {
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

uint8_t* arena_alloc(struct arena& a, size_t size) noexcept {
  try {
    std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
    auto& blocks = a.blocks;
    if (blocks.size() == blocks.capacity())
      blocks.reserve(blocks.capacity() == 0 ? 4 : 2 * blocks.capacity());
    blocks.push_back(std::move(block));
    return blocks.back().get();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void obj_index_build(obj_index& index, const objvec& objects) {
  auto& v = index.by_num;
  v.clear();
  v.reserve(objects.size());
  for (size_t i = 0; i < objects.size(); ++i)
    v.emplace_back(objects[i].num, static_cast<int32_t>(i));
  std::sort(v.begin(), v.end());
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
