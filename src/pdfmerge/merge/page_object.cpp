// The new page object of one input page: its boxes, rotation and inline resources; and a blank
// page shaped like one.
#include "pdfmerge/decrypt/decrypt.h"
#include "pdfmerge/merge/merge.h"
#include "pdfmerge/pages/pages.h"

#include <charconv>
#include <cmath>

namespace pdfmerge {
namespace {

std::string box_text(const box& b) {
  return box_num_text(b.x0) + " " + box_num_text(b.y0) + " " + box_num_text(b.x1) + " " +
         box_num_text(b.y1);
}

// The rotation written for the page: its own /Rotate, else the one inherited from the tree.
int32_t page_rotation(const doc& d, const obj_entry& e, const pageinfo& page) {
  const std::optional<int32_t> own = obj_rotate_own(d.file(), e);
  return normalise_rotation(own ? *own : page.rotation);
}

std::string resources_text(const merge_input& in, const dict_span& sp, int32_t page_num) {
  std::string plain;
  const bytes res = strings_decrypted_at(in.d, page_resources(in.d, sp, page_num), plain);
  if (res.empty()) return {};
  std::string text = renumbered_text(res, in.map);
  make_reader_safe(text);
  return text;
}

// The start of the page's new dictionary: its type, parent, boxes and rotation.
std::string page_frame(const doc& d, const obj_entry& e, const dict_span& sp,
                       const pageinfo& page) {
  box media;
  // Without a usable box anywhere a viewer shows the page as US Letter; so is it written.
  if (!page_box(d, sp, page.num, "MediaBox", media)) media = {0, 0, 612, 792};
  box crop;
  const bool has_crop = page_box(d, sp, page.num, "CropBox", crop);
  const int32_t rotation = page_rotation(d, e, page);
  std::string text = "<< /Type /Page /Parent 2 0 R /MediaBox [" + box_text(media) + "]";
  if (has_crop) text += " /CropBox [" + box_text(crop) + "]";
  if (rotation == 90 || rotation == 180 || rotation == 270)
    text += " /Rotate " + std::to_string(rotation);
  return text;
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

int32_t write_page_object(out_file& f, const merge_input& in, const pageinfo& page, int32_t n,
                          int32_t total_pages, std::string_view extra) {
  const doc& d = in.d;
  const obj_entry* e = obj_lookup(d, page.num);
  dict_span sp;
  if (!e || !dict_span_of(d.file(), *e, sp)) {
    set_error("page object missing");
    return -1;
  }
  std::string text = page_frame(d, *e, sp, page);
  const std::string resources = resources_text(in, sp, page.num);
  if (!resources.empty()) text += " /Resources " + resources;
  text += extra;
  text += " /Contents " + std::to_string(n + total_pages) + " 0 R >>\nendobj\n";
  out_begin_object(f, n);
  out_put(f, text);
  return 0;
}

int32_t write_blank_page(out_file& f, const merge_input& in, const pageinfo& like, int32_t n,
                         int32_t total_pages) {
  const doc& d = in.d;
  const obj_entry* e = obj_lookup(d, like.num);
  dict_span sp;
  if (!e || !dict_span_of(d.file(), *e, sp)) {
    set_error("page object missing");
    return -1;
  }
  std::string text = page_frame(d, *e, sp, like);
  text += " /Contents " + std::to_string(n + total_pages) + " 0 R >>\nendobj\n";
  out_begin_object(f, n);
  out_put(f, text);
  return 0;
}

} // namespace pdfmerge
