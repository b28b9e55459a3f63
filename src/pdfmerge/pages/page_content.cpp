// The content bytes of one page, gathered from its /Contents: one referenced stream, an array of
// them (written in place or held by an object of its own), or a stream written directly after
// the name.
#include "pdfmerge/pages/pages.h"

namespace pdfmerge {
namespace {

// The parts of an array, joined with one line feed between consecutive parts that give bytes
// so that the last token of one part never runs into the first of the next. When one part
// alone gives bytes, `flate` is that part's.
bytes stream_array(const doc& d, bytes span, int32_t i, buf& content, buf& scratch,
                   content_room& room, flate_source& flate) {
  const int32_t end = static_cast<int32_t>(span.size());
  bool any_part = false;
  int32_t parts = 0;
  ++i;
  while (i < end) {
    const uint8_t c = byte_at(span, i);
    if (c == ']') break;
    if (!is_digit(c)) {
      ++i;
      continue;
    }
    const int32_t num = loose_ref_element(span, i, end);
    const obj_entry* e = num > 0 ? obj_lookup(d, num) : nullptr;
    if (!e) continue;
    scratch.len = 0;
    const size_t left = content.len < room.limit ? room.limit - content.len : 0;
    // A part whose filters are not decoded here contributes nothing.
    const stream_result part = decode_stream_chain(d, *e, scratch, left);
    if (part.too_large || (part.data && part.data->size() + 1 > left)) {
      room.exceeded = true;
      return {};
    }
    if (part.kept_filter || !part.data || part.data->empty()) continue;
    if (any_part) buf_str(content, "\n");
    buf_append(content, part.data->data(), part.data->size());
    any_part = true;
    if (++parts == 1) flate = part.flate;
  }
  if (parts != 1) flate = {};
  if (!any_part || !content.data) return {};
  return {content.data.get(), static_cast<size_t>(content.len)};
}

// A stream written directly after /Contents, its "<<" at i. Its bytes are taken unchanged.
bytes direct_stream(const doc& d, bytes span, int32_t i) {
  const int32_t end = static_cast<int32_t>(span.size());
  const int32_t kw = dict_stream_kw(span, i);
  if (kw < 0) return {};
  int32_t length = -1;
  int32_t ref = -1;
  parse_length(span, i, kw, length, ref);
  if (length < 0) {
    if (ref < 1) return {};
    length = resolve_length_ref(d.file(), d.objects, d.index, ref);
    if (length < 0) return {};
  }
  int32_t data = kw + 6;
  if (data < end) {
    const bool crlf =
        byte_at(span, data) == '\r' && data + 1 < end && byte_at(span, data + 1) == '\n';
    data += crlf ? 2 : 1;
  }
  if (int64_t{data} + length > end) return {};
  return span.subspan(static_cast<size_t>(data), static_cast<size_t>(length));
}

// One referenced object whose number starts at i: a stream, or an object holding the array
// of streams.
bytes single_stream(const doc& d, bytes span, int32_t i, buf& content, buf& scratch, bytes& filter,
                    bytes& parms, content_room& room, flate_source& flate) {
  const int32_t num = parse_int_at(span, i);
  if (num <= 0) return {};
  const obj_entry* e = obj_lookup(d, num);
  if (!e) return {};
  if (!e->has_stream) {
    const bytes body = object_body(d.file(), *e);
    if (!body.empty() && body[0] == '[')
      return stream_array(d, body, 0, content, scratch, room, flate);
    return {};
  }
  const stream_result r = decode_stream_chain(d, *e, content, room.limit);
  room.exceeded = room.exceeded || r.too_large;
  if (!r.data) return {};
  if (r.kept_filter) {
    filter = r.filter;
    parms = r.parms;
  }
  flate = r.flate;
  return *r.data;
}

// The page's own /Contents value: its text and the position of the value in it (-1 when the
// page has none). Only the page's own key counts, never one inside an annotation or other
// nested dictionary.
struct contents_value {
  bytes span;
  int32_t at = -1;
  int32_t end = 0;
};

contents_value contents_of(const doc& d, int32_t page_num) noexcept {
  contents_value v;
  const obj_entry* e = obj_lookup(d, page_num);
  dict_span sp;
  if (!e || !dict_span_of(d.file(), *e, sp)) return v;
  v.span = span_text(sp);
  v.end = sp.end;
  const int32_t q = find_own_key(v.span, sp.start, sp.end, "Contents");
  if (q < 0 || past_name(q, "Contents") >= sp.end) return v;
  const int32_t i = value_after_name(v.span, q, "Contents", sp.end);
  if (i < sp.end) v.at = i;
  return v;
}

} // namespace

const obj_entry* single_content_stream(const doc& d, int32_t page_num) noexcept {
  const contents_value v = contents_of(d, page_num);
  if (v.at < 0 || !is_digit(byte_at(v.span, v.at))) return nullptr;
  int32_t at = v.at;
  const int32_t num = parse_int_at(v.span, at);
  const obj_entry* e = num > 0 ? obj_lookup(d, num) : nullptr;
  return e && e->has_stream ? e : nullptr;
}

bytes page_content(const doc& d, int32_t page_num, buf& content, buf& scratch, bytes& filter,
                   bytes& parms, content_room* room, flate_source* flate) noexcept {
  content_room unbounded;
  content_room& within = room ? *room : unbounded;
  flate_source unused;
  flate_source& source = flate ? *flate : unused;
  content.len = 0;
  scratch.len = 0;
  filter = parms = {};
  source = {};
  const contents_value v = contents_of(d, page_num);
  if (v.at < 0) return {};
  const bytes span = v.span;
  const int32_t i = v.at;
  const int32_t end = v.end;
  const uint8_t c = byte_at(span, i);
  if (is_digit(c))
    return single_stream(d, span, i, content, scratch, filter, parms, within, source);
  if (c == '[') return stream_array(d, span, i, content, scratch, within, source);
  if (c == '<' && i + 1 < end && byte_at(span, i + 1) == '<') return direct_stream(d, span, i);
  return {};
}

} // namespace pdfmerge
