// Bit-level input of the deflate decoder and the result values shared by its decoding steps.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace inflate {

// Results of the decoding steps. Only the class matters to the caller of a step: `step_ok`
// lets decoding go on; `step_output_full` and `step_exhausted` make the whole call fail;
// `step_malformed` ends the call with success and the bytes produced so far.
enum step : int {
  step_ok = 0,
  step_output_full = 1,
  step_exhausted = -1,
  step_malformed = -2,
};

// The compressed input after the two-byte header, read least significant bit first.
//
// Bytes are taken into `bit_acc` ahead of need, up to eight at a time, but every check is
// made against the bits the input really holds: a request fails with `step_exhausted`
// exactly when it reaches past the last input byte, as if bytes were fetched one by one.
// Bits above `bit_count` in `bit_acc` are either zero or the true next bits of the input.
struct bit_reader {
  const uint8_t* src = nullptr;
  uint32_t src_len = 0; // input bytes after the header
  uint32_t src_pos = 0; // next byte not yet taken into bit_acc
  uint64_t bit_acc = 0; // taken but unconsumed bits, least significant first
  int bit_count = 0;    // number of valid bits in bit_acc

  // Tops bit_acc up to at least 56 bits, or until every input byte has been taken.
  void refill() {
    if (src_len - src_pos >= 8) {
      // One unaligned load; only whole bytes that fit below bit 64 are counted as taken.
      bit_acc |= load_le64(src + src_pos) << bit_count;
      src_pos += static_cast<uint32_t>(63 - bit_count) >> 3;
      bit_count |= 56;
      return;
    }
    while (bit_count <= 56 && src_pos < src_len) {
      bit_acc |= static_cast<uint64_t>(src[src_pos++]) << bit_count;
      bit_count += 8;
    }
  }

  // Makes sure `need` bits (at most 56) are held; false when the input ends before that.
  bool ensure(int need) {
    if (bit_count < need) refill();
    return bit_count >= need;
  }

  // The next `need` bits (0..13) as a number, or step_exhausted.
  int bits(int need) {
    if (!ensure(need)) return step_exhausted;
    const int value = static_cast<int>(bit_acc & ((uint64_t{1} << need) - 1));
    drop(need);
    return value;
  }

  void drop(int count) {
    bit_acc >>= count;
    bit_count -= count;
  }

  // Skips to the next byte boundary and hands back the whole bytes held in bit_acc, so that
  // src_pos is again the position of the next unread byte (stored blocks read bytes directly).
  void align_to_byte() {
    src_pos -= static_cast<uint32_t>(bit_count >> 3);
    bit_acc = 0;
    bit_count = 0;
  }

private:
  static uint64_t load_le64(const uint8_t* p) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    if constexpr (std::endian::native == std::endian::big) word = byte_swapped(word);
    return word;
  }
  static uint64_t byte_swapped(uint64_t word) {
    uint64_t out = 0;
    for (int i = 0; i < 8; ++i) out = (out << 8) | ((word >> (8 * i)) & 0xff);
    return out;
  }
};

} // namespace inflate
