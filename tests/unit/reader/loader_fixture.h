// Helpers for the loader's tests: documents made from bytes without a file, running the
// loading phases on them, and object-stream containers.
#pragma once

#include "pdf_builder.h"
#include "pdfmerge/reader/phases.h"

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Each loading phase run alone, with text indexes of its own, as the tests drive them; the
// loader itself runs them in order over one set of indexes.
namespace pdfmerge {
inline void trailers_read(doc& d) {
  text_indexes ix(d.file());
  trailers_read(d, ix);
}
inline void objects_discover(doc& d) {
  text_indexes ix(d.file());
  objects_discover(d, ix);
}
inline bool objstms_expand(doc& d, uint64_t budget) {
  text_indexes ix(d.file());
  return objstms_expand(d, ix, budget);
}
inline bool objstms_expand(doc& d) {
  return objstms_expand(d, objstm_budget(d.len));
}
inline void definitions_select(doc& d) {
  text_indexes ix(d.file());
  definitions_select(d, ix);
}
inline void definitions_select_direct(doc& d) {
  text_indexes ix(d.file());
  definitions_select_direct(d, ix);
}
inline int32_t catalog_resolve(doc& d) {
  text_indexes ix(d.file());
  return catalog_resolve(d, ix);
}
} // namespace pdfmerge

namespace loadtest {

// A document holding `bytes` as its file, as the intake phase would leave it.
inline pdfmerge::doc doc_of(std::string_view bytes) {
  pdfmerge::doc d;
  d.data.reset(new uint8_t[bytes.size() + 1]);
  if (!bytes.empty()) std::memcpy(d.data.get(), bytes.data(), bytes.size());
  d.len = static_cast<int32_t>(bytes.size());
  return d;
}

// The document after object discovery.
inline pdfmerge::doc discovered(std::string_view bytes) {
  pdfmerge::doc d = doc_of(bytes);
  pdfmerge::objects_discover(d);
  return d;
}

// The document after the trailers, object discovery, the object streams and the selection of
// definitions.
inline pdfmerge::doc selected(std::string_view bytes) {
  pdfmerge::doc d = doc_of(bytes);
  pdfmerge::trailers_read(d);
  pdfmerge::objects_discover(d);
  pdfmerge::objstms_expand(d);
  pdfmerge::definitions_select(d);
  return d;
}

// The numbers of the table's entries, in table order.
inline std::vector<int32_t> nums_of(const pdfmerge::doc& d) {
  std::vector<int32_t> nums;
  for (const auto& e : d.objects) nums.push_back(e.num);
  return nums;
}

inline std::string text_of(const pdfmerge::obj_entry& e) {
  return std::string(reinterpret_cast<const char*>(e.text), static_cast<size_t>(e.text_len));
}

// The text of the file from `from` to `to`.
inline std::string file_text(const pdfmerge::doc& d, int32_t from, int32_t to) {
  return std::string(reinterpret_cast<const char*>(d.data.get()) + from,
                     static_cast<size_t>(to - from));
}

// Adds an object-stream container `num` holding `members` to `b`: compressed with stored
// deflate blocks unless `deflate` is false; `extra` goes into its dictionary.
inline void add_objstm(fixtures::pdf_builder& b, int num,
                       const std::vector<std::pair<int, std::string>>& members, bool deflate = true,
                       std::string_view extra = "") {
  int first = 0;
  const std::string body = fixtures::objstm_body(members, first);
  std::string dict = "/Type /ObjStm /N " + std::to_string(members.size()) + " /First " +
                     std::to_string(first) + (deflate ? " /Filter /FlateDecode" : "");
  if (!extra.empty()) dict += " " + std::string(extra);
  b.stream(num, dict, deflate ? fixtures::zlib_stored(body) : body);
}

// A container with its dictionary entries given whole and its decoded data given as bytes.
inline void add_raw_objstm(fixtures::pdf_builder& b, int num, std::string_view dict,
                           std::string_view decoded) {
  b.stream(num, std::string(dict) + " /Filter /FlateDecode", fixtures::zlib_stored(decoded));
}

} // namespace loadtest
