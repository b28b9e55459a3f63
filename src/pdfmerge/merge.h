// Merging: the renumbering of references, the plan of output numbers, the writer and the
// storing of the output file.
#pragma once

#include "pdfmerge/document.h"
#include "pdfmerge/merge_options.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pdfmerge {

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

// ---------------------------------------------------------------- plan

struct merge_input {
  doc d;
  renumber_map map;
};

// The objects that the pages' resources of `d` reach, breadth-first in the order found.
std::vector<int32_t> copy_list_of(const doc& d);

// Output numbers: 1 catalog, 2 page tree, 3.. pages, then content streams, then every input's
// copies from 2T+3 on. Fills each input's map; returns the table size (the next free number).
int64_t merge_plan(std::vector<merge_input>& inputs, int32_t total_pages);

// ---------------------------------------------------------------- writer

// A rectangle value: "%ld" when x is a whole 32-bit number, else "%.4f".
std::string box_num_text(double x);

// Outputs reaching this size fail: offsets are signed 32-bit values.
inline constexpr uint64_t output_limit = uint64_t{1} << 31;

// Output state: the growing file and the offset of every object written.
struct out_file {
  buf out;
  std::vector<int32_t> xref_offsets; // -1 for numbers under which nothing is written
  uint64_t limit = output_limit;
  bool failed = false; // an append ran out of memory or reached the limit; nothing more is added
};

void out_put(out_file& f, bytes piece) noexcept;
inline void out_put(out_file& f, std::string_view piece) noexcept {
  out_put(f, as_bytes(piece));
}
// Notes the offset of object n and appends "n 0 obj\n".
void out_begin_object(out_file& f, int32_t n) noexcept;

// 0, or -1 with "page object missing" set. `extra` holds entries added to the dictionary.
int32_t write_page_object(out_file& f, const merge_input& in, const pageinfo& page, int32_t n,
                          int32_t total_pages, std::string_view extra = {});
void write_copied_object(out_file& f, const merge_input& in, int32_t old_num, int32_t new_num);
// Writes object `e` of the input under `num` with `text` (already in output numbers) as its
// value, or for a stream as its dictionary, the data copied as it is.
void write_edited_object(out_file& f, const merge_input& in, const obj_entry& e, int32_t num,
                         std::string text);

// What a merge with options adds to the output; absent for a plain merge.
struct output_extras {
  std::string catalog_entries; // after /Pages in the catalog
  // Entries added to the page object of listing `page` of input `input`.
  std::function<std::string(size_t input, size_t page)> page_entries;
  // Writes the added objects, after the copies.
  std::function<void(out_file&)> write_objects;
};

// Builds the whole output. 0, or -1 with the last-error text set.
int32_t write_output(out_file& f, const std::vector<merge_input>& inputs, int32_t total_pages,
                     int32_t size, const output_extras* extras = nullptr);

// Stores the finished output under out_path through a temporary file in the same folder, so
// that out_path is replaced whole or not at all. 0, or -1 with the last-error text set.
int32_t store_output(const char* out_path, bytes data);

// Merges the files at paths[0..count) into out_path. 0, or -1 with the last-error text set.
int32_t merge_many(const char* const* paths, int32_t count, const char* out_path,
                   const merge_options& opts = {});

} // namespace pdfmerge
