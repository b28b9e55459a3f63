#include "deflate/deflate_block.h"

#include "deflate/deflate_huffman.h"

#include <algorithm>
#include <cstring>

namespace deflate {
namespace {

constexpr int cl_codes = 19;
constexpr int cl_max_bits = 7; // code-length codes are sent as 3-bit lengths
constexpr uint32_t stored_max = 65535;

// Order in which the code-length code lengths are sent (RFC 1951, section 3.2.7).
constexpr uint8_t cl_order[cl_codes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                        11, 4,  12, 3, 13, 2, 14, 1, 15};
// Extra bits after code-length symbols 16 (repeat the previous 3..6 times), 17 (3..10 zeros)
// and 18 (11..138 zeros).
constexpr int cl_extra_bits[cl_codes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};

// The fixed codes of section 3.2.6, built once on first use; a function-local static is
// initialised exactly once even when threads get here together.
struct fixed_codes {
  uint8_t lit_len[288];
  uint16_t lit_code[288];
  uint8_t dist_len[deflate_dist_codes];
  uint16_t dist_code[deflate_dist_codes];

  fixed_codes() {
    std::fill_n(lit_len, 144, uint8_t{8});
    std::fill_n(lit_len + 144, 112, uint8_t{9});
    std::fill_n(lit_len + 256, 24, uint8_t{7});
    std::fill_n(lit_len + 280, 8, uint8_t{8});
    huffman_codes(lit_len, 288, lit_code);
    std::fill_n(dist_len, deflate_dist_codes, uint8_t{5});
    huffman_codes(dist_len, deflate_dist_codes, dist_code);
  }
};

const fixed_codes& fixed_tables() {
  static const fixed_codes tables;
  return tables;
}

// Bits of the block's symbols and end-of-block code with the given code lengths, extra bits
// included.
uint64_t data_bits(const block_symbols& block, const uint8_t* lit_len, const uint8_t* dist_len) {
  uint64_t bits = lit_len[deflate_end_of_block];
  for (int s = 0; s < 256; ++s) bits += uint64_t{block.lit_freq[s]} * lit_len[s];
  for (int s = 257; s < deflate_lit_codes; ++s) {
    bits += uint64_t{block.lit_freq[s]} * (lit_len[s] + length_extra_bits[s - 257]);
  }
  for (int s = 0; s < deflate_dist_codes; ++s) {
    bits += uint64_t{block.dist_freq[s]} * (dist_len[s] + distance_extra_bits[s]);
  }
  return bits;
}

// Stored blocks for input_len bytes: each has a 3-bit header, padding to a byte boundary,
// LEN and NLEN, and at most 65535 bytes. Only the first one's padding depends on the offset.
uint64_t stored_bits(uint64_t input_len, int bit_offset) {
  const uint64_t blocks = input_len == 0 ? 1 : (input_len + stored_max - 1) / stored_max;
  const uint64_t first_padding = (8 - (bit_offset + 3) % 8) % 8;
  return 3 + first_padding + 32 + (blocks - 1) * (3 + 5 + 32) + 8 * input_len;
}

// Run-length codes the lengths[0..n) with code-length symbols: runs of zeros as 17 (3..10)
// and 18 (11..138), other runs as the length once and then 16 (3..6 repeats). A run may cross
// from the literal/length lengths into the distance lengths, as the format allows.
void run_length_code(const uint8_t* lengths, int n, dynamic_codes& d) {
  d.nops = 0;
  const auto emit = [&](int symbol, int extra) {
    d.op_symbol[d.nops] = static_cast<uint8_t>(symbol);
    d.op_extra[d.nops] = static_cast<uint8_t>(extra);
    d.nops++;
  };
  int i = 0;
  while (i < n) {
    const uint8_t value = lengths[i];
    int run = 1;
    while (i + run < n && lengths[i + run] == value) ++run;
    i += run;
    if (value == 0) {
      for (; run >= 11; run -= std::min(run, 138)) emit(18, std::min(run, 138) - 11);
      if (run >= 3) {
        emit(17, run - 3);
        run = 0;
      }
    } else {
      emit(value, 0);
      --run;
      for (; run >= 3; run -= std::min(run, 6)) emit(16, std::min(run, 6) - 3);
    }
    for (; run > 0; --run) emit(value, 0);
  }
}

// Builds the block's dynamic codes and their description; returns the header's size in bits
// (block type included, data not).
uint64_t dynamic_make(const block_symbols& block, dynamic_codes& d) {
  uint32_t lit_freq[deflate_lit_codes];
  std::memcpy(lit_freq, block.lit_freq, sizeof lit_freq);
  lit_freq[deflate_end_of_block] = 1;
  huffman_lengths(lit_freq, deflate_lit_codes, deflate_max_bits, d.lit_len);
  huffman_codes(d.lit_len, deflate_lit_codes, d.lit_code);
  huffman_lengths(block.dist_freq, deflate_dist_codes, deflate_max_bits, d.dist_len);
  huffman_codes(d.dist_len, deflate_dist_codes, d.dist_code);

  // Trailing zero lengths are not sent; the end-of-block symbol and two distance codes
  // always have lengths, so at least 257 and 1 remain.
  d.nlen = deflate_lit_codes;
  while (d.lit_len[d.nlen - 1] == 0) --d.nlen;
  d.ndist = deflate_dist_codes;
  while (d.dist_len[d.ndist - 1] == 0) --d.ndist;

  uint8_t sent[deflate_lit_codes + deflate_dist_codes];
  std::memcpy(sent, d.lit_len, static_cast<size_t>(d.nlen));
  std::memcpy(sent + d.nlen, d.dist_len, static_cast<size_t>(d.ndist));
  run_length_code(sent, d.nlen + d.ndist, d);

  uint32_t cl_freq[cl_codes] = {};
  for (int k = 0; k < d.nops; ++k) cl_freq[d.op_symbol[k]]++;
  huffman_lengths(cl_freq, cl_codes, cl_max_bits, d.cl_len);
  huffman_codes(d.cl_len, cl_codes, d.cl_code);
  d.ncl = cl_codes;
  while (d.ncl > 4 && d.cl_len[cl_order[d.ncl - 1]] == 0) --d.ncl;

  uint64_t bits = 3 + 5 + 5 + 4 + 3 * static_cast<uint64_t>(d.ncl);
  for (int k = 0; k < d.nops; ++k) bits += d.cl_len[d.op_symbol[k]] + cl_extra_bits[d.op_symbol[k]];
  return bits;
}

void write_stored(std::span<const uint8_t> input, bool last, bit_writer& out) {
  size_t pos = 0;
  do {
    const size_t len = std::min<size_t>(input.size() - pos, stored_max);
    const bool final_piece = last && pos + len == input.size();
    out.put(final_piece ? 1 : 0, 1);
    out.put(0, 2);
    out.align();
    out.put(static_cast<uint32_t>(len), 16);
    out.put(static_cast<uint32_t>(~len & 0xffff), 16);
    out.align();
    // Straight copy: the writer is at a byte boundary with nothing pending.
    if (static_cast<size_t>(out.end - out.out) < len + 8) {
      out.overflow = true;
      return;
    }
    if (len != 0) std::memcpy(out.out, input.data() + pos, len);
    out.out += len;
    pos += len;
  } while (pos < input.size());
}

// The symbols and the end-of-block code with the given codes. Each match length's code and
// extra bits are joined once per block, into one value to send.
void write_data(const block_symbols& block, const uint8_t* lit_len, const uint16_t* lit_code,
                const uint8_t* dist_len, const uint16_t* dist_code, bit_writer& out) {
  uint32_t length_bits[deflate_max_match + 1];
  uint8_t length_count[deflate_max_match + 1];
  for (uint32_t length = deflate_min_match; length <= deflate_max_match; ++length) {
    const coded_value c = length_code(length);
    const int symbol = 257 + c.symbol;
    length_bits[length] = lit_code[symbol] | c.extra << lit_len[symbol];
    length_count[length] = static_cast<uint8_t>(lit_len[symbol] + c.extra_bits);
  }
  for (uint32_t k = 0; k < block.count; ++k) {
    const uint32_t item = block.items[k];
    const uint32_t distance = item >> 16;
    if (distance == 0) {
      out.put(lit_code[item], lit_len[item]);
      continue;
    }
    const uint32_t length = item & 0xffff;
    out.put(length_bits[length], length_count[length]);
    const coded_value dist = distance_code(distance);
    out.put(dist_code[dist.symbol] | dist.extra << dist_len[dist.symbol],
            dist_len[dist.symbol] + dist.extra_bits);
  }
  out.put(lit_code[deflate_end_of_block], lit_len[deflate_end_of_block]);
}

void write_dynamic_header(const dynamic_codes& d, bool last, bit_writer& out) {
  out.put(last ? 1 : 0, 1);
  out.put(2, 2);
  out.put(static_cast<uint32_t>(d.nlen - 257), 5);
  out.put(static_cast<uint32_t>(d.ndist - 1), 5);
  out.put(static_cast<uint32_t>(d.ncl - 4), 4);
  for (int k = 0; k < d.ncl; ++k) out.put(d.cl_len[cl_order[k]], 3);
  for (int k = 0; k < d.nops; ++k) {
    const int symbol = d.op_symbol[k];
    out.put(d.cl_code[symbol], d.cl_len[symbol]);
    if (cl_extra_bits[symbol] != 0) out.put(d.op_extra[k], cl_extra_bits[symbol]);
  }
}

} // namespace

void block_symbols::clear() {
  count = 0;
  std::fill_n(lit_freq, deflate_lit_codes, 0u);
  std::fill_n(dist_freq, deflate_dist_codes, 0u);
}

void block_plan_make(const block_symbols& block, uint64_t input_len, int bit_offset,
                     block_plan& plan) {
  const fixed_codes& fixed = fixed_tables();
  const uint64_t stored = stored_bits(input_len, bit_offset);
  const uint64_t fixed_size = 3 + data_bits(block, fixed.lit_len, fixed.dist_len);
  const uint64_t dynamic_size = dynamic_make(block, plan.dynamic) +
                                data_bits(block, plan.dynamic.lit_len, plan.dynamic.dist_len);
  if (stored <= fixed_size && stored <= dynamic_size) {
    plan.kind = block_kind::stored;
    plan.bits = stored;
  } else if (fixed_size <= dynamic_size) {
    plan.kind = block_kind::fixed;
    plan.bits = fixed_size;
  } else {
    plan.kind = block_kind::dynamic;
    plan.bits = dynamic_size;
  }
}

void block_write(const block_plan& plan, const block_symbols& block, std::span<const uint8_t> input,
                 bool last, bit_writer& out) {
  switch (plan.kind) {
  case block_kind::stored:
    write_stored(input, last, out);
    return;
  case block_kind::fixed: {
    const fixed_codes& fixed = fixed_tables();
    out.put(last ? 1 : 0, 1);
    out.put(1, 2);
    write_data(block, fixed.lit_len, fixed.lit_code, fixed.dist_len, fixed.dist_code, out);
    return;
  }
  case block_kind::dynamic: {
    const dynamic_codes& d = plan.dynamic;
    write_dynamic_header(d, last, out);
    write_data(block, d.lit_len, d.lit_code, d.dist_len, d.dist_code, out);
    return;
  }
  }
}

} // namespace deflate
