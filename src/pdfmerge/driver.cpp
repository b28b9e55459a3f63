// merge_many: reads the page ranges, loads every input and takes the pages its range selects,
// plans the output numbers, then streams the output into a temporary file beside out_path that
// replaces it only once complete.
#include "pdfmerge/driver.h"

#include "kq_out_pdfmerge.h"
#include "pdfmerge/decrypt/decrypt.h"
#include "pdfmerge/keep/keep.h"
#include "pdfmerge/merge/merge.h"
#include "pdfmerge/reader/reader.h"
#include "pdfmerge/syntax/syntax.h"

#include <optional>
#include <string>

namespace pdfmerge {
namespace {

using ranges_read = std::vector<std::optional<page_range>>;

void set_range_error(int32_t i, const char* range, const std::string& why) {
  set_error("input %ld: bad page range \"%s\": %s", static_cast<long>(i) + 1,
            page_range_quoted(range).c_str(), why.c_str());
}

// Every range the host gave, read before any input is opened. False with the message set at
// the first that does not read.
bool read_ranges(const char* const* ranges, int32_t count, ranges_read& out) {
  out.assign(static_cast<size_t>(count), std::nullopt);
  if (!ranges) return true;
  for (int32_t i = 0; i < count; ++i) {
    if (!ranges[i]) continue;
    std::string why;
    page_range r;
    if (!page_range_parse(ranges[i], r, why)) {
      set_range_error(i, ranges[i], why);
      return false;
    }
    out[static_cast<size_t>(i)] = std::move(r);
  }
  return true;
}

// Keeps the pages of `indexes` (positions in the page list), in that order.
void select_pages(merge_input& in, std::vector<int32_t> indexes) {
  pagevec chosen;
  chosen.reserve(indexes.size());
  for (int32_t k : indexes) chosen.push_back(in.d.pages[static_cast<size_t>(k)]);
  in.d.pages = std::move(chosen);
  in.source_index = std::move(indexes);
}

// Loads the inputs in order and takes the pages their ranges select; the first that fails ends
// the loading with its message wrapped.
bool load_inputs(const char* const* paths, int32_t count, const ranges_read& ranges,
                 const input_choices& choices, std::vector<merge_input>& inputs,
                 file_memory_pool& pool) {
  size_t pages = 0; // taken so far
  for (int32_t i = 0; i < count; ++i) {
    merge_input& in = inputs[static_cast<size_t>(i)];
    if (doc_load(paths[i], in.d, &pool) != 0) {
      const std::string cause = error_text(); // set_error overwrites the text it would read
      set_error("input %ld: %s", static_cast<long>(i) + 1, cause.c_str());
      return false;
    }
    crypt_streams_decrypt(in.d);
    in.path = paths[i];
    in.title = choices.titles ? choices.titles[i] : nullptr;
    if (const std::optional<page_range>& r = ranges[static_cast<size_t>(i)]) {
      std::vector<int32_t> indexes;
      std::string why;
      const size_t room = max_output_pages - std::min(pages, max_output_pages);
      if (!page_range_select(*r, static_cast<int32_t>(in.d.pages.size()), room, indexes, why)) {
        set_range_error(i, choices.ranges[i], why);
        return false;
      }
      select_pages(in, std::move(indexes));
    }
    pages += in.d.pages.size();
  }
  return true;
}

// A blank page after every input but the last that contributes an odd number of pages.
void plan_blank_pages(std::vector<merge_input>& inputs) {
  for (size_t i = 0; i + 1 < inputs.size(); ++i)
    inputs[i].blank_after = inputs[i].d.pages.size() % 2 == 1;
}

int64_t total_pages_of(const std::vector<merge_input>& inputs) {
  int64_t total = 0;
  for (const merge_input& in : inputs) total += output_pages_of(in);
  return total;
}

} // namespace

int32_t merge_many(const char* const* paths, int32_t count, const char* out_path,
                   const merge_options& opts, const input_choices& choices) {
  if (!paths || count < 1) {
    set_error("no input paths");
    return -1;
  }
  if (!out_path) {
    set_error("NULL output path");
    return -1;
  }
  ranges_read ranges;
  if (!read_ranges(choices.ranges, count, ranges)) return -1;
  file_memory_pool pool; // holds the bytes of small inputs: declared before the inputs
  std::vector<merge_input> inputs(static_cast<size_t>(count));
  if (!load_inputs(paths, count, ranges, choices, inputs, pool)) return -1;
  if (opts.pad_odd) plan_blank_pages(inputs);
  const int64_t total = total_pages_of(inputs);
  if (total < 1) {
    set_error("no pages to merge");
    return -1;
  }
  int64_t size = total <= INT32_MAX ? merge_plan(inputs, static_cast<int32_t>(total)) : -1;
  keep_plan plan;
  plan.producer = "kq_out_pdfmerge " KQ_PDFMERGE_VERSION_STRING;
  if (size >= 0 && opts.keeps_more()) size = plan_keep(inputs, opts, size, plan);
  if (size < 0) {
    set_error("failed to build output");
    return -1;
  }
  pending_output pending; // removes its temporary file on every early return
  if (pending.open(out_path) != 0) return -1;
  out_file f;
  f.sink = pending.file();
  const output_extras extras = opts.keeps_more() ? keep_extras(inputs, plan) : output_extras{};
  const output_extras* x = opts.keeps_more() ? &extras : nullptr;
  const auto pages = static_cast<int32_t>(total);
  const int32_t written =
      opts.holds_objects()
          ? write_compact_output(f, inputs, pages, static_cast<int32_t>(size), x, opts)
          : write_output(f, inputs, pages, static_cast<int32_t>(size), x, opts.compress_content);
  if (written != 0) {
    if (f.write_failed) set_error("short write to %s", out_path);
    return -1;
  }
  if (pending.commit() != 0) return -1;
  clear_error();
  return 0;
}

} // namespace pdfmerge
