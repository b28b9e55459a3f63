// The phases of loading a document, in the order doc_load runs them, and the text indexes
// they share. Private to this folder (and its tests).
#pragma once

#include "inflate/inflate.h"
#include "pdfmerge/decrypt/decrypt.h"
#include "pdfmerge/filters/filters.h"
#include "pdfmerge/pages/pages.h"
#include "pdfmerge/reader/reader.h"

#include <array>
#include <deque>
#include <memory_resource>
#include <string_view>
#include <utility>
#include <vector>

namespace pdfmerge {

// ---------------------------------------------------------------- text indexes

// Every whole-word occurrence of one keyword in a text, found in one pass, so that "the next
// occurrence at or after p" costs a binary search instead of a scan.
struct kw_hits {
  std::pmr::vector<int32_t> at; // ascending
};
kw_hits kw_hits_build(bytes text, std::string_view kw);
// The same result as find_kw(text, from, kw) for the text and keyword the hits were built from.
int32_t kw_hits_find(const kw_hits& hits, int32_t from) noexcept;

// Every occurrence of one name (as find_name accepts it over the whole text), so that many
// regions, even overlapping ones, can be searched without scanning them again.
struct name_hits {
  bytes text;
  std::string_view name;        // without '/'; must outlive the hits (a literal)
  std::pmr::vector<int32_t> at; // positions of the '/', ascending
};
name_hits name_hits_build(bytes text, std::string_view name);
// The same result as find_name(text, from, end, name).
int32_t name_hits_find(const name_hits& hits, int32_t from, int32_t end) noexcept;

// Skips runs of one class of bytes. Runs of 64 bytes or more are indexed once, when first met,
// so that any number of skips into one long run together cost one pass over it.
class run_skipper {
public:
  using byte_class = bool (*)(uint8_t);
  run_skipper(bytes text, byte_class in_class) : text_(text), in_class_(in_class) {}
  // The first index at or after pos, below end, whose byte is not in the class; else end.
  int32_t skip(int32_t pos, int32_t end);

private:
  bytes text_;
  byte_class in_class_;
  bool indexed_ = false;
  std::vector<std::pair<int32_t, int32_t>> long_runs_; // [start, end), ascending
};

// The indexes of one document's text, each built on first use and then shared by the phases.
// The file-structure keywords and the names the loader asks for are indexed in one pass.
class text_indexes {
public:
  // The index pass tests blocks of at most `widest_block` bytes at once: 32 where the processor
  // can, else 16, or 1 (byte by byte). Every width gives the same indexes; tests narrow it to
  // compare them.
  explicit text_indexes(bytes text, int widest_block = 32);
  // `name` and `kw` must outlive the indexes (string literals).
  const name_hits& names(std::string_view name);
  const kw_hits& keywords(std::string_view kw);

private:
  void index_text();

  bytes text_;
  int widest_block_;
  bool indexed_ = false;
  // The storage of every list below: the lists of a large file grow to megabytes, and taking
  // their room from a few large blocks saves a page fault per 4 KiB of it.
  std::pmr::monotonic_buffer_resource room_;
  // The '/' of every name whose first byte is one the loader asks for, by the place of that
  // byte among those bytes.
  std::vector<std::pmr::vector<int32_t>> slashes_;
  // Deques: references handed out stay valid as more indexes are added.
  std::deque<std::pair<std::string_view, name_hits>> names_;
  std::deque<std::pair<std::string_view, kw_hits>> keywords_;
};

// ---------------------------------------------------------------- intake

// Reads the whole file into d.data/d.len, in memory of the pool when one is given. 0, or -1
// with the message set and no bytes kept.
int32_t file_intake(const char* path, doc& d, file_memory_pool* pool = nullptr);

// ---------------------------------------------------------------- trailers

// Sets d.root_num and d.encrypted from the startxref chain and the trailers. Never fails.
void trailers_read(doc& d, text_indexes& ix);

// ---------------------------------------------------------------- object discovery

// For each dictionary start (ascending, distinct), the position of the ">>" at which
// dict_stream_kw(text, start) would stop, or -1 where it would run out of text. One pass in
// total, however the dictionaries nest or overlap.
std::vector<int32_t> dict_closes(bytes text, const std::vector<int32_t>& starts);
// The same answers by the way that needs no budget (used by dict_closes when its quick way
// would take too long).
std::vector<int32_t> dict_closes_forest(bytes text, const std::vector<int32_t>& starts);

// The header scan: one entry per object header, in file order; streams get stream_kw and
// data_start.
void headers_scan(doc& d, text_indexes& ix);
// Stream ends: data_end, endobj and end of every stream entry.
void stream_ends_settle(doc& d, text_indexes& ix);
// False entries: drops unfinished streams and headers that lie inside the data of a stream whose
// extent a length settled.
void false_entries_drop(doc& d);
// The same rule as false_entries_drop without working storage: every entry against every stream.
void false_entries_drop_direct(doc& d);
// Object discovery whole: the header scan, the stream ends and the false entries dropped.
void objects_discover(doc& d, text_indexes& ix);

// ---------------------------------------------------------------- encryption

// For an encrypted file: opens it with the empty user password (d.crypt stays empty when it does
// not open) and decrypts every object-stream container in place.
void encryption_open(doc& d, text_indexes& ix);

// ---------------------------------------------------------------- object streams

// True when the entry is an object stream's container (a stream whose dictionary names /ObjStm).
bool objstm_container(const obj_entry& e, const name_hits& objstm_names) noexcept;

// How many bytes a document's object streams may decode to in all: 256 MiB, and 16 more for
// every byte of the file. Real files stay far below it (their object streams are a part of the
// file, compressed a few times over); a crafted file cannot make a page count hold gigabytes.
inline constexpr uint64_t objstm_budget_base = uint64_t{256} << 20;
inline constexpr uint64_t objstm_budget_per_byte = 16;
uint64_t objstm_budget(int32_t file_len) noexcept;

// Appends one entry per object held in the file's object streams. False, with nothing more
// expanded, once their decoded data would pass `budget` bytes in all. Throws std::bad_alloc
// when memory runs out.
bool objstms_expand(doc& d, text_indexes& ix, uint64_t budget);

// ---------------------------------------------------------------- selection of definitions

// Keeps one definition per object number, drops containers and numbers above 8,388,607, sets
// max_num and rebuilds d.index.
void definitions_select(doc& d, text_indexes& ix);
// The rule used when the number maps cannot be had: plain definitions all stay.
void definitions_select_direct(doc& d, text_indexes& ix);

inline constexpr int32_t max_object_num = 8388607;

// ---------------------------------------------------------------- catalog and page tree

// Finds the catalog and the page-tree root and walks the tree into d.pages. 0, or -1 with the
// message set.
int32_t catalog_resolve(doc& d, text_indexes& ix);

} // namespace pdfmerge
