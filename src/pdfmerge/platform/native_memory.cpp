// Large-page memory for input files on Linux; plain new[] elsewhere and for small files.
#include "pdfmerge/platform/native_memory.h"

#include <algorithm>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// Under the address checker every file gets a block of its exact size, so that a read past a
// file's last byte is caught rather than landing in room after it.
#if defined(__SANITIZE_ADDRESS__)
#define PDFMERGE_EXACT_FILE_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PDFMERGE_EXACT_FILE_MEMORY 1
#endif
#endif

namespace pdfmerge {
namespace {

#if defined(__linux__) && !defined(PDFMERGE_EXACT_FILE_MEMORY)
constexpr size_t huge_page = size_t{2} << 20;
// Below this the system calls cost more than the faults they save.
constexpr size_t large_file = size_t{4} << 20;
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

size_t mapped_size(size_t size) {
  return (size + huge_page - 1) / huge_page * huge_page;
}

// `size` bytes rounded up to whole 2 MiB pages, mapped at a 2 MiB boundary so that every page
// can be a large one. The over-mapped head and tail are returned at once.
uint8_t* map_huge(size_t size, size_t& mapped, bool fill) noexcept {
  mapped = mapped_size(size);
  const size_t span = mapped + huge_page;
  void* m = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return nullptr;
  const auto base = reinterpret_cast<uintptr_t>(m);
  const uintptr_t aligned = (base + huge_page - 1) & ~(uintptr_t{huge_page} - 1);
  if (aligned > base) munmap(m, aligned - base);
  if (const size_t tail = base + span - (aligned + mapped); tail > 0)
    munmap(reinterpret_cast<void*>(aligned + mapped), tail);
  auto* p = reinterpret_cast<uint8_t*>(aligned);
  // Both are hints: without them the memory is still there, only slower to fill.
  (void)madvise(p, mapped, MADV_HUGEPAGE);
  if (fill) (void)madvise(p, mapped, MADV_POPULATE_WRITE);
  return p;
}

// Tables from this size on are mapped. A large page costs one fault where 4 KiB pages cost one
// each (64 of them for a table of this size), which on virtual machines costs far more than
// clearing the large page.
constexpr size_t large_table = size_t{256} << 10;
#endif

} // namespace

void file_memory_free::operator()(uint8_t* p) const noexcept {
  if (pooled) return;
#if defined(__linux__)
  if (mapped > 0) {
    munmap(p, mapped);
    return;
  }
#endif
  delete[] p;
}

file_memory native_file_memory(size_t size) noexcept {
#if defined(__linux__) && !defined(PDFMERGE_EXACT_FILE_MEMORY)
  if (size >= large_file) {
    size_t mapped = 0;
    if (uint8_t* p = map_huge(size, mapped, true)) return file_memory(p, file_memory_free{mapped});
  }
#endif
  return file_memory(new (std::nothrow) uint8_t[size]);
}

bool exact_blocks() noexcept {
#if defined(PDFMERGE_EXACT_FILE_MEMORY)
  return true;
#else
  return false;
#endif
}

void* table_memory_take(size_t bytes) {
#if defined(__linux__) && !defined(PDFMERGE_EXACT_FILE_MEMORY)
  if (bytes >= large_table) {
    size_t mapped = 0;
    if (uint8_t* p = map_huge(bytes, mapped, false)) return p;
    throw std::bad_alloc();
  }
#endif
  return ::operator new(bytes);
}

void table_memory_give(void* p, size_t bytes) noexcept {
#if defined(__linux__) && !defined(PDFMERGE_EXACT_FILE_MEMORY)
  if (bytes >= large_table) {
    munmap(p, mapped_size(bytes));
    return;
  }
#else
  (void)bytes; // the size only tells mapped memory from new's
#endif
  ::operator delete(p);
}

namespace {

class table_resource final : public std::pmr::memory_resource {
  void* do_allocate(size_t bytes, size_t alignment) override {
    // Mapped memory is page-aligned and new gives the fundamental alignment.
    if (alignment > alignof(std::max_align_t)) throw std::bad_alloc();
    return table_memory_take(bytes);
  }
  void do_deallocate(void* p, size_t bytes, size_t) noexcept override {
    table_memory_give(p, bytes);
  }
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }
};

} // namespace

std::pmr::memory_resource* table_memory_resource() noexcept {
  static table_resource resource;
  return &resource;
}

// Files from 4 MiB on get memory of their own. Blocks start at 2 MiB and double up to 32 MiB,
// so a merge of two small files takes little and one of thousands takes few blocks.
file_memory file_memory_pool::take(size_t size) noexcept {
  constexpr size_t own_block = size_t{4} << 20;
  constexpr size_t first_block = size_t{2} << 20;
  constexpr size_t last_block = size_t{32} << 20;
  constexpr size_t align = 64;
  if (exact_blocks() || size >= own_block) return native_file_memory(size);
  if (room_ - used_ < size) {
    const size_t block =
        std::max(size, blocks_.empty() ? first_block : std::min(2 * room_, last_block));
    try {
      blocks_.reserve(blocks_.size() + 1);
    } catch (...) {
      return nullptr;
    }
    file_memory m = native_file_memory(block);
    if (!m) return nullptr;
    blocks_.push_back(std::move(m));
    used_ = 0;
    room_ = block;
  }
  uint8_t* p = blocks_.back().get() + used_;
  used_ += (size + align - 1) / align * align;
  if (used_ > room_) used_ = room_;
  return file_memory(p, file_memory_free{0, true});
}

} // namespace pdfmerge
