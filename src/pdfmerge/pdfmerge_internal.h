// Shared types and operations of the PDF reader and writer. Private to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pdfmerge {

// A byte range of a document's text. Positions into it are signed 32-bit indexes; -1 is "none".
using bytes = std::span<const uint8_t>;

inline bytes as_bytes(std::string_view s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// ---------------------------------------------------------------- last-error text

// Formats printf-style into the process-wide last-error text, cut at 1023 bytes.
void set_error(const char* fmt, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void clear_error() noexcept;
const char* error_text() noexcept;

// ---------------------------------------------------------------- document model

// Where one indirect object lies. Positions index the file bytes, except for an object taken
// out of an object stream, which is read only through `text`/`text_len`.
struct obj_entry {
  int32_t num = 0;
  int32_t gen = 0;
  int32_t start = -1;      // first digit of the object number in "N G obj"
  int32_t dict_start = -1; // '<' opening the dictionary right after "obj"
  int32_t stream_kw = -1;  // keyword "stream" after the dictionary
  int32_t data_start = -1;
  int32_t data_end = -1; // exclusive
  int32_t endobj = -1;
  int32_t end = -1; // endobj + 6
  int32_t has_stream = 0;
  int32_t in_objstm = 0;
  const uint8_t* text = nullptr; // own text inside an arena block (object-stream members)
  int32_t text_len = 0;
  // The stream's extent was found by searching for "endstream" because its length could not
  // be read; such a range does not hide other object headers.
  int32_t length_unknown = 0;
};

using objvec = std::vector<obj_entry>;

// One resolved page: its object number and the rotation inherited from the page tree.
struct pageinfo {
  int32_t num = 0;
  int32_t rotation = 0;
};

using pagevec = std::vector<pageinfo>;

// Blocks a document owns (decoded object streams); released all together.
struct arena {
  std::vector<std::unique_ptr<uint8_t[]>> blocks;
};

// First position, in table order, of each object number: the same answer as scanning the
// table from its start, without the scan.
struct obj_index {
  std::vector<std::pair<int32_t, int32_t>> by_num; // (num, position), sorted
};

struct box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Answers about page-tree nodes that every page below a node asks again (its own /Resources,
// its own boxes), kept so that a node with many pages is read once rather than once per page.
struct ancestor_memo {
  std::unordered_map<int32_t, bytes> resources;                   // empty view: none
  std::unordered_map<int64_t, std::pair<bool, struct box>> boxes; // key: number * 2 + which box
};

struct doc {
  std::unique_ptr<uint8_t[]> data; // the whole file, exactly len bytes
  int32_t len = 0;
  int32_t root_num = -1;
  int32_t encrypted = 0;
  objvec objects;
  struct arena arena;
  pagevec pages;
  int32_t catalog_num = -1;
  int32_t max_num = 0;
  obj_index index; // over `objects`; rebuilt whenever the table is replaced
  mutable ancestor_memo memo;

  bytes file() const { return {data.get(), static_cast<size_t>(len)}; }
};

// Appends, growing the storage by doubling from 128 (objvec) or 64 (pagevec) elements.
// When memory runs out the element is left out and the vector is unchanged.
void objvec_push(objvec& vec, const obj_entry& entry) noexcept;
void pagevec_push(pagevec& vec, const pageinfo& page) noexcept;

// A new block of `size` uninitialised bytes owned by the arena, or null.
uint8_t* arena_alloc(struct arena& a, size_t size) noexcept;

void obj_index_build(obj_index& index, const objvec& objects);
// Position of the first entry with that number, or -1.
int32_t obj_index_find(const obj_index& index, int32_t num) noexcept;

// The entry of object `num` (first in table order), or null.
const obj_entry* obj_lookup(const doc& d, int32_t num) noexcept;

// Releases everything the document owns and resets it to the state before a load.
void doc_free(doc& d) noexcept;

// Loads the file at `path`: 0 on success, -1 with the last-error text set.
int32_t doc_load(const char* path, doc& d);

// ---------------------------------------------------------------- output buffer

struct free_delete {
  void operator()(uint8_t* p) const noexcept { std::free(p); }
};

// Growable byte buffer, NUL-terminated once anything was appended. First storage 1 MiB,
// then doubling. When growth fails the buffer is left without storage (data null).
struct buf {
  std::unique_ptr<uint8_t, free_delete> data;
  uint64_t len = 0;
  uint64_t cap = 0;
};

inline constexpr uint64_t buf_first_cap = 1048576;

void buf_reserve(buf& out, uint64_t extra) noexcept;
void buf_append(buf& out, const void* bytes, size_t n) noexcept;
void buf_str(buf& out, std::string_view text) noexcept;

// ---------------------------------------------------------------- lexical scanning

inline bool is_pdf_ws(uint8_t c) {
  return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}
// The white space of the C library's isspace in the "C" locale (VT counts, NUL does not).
inline bool is_c_space(uint8_t c) {
  return c == ' ' || (c >= 9 && c <= 13);
}
inline bool is_digit(uint8_t c) {
  return c >= '0' && c <= '9';
}
// ASCII letters and digits, whatever the locale.
inline bool is_alnum(uint8_t c) {
  return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The text and bounds within which an object's own dictionary is searched.
struct dict_span {
  bytes text;
  int32_t start = 0;
  int32_t end = 0;
};

// False when the object has no dictionary span (a file object whose body is no dictionary).
bool dict_span_of(bytes file, const obj_entry& e, dict_span& out) noexcept;

int32_t skip_ws(bytes text, int32_t pos, int32_t end) noexcept;
int32_t find_kw(bytes text, int32_t from, std::string_view kw) noexcept;
bool kw_at(bytes text, int32_t pos, std::string_view kw) noexcept;
int32_t find_name(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept;
int32_t find_name_top(bytes text, int32_t from, int32_t limit) noexcept;
// The key /name among the dictionary's own entries (the "<<" at or after `from`): nested
// dictionaries, strings and comments are stepped over, so an inline annotation's entries never
// match. Offset of its slash, or -1.
int32_t find_key_top(bytes text, int32_t from, int32_t limit, std::string_view name) noexcept;
// 1 for /Type /Page, 2 for /Type /Pages, else 0.
int32_t obj_type(bytes file, const obj_entry& e) noexcept;
// The balanced dictionary that opens with "<<" at pos, as a view into `text`; empty if none.
bytes dict_text_at(bytes text, int32_t pos) noexcept;
int32_t parse_int_at(bytes text, int32_t& pos) noexcept;
int32_t read_int_adv(bytes text, int32_t& pos) noexcept;

// ---------------------------------------------------------------- stream extent

int32_t dict_stream_kw(bytes text, int32_t from) noexcept;
void parse_length(bytes text, int32_t from, int32_t stop, int32_t& out_len,
                  int32_t& out_ref) noexcept;
// The length held by object `ref` (a plain integer object of the file), or -1 when unresolved.
int32_t resolve_length_ref(bytes file, const objvec& objects, const obj_index& index,
                           int32_t ref) noexcept;

// ---------------------------------------------------------------- page tree and attributes

bool parse_box_array(bytes text, int32_t pos, box& out) noexcept;
bool box_named(bytes text, int32_t from, std::string_view name, box& out) noexcept;
// box_named, and when that finds no usable array: "N G R" naming an array object, elements
// "N G R" naming numbers, and corners given in swapped order.
bool box_named_resolved(const doc& d, bytes text, int32_t from, std::string_view name,
                        box& out) noexcept;
// The object's own /Rotate as written (negative values included); none when it has no integer
// /Rotate.
std::optional<int32_t> obj_rotate_own(bytes file, const obj_entry& e) noexcept;
// A page's resources dictionary as a view into the document (its own text or a referenced
// object's); empty when there is none.
bytes page_resources_dict(const doc& d, bytes text, int32_t from) noexcept;
bytes page_resources_dict_deep(const doc& d, bytes text, int32_t from, int32_t depth);
// A page's resources: its own dictionary, else the first one found up its /Parent chain (at
// most 32 levels); empty when there is none.
bytes page_resources(const doc& d, const dict_span& page);

inline int32_t normalise_rotation(int32_t v) {
  return ((v % 360) + 360) % 360;
}

// Walks the page tree below `node` depth-first into `pages`. -1 on a broken tree, 0 for a node
// without kids, 1 for a page, else the number of pages now in the list.
int32_t resolve_pages(const doc& d, int32_t node, pagevec& pages, std::vector<uint8_t>& visited,
                      int32_t inherited_rotation, int32_t depth = 0);

} // namespace pdfmerge

// ================================================================ merge
// Everything below belongs to merging: stream decoding, page contents, reference renumbering,
// the object search and numbering plan, the writer and the storing of the output file.

#include <optional>
#include <string>
#include <unordered_map>

namespace pdfmerge {

// ---------------------------------------------------------------- stream decoding

// The data of a stream object: inflated onto the end of `out` when its dictionary names
// /FlateDecode, else the raw bytes inside `text`. An inflated result lives in `out` and stays
// valid until `out` next grows. nullopt when the object is no stream, its extent is empty, or
// its data does not inflate (within the inflater's 1 GiB limit).
std::optional<bytes> decoded_stream(const obj_entry& e, bytes text, buf& out) noexcept;

// ---------------------------------------------------------------- page contents

// The content bytes of page object `page_num`: a view into the document or into `content`;
// empty when the page has none. `content` and `scratch` are working buffers that the caller
// may reuse from page to page; both are emptied (length 0) first.
bytes page_content(const doc& d, int32_t page_num, buf& content, buf& scratch) noexcept;

// ---------------------------------------------------------------- references

// An indirect reference "N [G] R" whose number starts at a digit: the number, optional PDF
// white space, an optional generation of any number of digits, optional PDF white space and an
// "R" that no alphanumeric byte follows. The same form is followed and renumbered.
struct ref_match {
  bool found = false;
  int32_t num = 0;        // the number, read with 32-bit wrap-around
  int32_t digits_end = 0; // just past the number's digits
  int32_t after = 0;      // just past the "R" when found
};

// `i` must index a digit below `end`.
ref_match ref_at(bytes text, int32_t i, int32_t end) noexcept;

// Appends every reference number in text[start, end) in the order found, duplicates included.
void collect_refs(bytes text, int32_t start, int32_t end, std::vector<int32_t>& found);

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
std::string remap_res_text(bytes text, const renumber_map& map);

// ---------------------------------------------------------------- merge plan

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

// The text of an object of the file between "obj" (and its white space) and endobj, trailing
// white space trimmed; for an object-stream member, its own text. Empty when unknown.
bytes object_body(bytes file, const obj_entry& e) noexcept;

// A rectangle value: "%ld" when x is a whole 32-bit number, else "%.4f".
std::string box_num_text(double x);

// The page's box `name` from its own dictionary or else the nearest ancestor's through /Parent
// (at most 32 levels).
bool page_box(const doc& d, const dict_span& page, std::string_view name, box& out);

// Outputs reaching this size fail: offsets are signed 32-bit values.
inline constexpr uint64_t output_limit = uint64_t{1} << 31;

// Output state: the growing file and the offset of every object written.
struct out_file {
  buf out;
  std::vector<int32_t> xref_offsets; // -1 for numbers under which nothing is written
  uint64_t limit = output_limit;
  bool failed = false; // an append ran out of memory or reached the limit
};

void out_put(out_file& f, bytes piece) noexcept;
inline void out_put(out_file& f, std::string_view piece) noexcept {
  out_put(f, as_bytes(piece));
}
// Notes the offset of object n and appends "n 0 obj\n".
void out_begin_object(out_file& f, int32_t n) noexcept;

// 0, or -1 with "page object missing" set.
int32_t write_page_object(out_file& f, const merge_input& in, const pageinfo& page, int32_t n,
                          int32_t total_pages);
void write_copied_object(out_file& f, const merge_input& in, int32_t old_num, int32_t new_num);

// Builds the whole output. 0, or -1 with the last-error text set.
int32_t write_output(out_file& f, const std::vector<merge_input>& inputs, int32_t total_pages,
                     int32_t size);

// Stores the finished output under out_path through a temporary file in the same folder, so
// that out_path is replaced whole or not at all. 0, or -1 with the last-error text set.
int32_t store_output(const char* out_path, bytes data);

// Merges the files at paths[0..count) into out_path. 0, or -1 with the last-error text set.
int32_t merge_many(const char* const* paths, int32_t count, const char* out_path);

} // namespace pdfmerge
