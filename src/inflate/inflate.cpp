// The zlib/deflate decoder (RFC 1950 wrapper, RFC 1951 data).
//
// Tolerance: the header check is minimal, the Adler-32 trailer is never read, and data that
// turns out malformed part-way ends the call with success and the bytes decoded before the
// fault. Only exhausted input, a full output buffer, and bad arguments or header fail.
//
// Symbols are found through lookup tables and input is taken ahead a word at a time, but
// every result equals that of a decoder reading one bit at a time and fetching a byte only
// when it needs one more bit: a code that ends in the last input byte decodes, and anything
// that needs a further byte fails. Matches are copied exactly, never past their end, so the
// output buffer holds the same bytes as after a byte-by-byte copy even when a call fails.
#include "inflate/inflate.h"

#include "inflate/inflate_bits.h"
#include "inflate/inflate_huffman.h"

#include <algorithm>
#include <cstring>

namespace inflate {
namespace {

// Lookup table sizes: long enough for most codes, short enough to fill quickly per block.
constexpr int lit_fast_bits = 10;
constexpr int dist_fast_bits = 9;
constexpr int codelen_fast_bits = 7; // code-length codes are at most 7 bits

constexpr int max_lit_codes = 286;
constexpr int max_dist_codes = 30;
constexpr int fixed_lit_codes = 288;

// Order in which the code-length code lengths are sent (RFC 1951, section 3.2.7).
constexpr int16_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
// Base lengths and extra bits of length symbols 257..285 (section 3.2.5).
constexpr int16_t lens[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int16_t lext[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Base distances and extra bits of distance symbols 0..29.
constexpr int16_t dists[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int16_t dext[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                              6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The per-call decoding state.
struct inflate_state {
  uint8_t* dst;     // output, or count_only
  uint32_t dst_cap; // output capacity, enforced when counting too
  uint32_t dst_len; // bytes produced so far; wraps like the 32-bit count it is when counting
  bit_reader in;
};

// The fixed codes of section 3.2.6, shared by every call and never changed once built.
struct fixed_codes {
  huffman_storage<fixed_lit_codes, lit_fast_bits> lit{};
  huffman_storage<max_dist_codes, dist_fast_bits> dist{};
  huffman lencode = lit.view();
  huffman distcode = dist.view();

  fixed_codes() {
    int16_t lengths[fixed_lit_codes];
    std::fill_n(lengths, 144, int16_t{8});
    std::fill_n(lengths + 144, 112, int16_t{9});
    std::fill_n(lengths + 256, 24, int16_t{7});
    std::fill_n(lengths + 280, 8, int16_t{8});
    construct(lencode, lengths, fixed_lit_codes);
    // Only 30 of the 32 five-bit distance codes get a symbol; 30 and 31 match nothing.
    std::fill_n(lengths, max_dist_codes, int16_t{5});
    construct(distcode, lengths, max_dist_codes);
  }
};

// Built on the first fixed-code block any call meets; a function-local static is
// initialised exactly once even when threads get here together.
const fixed_codes& fixed_tables() {
  static const fixed_codes tables;
  return tables;
}

bool counting(const inflate_state& s) {
  return s.dst == count_only;
}

// Appends `length` bytes that start `distance` bytes before the end of the output. When the
// distance is shorter than the length, the copy repeats the last `distance` bytes, as a byte
// by byte copy front to back would. Writes exactly `length` bytes and no more.
void copy_match(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* from = out - distance;
  if (distance >= length) {
    std::memcpy(out, from, length);
    return;
  }
  if (distance == 1) {
    std::memset(out, *from, length);
    return;
  }
  // Overlapping: the bytes from `from` to `out` repeat with period `distance`, so copying
  // that whole span at once stays correct, and the span doubles each round.
  uint8_t* const end = out + length;
  while (out < end) {
    const size_t n =
        std::min<size_t>(static_cast<size_t>(end - out), static_cast<size_t>(out - from));
    std::memcpy(out, from, n);
    out += n;
  }
}

// Reads the length of a match from its length symbol (257..285) and extra bits.
int match_length(bit_reader& in, int symbol) {
  const int extra = in.bits(lext[symbol - 257]);
  if (extra < 0) return extra;
  return lens[symbol - 257] + extra;
}

// Reads the distance of a match: its code, then its extra bits.
int match_distance(bit_reader& in, const huffman& distcode) {
  const int symbol = decode(in, distcode);
  if (symbol < 0) return symbol;
  const int extra = in.bits(dext[symbol]);
  if (extra < 0) return extra;
  return dists[symbol] + extra;
}

// Decodes literals and matches up to the end-of-block symbol. `Counting` selects the mode
// where bytes are only counted, so the hot loop tests it at compile time.
template <bool Counting>
int codes(inflate_state& s, const huffman& lencode, const huffman& distcode) {
  for (;;) {
    const int symbol = decode(s.in, lencode);
    if (symbol < 0) return symbol;
    if (symbol < 256) {
      if (s.dst_len == s.dst_cap) return step_output_full;
      if constexpr (!Counting) s.dst[s.dst_len] = static_cast<uint8_t>(symbol);
      s.dst_len++;
      continue;
    }
    if (symbol == 256) return step_ok;
    if (symbol > 285) return step_malformed; // 286 and 287 exist only in the fixed code

    const int length = match_length(s.in, symbol);
    if (length < 0) return length;
    const int distance = match_distance(s.in, distcode);
    if (distance < 0) return distance;
    if (static_cast<uint32_t>(distance) > s.dst_len) return step_malformed; // before the start

    if (static_cast<uint32_t>(length) > s.dst_cap - s.dst_len) return step_output_full;
    if constexpr (!Counting)
      copy_match(s.dst + s.dst_len, static_cast<uint32_t>(distance), static_cast<uint32_t>(length));
    s.dst_len += static_cast<uint32_t>(length);
  }
}

int codes(inflate_state& s, const huffman& lencode, const huffman& distcode) {
  return counting(s) ? codes<true>(s, lencode, distcode) : codes<false>(s, lencode, distcode);
}

// A stored block: LEN, its complement NLEN, and LEN bytes copied as they are.
int stored(inflate_state& s) {
  bit_reader& in = s.in;
  in.align_to_byte();
  if (in.src_len - in.src_pos < 4) return step_exhausted;
  const uint8_t* field = in.src + in.src_pos;
  const uint32_t len = field[0] | (field[1] << 8);
  if (field[2] != (~len & 0xff) || field[3] != ((~len >> 8) & 0xff)) return step_malformed;
  in.src_pos += 4;
  if (len > in.src_len - in.src_pos) return step_exhausted;

  if (len > s.dst_cap - s.dst_len) return step_output_full;
  if (!counting(s) && len != 0) std::memcpy(s.dst + s.dst_len, in.src + in.src_pos, len);
  s.dst_len += len;
  in.src_pos += len;
  return step_ok;
}

// Reads the nlen + ndist code lengths of a dynamic block, run-length coded with the
// code-length code. A repeat may run on from the literal/length into the distance lengths.
int code_lengths(bit_reader& in, const huffman& lencode_of_lengths, int16_t* lengths, int total) {
  int index = 0;
  while (index < total) {
    const int symbol = decode(in, lencode_of_lengths);
    if (symbol < 0) return symbol;
    if (symbol < 16) {
      lengths[index++] = static_cast<int16_t>(symbol);
      continue;
    }
    int16_t repeated = 0;
    int times;
    if (symbol == 16) {
      if (index == 0) return step_malformed; // nothing to repeat
      repeated = lengths[index - 1];
      times = in.bits(2);
      if (times < 0) return times;
      times += 3;
    } else if (symbol == 17) {
      times = in.bits(3);
      if (times < 0) return times;
      times += 3;
    } else {
      times = in.bits(7);
      if (times < 0) return times;
      times += 11;
    }
    if (index + times > total) return step_malformed;
    std::fill_n(lengths + index, times, repeated);
    index += times;
  }
  return step_ok;
}

// Accepts a code built by `construct` when it is complete, or when it consists of one single
// 1-bit code (every symbol has length 0 or 1): the one incompleteness deflate allows.
bool usable(int built, const huffman& table, int n) {
  if (built == 0) return true;
  return built > 0 && n == table.len_count[0] + table.len_count[1];
}

// A dynamic block: its header describes the codes, then its data is decoded with them.
int dynamic(inflate_state& s) {
  bit_reader& in = s.in;
  const int hlit = in.bits(5);
  if (hlit < 0) return hlit;
  const int hdist = in.bits(5);
  if (hdist < 0) return hdist;
  const int hclen = in.bits(4);
  if (hclen < 0) return hclen;
  const int nlen = hlit + 257;
  const int ndist = hdist + 1;
  const int ncode = hclen + 4;
  if (nlen > max_lit_codes || ndist > max_dist_codes) return step_malformed;

  int16_t lengths[max_lit_codes + max_dist_codes];
  for (int i = 0; i < ncode; ++i) {
    const int length = in.bits(3);
    if (length < 0) return length;
    lengths[order[i]] = static_cast<int16_t>(length);
  }
  for (int i = ncode; i < 19; ++i) lengths[order[i]] = 0;

  // The code-length code must be complete (or empty, and then nothing decodes with it).
  huffman_storage<19, codelen_fast_bits> codelen_storage;
  huffman codelen = codelen_storage.view();
  if (construct(codelen, lengths, 19) != 0) return step_malformed;

  const int read = code_lengths(in, codelen, lengths, nlen + ndist);
  if (read != step_ok) return read;
  if (lengths[256] == 0) return step_malformed; // no end-of-block code

  huffman_storage<max_lit_codes, lit_fast_bits> lit_storage;
  huffman lencode = lit_storage.view();
  if (!usable(construct(lencode, lengths, nlen), lencode, nlen)) return step_malformed;
  huffman_storage<max_dist_codes, dist_fast_bits> dist_storage;
  huffman distcode = dist_storage.view();
  if (!usable(construct(distcode, lengths + nlen, ndist), distcode, ndist)) return step_malformed;

  return codes(s, lencode, distcode);
}

int fixed(inflate_state& s) {
  const fixed_codes& tables = fixed_tables();
  return codes(s, tables.lencode, tables.distcode);
}

// One block: its final-block flag goes to *last.
int block(inflate_state& s, int* last) {
  *last = s.in.bits(1);
  if (*last < 0) return *last;
  const int type = s.in.bits(2);
  switch (type) {
  case 0:
    return stored(s);
  case 1:
    return fixed(s);
  case 2:
    return dynamic(s);
  case 3:
    return step_malformed;
  default:
    return type; // input exhausted
  }
}

bool header_usable(const uint8_t* src) {
  const bool deflate_method = (src[0] & 0x0f) == 8;
  const bool preset_dictionary = (src[1] & 0x20) != 0;
  return deflate_method && !preset_dictionary;
}

// Runs the decoder over src into dst (or only counts, with count_only). The step that ended it:
// step_ok when the last block was read (or the data turned malformed part-way, which keeps what
// came before), else step_exhausted or step_output_full; *produced is the bytes written and
// *end how a step_ok run ended.
int run(const uint8_t* src, size_t src_len, uint8_t* dst, size_t dst_cap, size_t* produced,
        inflate_end* end) {
  *produced = 0;
  *end = {};
  if (src == nullptr || src_len < 2 || !header_usable(src)) return step_exhausted;
  inflate_state s{};
  s.dst = dst;
  s.dst_cap = static_cast<uint32_t>(dst_cap);
  s.in.src = src + 2;
  s.in.src_len = static_cast<uint32_t>(src_len - 2);
  for (;;) {
    int last = 0;
    const int result = block(s, &last);
    if (result == step_malformed) break;
    if (result != step_ok) return result;
    if (last) {
      // Whole bytes taken ahead into the bit buffer were not read.
      *end = {true, 2 + s.in.src_pos - static_cast<uint32_t>(s.in.bit_count >> 3)};
      break;
    }
  }
  *produced = s.dst_len;
  return step_ok;
}

} // namespace

int inflate_decompress(const uint8_t* src, size_t src_len, uint8_t* dst, size_t dst_cap,
                       size_t* out_len, inflate_end* end) noexcept {
  inflate_end ended;
  if (end) *end = {};
  if (out_len == nullptr) return -1;
  *out_len = 0;
  if (dst_cap > max_capacity) return -1;
  if (dst == nullptr && dst_cap != 0) return -1;
  size_t produced = 0;
  if (run(src, src_len, dst, dst_cap, &produced, &ended) != step_ok) return -1;
  *out_len = produced;
  if (end) *end = ended;
  return 0;
}

measured inflate_measure(const uint8_t* src, size_t src_len, size_t limit) noexcept {
  if (limit > max_capacity) limit = max_capacity;
  size_t produced = 0;
  inflate_end ended;
  switch (run(src, src_len, count_only, limit, &produced, &ended)) {
  case step_ok:
    return {measure::fits, produced};
  case step_output_full:
    return {measure::too_large, 0};
  default:
    return {measure::unusable, 0};
  }
}

} // namespace inflate
