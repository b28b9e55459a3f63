// Pages: the walk of the page tree, and what a page's dictionary or its ancestors' say about
// it (boxes, rotation, resources, contents).
#pragma once

#include "pdfmerge/document/document.h"
#include "pdfmerge/filters/filters.h"

#include <optional>
#include <string_view>

namespace pdfmerge {

// ---------------------------------------------------------------- the tree walk

// Why a walk of the page tree failed.
enum class walk_failure {
  none,
  broken,      // a kid that is missing or no page or node, a cycle, a node that cannot be read
  inline_kids, // a /Kids array holding dictionaries instead of references
  too_deep,    // nodes nested deeper than the walk goes
};

// Walks the page tree below `node` depth-first into `pages`. On failure `why` says what went
// wrong; `node_at_fault` is the node whose /Kids were inline, for the message.
struct walk_result {
  walk_failure why = walk_failure::none;
  int32_t node_at_fault = -1;
};
walk_result resolve_pages(const doc& d, int32_t node, pagevec& pages, std::vector<uint8_t>& visited,
                          int32_t inherited_rotation, int32_t depth = 0);

// Page-tree nodes nested deeper than this fail the walk, so that a hostile file cannot exhaust
// the stack.
inline constexpr int32_t max_tree_depth = 256;

// ---------------------------------------------------------------- ancestors

// The object that the /Parent of object `num` names (found once per node and kept in the
// document's memo), or 0 when it names none.
int32_t parent_num(const doc& d, int32_t num);

// Attribute lookups go at most this many levels up the /Parent chain, so a looping chain ends.
inline constexpr int32_t max_inherit_levels = 32;

// ---------------------------------------------------------------- attributes

bool parse_box_array(bytes text, int32_t pos, box& out) noexcept;
bool box_named(bytes text, int32_t from, std::string_view name, box& out) noexcept;
// box_named, and when that finds no usable array: "N G R" naming an array object, elements
// "N G R" naming numbers, and corners given in swapped order.
bool box_named_resolved(const doc& d, bytes text, int32_t from, std::string_view name,
                        box& out) noexcept;
// The page's box `name` from its own dictionary or else the nearest ancestor's through /Parent.
bool page_box(const doc& d, const dict_span& page, int32_t page_num, std::string_view name,
              box& out);

// The object's own /Rotate as written (negative values included); none when it has no integer
// /Rotate.
std::optional<int32_t> obj_rotate_own(bytes file, const obj_entry& e) noexcept;
inline int32_t normalise_rotation(int32_t v) {
  return ((v % 360) + 360) % 360;
}

// A dictionary's own resources dictionary as a view into the document (its own text or a
// referenced object's); empty when there is none.
bytes own_resources(const doc& d, bytes text, int32_t from) noexcept;
// A page's resources: its own dictionary, else the first one found up its /Parent chain;
// empty when there is none.
bytes page_resources(const doc& d, const dict_span& page, int32_t page_num);

// ---------------------------------------------------------------- contents

// The content bytes of page object `page_num`: a view into the document or into `content`;
// empty when the page has none. `content` and `scratch` are working buffers that the caller
// may reuse from page to page; both are emptied (length 0) first. For a single stream written
// raw because its filters are not decoded here, `filter` and `parms` are the /Filter and
// /DecodeParms values to copy into the new content dictionary (empty otherwise).
// The room the decoded content may take: no stage of any stream and not the joined parts may
// pass `limit`. Content that needs more gives nothing and sets `exceeded`.
struct content_room {
  size_t limit = filter_output_limit;
  bool exceeded = false;
};
// `flate`, when given, receives the stored data of the one Flate stream without predictor that
// the content was inflated from (a single stream, or the one part of an array that gives
// bytes); its data is empty for any other content.
bytes page_content(const doc& d, int32_t page_num, buf& content, buf& scratch, bytes& filter,
                   bytes& parms, content_room* room = nullptr,
                   flate_source* flate = nullptr) noexcept;

// The stream object that the page's /Contents names alone ("/Contents N G R"), or null: the
// only content that is written raw with its filters when they are not decoded here.
const obj_entry* single_content_stream(const doc& d, int32_t page_num) noexcept;

} // namespace pdfmerge
