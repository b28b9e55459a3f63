// Merging: the renumbering of references, the plan of output numbers, the writer and the
// storing of the output file.
#pragma once

#include "pdfmerge/document/document.h"
#include "pdfmerge/filters/filters.h"
#include "pdfmerge/merge/options.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pdfmerge {

// Outputs reaching this size fail: offsets are signed 32-bit values.
inline constexpr uint64_t output_limit = uint64_t{1} << 31;

// ---------------------------------------------------------------- renumbering

// One input's renumbering map: source object number to output number.
struct renumber_map {
  std::vector<int32_t> old_nums; // in copy order
  std::vector<int32_t> new_nums; // parallel to old_nums
  std::unordered_map<int32_t, int32_t> new_of;
};

// Numbers old_nums[k] as first_new + k.
void renumber_map_set(renumber_map& map, std::vector<int32_t> old_nums, int32_t first_new);
// The output number of `old`, or -1 when the map does not hold it.
int32_t renumber_lookup(const renumber_map& map, int32_t old) noexcept;

// `text` with every reference whose number the map holds rewritten to "M 0 R".
std::string renumbered_text(bytes text, const renumber_map& map);

// Rewrites copied text so that nothing in it reads back as file structure: in literal strings
// the first letter of "obj", "endobj", "stream", "endstream", "trailer", "xref" or
// "startxref" standing as a word is written as an octal escape (the same string); outside
// strings, where such a word is never valid, it is replaced by null. Text without such words
// is left byte for byte.
void make_reader_safe(std::string& text);

// ---------------------------------------------------------------- page selection

// A page as a range names it: the n-th counted from the first page, or from the last ("z" is
// the first from the last, "rN" the N-th). `text` is how it was written, for messages.
struct page_mark {
  int32_t n = 0;
  bool from_end = false;
  std::string text;
};
// One item of a range: the pages from `first` to `last`, backwards when `last` comes first.
struct page_span {
  page_mark first;
  page_mark last;
};
using page_range = std::vector<page_span>;

// Reads a range: items "N", "N-M", "z", "rN" (and ranges of those) separated by commas, white
// space around each. False with `why` (the message's reason) when it does not read.
bool page_range_parse(std::string_view text, page_range& out, std::string& why);
// Appends to `out` the 0-based indexes of the pages the range selects from a document of
// `page_count` pages, in order, repeats included. False with `why` when it names a page the
// document does not have, or would make `out` hold more than `room` indexes.
bool page_range_select(const page_range& range, int32_t page_count, size_t room,
                       std::vector<int32_t>& out, std::string& why);
// The range as a message quotes it: control bytes and broken UTF-8 escaped, cut after 200
// bytes, so that the message stays one line of UTF-8 however long the range.
std::string page_range_quoted(std::string_view text);

// ---------------------------------------------------------------- plan

struct merge_input {
  doc d; // its page list is the pages the input contributes, in order (the selection)
  renumber_map map;
  // The position in the document's page tree of each page of d.pages, when a page range chose
  // them; empty when d.pages is the whole tree.
  std::vector<int32_t> source_index;
  bool blank_after = false;    // a blank page follows the input's pages
  const char* path = nullptr;  // as the host gave it
  const char* title = nullptr; // the host's title for the input's bookmark, or null
};

// The output pages an input takes: its pages and the blank page after them.
inline int32_t output_pages_of(const merge_input& in) {
  return static_cast<int32_t>(in.d.pages.size()) + (in.blank_after ? 1 : 0);
}

// The most pages one output can hold: every page takes two objects, each with its 20-byte line
// of the cross-reference table, within the output's limit.
inline constexpr size_t max_output_pages = static_cast<size_t>(output_limit / 40);

// The objects that the pages' resources of `d` reach, breadth-first in the order found; then
// those that `more` names and what they reach, not yet listed.
std::vector<int32_t> copy_list_of(const doc& d, std::span<const int32_t> more = {});

// Output numbers: 1 catalog, 2 page tree, 3.. pages, then content streams, then every input's
// copies from 2T+3 on. Fills each input's map; returns the table size (the next free number).
int64_t merge_plan(std::vector<merge_input>& inputs, int32_t total_pages);

// ---------------------------------------------------------------- optional content

// The objects that the optional-content settings of `d` name and that are copied with it (its
// groups and what its default configuration refers to); empty when its catalog has no
// /OCProperties.
std::vector<int32_t> optional_content_refs(const doc& d);

// The catalog entry " /OCProperties << ... >>" that combines the inputs' settings in input
// order, through their renumbering maps; empty when no input has /OCProperties.
std::string optional_content_entry(const std::vector<merge_input>& inputs);

// ---------------------------------------------------------------- writer

// The zlib stream of `src` (header, blocks and Adler-32) when it can stand for `decoded` as it
// is: the inflater read it whole to its final block, its header is one that any zlib reader
// takes, an Adler-32 of `decoded` follows the blocks, and nothing but white space comes after
// that. Empty otherwise: a stream that the tolerant inflater read only in part, or without its
// checksum, must be encoded anew.
bytes clean_zlib(const flate_source& src, bytes decoded) noexcept;

