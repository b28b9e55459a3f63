// The whole C API on one input file: its page count, a merge of it with itself (through
// pdfmerge_files, pdfmerge_two, pdfmerge_append, pdfmerge_files_opt keeping annotations and
// bookmarks, writing the content compressed, sharing identical objects or writing object
// streams, or pdfmerge_files_ex with page ranges, a title and every option, the bits that change
// how the output is written and the keeping of the structure tree taken from the input's length
// too), and the page count of the output, which must be the pages the call asked for (twice the
// input's, or those the ranges select and the blank page after an odd first part): the library's
// own reader reads back what its writer made. After every call the last-error text must be one
// non-empty line of at most 1023 bytes of UTF-8 when the call failed, and empty when it
// succeeded; a failed merge leaves no output, and no call leaves a temporary file behind. The
// files live in a folder of their own on a tmpfs when there is one.
#include "fuzz_check.h"
#include "kq_out_pdfmerge.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct scratch {
  fs::path dir;
  std::string in;
  std::string out;
};

scratch* g_scratch = nullptr;

void remove_scratch() {
  std::error_code ec;
  if (g_scratch) fs::remove_all(g_scratch->dir, ec);
}

const scratch& files() {
  if (g_scratch) return *g_scratch;
  std::error_code ec;
  fs::path base = "/dev/shm";
  if (!fs::is_directory(base, ec) || access(base.c_str(), W_OK) != 0)
    base = fs::temp_directory_path();
  g_scratch = new scratch;
  g_scratch->dir = base / ("pdfmerge-fuzz-" + std::to_string(getpid()));
  fs::remove_all(g_scratch->dir, ec);
  fs::create_directories(g_scratch->dir);
  g_scratch->in = (g_scratch->dir / "in.pdf").string();
  g_scratch->out = (g_scratch->dir / "out.pdf").string();
  std::atexit(remove_scratch);
  return *g_scratch;
}

