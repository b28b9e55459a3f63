/* A Windows host that loads the DLL at run time, as hosts without an import library do:
 * LoadLibrary, then GetProcAddress for each of the nine functions by its plain name.
 *
 *   load_library DLL OUT IN...   counts the pages of each IN and merges them into OUT. */
#include <windows.h>

#include <stdio.h>

/* x86-64 Windows has a single calling convention; __cdecl only names it. */
typedef int(__cdecl* init_fn)(void);
typedef void(__cdecl* cleanup_fn)(void);
typedef const char*(__cdecl* last_error_fn)(void);
typedef int(__cdecl* page_count_fn)(const char*);
typedef int(__cdecl* files_fn)(const char* const*, int, const char*);

static const char* const exported[] = {
    "pdfmerge_init",       "pdfmerge_cleanup",   "pdfmerge_last_error",
    "pdfmerge_page_count", "pdfmerge_files",     "pdfmerge_two",
    "pdfmerge_append",     "pdfmerge_files_opt", "pdfmerge_files_ex"};

/* GetProcAddress gives a generic function pointer; going through void (*)(void) keeps the
 * conversion to each real type free of cast warnings. */
typedef void (*any_fn)(void);
static any_fn lookup(HMODULE dll, const char* name) {
  return (any_fn)GetProcAddress(dll, name);
}

int main(int argc, char** argv) {
  HMODULE dll;
  size_t k;
  int i, total = 0, pages;
  init_fn init;
  cleanup_fn cleanup;
  last_error_fn last_error;
  page_count_fn page_count;
  files_fn files;
  if (argc < 4) {
    fputs("usage: load_library DLL OUT IN...\n", stderr);
    return 2;
  }
  dll = LoadLibraryA(argv[1]);
  if (!dll) {
    printf("FAILED: LoadLibrary %s: error %lu\n", argv[1], (unsigned long)GetLastError());
    return 1;
  }
  for (k = 0; k < sizeof exported / sizeof exported[0]; ++k)
    if (!lookup(dll, exported[k])) {
      printf("FAILED: %s is not exported\n", exported[k]);
      return 1;
    }
  init = (init_fn)lookup(dll, "pdfmerge_init");
  cleanup = (cleanup_fn)lookup(dll, "pdfmerge_cleanup");
  last_error = (last_error_fn)lookup(dll, "pdfmerge_last_error");
  page_count = (page_count_fn)lookup(dll, "pdfmerge_page_count");
  files = (files_fn)lookup(dll, "pdfmerge_files");

  if (init() != 1) return 1;
  for (i = 3; i < argc; ++i) {
    const int n = page_count(argv[i]);
    if (n < 0) {
      printf("FAILED: %s: %s\n", argv[i], last_error());
      return 1;
    }
    printf("%s: %d %s\n", argv[i], n, n == 1 ? "page" : "pages");
    total += n;
  }
  if (files((const char* const*)(argv + 3), argc - 3, argv[2]) != 0) {
    printf("FAILED: merge: %s\n", last_error());
    return 1;
  }
  pages = page_count(argv[2]);
  printf("%s: %d pages\n", argv[2], pages);
  cleanup();
  FreeLibrary(dll);
  if (pages != total) return 1;
  puts("ok");
  return 0;
}
