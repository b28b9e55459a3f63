// The deflate encoder's stream: input is copied into the window, coded by the LZ77 step as far
// as the lookahead rule allows, and written a block at a time.
//
// Every decision depends on the input bytes alone, never on how they arrive: a position is
// coded only once the longest match it could have is held (or the input has ended), a block
// ends when its symbol buffer fills or the window slides, and the window slides when the next
// position to code lacks that room. So the output is the same for any split into pieces.
#include "deflate/deflate.h"

#include "deflate/deflate_bits.h"
#include "deflate/deflate_block.h"
#include "deflate/deflate_match.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace deflate {

struct deflate_state {
  match_window window;
  block_symbols block;
  block_plan plan;
  uint32_t block_start = 0; // window position of the current block's first input byte
  uint32_t adler = 1;
  uint64_t bit_acc = 0; // bits of the last, partly written byte of output
  int bit_count = 0;
  bool started = false;
};

namespace {

// CMF: deflate with a 32 KiB window. FLG: the "fastest" level, no dictionary, and check bits
// that make CMF * 256 + FLG a multiple of 31 (0x7801 = 31 * 991).
constexpr uint8_t zlib_header[2] = {0x78, 0x01};

void append(std::vector<uint8_t>& out, const uint8_t* bytes, size_t n) {
  out.insert(out.end(), bytes, bytes + n);
}

void stream_begin(deflate_state& s, std::vector<uint8_t>& out) {
  s.window.reset();
  s.block.clear();
  s.block_start = 0;
  s.adler = 1;
  s.bit_acc = 0;
  s.bit_count = 0;
  append(out, zlib_header, sizeof zlib_header);
  s.started = true;
}

// Writes the current block (the final one when `last`) and starts the next at s.window.pos.
// False when the writer's bounds check stopped it: the planned size was wrong.
bool block_flush(deflate_state& s, std::vector<uint8_t>& out, bool last) {
  const std::span<const uint8_t> input(s.window.bytes + s.block_start,
                                       s.window.pos - s.block_start);
  block_plan_make(s.block, input.size(), s.bit_count, s.plan);
  // The bits pending from the last block, this block, and the writer's slack.
  constexpr size_t slack = 8;
  const size_t room = static_cast<size_t>((s.bit_count + s.plan.bits + 7) / 8) + slack;
  const size_t old_size = out.size();
  out.resize(old_size + room);

  bit_writer w{out.data() + old_size, out.data() + out.size(), s.bit_acc, s.bit_count, false};
  block_write(s.plan, s.block, input, last, w);
  if (last) {
    w.align();
  } else {
    w.store_whole_bytes();
  }
  if (w.overflow) return false;
  out.resize(static_cast<size_t>(w.out - out.data()));
  s.bit_acc = w.acc;
  s.bit_count = w.count;

  s.block.clear();
  s.block_start = s.window.pos;
  return true;
}

// Codes every position that has its lookahead, flushing full blocks and sliding the window
// when the next position lacks room. On return the window has room for more input.
bool code_ready(deflate_state& s, std::vector<uint8_t>& out) {
  match_window& w = s.window;
  for (;;) {
    if (w.fill >= window_lookahead) lz77_parse(w, s.block, w.fill + 1 - window_lookahead);
    if (s.block.full()) {
      if (!block_flush(s, out, false)) return false;
      continue;
    }
    if (w.pos <= window_slide_at) return true;
    if (s.block.count != 0 && !block_flush(s, out, false)) return false;
    s.block_start -= w.slide();
  }
}

bool stream_add(deflate_state& s, std::span<const uint8_t> piece, std::vector<uint8_t>& out) {
  s.adler = adler32(s.adler, piece);
  match_window& w = s.window;
  while (!piece.empty()) {
    const size_t n = std::min<size_t>(piece.size(), window_capacity - w.fill);
    std::memcpy(w.bytes + w.fill, piece.data(), n);
    w.fill += static_cast<uint32_t>(n);
    piece = piece.subspan(n);
    if (!code_ready(s, out)) return false;
  }
  return true;
}

// Codes the rest of the input, all of it in the window, writes the final block and the
// Adler-32 trailer.
bool stream_finish(deflate_state& s, std::vector<uint8_t>& out) {
  match_window& w = s.window;
  for (;;) {
    lz77_parse(w, s.block, w.fill);
    if (w.pos == w.fill) break;
    if (!block_flush(s, out, false)) return false;
  }
  if (!block_flush(s, out, true)) return false;
  const uint8_t trailer[4] = {static_cast<uint8_t>(s.adler >> 24),
                              static_cast<uint8_t>(s.adler >> 16),
                              static_cast<uint8_t>(s.adler >> 8), static_cast<uint8_t>(s.adler)};
  append(out, trailer, sizeof trailer);
  s.started = false;
  return true;
}

} // namespace

deflate_encoder::deflate_encoder() noexcept = default;
deflate_encoder::~deflate_encoder() = default;

bool deflate_encoder::add(std::span<const uint8_t> piece, std::vector<uint8_t>& out) noexcept {
  try {
    if (!state_) state_ = std::make_unique<deflate_state>();
    if (!state_->started) stream_begin(*state_, out);
    if (stream_add(*state_, piece, out)) return true;
  } catch (...) {
    // Only allocation can throw here (std::bad_alloc, or std::length_error from a vector).
  }
  if (state_) state_->started = false;
  return false;
}

bool deflate_encoder::finish(std::vector<uint8_t>& out) noexcept {
  try {
    if (!state_) state_ = std::make_unique<deflate_state>();
    if (!state_->started) stream_begin(*state_, out);
    if (stream_finish(*state_, out)) return true;
  } catch (...) {
  }
  if (state_) state_->started = false;
  return false;
}

bool deflate_compress(std::span<const uint8_t> in, std::vector<uint8_t>& out) noexcept {
  deflate_encoder encoder;
  return encoder.add(in, out) && encoder.finish(out);
}

} // namespace deflate
