// Shared types and operations of the PDF reader and writer. Private to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>
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
  int32_t data_end = -1;   // exclusive
  int32_t endobj = -1;
  int32_t end = -1;        // endobj + 6
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
inline bool is_c_space(uint8_t c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }
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

struct box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

bool parse_box_array(bytes text, int32_t pos, box& out) noexcept;
bool box_named(bytes text, int32_t from, std::string_view name, box& out) noexcept;
int32_t obj_rotate_own(bytes file, const obj_entry& e) noexcept;
// A page's resources dictionary as a view into the document (its own text or a referenced
// object's); empty when there is none.
bytes page_resources_dict(const doc& d, bytes text, int32_t from) noexcept;
bytes page_resources_dict_deep(const doc& d, bytes text, int32_t from, int32_t depth) noexcept;

inline int32_t normalise_rotation(int32_t v) { return ((v % 360) + 360) % 360; }

// Walks the page tree below `node` depth-first into `pages`. -1 on a broken tree, 0 for a node
// without kids, 1 for a page, else the number of pages now in the list.
int32_t resolve_pages(const doc& d, int32_t node, pagevec& pages, std::vector<uint8_t>& visited,
                      int32_t inherited_rotation, int32_t depth = 0);

} // namespace pdfmerge
