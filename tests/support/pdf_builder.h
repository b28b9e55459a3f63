// Assembles PDF files byte by byte for test fixtures: plain objects, streams, classic
// cross-reference tables, trailers, cross-reference streams, junk and incremental updates.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace fixtures {

class pdf_builder {
public:
  // Starts the file with `header` (pass "" for a file without one).
  explicit pdf_builder(std::string header = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");

  // Appends bytes as they are.
  pdf_builder& raw(std::string_view bytes);
  // "num gen obj\n<body>\nendobj\n"; remembers the object's offset for the next xref.
  pdf_builder& object(int num, std::string_view body, int gen = 0);
  // A stream object: "<< <dict_entries> /Length <n> >>\nstream\n<data>\nendstream".
  // With length < 0 the true data length is written.
  pdf_builder& stream(int num, std::string_view dict_entries, std::string_view data,
                      long length = -1);
  // A classic cross-reference table of the objects added since the previous table.
  pdf_builder& xref_table();
  // "trailer\n<dict>\n".
  pdf_builder& trailer(std::string_view dict);
  // "startxref\n<offset>\n%%EOF\n" with the offset of the last table or xref stream, or `at`.
  pdf_builder& startxref(long at = -1);
  // An uncompressed cross-reference stream object (/Type /XRef, /W [1 4 2]) listing the objects
  // added since the previous table, with `extra` inserted into its dictionary (e.g. "/Root 1 0 R").
  pdf_builder& xref_stream(int num, std::string_view extra);
  // Records that object `num` is member `index` of object stream `objstm`, so that the next
  // cross-reference stream lists it as a compressed object.
  pdf_builder& compressed(int num, int objstm, int index);

  long offset() const { return static_cast<long>(bytes_.size()); }
  long last_xref() const { return last_xref_; }
  long offset_of(int num) const;
  const std::string& str() const { return bytes_; }

private:
  std::string bytes_;
  std::map<int, long> pending_; // objects since the last table
  std::map<int, std::pair<int, int>> pending_compressed_;
  std::map<int, long> all_;
  long last_xref_ = -1;
};

// A zlib stream holding `data` in stored (uncompressed) deflate blocks, with a correct Adler-32.
std::string zlib_stored(std::string_view data);

// A zlib stream that inflates to `count` copies of `byte`, made of back-references of 258 bytes
// in a fixed-code deflate block (about 250 to 1), with a correct Adler-32.
std::string zlib_repeat(char byte, size_t count);

// An object stream body: the header pairs for (num, text) members followed by their texts.
// Returns the decoded bytes and sets `first` to the offset of the first member.
std::string objstm_body(const std::vector<std::pair<int, std::string>>& members, int& first);

// A complete, well-formed document: catalog 1, page tree 2, then `pages` pages (objects 3..)
// each with a content stream, MediaBox [0 0 612 792], and a classic table and trailer.
std::string simple_pdf(int pages);

// A document whose pages show the text "<label> <n>" (n from 1) in Helvetica. The font, the
// MediaBox [0 0 612 792] and the resources sit on the root of a two-level page tree and are
// inherited by the pages; every page's content is a /FlateDecode stream.
std::string labelled_pdf(int pages, std::string_view label);

} // namespace fixtures
