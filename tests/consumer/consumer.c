/* A host program built against the installed library: through find_package(kq_out_pdfmerge)
 * or through pkg-config. Written in C to show that the public header serves C hosts too.
 *
 *   consumer OUT IN...   counts the pages of each IN, merges them into OUT, then appends the
 *                        first IN to OUT twice (once with pdfmerge_two, once with
 *                        pdfmerge_append), checking every count; merges the inputs again
 *                        with pdfmerge_files_opt keeping annotations and bookmarks, and with
 *                        the content compressed, and checks that an unknown option bit fails;
 *                        merges the last page of each IN with pdfmerge_files_ex, a bookmark
 *                        per input and the document information kept.
 *                        Exits 0 when all agree. */
#include <kq_out_pdfmerge.h>

#include <stdio.h>
#include <string.h>

/* The header's version macros let a host require what it was written for. */
#if KQ_PDFMERGE_VERSION < 100
#error "kq_out_pdfmerge 0.1.0 or later is needed"
#endif

static int fail(const char* what) {
  printf("FAILED: %s: %s\n", what, pdfmerge_last_error());
  return 1;
}

/* The page count of OUT after a merge that should have given `expected` pages. */
static int check_out(const char* step, int result, const char* out, int expected) {
  int pages;
  if (result != 0) return fail(step);
  if (pdfmerge_last_error()[0] != '\0') return fail("a successful merge left a message");
  pages = pdfmerge_page_count(out);
  printf("%s -> %s: %d pages\n", step, out, pages);
  if (pages != expected) return fail(step);
  return 0;
}

int main(int argc, char** argv) {
  const char* out;
  int total = 0;
  int first = 0;
  int i;
  if (argc < 3) {
    fputs("usage: consumer OUT IN...\n", stderr);
    return 2;
  }
  out = argv[1];
  printf("kq_out_pdfmerge.h %s\n", KQ_PDFMERGE_VERSION_STRING);
  if (pdfmerge_init() != 1) return fail("pdfmerge_init");
  for (i = 2; i < argc; ++i) {
    const int n = pdfmerge_page_count(argv[i]);
    if (n < 0) return fail(argv[i]);
    printf("%s: %d %s\n", argv[i], n, n == 1 ? "page" : "pages");
    if (i == 2) first = n;
    total += n;
  }
  if (check_out("pdfmerge_files", pdfmerge_files((const char* const*)(argv + 2), argc - 2, out),
                out, total))
    return 1;
  if (check_out("pdfmerge_two", pdfmerge_two(out, argv[2], out), out, total + first)) return 1;
  if (check_out("pdfmerge_append", pdfmerge_append(out, argv[2], out), out, total + 2 * first))
    return 1;

  if (check_out("pdfmerge_files_opt",
                pdfmerge_files_opt((const char* const*)(argv + 2), argc - 2, out,
                                   PDFMERGE_KEEP_ANNOTATIONS | PDFMERGE_KEEP_OUTLINES),
                out, total))
    return 1;
  if (check_out("pdfmerge_files_opt compressed",
                pdfmerge_files_opt((const char* const*)(argv + 2), argc - 2, out,
                                   PDFMERGE_COMPRESS_CONTENT),
                out, total))
    return 1;
  if (pdfmerge_files_opt((const char* const*)(argv + 2), argc - 2, out, 1 << 30) != -1 ||
      pdfmerge_last_error()[0] == '\0')
    return fail("an unknown option bit");
  {
    const char* ranges[64];
    const int count = argc - 2 < 64 ? argc - 2 : 64;
    for (i = 0; i < count; ++i) ranges[i] = "z";
    if (check_out("pdfmerge_files_ex",
                  pdfmerge_files_ex((const char* const*)(argv + 2), ranges, NULL, count, out,
                                    PDFMERGE_OUTLINE_PER_INPUT | PDFMERGE_KEEP_DOC_INFO),
                  out, count))
      return 1;
  }

  if (pdfmerge_page_count(NULL) != -1 || strcmp(pdfmerge_last_error(), "NULL path") != 0)
    return fail("a null path");
  pdfmerge_cleanup();
  if (pdfmerge_last_error()[0] != '\0') return fail("pdfmerge_cleanup");
  puts("ok");
  return 0;
}
