/* A host program built the way Microsoft's toolchain builds one (clang for the MSVC target,
 * lld-link), linked against the Windows archive's lib/kq_out_pdfmerge.lib and nothing of MinGW.
 * It needs no C runtime and no Windows SDK: its entry point is its own, and the three functions
 * of kernel32.dll it calls come from an import library made like the project's.
 *
 * In a folder holding kq_out_pdfmerge.dll and the bundled examples it counts the examples'
 * pages, merges them into merged.pdf, merges their last pages with pdfmerge_files_ex, and reads
 * the message of a missing file; it prints each result and exits 0 when all are as expected. */
#include "kq_out_pdfmerge.h"

__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

static void put(const char* text) {
  unsigned long length = 0;
  unsigned long written = 0;
  while (text[length]) ++length;
  WriteFile(GetStdHandle((unsigned long)-11), text, length, &written, 0);
}

static void put_number(int value) {
  char digits[16];
  int at = 15;
  digits[at] = '\0';
  if (value < 0) {
    put("-");
    value = -value;
  }
  do {
    digits[--at] = (char)('0' + value % 10);
    value /= 10;
  } while (value > 0);
  put(digits + at);
}

static int same(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

static int failures;

static void expect(const char* what, int actual, int expected) {
  put(what);
  put(": ");
  put_number(actual);
  put("\n");
  if (actual != expected) {
    put("FAILED: expected ");
    put_number(expected);
    put("\n");
    ++failures;
  }
}

void start(void) {
  static const char* const inputs[] = {"letter.pdf", "object-streams.pdf", "rotated.pdf"};
  static const char* const last_pages[] = {"z", "z", "z"};
  expect("pdfmerge_init", pdfmerge_init(), 1);
  expect("letter.pdf", pdfmerge_page_count(inputs[0]), 1);
  expect("object-streams.pdf", pdfmerge_page_count(inputs[1]), 2);
  expect("rotated.pdf", pdfmerge_page_count(inputs[2]), 3);
  expect("pdfmerge_files", pdfmerge_files(inputs, 3, "merged.pdf"), 0);
  expect("merged.pdf", pdfmerge_page_count("merged.pdf"), 6);
  expect("pdfmerge_files_ex",
         pdfmerge_files_ex(inputs, last_pages, 0, 3, "last pages.pdf", PDFMERGE_OUTLINE_PER_INPUT),
         0);
  expect("last pages.pdf", pdfmerge_page_count("last pages.pdf"), 3);
  expect("missing.pdf", pdfmerge_page_count("missing.pdf"), -1);
  put("message: ");
  put(pdfmerge_last_error());
  put("\n");
  if (!same(pdfmerge_last_error(), "cannot open missing.pdf")) ++failures;
  put(failures ? "failed\n" : "ok\n");
  ExitProcess(failures ? 1 : 0);
}
