// A merge whose objects are held in memory before they are written: made by the same writer as
// every merge, then shared and packed, then written.
#include "pdfmerge/merge/compact.h"

#include <numeric>

namespace pdfmerge {

int32_t write_compact_output(out_file& f, const std::vector<merge_input>& inputs,
                             int32_t total_pages, int32_t size, const output_extras* extras,
                             const merge_options& opts) {
  held_output held;
  {
    out_file holder;
    holder.hold = &held;
    if (write_output(holder, inputs, total_pages, size, extras, opts.compress_content) != 0)
      return -1;
  }
  buf_reserve(f.out, 0);
  if (!f.out.data) {
    set_error("out of memory");
    return -1;
  }
  const object_graph g = graph_of(held);
  std::vector<int32_t> rep(held.objects.size());
  held_plan plan;
  if (opts.share_resources) {
    rep = shared_representatives(held, g, pinned_objects(held, g, total_pages));
    plan = plan_shared(held, g, rep);
  } else {
    std::iota(rep.begin(), rep.end(), 0);
    plan = plan_as_held(held, g);
  }
  const std::string_view trailer = extras ? extras->trailer_entries : std::string_view();
  const bool encoded = opts.object_streams
                           ? write_held_packed(f, held, g, plan, rep, total_pages, trailer)
                           : write_held_classic(f, held, g, plan, rep, trailer);
  out_flush(f);
  if (!encoded || f.out.failed) {
    set_error("out of memory");
    return -1;
  }
  if (f.failed) {
    set_error("failed to build output");
    return -1;
  }
  return 0;
}

} // namespace pdfmerge
