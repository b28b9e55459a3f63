// kq-pdfmerge: command-line front end of the library, using only its public header.
#include "kq_out_pdfmerge.h"

#include <cstdio>
#include <cstring>

namespace {

void usage(std::FILE* to) {
  std::fputs("usage: kq-pdfmerge count FILE...\n"
             "       kq-pdfmerge merge [--keep-annotations] [--keep-outlines] [--keep-structure]\n"
             "                         [--compress] OUT IN...\n"
             "       kq-pdfmerge --version | --help\n"
             "\n"
             "  count FILE...   print the page count of each FILE, one line each:\n"
             "                  'FILE: N pages' (or '1 page') or 'FILE: error: MESSAGE'\n"
             "  merge OUT IN... merge the pages of the IN files, in order, into OUT and print\n"
             "                  'OUT: N pages' or 'error: MESSAGE'\n"
             "  --keep-annotations  keep the pages' annotations, links and form fields\n"
             "  --keep-outlines     keep the bookmarks\n"
             "  --keep-structure    keep the structure tree of tagged inputs (accessibility)\n"
             "  --compress          write the pages' content compressed (a smaller file)\n"
             "  --version       print the version\n"
             "\n"
             "Exits with status 1 when any file failed, 2 on a usage error.\n",
             to);
}

const char* pages_word(int n) {
  return n == 1 ? "page" : "pages";
}

int count_pages(int argc, char** argv) {
  int status = 0;
  for (int i = 0; i < argc; ++i) {
    int n = pdfmerge_page_count(argv[i]);
    if (n < 0) {
      std::printf("%s: error: %s\n", argv[i], pdfmerge_last_error());
      status = 1;
    } else {
      std::printf("%s: %d %s\n", argv[i], n, pages_word(n));
    }
  }
  return status;
}

// Merges inputs[0..count) into out and prints the page count of the result.
int merge_files(const char* out, int count, char** inputs, int options) {
  const int result = options ? pdfmerge_files_opt(inputs, count, out, options)
                             : pdfmerge_files(inputs, count, out);
  if (result != 0) {
    std::printf("error: %s\n", pdfmerge_last_error());
    return 1;
  }
  const int pages = pdfmerge_page_count(out);
  if (pages < 0) {
    std::printf("error: %s\n", pdfmerge_last_error());
    return 1;
  }
  std::printf("%s: %d %s\n", out, pages, pages_word(pages));
  return 0;
}

// The options bit of a merge flag, or 0 for an unknown one.
int merge_option(const char* flag) {
  if (!std::strcmp(flag, "--keep-annotations")) return PDFMERGE_KEEP_ANNOTATIONS;
  if (!std::strcmp(flag, "--keep-outlines")) return PDFMERGE_KEEP_OUTLINES;
  if (!std::strcmp(flag, "--keep-structure")) return PDFMERGE_KEEP_STRUCTURE;
  if (!std::strcmp(flag, "--compress")) return PDFMERGE_COMPRESS_CONTENT;
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    usage(stdout);
    return 0;
  }
  if (argc == 2 && !std::strcmp(argv[1], "--version")) {
    std::puts("kq-pdfmerge " KQ_PDFMERGE_VERSION_STRING);
    return 0;
  }
  if (argc >= 3 && !std::strcmp(argv[1], "count")) return count_pages(argc - 2, argv + 2);
  if (argc >= 2 && !std::strcmp(argv[1], "merge")) {
    int options = 0;
    int i = 2;
    for (; i < argc && !std::strncmp(argv[i], "--", 2); ++i) {
      const int bit = merge_option(argv[i]);
      if (!bit) break;
      options |= bit;
    }
    if (argc - i >= 2 && std::strncmp(argv[i], "--", 2) != 0)
      return merge_files(argv[i], argc - i - 1, argv + i + 1, options);
  }
  usage(stderr);
  return 2;
}
