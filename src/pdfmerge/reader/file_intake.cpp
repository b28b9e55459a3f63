// Reading an input file whole into memory, byte for byte.
#include "pdfmerge/platform/platform.h"
#include "pdfmerge/reader/phases.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

namespace pdfmerge {
namespace {

struct file_close {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_close>;

} // namespace

int32_t file_intake(const char* path, doc& d, file_memory_pool* pool) {
  if (!path) {
    set_error("NULL path argument");
    return -1;
  }
  file_ptr f(native_open_read(native_path_of(path)));
  if (!f) {
    set_error("cannot open %s", path);
    return -1;
  }
  const int64_t size = native_file_size(f.get());
  if (size > INT32_MAX) {
    set_error("file too large: %s", path);
    return -1;
  }
  if (size < 1) {
    set_error("empty input file: %s", path);
    return -1;
  }
  const auto len = static_cast<int32_t>(size);
  const auto size_wanted = static_cast<size_t>(len);
  file_memory data = pool ? pool->take(size_wanted) : native_file_memory(size_wanted);
  if (!data ||
      std::fread(data.get(), 1, static_cast<size_t>(len), f.get()) != static_cast<size_t>(len)) {
    set_error("read error on %s", path);
    return -1;
  }
  d.data = std::move(data);
  d.len = len;
  return 0;
}

} // namespace pdfmerge
