// An output held in memory object by object: the writer's pieces gathered per object, without
// the keywords that frame each object's text and data in the file.
#include "pdfmerge/merge/compact.h"

#include <cstring>

namespace pdfmerge {
namespace {

constexpr std::string_view end_text = "\nendobj\n";
constexpr std::string_view stream_head = "\nstream\n";

bool ends_with(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Counts `n` more bytes in memory against the output's limit; false (and the output failed)
// past it.
bool count_held(out_file& f, size_t n) {
  if (f.flushed + n >= f.limit) {
    f.failed = true;
    return false;
  }
  f.flushed += n;
  return true;
}

void held_out_of_memory(out_file& f) {
  f.failed = true;
  f.hold->out_of_memory = true;
}

} // namespace

void hold_close(held_output& h) noexcept {
  if (!h.open || h.objects.empty()) return;
  h.open = false;
  held_object& o = h.objects.back();
  if (!o.stream && ends_with(o.text, end_text)) o.text.resize(o.text.size() - end_text.size());
}

void hold_begin(out_file& f, int32_t n) noexcept {
  held_output& h = *f.hold;
  hold_close(h);
  try {
    h.objects.emplace_back();
  } catch (...) {
    held_out_of_memory(f);
    return;
  }
  h.objects.back().num = n;
  h.open = true;
}

void hold_put(out_file& f, bytes piece) noexcept {
  held_output& h = *f.hold;
  // Bytes outside objects (the header) and after a stream's data are not kept.
  if (!h.open || h.objects.back().stream) return;
  if (!count_held(f, piece.size())) return;
  try {
    h.objects.back().text.append(as_chars(piece));
  } catch (...) {
    held_out_of_memory(f);
  }
}

void hold_stream_data(out_file& f, bytes data, bool lasting) noexcept {
  held_output& h = *f.hold;
  if (!h.open || h.objects.back().stream) return;
  held_object& o = h.objects.back();
  if (ends_with(o.text, stream_head)) o.text.resize(o.text.size() - stream_head.size());
  o.stream = true;
  if (lasting) {
    o.data = data;
    return;
  }
  if (data.empty() || !count_held(f, data.size())) return;
  o.data = hold_copy(h, data);
  if (o.data.empty()) held_out_of_memory(f);
}

bytes hold_copy(held_output& h, bytes data) noexcept {
  if (data.empty()) return {};
  file_memory m = h.room.take(data.size());
  if (!m) return {};
  std::memcpy(m.get(), data.data(), data.size());
  const bytes copy(m.get(), data.size());
  if (m.get_deleter().pooled) {
    (void)m.release(); // the room keeps its blocks
    return copy;
  }
  try {
    h.own.push_back(std::move(m));
  } catch (...) {
    return {};
  }
  return copy;
}

} // namespace pdfmerge
