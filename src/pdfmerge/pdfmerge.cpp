// The exported C functions. No exception leaves them: running out of memory becomes -1 with
// "out of memory".
#include "kq_out_pdfmerge.h"
#include "pdfmerge/driver.h"
#include "pdfmerge/reader/reader.h"
#include "pdfmerge/syntax/syntax.h"

#include <new>

using namespace pdfmerge;

namespace {

template <class F> int guarded(F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    // Only allocation can throw in the library (bad_alloc, or length_error for a size no
    // allocation could satisfy): both are running out of memory.
    set_error("out of memory");
  }
  return -1;
}

} // namespace

extern "C" {

KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_init(void) {
  clear_error();
  return 1;
}

KQ_PDFMERGE_API void KQ_PDFMERGE_CALL pdfmerge_cleanup(void) {
  clear_error();
}

KQ_PDFMERGE_API const char* KQ_PDFMERGE_CALL pdfmerge_last_error(void) {
  return error_text();
}

KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_page_count(const char* path) {
  if (!path) {
    set_error("NULL path");
    return -1;
  }
  return guarded([&] {
    doc d;
    if (doc_load(path, d) != 0) return -1;
    int count = static_cast<int>(d.pages.size());
    doc_free(d);
    clear_error();
    return count;
  });
}

KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_files(const char* const* paths, int count,
                                                    const char* out_path) {
  return guarded([&] { return merge_many(paths, count, out_path) == 0 ? 0 : -1; });
}

KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_files_opt(const char* const* paths, int count,
                                                        const char* out_path, int options) {
  merge_options opts;
  if (merge_options_from_bits(options, opts) != 0) return -1;
  return guarded([&] { return merge_many(paths, count, out_path, opts) == 0 ? 0 : -1; });
}

KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_files_ex(const char* const* paths,
                                                       const char* const* ranges,
                                                       const char* const* titles, int count,
                                                       const char* out_path, int options) {
  merge_options opts;
  if (merge_options_from_bits(options, opts) != 0) return -1;
  return guarded([&] {
    return merge_many(paths, count, out_path, opts, input_choices{ranges, titles}) == 0 ? 0 : -1;
  });
}

KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_two(const char* first, const char* second,
                                                  const char* out_path) {
  const char* const paths[2] = {first, second};
  return pdfmerge_files(paths, 2, out_path);
}

KQ_PDFMERGE_API int KQ_PDFMERGE_CALL pdfmerge_append(const char* base, const char* addition,
                                                     const char* out_path) {
  return pdfmerge_two(base, addition, out_path);
}

} // extern "C"
