// An object's own text: the span its dictionary is searched in, its /Type in the page tree,
// and its body between "obj" and endobj.
#include "pdfmerge/document/document.h"

namespace pdfmerge {

bool dict_span_of(bytes file, const obj_entry& e, dict_span& out) noexcept {
  if (e.in_objstm) {
    out = {bytes(e.text, static_cast<size_t>(e.text_len)), 0, e.text_len};
    return true;
  }
  if (e.dict_start < 0) return false;
  const int32_t end = e.stream_kw > 0 ? e.stream_kw : e.endobj > 0 ? e.endobj : size_of(file);
  out = {file, e.dict_start, end};
  return true;
}

bytes span_text(const dict_span& sp) noexcept {
  const int32_t end = sp.end < size_of(sp.text) ? sp.end : size_of(sp.text);
  return sp.text.first(static_cast<size_t>(end > 0 ? end : 0));
}

// The first own /Type whose value is a name decides: /Page, /Pages, or (for /PageLabel,
// /Pagesx and the like) neither. A /Type with another value lets a later /Type decide.
node_type obj_type(bytes file, const obj_entry& e) noexcept {
  dict_span sp;
  if (!dict_span_of(file, e, sp)) return node_type::other;
  const bytes t = span_text(sp);
  const int32_t end = size_of(t);
  for (int32_t s = sp.start;;) {
    const int32_t p = find_own_key(t, s, end, "Type");
    if (p < 0) return node_type::other;
    const int32_t j = value_after_name(t, p, "Type", end);
    if (j + 4 >= end || byte_at(t, j) != '/' || as_chars(t.subspan(size_t(j) + 1, 4)) != "Page") {
      s = p + 1; // searched again from there, the nesting counted afresh
      continue;
    }
    if (j + 5 >= end || !is_alnum(byte_at(t, j + 5))) return node_type::page;
    if (byte_at(t, j + 5) != 's') return node_type::other;
    if (j + 6 >= end || !is_alnum(byte_at(t, j + 6))) return node_type::pages;
    return node_type::other;
  }
}

bool is_file_structure(const doc& d, int32_t num) noexcept {
  if (num == d.catalog_num || num == d.root_num) return true;
  const obj_entry* e = obj_lookup(d, num);
  if (!e) return false;
  if (obj_type(d.file(), *e) != node_type::other) return true;
  if (!e->has_stream || e->in_objstm || e->dict_start < 0 || e->stream_kw <= e->dict_start)
    return false;
  const std::string_view type = as_chars(own_value(d.file(), e->dict_start, e->stream_kw, "Type"));
  return type == "/XRef" || type == "/ObjStm";
}

bytes object_body(bytes file, const obj_entry& e) noexcept {
  if (e.in_objstm) return {e.text, static_cast<size_t>(e.text_len)};
  const int32_t len = size_of(file);
  if (e.start < 0 || e.endobj < 0 || e.endobj > len) return {};
  // The header as object discovery reads it: number, white space, generation, white space,
  // "obj" (the white space of isspace, as there).
  int32_t i = e.start;
  (void)read_digits(file, i, len);
  while (i < len && is_c_space(byte_at(file, i))) ++i;
  (void)read_digits(file, i, len);
  while (i < len && is_c_space(byte_at(file, i))) ++i;
  if (!kw_at(file, i, "obj")) return {};
  const int32_t from = skip_ws(file, i + 3, e.endobj);
  int32_t to = e.endobj;
  while (to > from && is_pdf_ws(byte_at(file, to - 1))) --to;
  return file.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from));
}

} // namespace pdfmerge
