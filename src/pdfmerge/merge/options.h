// What a merge keeps beyond the pages' content and resources, and how it writes the content,
// read from the `options` bits of the exported call. The record grows by one field per bit.
#pragma once

#include <cstdint>

namespace pdfmerge {

struct merge_options {
  bool keep_annotations = false;  // bit 1: the pages' annotations, and the form fields
  bool keep_outlines = false;     // bit 2: the bookmarks
  bool compress_content = false;  // bit 4: the pages' content streams written Flate-compressed
  bool share_resources = false;   // bit 8: objects of identical content written once
  bool object_streams = false;    // bit 16: a PDF 1.5 file with its small objects compressed
  bool outline_per_input = false; // bit 32: one top-level bookmark per input
  bool keep_doc_info = false;     // bit 64: the document information, XMP metadata and language
  bool pad_odd = false;           // bit 128: a blank page after an input of an odd page count
  bool page_labels = false;       // bit 256: the pages' labels
  bool keep_structure = false;    // bit 512: the structure tree of tagged inputs

  // Whether anything beyond the pages is kept (objects and entries added to the output).
  bool keeps_more() const {
    return keep_annotations || keep_outlines || outline_per_input || keep_doc_info || page_labels ||
           keep_structure;
  }
  // Whether the objects are held in memory until the whole output is known, to be shared or
  // packed before they are written.
  bool holds_objects() const { return share_resources || object_streams; }
};

inline constexpr uint32_t option_keep_annotations = 1;
inline constexpr uint32_t option_keep_outlines = 2;
inline constexpr uint32_t option_compress_content = 4;
inline constexpr uint32_t option_share_resources = 8;
inline constexpr uint32_t option_object_streams = 16;
inline constexpr uint32_t option_outline_per_input = 32;
inline constexpr uint32_t option_keep_doc_info = 64;
inline constexpr uint32_t option_pad_odd = 128;
inline constexpr uint32_t option_page_labels = 256;
inline constexpr uint32_t option_keep_structure = 512;
inline constexpr uint32_t known_option_bits =
    option_keep_annotations | option_keep_outlines | option_compress_content |
    option_share_resources | option_object_streams | option_outline_per_input |
    option_keep_doc_info | option_pad_odd | option_page_labels | option_keep_structure;

} // namespace pdfmerge
