// Memory for a whole input file. Reading a large file into freshly allocated memory costs a page
// fault per 4 KiB page, which on virtual machines costs more than the read itself; so large
// buffers are taken in 2 MiB pages where the system offers them, and mapped in before the read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <memory_resource>
#include <new>
#include <vector>

namespace pdfmerge {

// Frees what native_file_memory gave. A default deleter (mapped == 0) frees memory from
// new[], so tests may still reset a document's bytes with new[]. Memory of a pool is left to
// the pool.
struct file_memory_free {
  size_t mapped = 0; // bytes mapped from the system; 0: the block came from new[]
  bool pooled = false;
  void operator()(uint8_t* p) const noexcept;
};
using file_memory = std::unique_ptr<uint8_t[], file_memory_free>;

// At least `size` bytes (size >= 1), or null when memory runs out.
file_memory native_file_memory(size_t size) noexcept;

// Memory for tables and decoded data that may grow large. From 256 KiB on it is mapped at a 2 MiB
// boundary and advised for large pages, so that filling it costs a page fault per 2 MiB rather
// than per 4 KiB; it is not filled in advance, as a table's room is often larger than its use.
// `table_memory_take` throws std::bad_alloc when memory runs out; `table_memory_give` must get
// the size that was taken.
void* table_memory_take(size_t bytes);
void table_memory_give(void* p, size_t bytes) noexcept;

template <class T> struct table_allocator {
  using value_type = T;
  table_allocator() = default;
  template <class U> table_allocator(const table_allocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(table_memory_take(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) noexcept { table_memory_give(p, n * sizeof(T)); }
  friend bool operator==(const table_allocator&, const table_allocator&) noexcept { return true; }
};

// Owns a block of table memory of `bytes` bytes.
struct table_memory_free {
  size_t bytes = 0;
  void operator()(uint8_t* p) const noexcept { table_memory_give(p, bytes); }
};
using table_block = std::unique_ptr<uint8_t[], table_memory_free>;

// True where every block must be of its exact size (under the address checker, so that a read
// past a block's end is caught rather than landing in room after it).
bool exact_blocks() noexcept;

// Table memory as a memory resource (for the pools of std::pmr containers).
std::pmr::memory_resource* table_memory_resource() noexcept;

// A vector whose storage is table memory: for the tables a large file makes large.
template <class T> using table_vector = std::vector<T, table_allocator<T>>;

// Room for the many small files of one merge, cut from a few large blocks instead of one fresh
// allocation (and its page faults) per file. What it gives lives as long as the pool.
class file_memory_pool {
public:
  // At least `size` bytes, or null when memory runs out.
  file_memory take(size_t size) noexcept;

private:
  std::vector<file_memory> blocks_;
  size_t used_ = 0; // bytes given from the last block
  size_t room_ = 0; // bytes of the last block
};

} // namespace pdfmerge
