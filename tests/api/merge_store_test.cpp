// Storing the merged file: the output path is replaced whole after a complete write, and left
// as it was after any failure, with no temporary file behind.
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using fixtures::read_file;

void put_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct store_dir {
  std::string dir;
  std::string a;
  std::string b;
  std::string out;

  explicit store_dir(const std::string& name, int pages_b = 1)
      : dir(merge_tools::fresh_dir(name)), a(dir + "/a.pdf"), b(dir + "/b.pdf"),
        out(dir + "/out.pdf") {
    put_file(a, fixtures::labelled_pdf(1, "A"));
    put_file(b, fixtures::labelled_pdf(pages_b, "B"));
  }

  std::vector<std::string> files() const { return merge_tools::files_in(dir); }
};

const std::vector<std::string> inputs_and_out = {"a.pdf", "b.pdf", "out.pdf"};

TEST(MergeStore, ReplacesAnExistingFileWhole) {
  store_dir d("store_replace");
  const std::string fresh = merge_tools::fresh_dir("store_replace_fresh") + "/out.pdf";
  ASSERT_EQ(pdfmerge_two(d.a.c_str(), d.b.c_str(), fresh.c_str()), 0) << pdfmerge_last_error();
  put_file(d.out, std::string(200000, 'j'));
  ASSERT_EQ(pdfmerge_two(d.a.c_str(), d.b.c_str(), d.out.c_str()), 0) << pdfmerge_last_error();
  EXPECT_EQ(read_file(d.out), read_file(fresh));
  EXPECT_EQ(d.files(), inputs_and_out);
  EXPECT_QPDF_ACCEPTS(d.out);
}

TEST(MergeStore, FailedMergeLeavesTheOutputAsItWas) {
  store_dir d("store_failed_load");
  put_file(d.out, "keep me");
  const std::string missing = d.dir + "/missing.pdf";
  EXPECT_EQ(pdfmerge_two(d.a.c_str(), missing.c_str(), d.out.c_str()), -1);
  EXPECT_EQ(std::string(pdfmerge_last_error()), "input 2: cannot open " + missing);
  EXPECT_EQ(read_file(d.out), "keep me");
  EXPECT_EQ(d.files(), inputs_and_out);
}

TEST(MergeStore, OutputThatCannotBeReplaced) {
  store_dir d("store_folder");
  std::filesystem::create_directories(d.out + "/inside");
  EXPECT_EQ(pdfmerge_two(d.a.c_str(), d.b.c_str(), d.out.c_str()), -1);
  EXPECT_EQ(std::string(pdfmerge_last_error()), "output is not a regular file: " + d.out);
  EXPECT_TRUE(std::filesystem::is_directory(d.out + "/inside"));
  EXPECT_EQ(d.files(), inputs_and_out);
}

TEST(MergeStore, RelativeOutputPath) {
  store_dir d("store_relative");
  const auto here = std::filesystem::current_path();
  std::filesystem::current_path(d.dir);
  const int result = pdfmerge_two("a.pdf", "b.pdf", "out.pdf");
  std::filesystem::current_path(here);
  ASSERT_EQ(result, 0) << pdfmerge_last_error();
  EXPECT_EQ(d.files(), inputs_and_out);
  EXPECT_QPDF_ACCEPTS(d.out);
}

#ifndef _WIN32
// A file-size limit below the output's size makes writing fail part-way. A small output still
// fits in the stream's buffer, so its failure shows when the file is closed; a large one fails
// in the write itself. Either way the output keeps its bytes and no temporary file remains.
// Runs in a child process, whose limit dies with it.
int merge_under_size_limit(const store_dir& d, rlim_t limit, const std::string& expected) {
  std::signal(SIGXFSZ, SIG_IGN);
  const rlimit lim{limit, limit};
  if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return 2;
  int status = 0;
  if (pdfmerge_two(d.a.c_str(), d.b.c_str(), d.out.c_str()) != -1) status |= 4;
  if (expected != pdfmerge_last_error()) {
    std::fprintf(stderr, "message: %s\n", pdfmerge_last_error());
    status |= 8;
  }
  if (read_file(d.out) != "keep me") status |= 16;
  if (d.files() != inputs_and_out) status |= 32;
  return status;
}

TEST(MergeStoreDeathTest, WriteFailuresLeaveTheOutputAsItWas) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    std::string name;
    int pages_b;
    std::string message;
  } cases[] = {
      {"store_close_error", 1, "close error on "},
      {"store_short_write", 300, "short write to "},
  };
  for (const auto& c : cases) {
    store_dir d(c.name, c.pages_b);
    put_file(d.out, "keep me");
    EXPECT_EXIT(std::_Exit(merge_under_size_limit(d, 300, c.message + d.out)),
                testing::ExitedWithCode(0), "")
        << c.name;
  }
}
#endif

} // namespace
