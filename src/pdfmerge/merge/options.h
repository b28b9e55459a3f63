// What a merge keeps beyond the pages' content and resources, and how it writes the content,
// read from the `options` bits of the exported call. The record grows by one field per bit.
#pragma once

#include <cstdint>

namespace pdfmerge {

struct merge_options {
  bool keep_annotations = false; // bit 1: the pages' annotations, and the form fields
  bool keep_outlines = false;    // bit 2: the bookmarks
  bool compress_content = false; // bit 4: the pages' content streams written Flate-compressed
  bool keep_structure = false;   // bit 512: the structure tree of tagged inputs

  // Whether anything beyond the pages is kept (objects and entries added to the output).
  bool keeps_more() const { return keep_annotations || keep_outlines || keep_structure; }
};

inline constexpr uint32_t option_keep_annotations = 1;
inline constexpr uint32_t option_keep_outlines = 2;
inline constexpr uint32_t option_compress_content = 4;
inline constexpr uint32_t option_keep_structure = 512;
inline constexpr uint32_t known_option_bits = option_keep_annotations | option_keep_outlines |
                                              option_compress_content | option_keep_structure;

} // namespace pdfmerge
