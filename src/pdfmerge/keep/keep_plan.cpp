// The plan of a merge with options, made after the copies are numbered, and the writer's hooks
// that carry it out.
#include "pdfmerge/keep/keep.h"

namespace pdfmerge {

namespace {

std::string ref_entry(std::string_view key, int32_t num) {
  return " /" + std::string(key) + " " + std::to_string(num) + " 0 R";
}

// The bookmarks of input `i`: its own outline when asked, under a bookmark of its own when
// asked.
bool plan_input_outline(edit_ctx& ctx, const merge_input& in, size_t i, int32_t first_page,
                        keep_plan& plan, std::vector<int32_t>& seeds, int64_t& next,
                        int64_t max_size) {
  std::vector<size_t> own;
  if (plan.opts.keep_outlines && !plan_outlines(ctx, i, plan.outlines, seeds, next, max_size, own))
    return false;
  if (!plan.opts.outline_per_input) {
    plan.outlines.top.insert(plan.outlines.top.end(), own.begin(), own.end());
    return true;
  }
  std::string title = text_string_token(input_title(ctx, in.title, in.path));
  return plan_input_bookmark(plan.outlines, i, std::move(title), first_page, std::move(own), next,
                             max_size);
}

} // namespace

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
    if (!plan_input_outline(ctx, inputs[i], i, first_page, plan, seeds, next, max_size)) return -1;
    if (opts.keep_structure) begin_structure(ctx);
    if (!keep_reached(ctx, inputs[i].map, std::move(seeds), next, max_size)) return -1;
    if (opts.keep_structure && !plan_structure(inputs, plan, i, first_page, next, max_size))
      return -1;
    first_page += output_pages_of(inputs[i]);
  }
  if (!number_outline_root(plan.outlines, next, max_size) ||
      !number_form(plan.form, next, max_size) || !number_structure(plan.structure, next, max_size))
    return -1;
  if (opts.keep_doc_info &&
      !plan_doc_info(inputs, plan.inputs, plan.producer, plan.info, next, max_size))
    return -1;
  if (opts.page_labels) {
    if (next >= max_size) return -1;
    plan.labels = static_cast<int32_t>(next++);
    plan.labels_value = labels_text(output_labels(inputs, plan.inputs));
  }
  if (plan.outlines.root > 0) plan.catalog_entries += ref_entry("Outlines", plan.outlines.root);
  if (plan.form.num > 0) plan.catalog_entries += ref_entry("AcroForm", plan.form.num);
  if (plan.labels > 0) plan.catalog_entries += ref_entry("PageLabels", plan.labels);
  if (plan.info.metadata > 0) plan.catalog_entries += ref_entry("Metadata", plan.info.metadata);
  if (!plan.info.lang.empty()) plan.catalog_entries += " /Lang " + plan.info.lang;
  if (plan.info.info > 0) plan.trailer_entries += ref_entry("Info", plan.info.info);
  // The document information's /Lang, when kept, is the first input's as the structure's is.
  plan.catalog_entries += structure_catalog_entries(plan.structure, plan.info.lang.empty());
  return next;
}

output_extras keep_extras(const std::vector<merge_input>& inputs, keep_plan& plan) {
  output_extras x;
  x.catalog_entries = plan.catalog_entries;
  x.trailer_entries = plan.trailer_entries;
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
    if (plan.info.info > 0) write_doc_info(f, plan.info);
    if (plan.labels > 0) {
      out_begin_object(f, plan.labels);
      out_put(f, plan.labels_value);
      out_put(f, "\nendobj\n");
    }
  };
  return x;
}

} // namespace pdfmerge
