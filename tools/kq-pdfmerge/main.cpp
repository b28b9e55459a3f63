// kq-pdfmerge: command-line front end of the library, using only its public header.
#include "kq_out_pdfmerge.h"

#include <cstdio>
#include <cstring>

namespace {

void usage(std::FILE* to) {
  std::fputs("usage: kq-pdfmerge count FILE...\n"
             "\n"
             "  count FILE...   print the page count of each FILE, one line each:\n"
             "                  'FILE: N pages' or 'FILE: error: MESSAGE'\n"
             "\n"
             "Exits with status 1 when any file failed, 2 on a usage error.\n",
             to);
}

int count_pages(int argc, char** argv) {
  int status = 0;
  for (int i = 0; i < argc; ++i) {
    int n = pdfmerge_page_count(argv[i]);
    if (n < 0) {
      std::printf("%s: error: %s\n", argv[i], pdfmerge_last_error());
      status = 1;
    } else {
      std::printf("%s: %d pages\n", argv[i], n);
    }
  }
  return status;
}

} // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
    usage(stdout);
    return 0;
  }
  if (argc >= 3 && !std::strcmp(argv[1], "count")) return count_pages(argc - 2, argv + 2);
  usage(stderr);
  return 2;
}
