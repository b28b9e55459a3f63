// The new page object of one input page: its boxes, rotation and inline resources.
#include "pdfmerge/pdfmerge_internal.h"

#include <charconv>
#include <cmath>

namespace pdfmerge {
namespace {

// The ancestor that /Parent names in the span, or null.
const obj_entry* parent_of(const doc& d, const dict_span& sp) {
  const bytes range = sp.text.first(static_cast<size_t>(sp.end));
  const int32_t p = find_name(range, sp.start, sp.end, "Parent");
  if (p < 0) return nullptr;
  int32_t i = skip_ws(range, p + 7, sp.end);
  const int32_t num = parse_int_at(range, i);
  return num > 0 ? obj_lookup(d, num) : nullptr;
}

std::string box_text(const box& b) {
  return box_num_text(b.x0) + " " + box_num_text(b.y0) + " " + box_num_text(b.x1) + " " +
         box_num_text(b.y1);
}

// The rotation written for the page: its own /Rotate, else the one inherited from the tree.
int32_t page_rotation(const doc& d, const obj_entry& e, const pageinfo& page) {
  const std::optional<int32_t> own = obj_rotate_own(d.file(), e);
  return normalise_rotation(own ? *own : page.rotation);
}

std::string resources_text(const merge_input& in, const dict_span& sp) {
  const bytes res = page_resources(in.d, sp);
  return res.empty() ? std::string() : remap_res_text(res, in.map);
}

} // namespace

std::string box_num_text(double x) {
  char text[400];
  std::to_chars_result r;
  if (x >= -2147483648.0 && x <= 2147483647.0 && x == std::trunc(x))
    r = std::to_chars(text, text + sizeof text, static_cast<int32_t>(x));
  else
    r = std::to_chars(text, text + sizeof text, x, std::chars_format::fixed, 4);
  if (r.ec != std::errc()) return "0";
  // Formatted pieces are held to 63 characters.
  const size_t n = static_cast<size_t>(r.ptr - text);
  return std::string(text, n < 63 ? n : 63);
}

bool page_box(const doc& d, const dict_span& page, std::string_view name, box& out) {
  if (box_named_resolved(d, page.text.first(static_cast<size_t>(page.end)), page.start, name, out))
    return true;
  dict_span sp = page;
  for (int level = 1; level <= 32; ++level) {
    const obj_entry* parent = parent_of(d, sp);
    if (!parent || !dict_span_of(d.file(), *parent, sp)) return false;
    // Every page below a node asks the same of it: read each node's own box once.
    const int64_t key = int64_t{parent->num} * 2 + (name == "MediaBox" ? 0 : 1);
    auto memo = d.memo.boxes.find(key);
    if (memo == d.memo.boxes.end()) {
      box b;
      const bool found =
          box_named_resolved(d, sp.text.first(static_cast<size_t>(sp.end)), sp.start, name, b);
      memo = d.memo.boxes.emplace(key, std::make_pair(found, b)).first;
    }
    if (memo->second.first) {
      out = memo->second.second;
      return true;
    }
  }
  return false;
}

int32_t write_page_object(out_file& f, const merge_input& in, const pageinfo& page, int32_t n,
                          int32_t total_pages) {
  const doc& d = in.d;
  const obj_entry* e = obj_lookup(d, page.num);
  dict_span sp;
  if (!e || !dict_span_of(d.file(), *e, sp)) {
    set_error("page object missing");
    return -1;
  }
  box media;
  if (!page_box(d, sp, "MediaBox", media)) media = {0, 0, 595.28, 841.89};
  box crop;
  const bool has_crop = page_box(d, sp, "CropBox", crop);
  const int32_t rotation = page_rotation(d, *e, page);
  const std::string resources = resources_text(in, sp);

  std::string text = "<< /Type /Page /Parent 2 0 R /MediaBox [" + box_text(media) + "]";
  if (has_crop) text += " /CropBox [" + box_text(crop) + "]";
  if (rotation == 90 || rotation == 180 || rotation == 270)
    text += " /Rotate " + std::to_string(rotation);
  if (!resources.empty()) text += " /Resources " + resources;
  text += " /Contents " + std::to_string(n + total_pages) + " 0 R >>\nendobj\n";
  out_begin_object(f, n);
  out_put(f, text);
  return 0;
}

} // namespace pdfmerge
