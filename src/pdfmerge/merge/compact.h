// Compact output: the objects of a merge held in memory until the whole output is known, so
// that objects of identical content can be written once and the objects that are not streams
// packed into compressed object streams. Private to merge/ (and its tests).
#pragma once

#include "pdfmerge/merge/merge.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pdfmerge {

// ---------------------------------------------------------------- held objects

// One object of the output as the writer made it, before it is written.
struct held_object {
  int32_t num = 0;
  std::string text; // the value, or for a stream its dictionary (with /Length)
  bool stream = false;
  bytes data; // a stream's data: a view into an input file, or into the held output's room
};

// Every object of the output in the order the writer made them. An out_file that holds one
// gathers objects here instead of writing bytes: what stands outside objects (the header, the
// table) is left out, and so are the keywords around each object's text and data.
struct held_output {
  std::vector<held_object> objects;
  // Room for the stream data that has to be copied (page content, which the writer makes in
  // buffers it reuses): a few large blocks rather than an allocation, and its page faults, per
  // stream.
  file_memory_pool room;
  std::vector<file_memory> own; // copies too large for the room's blocks, each its own
  bool open = false;            // the last object still takes text
  bool out_of_memory = false;   // an object could not be held
};

// A copy of `data` in the held output's room; empty when memory runs out (or `data` is empty).
bytes hold_copy(held_output& h, bytes data) noexcept;

// The side of an out_file that holds: an object begun, a piece of its text, a stream's data
// (what comes after the data, "\nendstream\nendobj\n", is not kept). Running out of memory
// fails the output and sets out_of_memory.
void hold_begin(out_file& f, int32_t n) noexcept;
void hold_put(out_file& f, bytes piece) noexcept;
void hold_stream_data(out_file& f, bytes data, bool lasting) noexcept;
// Closes the last object: takes off the "\nendobj\n" its text ends with.
void hold_close(held_output& h) noexcept;

// ---------------------------------------------------------------- references

// The references of the held objects, as the output file reads them: every reference form
// outside strings and comments (the ones the renumbering rewrites) whose number is that of a
// held object is an edge to it; a reference to a number with no object stands for null.
struct object_graph {
  std::vector<int32_t> index_of;     // held object of each number, -1 for none
  std::vector<int32_t> edge_begin;   // edges of object i: [edge_begin[i], edge_begin[i + 1])
  std::vector<int32_t> heads;        // the object each edge leads to, in text order
  std::vector<int32_t> cuts;         // where each edge stands in its object's literal
  std::string literals;              // each text without its edges, null for absent numbers
  std::vector<size_t> literal_begin; // object i's literal: [literal_begin[i], [i + 1])
  // A stream's /Length entry in its literal (key, value and the white space after it), which
  // identity does not look at: equal data have equal lengths, however each was spelled. (0, 0)
  // for other objects.
  std::vector<std::pair<int32_t, int32_t>> length_entry;
};

object_graph graph_of(const held_output& h);

inline std::string_view literal_of(const object_graph& g, size_t i) {
  return std::string_view(g.literals)
      .substr(g.literal_begin[i], g.literal_begin[i + 1] - g.literal_begin[i]);
}

// ---------------------------------------------------------------- sharing

// A 64-bit hash of `data` continued from `seed`; the same bytes give the same value on every
// run and host.
uint64_t content_hash(bytes data, uint64_t seed) noexcept;

// One reference from a node to another: the `label`-th reference of `tail` leads to `head`.
struct graph_edge {
  int32_t tail = 0;
  int32_t label = 0;
  int32_t head = 0;
};

// The coarsest partition of the nodes 0..n-1 that refines `initial` (class ids 0..classes-1,
// every class used) and in which any two nodes of one block, for every label, either both have
// no edge of that label or both have one into the same block. Nodes have at most one edge per
// label. Returns each node's block. O(m log n) for m edges (partition refinement over blocks
// and edge sets, smaller halves first).
std::vector<int32_t> stable_partition(int32_t n, std::span<const int32_t> initial, int32_t classes,
                                      std::span<const graph_edge> edges);

// The object written for each held object: itself, or the first in number order of the objects
// identical to it. Identical: the same kind, the same literal text, the same stream data, and
// edges in the same places leading to identical objects (cycles of the same shape included).
// Objects marked in `pinned` stand for themselves alone.
std::vector<int32_t> shared_representatives(const held_output& h, const object_graph& g,
                                            std::span<const uint8_t> pinned);

// The objects that must stay one per occurrence: the catalog, the page tree, the page objects
// (numbers 1 .. total_pages + 2), and the optional-content groups the catalog lists (their
// visibility belongs to each group).
std::vector<uint8_t> pinned_objects(const held_output& h, const object_graph& g,
                                    int32_t total_pages);

// ---------------------------------------------------------------- writing

// What is written for each held object: its output number (0 when another object is written
// for it), and whether its text is rebuilt from the graph (after sharing renumbers it).
struct held_plan {
  std::vector<int32_t> out_num; // per held object
  int32_t size = 0;             // one more than the largest output number
  bool rebuild = false;
};

// Every object written under its own number (an object made again under the same number
// replaces the earlier one).
held_plan plan_as_held(const held_output& h, const object_graph& g);
// The representatives written, one per set of identical objects, numbered 1.. in the order of
// their numbers: the first occurrence keeps its place.
held_plan plan_shared(const held_output& h, const object_graph& g,
                      std::span<const int32_t> representative);

// The text written for object i: its own, or rebuilt with the output numbers of the objects
// its edges lead to.
std::string held_text(const held_output& h, const object_graph& g, const held_plan& plan, size_t i,
                      std::span<const int32_t> representative);
// The same, appended to `out`.
void append_held_text(std::string& out, const held_output& h, const object_graph& g,
                      const held_plan& plan, size_t i, std::span<const int32_t> representative);

// The order in which objects are packed: the catalog and the page tree, then each page object
// followed by what it reaches that no page before it reached, then what the catalog reaches
// besides, then the rest in the order made. Only objects with an output number.
std::vector<int32_t> page_order(const held_output& h, const object_graph& g, const held_plan& plan,
                                std::span<const int32_t> representative, int32_t total_pages);

// The most members of one object stream, and the text size past which no member is added.
inline constexpr size_t objstm_max_members = 100;
inline constexpr size_t objstm_max_text = 64 * 1024;

// Writes the held output into f as a PDF 1.4 file with a classic table, or with object
// streams and a cross-reference stream. False when the encoder runs out of memory.
bool write_held_classic(out_file& f, const held_output& h, const object_graph& g,
                        const held_plan& plan, std::span<const int32_t> representative,
                        std::string_view trailer_extra);
bool write_held_packed(out_file& f, const held_output& h, const object_graph& g,
                       const held_plan& plan, std::span<const int32_t> representative,
                       int32_t total_pages, std::string_view trailer_extra);

// Entries added to the trailer (such as /Info), their references numbered as the held objects
// they name are written.
std::string held_trailer_entries(const object_graph& g, const held_plan& plan,
                                 std::span<const int32_t> representative, std::string_view entries);

} // namespace pdfmerge
