// doc_load: the fixed sequence of loading phases.
#include "pdfmerge/reader/phases.h"

namespace pdfmerge {

int32_t doc_load(const char* path, doc& d, file_memory_pool* pool) {
  d = doc{};
  if (file_intake(path, d, pool) != 0) return -1;
  text_indexes ix(d.file());
  trailers_read(d, ix);
  objects_discover(d, ix);
  encryption_open(d, ix);
  if (!objstms_expand(d, ix, objstm_budget(d.len))) {
    set_error("object streams decode to more than %llu MB: %s",
              static_cast<unsigned long long>(objstm_budget(d.len) >> 20), path);
    return -1;
  }
  definitions_select(d, ix);
  if (d.objects.empty()) {
    set_error("no PDF objects found \xE2\x80\x94 not a PDF: %s", path);
    return -1;
  }
  if (d.encrypted && !d.crypt) {
    set_error("encrypted PDFs are not supported: %s", path);
    return -1;
  }
  return catalog_resolve(d, ix);
}

} // namespace pdfmerge
