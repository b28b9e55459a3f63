// What a merge with options keeps beyond the pages' content and resources: the pages'
// annotations with what they reach, the form fields and the bookmarks. Kept source objects are
// edited (page references pointed at the new pages, destinations resolved or dropped) and
// written after the copies; their numbers join the input's renumbering map.
#pragma once

#include "pdfmerge/merge.h"
#include "pdfmerge/merge_options.h"
#include "pdfmerge/pdf_value.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace pdfmerge {

// An input's named destinations: the catalog's /Dests dictionary and its /Names /Dests tree,
// read once when the first named destination is met.
struct named_dests {
  bool read = false;
  std::unordered_map<std::string, pdf_value> by_name;   // /Dests keys, without the slash
  std::unordered_map<std::string, pdf_value> by_string; // name-tree keys, as bytes
};

// One input's part of the plan.
struct input_keep {
  std::unordered_map<int32_t, int32_t> page_new;   // source page -> output page (first listing)
  std::vector<std::vector<int32_t>> annots;        // per source page listing: its annotations
  std::unordered_map<int32_t, int32_t> annot_page; // annotation -> output page for its /P
  std::vector<int32_t> kept;                       // source objects written edited, in order
  std::unordered_map<int32_t, std::string> field_titles; // top-level field -> its new /T
  named_dests names;
};

// Everything a merge editor needs about one input.
struct edit_ctx {
  const doc& d;
  input_keep& keep;
};

// The value of object `num` of the document (a stream's dictionary), or none.
std::optional<pdf_value> object_value(const doc& d, int32_t num);

// An explicit destination for `dest` (an array, a name, a string, a reference, or a dictionary
// with /D): its page reference turned into the output page. None when the destination cannot
// be resolved or names a page that is not in the output.
std::optional<pdf_value> resolve_dest(edit_ctx& ctx, const pdf_value& dest);

// Edits a value about to be kept: references to pages in the output become output references,
// references to other pages, page-tree nodes and the catalog become null, destinations are
// resolved (a /Dest or a GoTo's /D that cannot be is removed, and so is an /A naming such a
// GoTo).
void edit_kept_value(edit_ctx& ctx, pdf_value& v);

// The kept object `num` as it is written: its value edited, an annotation's /P set to its page.
std::optional<pdf_value> kept_value(edit_ctx& ctx, int32_t num);

// Numbers for the kept objects: `next` is the next free output number, moved on; `seeds` are
// added (if not yet in the map) and then everything they reach, breadth-first. False when the
// numbers would pass `max_size`.
bool keep_reached(edit_ctx& ctx, renumber_map& map, std::vector<int32_t> seeds, int64_t& next,
                  int64_t max_size);

// The pages' annotations: fills keep.page_new, keep.annots and keep.annot_page and returns the
// annotations as seeds for keep_reached. `first_page` is the output number of the input's first
// page.
std::vector<int32_t> plan_annotations(edit_ctx& ctx, int32_t first_page);

// Writes the input's kept objects.
void write_kept_objects(out_file& f, const merge_input& in, input_keep& keep);

// The whole plan of a merge with options.
struct keep_plan {
  merge_options opts;
  std::vector<input_keep> inputs; // parallel to the merge inputs
  std::string catalog_entries;    // added to the output catalog
};

// Plans what the options keep after merge_plan gave `size`; returns the new table size, or -1.
int64_t plan_keep(std::vector<merge_input>& inputs, const merge_options& opts, int64_t size,
                  keep_plan& plan);

// The writer's hooks for the plan.
output_extras keep_extras(const std::vector<merge_input>& inputs, keep_plan& plan);

} // namespace pdfmerge
