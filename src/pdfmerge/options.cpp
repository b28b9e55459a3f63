// The options bits of the exported merge.
#include "pdfmerge/driver.h"

#include "pdfmerge/syntax/syntax.h"

namespace pdfmerge {

int32_t merge_options_from_bits(int bits, merge_options& out) noexcept {
  const auto u = static_cast<uint32_t>(bits);
  if ((u & ~known_option_bits) != 0) {
    set_error("unknown option bits 0x%lx", static_cast<unsigned long>(u & ~known_option_bits));
    return -1;
  }
  out.keep_annotations = (u & option_keep_annotations) != 0;
  out.keep_outlines = (u & option_keep_outlines) != 0;
  out.compress_content = (u & option_compress_content) != 0;
  out.share_resources = (u & option_share_resources) != 0;
  out.object_streams = (u & option_object_streams) != 0;
  out.outline_per_input = (u & option_outline_per_input) != 0;
  out.keep_doc_info = (u & option_keep_doc_info) != 0;
  out.pad_odd = (u & option_pad_odd) != 0;
  out.page_labels = (u & option_page_labels) != 0;
  out.keep_structure = (u & option_keep_structure) != 0;
  return 0;
}

} // namespace pdfmerge
