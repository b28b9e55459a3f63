// kq-pdfmerge: command-line front end of the library, using only its public header.
#include "kq_out_pdfmerge.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void usage(std::FILE* to) {
  std::fputs("usage: kq-pdfmerge count FILE...\n"
             "       kq-pdfmerge merge [OPTION...] OUT IN [--pages RANGE] [--title TITLE]...\n"
             "       kq-pdfmerge --version | --help\n"
             "\n"
             "  count FILE...   print the page count of each FILE, one line each:\n"
             "                  'FILE: N pages' (or '1 page') or 'FILE: error: MESSAGE'\n"
             "  merge OUT IN... merge the pages of the IN files, in order, into OUT and print\n"
             "                  'OUT: N pages' or 'error: MESSAGE'\n"
             "  --version       print the version\n"
             "\n"
             "Merge options, before OUT:\n"
             "  --keep-annotations  keep the pages' annotations, links and form fields\n"
             "  --keep-outlines     keep the bookmarks\n"
             "  --compress          write the pages' content compressed (a smaller file)\n"
             "  --share-resources   write objects of identical content once (fonts, images)\n"
             "  --object-streams    write a PDF 1.5 file with its small objects compressed\n"
             "  --outline-per-input one bookmark per input, titled by its --title, its document\n"
             "                      title or its file name\n"
             "  --keep-doc-info     keep the first inputs' title, author and other information\n"
             "  --pad-odd           a blank page after an input with an odd number of pages\n"
             "  --page-labels       keep the pages' labels (roman numbers and the like)\n"
             "  --keep-structure    keep the structure tree of tagged inputs (accessibility)\n"
             "After an IN:\n"
             "  --pages RANGE       take only these pages of it, e.g. 1-3,5 or z-1 (backwards);\n"
             "                      z is the last page, rN the N-th from the last\n"
             "  --title TITLE       the title of its bookmark (implies --outline-per-input)\n"
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

// One input of a merge with what the command line chose for it.
struct merge_input_args {
  std::vector<const char*> paths;
  std::vector<const char*> ranges; // null: every page
  std::vector<const char*> titles; // null: the document's title or file name
  bool any_choice = false;
};

// Merges the inputs into out and prints the page count of the result.
int merge_files(const char* out, const merge_input_args& in, int options) {
  const int count = static_cast<int>(in.paths.size());
  int result;
  if (in.any_choice)
    result =
        pdfmerge_files_ex(in.paths.data(), in.ranges.data(), in.titles.data(), count, out, options);
  else if (options)
    result = pdfmerge_files_opt(in.paths.data(), count, out, options);
  else
    result = pdfmerge_files(in.paths.data(), count, out);
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
  if (!std::strcmp(flag, "--share-resources")) return PDFMERGE_SHARE_RESOURCES;
  if (!std::strcmp(flag, "--object-streams")) return PDFMERGE_OBJECT_STREAMS;
  if (!std::strcmp(flag, "--outline-per-input")) return PDFMERGE_OUTLINE_PER_INPUT;
  if (!std::strcmp(flag, "--keep-doc-info")) return PDFMERGE_KEEP_DOC_INFO;
  if (!std::strcmp(flag, "--pad-odd")) return PDFMERGE_PAD_ODD;
  if (!std::strcmp(flag, "--page-labels")) return PDFMERGE_PAGE_LABELS;
  return 0;
}

// Reads "IN [--pages RANGE] [--title TITLE]..." from args[0..n). False on a usage error: a
// flag before the first input, a flag without its value, or one given twice for an input.
bool read_inputs(int n, char** args, merge_input_args& in, int& options) {
  for (int i = 0; i < n; ++i) {
    const bool pages = !std::strcmp(args[i], "--pages");
    const bool title = !std::strcmp(args[i], "--title");
    if (!pages && !title) {
      in.paths.push_back(args[i]);
      in.ranges.push_back(nullptr);
      in.titles.push_back(nullptr);
      continue;
    }
    if (in.paths.empty() || i + 1 >= n) return false;
    const char*& slot = pages ? in.ranges.back() : in.titles.back();
    if (slot) return false;
    slot = args[++i];
    in.any_choice = true;
    if (title) options |= PDFMERGE_OUTLINE_PER_INPUT;
  }
  return !in.paths.empty();
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
    merge_input_args in;
    if (argc - i >= 2 && std::strncmp(argv[i], "--", 2) != 0 &&
        read_inputs(argc - i - 1, argv + i + 1, in, options))
      return merge_files(argv[i], in, options);
  }
  usage(stderr);
  return 2;
}