// A rectangle value: "%ld" when x is a whole 32-bit number, else "%.4f".
std::string box_num_text(double x);

struct held_output;

// Output state: the file being written and the offset of every object written. With a sink,
// bytes gather in `out` and go to the sink in blocks of out_block bytes (larger pieces go
// straight through), so memory holds one block; without one, `out` holds the whole output.
struct out_file {
  buf out;                           // bytes not yet given to the sink (all of them without one)
  std::FILE* sink = nullptr;         // the temporary file the output streams into, or none
  uint64_t flushed = 0;              // bytes already given to the sink
  std::vector<int32_t> xref_offsets; // -1 for numbers under which nothing is written
  uint64_t limit = output_limit;
  bool failed = false; // an append ran out of memory or reached the limit; nothing more is added
  bool write_failed = false; // the sink took fewer bytes than it was given
  // When set, objects are held here instead of written (see compact.h); `flushed` then counts
  // the bytes copied into memory, which the limit bounds.
  held_output* hold = nullptr;
};

inline constexpr uint64_t out_block = uint64_t{1} << 20;

// The output's size so far: the offset the next byte will have.
inline uint64_t out_offset(const out_file& f) {
  return f.flushed + f.out.len;
}

void out_put(out_file& f, bytes piece) noexcept;
inline void out_put(out_file& f, std::string_view piece) noexcept {
  out_put(f, as_bytes(piece));
}
// A stream's data, after its dictionary and "\nstream\n". `lasting`: the bytes stay where they
// are until the output is complete (an input file's), so a held output need not copy them.
void out_put_stream_data(out_file& f, bytes data, bool lasting) noexcept;
// Notes the offset of object n and appends "n 0 obj\n".
void out_begin_object(out_file& f, int32_t n) noexcept;
// Gives the gathered bytes to the sink (nothing without one).
void out_flush(out_file& f) noexcept;

// 0, or -1 with "page object missing" set. `extra` holds entries added to the dictionary.
int32_t write_page_object(out_file& f, const merge_input& in, const pageinfo& page, int32_t n,
                          int32_t total_pages, std::string_view extra = {});
// A page without content with the boxes and rotation that page `like` is written with. 0, or
// -1 with "page object missing" set.
int32_t write_blank_page(out_file& f, const merge_input& in, const pageinfo& like, int32_t n,
                         int32_t total_pages);
void write_copied_object(out_file& f, const merge_input& in, int32_t old_num, int32_t new_num);
// Writes object `e` of the input under `num` with `text` (already in output numbers) as its
// value, or for a stream as its dictionary, the data copied as it is.
void write_edited_object(out_file& f, const merge_input& in, const obj_entry& e, int32_t num,
                         std::string text);

// What a merge with options adds to the output; absent for a plain merge.
struct output_extras {
  std::string catalog_entries; // after /Pages in the catalog
  std::string trailer_entries; // after /Root in the trailer
  // Entries added to the page object of listing `page` of input `input`.
  std::function<std::string(size_t input, size_t page)> page_entries;
  // Writes the added objects, after the copies.
  std::function<void(out_file&)> write_objects;
};

// Builds the whole output, with every page's content stream Flate-compressed when
// `compress_content`. 0, or -1 with the last-error text set.
int32_t write_output(out_file& f, const std::vector<merge_input>& inputs, int32_t total_pages,
                     int32_t size, const output_extras* extras = nullptr,
                     bool compress_content = false);

// As write_output, with the objects held in memory first so that identical ones are written
// once (`share_resources`) and those that are not streams packed into object streams behind a
// cross-reference stream (`object_streams`). 0, or -1 with the last-error text set.
int32_t write_compact_output(out_file& f, const std::vector<merge_input>& inputs,
                             int32_t total_pages, int32_t size, const output_extras* extras,
                             const merge_options& opts);

// The classic cross-reference table of numbers 0..size-1 at the output's end, and the trailer
// with `trailer_extra` (entries in output numbers) after its /Root.
void write_xref(out_file& f, int32_t size, std::string_view trailer_extra);

// The temporary file beside the output that a merge streams into, and the replacing of
// out_path by it once complete: out_path is replaced whole or not at all. A pending output
// that is not committed removes its temporary file.
class pending_output {
public:
  pending_output();
  pending_output(const pending_output&) = delete;
  pending_output& operator=(const pending_output&) = delete;
  ~pending_output();

  // Follows out_path's links and creates the temporary file. 0, or -1 with the last-error
  // text set ("cannot write PATH", "output is not a regular file: PATH").
  int32_t open(const char* out_path);
  std::FILE* file() const { return file_; }
  // Closes the temporary file and puts it in out_path's place. 0, or -1 with the text set.
  int32_t commit();

private:
  struct state;
  std::unique_ptr<state> state_;
  std::FILE* file_ = nullptr;
  const char* out_path_ = nullptr;
};

} // namespace pdfmerge
