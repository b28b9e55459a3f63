// Inputs of 2 GiB or more are refused by their size, before anything is read. The files are
// sparse: a small PDF at the start, then a hole up to the size wanted.
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(InputSize, FilesOf2GiBOrMoreAreTooLarge) {
  const struct {
    const char* name;
    uintmax_t size;
  } cases[] = {
      {"exactly_2GiB", uintmax_t{1} << 31},
      // Its size taken in 32 bits would be 100 bytes.
      {"4GiB_and_100", (uintmax_t{1} << 32) + 100},
      {"8GiB", uintmax_t{1} << 33},
  };
  const std::string dir = merge_tools::fresh_dir("input_size");
  const std::string good = fixtures::write_temp("input_size/good.pdf", fixtures::simple_pdf(1));
  const std::string out = dir + "/out.pdf";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string big =
        fixtures::write_temp(std::string("input_size/") + c.name + ".pdf", fixtures::simple_pdf(2));
    std::error_code ec;
    fs::resize_file(big, c.size, ec);
    if (ec) GTEST_SKIP() << "cannot make a file of " << c.size << " bytes here: " << ec.message();
    ASSERT_EQ(fs::file_size(big), c.size);

    EXPECT_EQ(pdfmerge_page_count(big.c_str()), -1);
    EXPECT_EQ(std::string(pdfmerge_last_error()), "file too large: " + big);
    EXPECT_EQ(pdfmerge_two(good.c_str(), big.c_str(), out.c_str()), -1);
    EXPECT_EQ(std::string(pdfmerge_last_error()), "input 2: file too large: " + big);
    fs::remove(big);
  }
  EXPECT_FALSE(fixtures::file_exists(out));
}

} // namespace
