// The document model: where each object lies in a file's bytes, the containers a document owns,
// object lookup, an object's own text, and stream extents. Loading a document is the reader's.
#pragma once

#include "pdfmerge/platform/platform.h"
#include "pdfmerge/syntax/syntax.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace pdfmerge {

struct doc_crypt; // document_crypt.h

// ---------------------------------------------------------------- objects

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

using objvec = table_vector<obj_entry>;

// One resolved page: its object number and the rotation inherited from the page tree.
struct pageinfo {
  int32_t num = 0;
  int32_t rotation = 0;
};

using pagevec = std::vector<pageinfo>;

// Blocks a document owns (decoded object streams); released all together. Blocks are cut one
// after another from chunks that double in size, so that decoding many object streams takes
// few allocations and, once the chunks are large, few page faults.
struct arena {
  std::vector<uint8_t*> blocks; // every block given, in order
  std::vector<table_block> chunks;
  size_t chunk_used = 0; // bytes given from the chunk blocks are cut from (the last cut one)
  size_t chunk_room = 0;
  uint8_t* chunk = nullptr;
};

// First position, in table order, of each object number: the same answer as scanning the
// table from its start, without the scan.
struct obj_index {
  table_vector<std::pair<int32_t, int32_t>> by_num; // (num, position), sorted
};

