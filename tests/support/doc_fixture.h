// Builds a pdfmerge::doc by hand from object texts, without the loader, so that the page tree
// and attribute operations can be tested on their own.
#pragma once

#include "pdfmerge/pdfmerge_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace testdoc {

// The text of object `num` holding `body`.
inline std::string obj(int num, const std::string& body) {
  return std::to_string(num) + " 0 obj\n" + body + "\nendobj";
}

// A stream object whose dictionary holds `dict_entries` and a /Length that fits `data`.
inline std::string stream_obj(int num, const std::string& dict_entries, const std::string& data) {
  return obj(num, "<< " + dict_entries + " /Length " + std::to_string(data.size()) +
                      " >>\nstream\n" + data + "\nendstream");
}

// A member of an object stream: its number and its bare text (no "N G obj" header).
struct member {
  int32_t num;
  std::string text;
};

inline bool ws(char c) {
  return pdfmerge::is_pdf_ws(static_cast<uint8_t>(c));
}

// The entry of one "N G obj ... endobj" text that starts at `at` in the file.
inline pdfmerge::obj_entry entry_of(const std::string& text, int32_t at) {
  pdfmerge::obj_entry e;
  char* rest = nullptr;
  e.num = static_cast<int32_t>(std::strtol(text.c_str(), &rest, 10));
  e.gen = static_cast<int32_t>(std::strtol(rest, nullptr, 10));
  e.start = at;
  size_t i = text.find("obj") + 3;
  while (i < text.size() && ws(text[i])) ++i;
  if (i < text.size() && text[i] == '<') e.dict_start = at + static_cast<int32_t>(i);
  size_t endobj = text.rfind("endobj");
  if (endobj != std::string::npos) {
    e.endobj = at + static_cast<int32_t>(endobj);
    e.end = e.endobj + 6;
  }
  // "stream" followed by an end of line, and not the tail of "endstream".
  for (size_t s = text.find("stream"); s != std::string::npos; s = text.find("stream", s + 1)) {
    if (s >= 3 && text.compare(s - 3, 3, "end") == 0) continue;
    size_t data = s + 6;
    if (data < text.size() && text[data] == '\r') ++data;
    if (data >= text.size() || text[data] != '\n') continue;
    ++data;
    size_t stop = text.find("endstream", data);
    if (stop == std::string::npos) break;
    size_t data_end = stop;
    if (data_end > data && text[data_end - 1] == '\n') --data_end;
    if (data_end > data && text[data_end - 1] == '\r') --data_end;
    e.has_stream = 1;
    e.stream_kw = at + static_cast<int32_t>(s);
    e.data_start = at + static_cast<int32_t>(data);
    e.data_end = at + static_cast<int32_t>(data_end);
    break;
  }
  return e;
}

// A document whose file holds a header line and then each object text on its own line, in
// table order, followed by the object-stream members (kept in the arena).
inline pdfmerge::doc make_doc(const std::vector<std::string>& objects,
                              const std::vector<member>& members = {}) {
  pdfmerge::doc d;
  std::string file = "%PDF-1.4\n";
  for (const std::string& text : objects) {
    d.objects.push_back(entry_of(text, static_cast<int32_t>(file.size())));
    file += text + "\n";
  }
  for (const member& m : members) {
    uint8_t* block = pdfmerge::arena_alloc(d.arena, m.text.size() + 1);
    std::memcpy(block, m.text.data(), m.text.size());
    pdfmerge::obj_entry e;
    e.num = m.num;
    e.in_objstm = 1;
    e.text = block;
    e.text_len = static_cast<int32_t>(m.text.size());
    d.objects.push_back(e);
  }
  d.len = static_cast<int32_t>(file.size());
  d.data.reset(new uint8_t[file.size()]);
  std::memcpy(d.data.get(), file.data(), file.size());
  for (const auto& e : d.objects) d.max_num = std::max(d.max_num, e.num);
  pdfmerge::obj_index_build(d.index, d.objects);
  return d;
}

// The zeroed cycle-guard map a walk of `d` needs.
inline std::vector<uint8_t> visited_for(const pdfmerge::doc& d) {
  return std::vector<uint8_t>(static_cast<size_t>(d.max_num) + 1, 0);
}

// The dictionary span of object `num` cut at its end, as the attribute operations take it.
inline pdfmerge::bytes span_of(const pdfmerge::doc& d, int32_t num, int32_t& from) {
  pdfmerge::dict_span sp;
  const pdfmerge::obj_entry* e = pdfmerge::obj_lookup(d, num);
  if (!e || !pdfmerge::dict_span_of(d.file(), *e, sp)) return {};
  from = sp.start;
  return sp.text.first(static_cast<size_t>(sp.end));
}

inline std::string str(pdfmerge::bytes b) {
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

} // namespace testdoc
