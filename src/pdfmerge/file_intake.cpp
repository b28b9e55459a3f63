// Reading an input file whole into memory, byte for byte.
#include "pdfmerge/load_phases.h"

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

// The file's length, or -1 when it cannot be told or does not fit a signed 32-bit count.
int32_t length_of(std::FILE* f) {
  if (std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(f);
  if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
  if (end < 0 || end > INT32_MAX) return -1;
  return static_cast<int32_t>(end);
}

} // namespace

int32_t file_intake(const char* path, doc& d) {
  if (!path) {
    set_error("NULL path argument");
    return -1;
  }
  file_ptr f(std::fopen(path, "rb"));
  if (!f) {
    set_error("cannot open %s", path);
    return -1;
  }
  const int32_t len = length_of(f.get());
  if (len < 1) {
    set_error("empty input file: %s", path);
    return -1;
  }
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[static_cast<size_t>(len)]);
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
