// Files as the library meets them on Windows: bytes that a text-mode stream would change (CR LF
// pairs, a lone 0x1A that ends a text-mode read) and paths with spaces. Every case holds on
// Linux as well, where it guards the same behaviour.
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

using fixtures::read_file;
using fixtures::temp_path;
using fixtures::write_temp;

std::string page_text(int page, const std::string& tail) {
  return "BT /F1 24 Tf 72 700 Td (Page " + std::to_string(page) + ") Tj ET" + tail;
}

// A three-page document with every line ended by `eol`. `after_header` follows the header line;
// `tail` ends the text of each page, inside its compressed content stream.
std::string three_pages(const std::string& eol, const std::string& after_header,
                        const std::string& tail) {
  std::string pdf = "%PDF-1.4" + eol + after_header;
  std::vector<size_t> offsets;
  auto object = [&](const std::string& body) {
    offsets.push_back(pdf.size());
    pdf += std::to_string(offsets.size()) + " 0 obj" + eol + body + eol + "endobj" + eol;
  };
  object("<< /Type /Catalog /Pages 2 0 R >>");
  object("<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
  for (int page = 1; page <= 3; ++page)
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
           std::to_string(5 + page) + " 0 R >>");
  for (int page = 1; page <= 3; ++page) {
    const std::string data = fixtures::zlib_stored(page_text(page, tail));
    object("<< /Filter /FlateDecode /Length " + std::to_string(data.size()) + " >>" + eol +
           "stream" + eol + data + eol + "endstream");
  }
  const size_t xref = pdf.size();
  // Table entries are 20 bytes, their line end included.
  const std::string entry_end = eol == "\r\n" ? "\r\n" : " \n";
  pdf += "xref" + eol + "0 " + std::to_string(offsets.size() + 1) + eol;
  pdf += "0000000000 65535 f" + entry_end;
  for (size_t at : offsets) {
    const std::string digits = std::to_string(at);
    pdf += std::string(10 - digits.size(), '0') + digits + " 00000 n" + entry_end;
  }
  pdf += "trailer" + eol + "<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>" +
         eol + "startxref" + eol + std::to_string(xref) + eol + "%%EOF" + eol;
  return pdf;
}

// Every in-use entry of the output's cross-reference table names the offset of its object's
// header: a write that turned LF into CR LF would move them all.
void expect_offsets_point_at_objects(const std::string& pdf) {
  const std::vector<std::string> lines = merge_tools::xref_lines(pdf);
  ASSERT_FALSE(lines.empty());
  for (size_t num = 1; num < lines.size(); ++num) {
    const size_t at = std::strtoul(lines[num].substr(0, 10).c_str(), nullptr, 10);
    const std::string head = std::to_string(num) + " 0 obj";
    EXPECT_EQ(pdf.compare(at, head.size(), head), 0) << "object " << num << " at " << at;
  }
}

struct binary_case {
  std::string name;
  std::string eol;
  std::string after_header;
  std::string tail;
};

// Each file must load exactly like the same document written with LF line ends, and its page
// contents must reach the output byte for byte.
TEST(BinaryFiles, LoadAndCopyEveryByte) {
  const binary_case cases[] = {
      {"crlf", "\r\n", "", ""},
      // A text-mode read ends at the first 0x1A: here, right after the header.
      {"crlf_ctrl_z_comment", "\r\n", "%\x1A\r\n", ""},
      {"ctrl_z_and_crlf_in_contents", "\n", "", "\r\n%\x1A\r\n"},
      {"crlf_everywhere", "\r\n", "%\x1A\xE2\xE3\r\n", "\r\n%\x1A\r\n\x1A"},
  };
  for (const binary_case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file =
        write_temp(c.name + ".pdf", three_pages(c.eol, c.after_header, c.tail));
    const std::string plain = write_temp(c.name + "_lf.pdf", three_pages("\n", "", c.tail));
    pdfmerge_init();
    EXPECT_EQ(pdfmerge_page_count(file.c_str()), 3) << pdfmerge_last_error();

    const std::string out = temp_path(c.name + "_out.pdf");
    const std::string plain_out = temp_path(c.name + "_lf_out.pdf");
    const char* const inputs[] = {file.c_str()};
    const char* const plain_inputs[] = {plain.c_str()};
    ASSERT_EQ(pdfmerge_files(inputs, 1, out.c_str()), 0) << pdfmerge_last_error();
    ASSERT_EQ(pdfmerge_files(plain_inputs, 1, plain_out.c_str()), 0) << pdfmerge_last_error();
    const std::string merged = read_file(out);
    EXPECT_EQ(merged, read_file(plain_out));
    for (int page = 1; page <= 3; ++page)
      EXPECT_NE(merged.find(page_text(page, c.tail)), std::string::npos) << "page " << page;
    // The output's own lines end in LF: its only CR bytes are those of the copied contents.
    EXPECT_EQ(std::count(merged.begin(), merged.end(), '\r'),
              3 * std::count(c.tail.begin(), c.tail.end(), '\r'));
    expect_offsets_point_at_objects(merged);
    EXPECT_EQ(pdfmerge_page_count(out.c_str()), 3) << pdfmerge_last_error();
  }
}

