// merge_many: loads every input, plans the output numbers, then streams the output into a
// temporary file beside out_path that replaces it only once complete.
#include "pdfmerge/driver.h"

#include "pdfmerge/decrypt/decrypt.h"
#include "pdfmerge/keep/keep.h"
#include "pdfmerge/merge/merge.h"
#include "pdfmerge/reader/reader.h"
#include "pdfmerge/syntax/syntax.h"

#include <string>

namespace pdfmerge {
namespace {

// Loads the inputs in order; the first that fails ends the loading with its message wrapped.
bool load_inputs(const char* const* paths, int32_t count, std::vector<merge_input>& inputs,
                 file_memory_pool& pool) {
  for (int32_t i = 0; i < count; ++i) {
    if (doc_load(paths[i], inputs[static_cast<size_t>(i)].d, &pool) != 0) {
      const std::string cause = error_text(); // set_error overwrites the text it would read
      set_error("input %ld: %s", static_cast<long>(i) + 1, cause.c_str());
      return false;
    }
    crypt_streams_decrypt(inputs[static_cast<size_t>(i)].d);
  }
  return true;
}

int64_t total_pages_of(const std::vector<merge_input>& inputs) {
  int64_t total = 0;
  for (const merge_input& in : inputs) total += static_cast<int64_t>(in.d.pages.size());
  return total;
}

} // namespace

int32_t merge_many(const char* const* paths, int32_t count, const char* out_path,
                   const merge_options& opts) {
  if (!paths || count < 1) {
    set_error("no input paths");
    return -1;
  }
  if (!out_path) {
    set_error("NULL output path");
    return -1;
  }
  file_memory_pool pool; // holds the bytes of small inputs: declared before the inputs
  std::vector<merge_input> inputs(static_cast<size_t>(count));
  if (!load_inputs(paths, count, inputs, pool)) return -1;
  const int64_t total = total_pages_of(inputs);
  if (total < 1) {
    set_error("no pages to merge");
    return -1;
  }
  int64_t size = total <= INT32_MAX ? merge_plan(inputs, static_cast<int32_t>(total)) : -1;
  keep_plan plan;
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
