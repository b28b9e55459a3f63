// The plan of a merge with options, made after the copies are numbered, and the writer's hooks
// that carry it out.
#include "pdfmerge/keep/keep.h"

namespace pdfmerge {

int64_t plan_keep(std::vector<merge_input>& inputs, const merge_options& opts, int64_t size,
                  keep_plan& plan) {
  constexpr int64_t max_size = static_cast<int64_t>(output_limit / 20);
  plan.opts = opts;
  plan.inputs.resize(inputs.size());
  int64_t next = size;
  int32_t first_page = 3;
  for (size_t i = 0; i < inputs.size(); ++i) {
    edit_ctx ctx{inputs[i].d, plan.inputs[i]};
    for (size_t k = 0; k < ctx.d.pages.size(); ++k)
      ctx.keep.page_new.emplace(ctx.d.pages[k].num, first_page + static_cast<int32_t>(k));
    std::vector<int32_t> seeds;
    if (opts.keep_annotations) {
      seeds = plan_annotations(ctx, first_page);
      plan_form(ctx, i, plan.form, seeds);
    }
    if (opts.keep_outlines && !plan_outlines(ctx, i, plan.outlines, seeds, next, max_size))
      return -1;
    if (opts.keep_structure) begin_structure(ctx);
    if (!keep_reached(ctx, inputs[i].map, std::move(seeds), next, max_size)) return -1;
    if (opts.keep_structure && !plan_structure(inputs, plan, i, first_page, next, max_size))
      return -1;
    first_page += static_cast<int32_t>(ctx.d.pages.size());
  }
  if (!number_outline_root(plan.outlines, next, max_size) ||
      !number_form(plan.form, next, max_size) || !number_structure(plan.structure, next, max_size))
    return -1;
  if (plan.outlines.root > 0)
    plan.catalog_entries += " /Outlines " + std::to_string(plan.outlines.root) + " 0 R";
  if (plan.form.num > 0)
    plan.catalog_entries += " /AcroForm " + std::to_string(plan.form.num) + " 0 R";
  plan.catalog_entries += structure_catalog_entries(plan.structure);
  return next;
}

output_extras keep_extras(const std::vector<merge_input>& inputs, keep_plan& plan) {
  output_extras x;
  x.catalog_entries = plan.catalog_entries;
  const auto annots = [&inputs, &plan](size_t i, size_t k) {
    const input_keep& keep = plan.inputs[i];
    const renumber_map& map = inputs[i].map;
    if (k < keep.annots_shared.size() && keep.annots_shared[k] != 0) {
      const int32_t n = renumber_lookup(map, keep.annots_shared[k]);
      return n > 0 ? " /Annots " + std::to_string(n) + " 0 R" : std::string();
    }
    if (k >= keep.annots.size() || keep.annots[k].empty()) return std::string();
    std::string text = " /Annots [";
    for (size_t a = 0; a < keep.annots[k].size(); ++a) {
      if (a) text += ' ';
      write_value(
          keep.annots[k][a], [&map](int32_t n) { return renumber_lookup(map, n); }, text);
    }
    text += "]";
    make_reader_safe(text);
    return text;
  };
  x.page_entries = [annots, &plan](size_t i, size_t k) {
    const std::vector<int32_t>& keys = plan.inputs[i].structure.page_keys;
    std::string text = annots(i, k);
    if (k < keys.size() && keys[k] >= 0) text += " /StructParents " + std::to_string(keys[k]);
    return text;
  };
  x.write_objects = [&inputs, &plan](out_file& f) {
    for (size_t i = 0; i < inputs.size(); ++i) write_kept_objects(f, inputs[i], plan.inputs[i]);
    write_outlines(f, inputs, plan.outlines);
    write_form(f, inputs, plan.form);
    write_structure(f, inputs, plan.structure);
  };
  return x;
}

} // namespace pdfmerge