struct spaced_case {
  std::string folder;
  std::string input;
  std::string output;
};

TEST(PathsWithSpaces, CountMergeReplaceAndReport) {
  const spaced_case cases[] = {
      {"folder with spaces", "input file.pdf", "merged output.pdf"},
      {"two  spaces/and (brackets) & more", "  leading spaces.pdf", "out put.pdf"},
  };
  for (const spaced_case& c : cases) {
    SCOPED_TRACE(c.folder);
    const std::string dir = temp_path(c.folder);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string input = dir + "/" + c.input;
    const std::string out = dir + "/" + c.output;
    const std::string missing = dir + "/no such file.pdf";
    write_temp(c.folder + "/" + c.input, fixtures::labelled_pdf(2, "Spaced"));

    EXPECT_EQ(pdfmerge_page_count(input.c_str()), 2) << pdfmerge_last_error();
    ASSERT_EQ(pdfmerge_two(input.c_str(), input.c_str(), out.c_str()), 0) << pdfmerge_last_error();
    EXPECT_EQ(pdfmerge_page_count(out.c_str()), 4);
    // Merging again replaces the existing output in the same folder.
    ASSERT_EQ(pdfmerge_append(out.c_str(), input.c_str(), out.c_str()), 0) << pdfmerge_last_error();
    EXPECT_EQ(pdfmerge_page_count(out.c_str()), 6);
    std::vector<std::string> expected = {c.input, c.output};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(merge_tools::files_in(dir), expected);

    EXPECT_EQ(pdfmerge_page_count(missing.c_str()), -1);
    EXPECT_EQ(std::string(pdfmerge_last_error()), "cannot open " + missing);
    EXPECT_EQ(pdfmerge_two(input.c_str(), missing.c_str(), out.c_str()), -1);
    EXPECT_EQ(std::string(pdfmerge_last_error()), "input 2: cannot open " + missing);
    EXPECT_EQ(pdfmerge_page_count(out.c_str()), 6);
  }
}

// Paths are byte strings that the C runtime interprets (on Windows in the ANSI code page): the
// library must read and write through the same interpretation, folder part included. The
// folder is made and the input written with the C runtime itself, never through wide names.
TEST(NonAsciiPaths, FolderAndFileNames) {
  const std::string dir = temp_path("caf") + "\xE9 \xE0 la carte";
#ifdef _WIN32
  ASSERT_EQ(_mkdir(dir.c_str()), 0) << dir;
#else
  ASSERT_EQ(mkdir(dir.c_str(), 0777), 0) << dir;
#endif
  const std::string input = dir + "/\xE9t\xE9.pdf";
  const std::string out = dir + "/r\xE9sum\xE9.pdf";
  const std::string pdf = fixtures::labelled_pdf(2, "Accent");
  std::FILE* f = std::fopen(input.c_str(), "wb");
  ASSERT_NE(f, nullptr) << input;
  ASSERT_EQ(std::fwrite(pdf.data(), 1, pdf.size(), f), pdf.size());
  ASSERT_EQ(std::fclose(f), 0);

  EXPECT_EQ(pdfmerge_page_count(input.c_str()), 2) << pdfmerge_last_error();
  ASSERT_EQ(pdfmerge_two(input.c_str(), input.c_str(), out.c_str()), 0) << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 4) << pdfmerge_last_error();
  ASSERT_EQ(pdfmerge_append(out.c_str(), input.c_str(), out.c_str()), 0) << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 6) << pdfmerge_last_error();
  // The input and the output, and no temporary file left behind.
  const std::filesystem::directory_iterator listing{std::filesystem::path(dir)};
  EXPECT_EQ(std::distance(begin(listing), end(listing)), 2);
#ifdef _WIN32
  // In the Western code page the bytes name "café à la carte/résumé.pdf": the output was
  // written through the ANSI reading of its bytes, not taken as UTF-8.
  if (GetACP() == 1252) {
    const std::u8string name = u8"caf\u00e9 \u00e0 la carte/r\u00e9sum\u00e9.pdf";
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(temp_path("")) / name));
  }
#endif
}

} // namespace