struct box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Answers about page-tree nodes that every page below a node asks again (its parent, its own
// /Resources, its own boxes), kept so that a node with many pages is read once rather than
// once per page.
struct ancestor_memo {
  std::unordered_map<int32_t, int32_t> parents;                   // 0: none
  std::unordered_map<int32_t, bytes> resources;                   // empty view: none
  std::unordered_map<int64_t, std::pair<bool, struct box>> boxes; // key: number * 2 + which box
};

// Work done in following a document's references, counted so that tests can check that it
// grows in proportion to the file rather than to its references times its objects.
struct reference_work {
  uint64_t compared = 0; // table entries and names compared by lookups
  uint64_t parsed = 0;   // bytes of object text read into value trees
};

struct doc {
  file_memory data; // the whole file, len bytes (perhaps more room after them)
  int32_t len = 0;
  int32_t root_num = -1;
  int32_t encrypted = 0;
  int32_t encrypt_trailer = -1; // the "<<" of the trailer dictionary naming /Encrypt
  // Set when an encrypted file opens with the empty user password.
  std::shared_ptr<doc_crypt> crypt;
  objvec objects;
  struct arena arena;
  pagevec pages;
  int32_t catalog_num = -1;
  int32_t max_num = 0;
  obj_index index; // over `objects`; rebuilt whenever the table is replaced
  // The last definition in the file itself (not inside an object stream) of each number, as
  // definition::last_plain asks for it. The reader builds it once object discovery has settled
  // the table and again whenever it replaces the table; a table made otherwise is scanned.
  std::optional<obj_index> last_plain;
  mutable ancestor_memo memo;
  mutable reference_work work;

  bytes file() const { return {data.get(), static_cast<size_t>(len)}; }
};

// Appends, growing the storage by doubling from 128 (objvec) or 64 (pagevec) elements.
// Throws std::bad_alloc when memory runs out, which ends the call with "out of memory".
void objvec_push(objvec& vec, const obj_entry& entry);
// Makes room for `more` entries at once (at least doubling when it grows), so that a known
// number of pushes moves the table once. Throws std::bad_alloc when memory runs out.
void objvec_reserve_more(objvec& vec, size_t more);
void pagevec_push(pagevec& vec, const pageinfo& page);

// A new block of `size` uninitialised bytes owned by the arena, or null.
uint8_t* arena_alloc(struct arena& a, size_t size) noexcept;
// Gives back the last block's room past its first `size` bytes, when it was larger than what it
// came to hold.
void arena_shrink_last(struct arena& a, size_t size) noexcept;
// Gives back the last block whole (a failed attempt at filling it).
void arena_drop_last(struct arena& a) noexcept;

void obj_index_build(obj_index& index, const objvec& objects);
// Position of the first entry with that number, or -1.
int32_t obj_index_find(const obj_index& index, int32_t num) noexcept;
// An index whose only position for each number is that of its last entry in table order with
// in_objstm 0; numbers without such an entry are absent. Throws std::bad_alloc.
obj_index last_plain_index_of(const objvec& objects);

// The entry of object `num` (first in table order), or null.
const obj_entry* obj_lookup(const doc& d, int32_t num) noexcept;

// Releases everything the document owns and resets it to the state before a load.
void doc_free(doc& d) noexcept;

// ---------------------------------------------------------------- an object's text

// The text and bounds within which an object's own dictionary is searched.
struct dict_span {
  bytes text;
  int32_t start = 0;
  int32_t end = 0;
};

// False when the object has no dictionary span (a file object whose body is no dictionary).
bool dict_span_of(bytes file, const obj_entry& e, dict_span& out) noexcept;
// The span's text cut at its end, so that the end serves as length and limit alike.
bytes span_text(const dict_span& sp) noexcept;

// What an object's own /Type makes it in the page tree.
enum class node_type { other, page, pages };
node_type obj_type(bytes file, const obj_entry& e) noexcept;

// True for the objects that make up the file's structure rather than its content: the catalog,
// the trailer's /Root, page-tree nodes and pages, cross-reference streams and object-stream
// containers. A value copied into a merge must never reach one of them.
bool is_file_structure(const doc& d, int32_t num) noexcept;

// The text of an object of the file between "obj" (and its white space) and endobj, trailing
// white space trimmed; for an object-stream member, its own text. Empty when unknown.
bytes object_body(bytes file, const obj_entry& e) noexcept;

// ---------------------------------------------------------------- the value an entry stands for

// Which definition of an object number a reference leads to.
enum class definition {
  selected,   // the one object selection kept (obj_lookup)
  last_plain, // the last one in the file itself, before the table is settled
};
// Which texts count as a reference.
enum class reference_form {
  loose_whole,   // "N [G] R" making up the whole value
  strict_whole,  // "N G R", N above 0, making up the whole value
  strict_prefix, // "N G R", N above 0, at the start of the value, anything after it
};
// What of the referenced object is its value.
enum class target_text {
  whole_body,  // its text between "obj" and endobj, white space around it left out
  first_value, // the one value its text starts with
};

// How a reader follows references; the readers of the file differ in these choices.
struct resolve_rule {
  definition which = definition::selected;
  reference_form form = reference_form::strict_whole;
  int32_t hops = 1;           // references followed at most
  bool stream_targets = true; // a stream object is a value (else it leads nowhere)
  target_text text = target_text::whole_body;
  // A value that is still a reference after `hops` references: nothing (else the reference).
  bool give_up_past_hops = false;
};

// The object number of the reference `value` is, or -1.
int32_t reference_of(bytes value, reference_form form) noexcept;
// The definition of `num` that `which` names, or null.
const obj_entry* definition_of(const doc& d, int32_t num, definition which) noexcept;
// The text of definition `e` that `text` names; empty when it has none.
bytes definition_text(const doc& d, const obj_entry& e, target_text text) noexcept;
// The value of object `num` as `rule` reads it; empty when it has none or leads nowhere.
bytes object_text(const doc& d, int32_t num, const resolve_rule& rule) noexcept;
// The value `value` stands for: itself when it is no reference, else the value of the object it
// names, followed as `rule` says; empty when a reference leads nowhere.
bytes resolve_value(const doc& d, bytes value, const resolve_rule& rule) noexcept;

// ---------------------------------------------------------------- stream extent

// The keyword "stream" after the dictionary that opens at `from`, as object discovery finds
// it; -1 when the dictionary does not close or no "stream" follows.
int32_t dict_stream_kw(bytes text, int32_t from) noexcept;
void parse_length(bytes text, int32_t from, int32_t stop, int32_t& out_len,
                  int32_t& out_ref) noexcept;
// The length held by object `ref` (a plain integer object of the file), or -1 when unresolved.
int32_t resolve_length_ref(bytes file, const objvec& objects, const obj_index& index,
                           int32_t ref) noexcept;

// ---------------------------------------------------------------- output buffer

struct free_delete {
  void operator()(uint8_t* p) const noexcept { std::free(p); }
};

// Growable byte buffer, NUL-terminated once anything was appended. First storage 1 MiB,
// then doubling. When growth fails the buffer is left without storage (data null) and
// `failed` set for good: later appends do nothing, so that nothing is ever made of a
// half-built buffer.
struct buf {
  std::unique_ptr<uint8_t, free_delete> data;
  uint64_t len = 0;
  uint64_t cap = 0;
  bool failed = false;
};

inline constexpr uint64_t buf_first_cap = 1048576;

void buf_reserve(buf& out, uint64_t extra) noexcept;
void buf_append(buf& out, const void* bytes, size_t n) noexcept;
void buf_str(buf& out, std::string_view text) noexcept;

} // namespace pdfmerge