bool valid_utf8(const unsigned char* s, size_t n) {
  for (size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    const size_t len = c < 0x80         ? 1
                       : (c >> 5) == 6  ? 2
                       : (c >> 4) == 14 ? 3
                       : (c >> 3) == 30 ? 4
                                        : 0;
    if (len == 0 || i + len > n) return false;
    for (size_t k = 1; k < len; ++k)
      if ((s[i + k] & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

// The last-error text after a call named `call` that failed or succeeded.
std::string message_after(const char* call, bool failed) {
  static const char* const buffer = pdfmerge_last_error();
  const char* text = pdfmerge_last_error();
  FUZZ_CHECK(text == buffer, "%s: the last-error text moved", call);
  const size_t n = strnlen(text, 4096);
  if (!failed) {
    FUZZ_CHECK(n == 0, "%s succeeded with the text \"%.200s\"", call, text);
    return {};
  }
  FUZZ_CHECK(n > 0, "%s failed with an empty text", call);
  FUZZ_CHECK(n <= 1023, "%s: text of %zu bytes", call, n);
  FUZZ_CHECK(std::strpbrk(text, "\r\n") == nullptr, "%s: text of more than one line: \"%s\"", call,
             text);
  FUZZ_CHECK(valid_utf8(reinterpret_cast<const unsigned char*>(text), n),
             "%s: text not UTF-8: \"%s\"", call, text);
  return text;
}

// Only the input, and the output when `output` is true, are left in the folder.
void check_folder(const scratch& s, bool output, const char* after) {
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(s.dir)) {
    ++entries;
    const std::string p = entry.path().string();
    FUZZ_CHECK(p == s.in || (output && p == s.out), "after %s: %s left in the folder", after,
               p.c_str());
  }
  FUZZ_CHECK(entries == (output ? 2u : 1u), "after %s: %zu files in the folder", after, entries);
}

// The structure tree is kept for lengths whose seventh bit is set: with every combination of the
// other bits that the length picks.
int keeps_structure(size_t pick) {
  return (pick / 64) % 2 ? PDFMERGE_KEEP_STRUCTURE : 0;
}

// Merges the input with itself; `expected` receives the page count the output must have, given
// the input's `pages`.
int merge_with_itself(const scratch& s, size_t pick, int pages, const char*& call, int& expected) {
  expected = 2 * pages;
  switch (pick % 8) {
  case 0: {
    const char* const paths[2] = {s.in.c_str(), s.in.c_str()};
    call = "pdfmerge_files";
    return pdfmerge_files(paths, 2, s.out.c_str());
  }
  case 1:
    call = "pdfmerge_two";
    return pdfmerge_two(s.in.c_str(), s.in.c_str(), s.out.c_str());
  case 2:
    call = "pdfmerge_append";
    return pdfmerge_append(s.in.c_str(), s.in.c_str(), s.out.c_str());
  case 3:
  case 4:
  case 5:
  case 6: {
    // Each of the bits that keep more, or change how the output is written, alone.
    static constexpr int alone[4] = {PDFMERGE_KEEP_ANNOTATIONS | PDFMERGE_KEEP_OUTLINES,
                                     PDFMERGE_COMPRESS_CONTENT, PDFMERGE_SHARE_RESOURCES,
                                     PDFMERGE_OBJECT_STREAMS};
    const char* const paths[2] = {s.in.c_str(), s.in.c_str()};
    call = "pdfmerge_files_opt";
    // The annotations and bookmarks kept with the structure tree when the length asks for it.
    const int structure = pick % 8 == 3 ? keeps_structure(pick) : 0;
    return pdfmerge_files_opt(paths, 2, s.out.c_str(), alone[pick % 8 - 3] | structure);
  }
  default: {
    // Every page backwards, then the first and the last again: a blank page follows the first
    // part when the input's page count is odd.
    const char* const paths[2] = {s.in.c_str(), s.in.c_str()};
    const char* const ranges[2] = {"z-1", " 1 , r1 "};
    const char* const titles[2] = {"Fuzz \xC3\xBC \xF0\x9F\x99\x82", nullptr};
    expected = pages + pages % 2 + 2;
    call = "pdfmerge_files_ex";
    // The bits that change how the output is written, in every combination over the lengths.
    static constexpr int writing[3] = {PDFMERGE_COMPRESS_CONTENT, PDFMERGE_SHARE_RESOURCES,
                                       PDFMERGE_OBJECT_STREAMS};
    int options = PDFMERGE_KEEP_ANNOTATIONS | PDFMERGE_KEEP_OUTLINES | PDFMERGE_OUTLINE_PER_INPUT |
                  PDFMERGE_KEEP_DOC_INFO | PDFMERGE_PAD_ODD | PDFMERGE_PAGE_LABELS;
    for (size_t b = 0; b < 3; ++b)
      if ((pick / 8) >> b & 1) options |= writing[b];
    options |= keeps_structure(pick);
    return pdfmerge_files_ex(paths, ranges, titles, 2, s.out.c_str(), options);
  }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const scratch& s = files();
  std::error_code ec;
  fs::remove(s.out, ec);
  {
    FILE* f = std::fopen(s.in.c_str(), "wb");
    FUZZ_CHECK(f != nullptr, "cannot write %s", s.in.c_str());
    FUZZ_CHECK(std::fwrite(data, 1, size, f) == size, "short write to %s", s.in.c_str());
    std::fclose(f);
  }

  const int pages = pdfmerge_page_count(s.in.c_str());
  FUZZ_CHECK(pages == -1 || pages >= 1, "page count %d", pages);
  const std::string count_text = message_after("pdfmerge_page_count", pages < 0);

  const char* call = "";
  int expected = 0;
  const int merged = merge_with_itself(s, size, pages, call, expected);
  FUZZ_CHECK(merged == 0 || merged == -1, "%s returned %d", call, merged);
  const std::string merge_text = message_after(call, merged != 0);
  check_folder(s, merged == 0, call);
  if (pages < 0) {
    FUZZ_CHECK(merged != 0, "%s merged a file whose page count failed", call);
    const std::string expected = ("input 1: " + count_text).substr(0, 1023);
    FUZZ_CHECK(merge_text == expected, "%s: \"%s\" after the page count's \"%s\"", call,
               merge_text.c_str(), count_text.c_str());
    return 0;
  }
  if (merged != 0) return 0; // a legitimate failure, such as an output past the size limit

  const int read_back = pdfmerge_page_count(s.out.c_str());
  const std::string read_text = message_after("pdfmerge_page_count of the output", read_back < 0);
  FUZZ_CHECK(read_back == expected,
             "%s of a file of %d pages: the output reads back as %d, not %d (%s)", call, pages,
             read_back, expected, read_text.c_str());
  return 0;
}
