// Where a stream's data lies: the keyword "stream" after its dictionary and its /Length.
#include "pdfmerge/document/document.h"

namespace pdfmerge {
namespace {

// Reads a direct or indirect /Length value whose first byte (a digit or '-') is at i.
// Returns true when it settled the outputs; false to try the next /Length.
bool read_length_number(bytes text, int32_t i, int32_t stop, int32_t& out_len, int32_t& out_ref) {
  const int32_t value = parse_int_at(text, i);
  if (value < 0) return false;
  if (r_at(text, skip_generation(text, i, stop), stop))
    out_ref = value;
  else
    out_len = value;
  return true;
}

// Reads "[n n n]": the last non-negative integer is the length.
bool read_length_array(bytes text, int32_t i, int32_t stop, int32_t& out_len) {
  const bytes range = text.first(static_cast<size_t>(stop));
  int32_t candidate = -1;
  ++i;
  while (i < stop && byte_at(text, i) != ']') {
    int32_t at = i;
    const int32_t v = parse_int_at(range, at);
    if (v >= 0) candidate = v;
    i = at > i ? at : i + 1;
  }
  if (candidate < 0) return false;
  out_len = candidate;
  return true;
}

} // namespace

// The dictionary's tokens are "<<", ">>", a whole literal string and any other byte; the
// first ">>" that brings the count of "<<" back to 0 closes it. dict_close.cpp answers the
// same question for every object header of a file in one pass, and must read the same tokens.
int32_t dict_stream_kw(bytes text, int32_t from) noexcept {
  const int32_t len = size_of(text);
  if (from < 0 || from >= len) return -1;
  int32_t depth = 0;
  int32_t i = from;
  while (i < len) {
    const uint8_t c = byte_at(text, i);
    if ((c == '<' || c == '>' || c == '(') && i + 1 >= len) return -1;
    if (c == '<' && byte_at(text, i + 1) == '<') {
      ++depth;
      i += 2;
    } else if (c == '>' && byte_at(text, i + 1) == '>') {
      if (--depth == 0) {
        const int32_t k = skip_ws(text, i + 2, len);
        return kw_at(text, k, "stream") ? k : -1;
      }
      i += 2;
    } else if (c == '(') {
      i = skip_literal_string(text, i, len);
      if (i < 0) return -1;
    } else {
      ++i;
    }
  }
  return -1;
}

void parse_length(bytes text, int32_t from, int32_t stop, int32_t& out_len,
                  int32_t& out_ref) noexcept {
  out_len = -1;
  out_ref = -1;
  if (stop > size_of(text)) stop = size_of(text);
  for (int32_t k = find_name(text, from, stop, "Length"); k >= 0;
       k = find_name(text, k + 1, stop, "Length")) {
    // The one byte after the name is passed over unexamined, as the readers of this format
    // have always done: "/Length(5)" reads 5.
    const int32_t after = past_name(k, "Length") + 1;
    if (after >= stop) return;
    const int32_t i = skip_ws(text, after, stop);
    if (i >= stop) return;
    const uint8_t c = byte_at(text, i);
    if ((is_digit(c) || c == '-') && read_length_number(text, i, stop, out_len, out_ref)) return;
    if (c == '[' && read_length_array(text, i, stop, out_len)) return;
  }
}

int32_t resolve_length_ref(bytes file, const objvec& objects, const obj_index& index,
                           int32_t ref) noexcept {
  const int32_t pos = obj_index_find(index, ref);
  if (pos < 0) return -1;
  const obj_entry& e = objects[static_cast<size_t>(pos)];
  if (e.has_stream || e.start < 0) return -1;
  const int32_t len = size_of(file);
  int32_t i = e.start;
  if (parse_int_at(file, i) < 0) return -1;
  i = skip_generation(file, i, len);
  if (kw_at(file, i, "obj")) i = skip_ws(file, i + 3, len);
  const int32_t value = parse_int_at(file, i);
  return value >= 0 ? value : -1;
}

} // namespace pdfmerge
