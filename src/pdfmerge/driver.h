// The top of the library: the options of the exported merge read from their bits, and the one
// driver that loads the inputs (reader/), plans and writes the output (merge/) and what the
// options keep (keep/).
#pragma once

#include "pdfmerge/merge/merge.h"

#include <cstdint>

namespace pdfmerge {

// The record of `bits`: 0, or -1 with "unknown option bits 0x.." set when a bit is not known.
int32_t merge_options_from_bits(int bits, merge_options& out) noexcept;

// What the host chose for each input beyond its path: each array is null or holds one entry
// per input. A null range takes every page; a null title leaves the bookmark's title to the
// document.
struct input_choices {
  const char* const* ranges = nullptr;
  const char* const* titles = nullptr;
};

// Merges the files at paths[0..count) into out_path. 0, or -1 with the last-error text set.
int32_t merge_many(const char* const* paths, int32_t count, const char* out_path,
                   const merge_options& opts = {}, const input_choices& choices = {});

} // namespace pdfmerge
