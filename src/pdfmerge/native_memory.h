// Memory for a whole input file. Reading a large file into freshly allocated memory costs a page
// fault per 4 KiB page, which on virtual machines costs more than the read itself; so large
// buffers are taken in 2 MiB pages where the system offers them, and mapped in before the read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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
