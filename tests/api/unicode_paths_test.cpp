// Paths are UTF-8 bytes for hosts that pass UTF-8 (the .NET and Python samples do), so on
// Windows any file name can be read and written, including names outside the ANSI code page and
// paths longer than 260 characters. The fixtures are made through std::filesystem, which on
// Windows uses the wide functions, never through the library's own path handling. On Linux the
// same cases guard that paths stay plain bytes.
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

fs::path from_utf8(const std::string& s) {
  return fs::path(std::u8string(s.begin(), s.end()));
}

std::string to_utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

// The form that reaches any length: on Windows \\?\ and the full path with backslashes.
fs::path any_length(const fs::path& p) {
#ifdef _WIN32
  return fs::path(L"\\\\?\\" + fs::absolute(p).make_preferred().wstring());
#else
  return p;
#endif
}

void put(const fs::path& p, const std::string& bytes) {
  std::ofstream out(any_length(p), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string get(const fs::path& p) {
  std::ifstream in(any_length(p), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
#ifdef _WIN32
  // The C++ library cannot list a folder through the \\?\ form: asked of Windows itself.
  WIN32_FIND_DATAW entry;
  const HANDLE h = FindFirstFileW((any_length(dir) / L"*").c_str(), &entry);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(to_utf8(fs::path(name)));
  } while (FindNextFileW(h, &entry));
  FindClose(h);
#else
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(to_utf8(e.path().filename()));
#endif
  std::sort(names.begin(), names.end());
  return names;
}

struct named_case {
  std::string label;
  std::string folder; // UTF-8
  std::string input;
  std::string output;
};

// Counts, merges, appends onto the output and reports a missing file, all through UTF-8 paths;
// the folder then holds exactly the input and the output under their own names.
void count_merge_and_report(const fs::path& dir, const named_case& c) {
  const fs::path input = dir / from_utf8(c.input);
  const fs::path out = dir / from_utf8(c.output);
  put(input, fixtures::labelled_pdf(2, "Unicode"));
  const std::string in_bytes = to_utf8(input);
  const std::string out_bytes = to_utf8(out);

  EXPECT_EQ(pdfmerge_page_count(in_bytes.c_str()), 2) << pdfmerge_last_error();
  ASSERT_EQ(pdfmerge_two(in_bytes.c_str(), in_bytes.c_str(), out_bytes.c_str()), 0)
      << pdfmerge_last_error();
  ASSERT_EQ(pdfmerge_append(out_bytes.c_str(), in_bytes.c_str(), out_bytes.c_str()), 0)
      << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(out_bytes.c_str()), 6) << pdfmerge_last_error();
  EXPECT_EQ(get(out).substr(0, 9), "%PDF-1.4\n");

  std::vector<std::string> expected = {c.input, c.output};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names_in(dir), expected);

  // Messages quote the path's bytes as given.
  const std::string missing = to_utf8(dir / from_utf8("\xE2\x9D\x8C " + c.input));
  EXPECT_EQ(pdfmerge_page_count(missing.c_str()), -1);
  EXPECT_EQ(std::string(pdfmerge_last_error()), "cannot open " + missing);
  EXPECT_EQ(pdfmerge_two(in_bytes.c_str(), missing.c_str(), out_bytes.c_str()), -1);
  EXPECT_EQ(std::string(pdfmerge_last_error()), "input 2: cannot open " + missing);
  EXPECT_EQ(pdfmerge_page_count(out_bytes.c_str()), 6);
}

TEST(UnicodePaths, FoldersAndFilesNamedInAnyScript) {
  const named_case cases[] = {
      {"greek", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC",
       "\xCE\xB5\xCE\xAF\xCF\x83\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82.pdf",
       "\xCE\xAD\xCE\xBE\xCE\xBF\xCE\xB4\xCE\xBF\xCF\x82.pdf"},
      {"chinese", "\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE4\xBB\xB6",
       "\xE8\xBE\x93\xE5\x85\xA5.pdf", "\xE5\x90\x88\xE5\xB9\xB6 \xE8\xBE\x93\xE5\x87\xBA.pdf"},
      {"emoji", "\xF0\x9F\x93\x84 \xF0\x9F\x93\x81", "\xF0\x9F\x99\x82 in.pdf",
       "out \xF0\x9F\x9A\x80.pdf"},
      {"mixed", "Caf\xC3\xA9 \xCE\xB1\xCE\xB2\xCE\xB3 \xE6\xBC\xA2 \xF0\x9F\x8E\x89",
       "r\xC3\xA9sum\xC3\xA9 \xCF\x80.pdf", "\xE2\x82\xAC \xE2\x84\x96 1.pdf"},
  };
  for (const named_case& c : cases) {
    SCOPED_TRACE(c.label);
    const fs::path dir = fs::path(fixtures::temp_path("unicode")) / from_utf8(c.folder);
    fs::create_directories(dir);
    count_merge_and_report(dir, c);
  }
}

// Folders nested past 260 characters, with ASCII and non-ASCII names.
TEST(UnicodePaths, PathsLongerThan260Characters) {
  const named_case cases[] = {
      {"ascii", std::string(60, 'a'), "long input.pdf", "long output.pdf"},
      {"greek", "\xCE\xB1" + std::string(60, 'b'), "\xCE\xB2 input.pdf", "\xCE\xB3 output.pdf"},
  };
  for (const named_case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::path dir = fs::path(fixtures::temp_path("long_" + c.label));
    for (int level = 0; level < 5; ++level) dir /= from_utf8(c.folder + std::to_string(level));
    fs::create_directories(any_length(dir));
    ASSERT_GT(to_utf8(dir / from_utf8(c.input)).size(), 300u);
    count_merge_and_report(dir, c);
  }
}

} // namespace
