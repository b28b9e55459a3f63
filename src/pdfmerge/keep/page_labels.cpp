// Page labels: each input's /PageLabels number tree read into ranges, every output page given
// the label its page had, and the output's ranges written with runs of labels that continue one
// another merged into one range.
#include "pdfmerge/keep/keep.h"

#include <algorithm>

namespace pdfmerge {
namespace {

// Label numbers and first pages are held below this: no document has more pages.
constexpr int64_t max_label_number = INT32_MAX;

// The label range that a /PageLabels value (a dictionary) starting at page `first` describes.
label_range range_of(edit_ctx& ctx, int32_t first, const pdf_value& dict) {
  label_range r;
  r.first = first;
  if (const pdf_value* s = dict.get("S"))
    if (s->is(pdf_value::kind::atom) && s->text.size() == 2 && s->text[0] == '/' &&
        std::string_view("DRrAa").find(s->text[1]) != std::string_view::npos)
      r.style = s->text[1];
  if (const std::optional<std::string> p = string_of(ctx, dict.get("P"))) r.prefix = *p;
  const std::optional<int64_t> st = integer_of(dict.get("St"));
  r.start = st && *st >= 1 ? std::min(*st, max_label_number) : 1;
  return r;
}

void read_number_tree(edit_ctx& ctx, const pdf_value& root, std::vector<label_range>& out) {
  for_each_tree_pair(ctx, root, "Nums", [&](const pdf_value& key, const pdf_value& value) {
    const std::optional<int64_t> first = integer_of(&key);
    if (!first || *first < 0 || *first > max_label_number) return;
    if (const pdf_value* dict = resolved_tree(ctx, &value, pdf_value::kind::dict))
      out.push_back(range_of(ctx, static_cast<int32_t>(*first), *dict));
  });
}

// The label of page `index` under `ranges` (sorted by first page), or none when no range
// starts at or before it.
std::optional<label_range> label_of(const std::vector<label_range>& ranges, int32_t index) {
  auto it = std::upper_bound(ranges.begin(), ranges.end(), index,
                             [](int32_t i, const label_range& r) { return i < r.first; });
  if (it == ranges.begin()) return std::nullopt;
  label_range label = *(it - 1);
  label.start = std::min(label.start + (index - label.first), max_label_number);
  return label;
}

// Appends the label of the output page `page` (0-based), starting a new range unless it
// continues the last one.
void add_label(std::vector<label_range>& out, int32_t page, label_range label) {
  label.first = page;
  if (!out.empty()) {
    const label_range& last = out.back();
    const int64_t expected = last.start + (page - last.first);
    if (last.style == label.style && last.prefix == label.prefix &&
        (label.style == 0 || label.start == expected))
      return;
  }
  out.push_back(std::move(label));
}

label_range page_number_label(int32_t page) {
  label_range r;
  r.style = 'D';
  r.start = int64_t{page} + 1;
  return r;
}

} // namespace

std::vector<label_range> document_labels(edit_ctx& ctx) {
  std::vector<label_range> ranges;
  const pdf_value* catalog = object_tree(ctx, ctx.d.catalog_num);
  const pdf_value* root =
      catalog ? resolved_tree(ctx, catalog->get("PageLabels"), pdf_value::kind::dict) : nullptr;
  if (!root) return ranges;
  read_number_tree(ctx, *root, ranges);
  // In page order; where two ranges start at one page, the first read wins.
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const label_range& a, const label_range& b) { return a.first < b.first; });
  ranges.erase(
      std::unique(ranges.begin(), ranges.end(),
                  [](const label_range& a, const label_range& b) { return a.first == b.first; }),
      ranges.end());
  return ranges;
}

std::vector<label_range> output_labels(const std::vector<merge_input>& inputs,
                                       std::vector<input_keep>& keeps) {
  std::vector<label_range> out;
  int32_t page = 0;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const merge_input& in = inputs[i];
    edit_ctx ctx{in.d, keeps[i]};
    const std::vector<label_range> ranges = document_labels(ctx);
    for (size_t k = 0; k < in.d.pages.size(); ++k, ++page) {
      const int32_t source = in.source_index.empty() ? static_cast<int32_t>(k) : in.source_index[k];
      std::optional<label_range> label = label_of(ranges, source);
      add_label(out, page, label ? std::move(*label) : page_number_label(page));
    }
    if (in.blank_after) {
      add_label(out, page, page_number_label(page));
      ++page;
    }
  }
  return out;
}

std::string labels_text(const std::vector<label_range>& ranges) {
  std::string text = "<< /Nums [";
  for (size_t k = 0; k < ranges.size(); ++k) {
    const label_range& r = ranges[k];
    if (k) text += ' ';
    text += std::to_string(r.first) + " <<";
    if (r.style) text += std::string(" /S /") + r.style;
    if (!r.prefix.empty()) text += " /P " + bytes_string_token(r.prefix);
    if (r.style && r.start != 1) text += " /St " + std::to_string(r.start);
    text += " >>";
  }
  text += "] >>";
  make_reader_safe(text);
  return text;
}

} // namespace pdfmerge
