// LZWDecode: variable-width codes of 9 to 12 bits, most significant bit first, with the clear
// code 256 and the end code 257. /EarlyChange 1 widens the codes one entry early.
#include "pdfmerge/filters/filters.h"

#include <array>

namespace pdfmerge {
namespace {

constexpr int32_t clear_code = 256;
constexpr int32_t end_code = 257;
constexpr int32_t table_size = 4096;

// The string table: each entry is its prefix entry plus one last byte.
struct lzw_table {
  std::array<int32_t, table_size> prefix{};
  std::array<uint8_t, table_size> last{};
  std::array<uint8_t, table_size> first{};
  std::array<int32_t, table_size> length{};
  int32_t next = 258;

  lzw_table() {
    for (int32_t k = 0; k < 256; ++k) {
      prefix[static_cast<size_t>(k)] = -1;
      last[static_cast<size_t>(k)] = first[static_cast<size_t>(k)] = static_cast<uint8_t>(k);
      length[static_cast<size_t>(k)] = 1;
    }
  }
};

class bit_reader {
public:
  explicit bit_reader(bytes src) : src_(src) {}
  // The next code of `width` bits, or -1 when the input runs out.
  int32_t read(int32_t width) {
    while (count_ < width) {
      if (pos_ >= src_.size()) return -1;
      acc_ = (acc_ << 8) | src_[pos_++];
      count_ += 8;
    }
    count_ -= width;
    return static_cast<int32_t>((acc_ >> count_) & ((1u << width) - 1));
  }

private:
  bytes src_;
  size_t pos_ = 0;
  uint32_t acc_ = 0;
  int32_t count_ = 0;
};

// Appends the string of entry `code`, written back to front.
void put_string(const lzw_table& t, int32_t code, std::vector<uint8_t>& out) {
  const size_t n = static_cast<size_t>(t.length[static_cast<size_t>(code)]);
  const size_t at = out.size();
  out.resize(at + n);
  for (size_t k = n; k-- > 0;) {
    out[at + k] = t.last[static_cast<size_t>(code)];
    code = t.prefix[static_cast<size_t>(code)];
  }
}

} // namespace

bool lzw_decode(bytes src, int32_t early_change, std::vector<uint8_t>& out, size_t limit) {
  lzw_table t;
  bit_reader in(src);
  const int32_t early = early_change != 0 ? 1 : 0;
  int32_t width = 9;
  int32_t prev = -1;
  for (;;) {
    const int32_t code = in.read(width);
    if (code < 0 || code == end_code) return true;
    if (code == clear_code) {
      t.next = 258;
      width = 9;
      prev = -1;
      continue;
    }
    if (code > t.next || (code == t.next && prev < 0)) return true; // corrupt: keep what came
    if (prev >= 0 && t.next < table_size) {
      const auto n = static_cast<size_t>(t.next);
      t.prefix[n] = prev;
      t.first[n] = t.first[static_cast<size_t>(prev)];
      // For a code not yet in the table (it names the entry being made) the last byte is the
      // first byte of the previous string.
      t.last[n] = t.first[static_cast<size_t>(code == t.next ? prev : code)];
      t.length[n] = t.length[static_cast<size_t>(prev)] + 1;
      ++t.next;
    } else if (code == t.next) {
      return true; // a full table cannot make the entry named
    }
    if (out.size() + static_cast<size_t>(t.length[static_cast<size_t>(code)]) > limit) return false;
    put_string(t, code, out);
    prev = code;
    if (t.next + early >= (1 << width) && width < 12) ++width;
  }
}

} // namespace pdfmerge
