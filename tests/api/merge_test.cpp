// Merging through the public interface: the output byte for byte, the messages of the driver
// and the writer, and merges of several generated files checked with independent tools.
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fixtures::read_file;
using fixtures::temp_path;
using fixtures::write_temp;

// One page with its own /MediaBox and /Rotate 90, no resources, content "BT ET".
std::string one_page_input() {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90 /Contents 4 0 R >>");
  b.stream(4, "", "BT ET");
  b.xref_table().trailer("<< /Size 5 /Root 1 0 R >>");
  return b.startxref().str();
}

TEST(MergeOutput, WorkedExampleByteForByte) {
  const std::string in = write_temp("worked_in.pdf", one_page_input());
  const std::string out = temp_path("worked_out.pdf");
  const char* paths[] = {in.c_str()};
  ASSERT_EQ(pdfmerge_files(paths, 1, out.c_str()), 0) << pdfmerge_last_error();
  const std::string expected =
      "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"
      "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
      "2 0 obj\n<< /Type /Pages /Count 1 /Kids [3 0 R]\n>>\nendobj\n"
      "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate 90 /Contents 4 0 R "
      ">>\nendobj\n"
      "4 0 obj\n<< /Length 5 >>\nstream\nBT ET\nendstream\nendobj\n"
      "xref\n0 5\n0000000000 65535 f \n0000000015 00000 n \n0000000064 00000 n \n"
      "0000000121 00000 n \n0000000219 00000 n \n"
      "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref 273\n%%EOF\n";
  ASSERT_EQ(expected.size(), 436u);
  EXPECT_EQ(read_file(out), expected);
  EXPECT_STREQ(pdfmerge_last_error(), "");
  EXPECT_QPDF_ACCEPTS(out);
}

TEST(MergeOutput, PageTreeAndNumbersOfTwoOnePageInputs) {
  const std::string a = write_temp("two_a.pdf", fixtures::labelled_pdf(1, "A"));
  const std::string b = write_temp("two_b.pdf", fixtures::labelled_pdf(1, "B"));
  const std::string out = temp_path("two_out.pdf");
  ASSERT_EQ(pdfmerge_two(a.c_str(), b.c_str(), out.c_str()), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  EXPECT_NE(pdf.find("2 0 obj\n<< /Type /Pages /Count 2 /Kids [3 0 R 4 0 R]\n>>\nendobj\n"),
            std::string::npos);
  // Pages 3 and 4 with content streams 5 and 6 and their fonts copied as 7 and 8.
  EXPECT_NE(merge_tools::object_text(pdf, 3).find("/Resources << /Font << /F1 7 0 R >> >> "
                                                  "/Contents 5 0 R >>"),
            std::string::npos);
  EXPECT_NE(merge_tools::object_text(pdf, 4).find("/Resources << /Font << /F1 8 0 R >> >> "
                                                  "/Contents 6 0 R >>"),
            std::string::npos);
  EXPECT_NE(merge_tools::object_text(pdf, 7).find("/BaseFont /Helvetica"), std::string::npos);
  EXPECT_NE(merge_tools::object_text(pdf, 8).find("/BaseFont /Helvetica"), std::string::npos);
  EXPECT_NE(pdf.find("<< /Size 9 /Root 1 0 R >>"), std::string::npos);
  EXPECT_QPDF_ACCEPTS(out);
}

// Every line of the table is 20 bytes; a line in use points at its object, and a free line
// carries the offset of the object just before it (0 when there is none).
TEST(MergeOutput, CrossReferenceTable) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
              "/Resources << /ExtGState << /G1 5 0 R /G2 40 0 R /G3 41 0 R /G4 6 0 R >> >> >>");
  b.stream(4, "", "/G1 gs");
  b.object(5, "<< /Type /ExtGState /CA 1 >>");
  b.object(6, "<< /Type /ExtGState /ca 1 >>");
  b.xref_table().trailer("<< /Size 7 /Root 1 0 R >>");
  const std::string in = write_temp("xref_in.pdf", b.startxref().str());
  const std::string out = temp_path("xref_out.pdf");
  const char* paths[] = {in.c_str()};
  ASSERT_EQ(pdfmerge_files(paths, 1, out.c_str()), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  // Copies: 5 -> 5, 40 -> 6 (missing), 41 -> 7 (missing), 6 -> 8.
  EXPECT_NE(pdf.find("/ExtGState << /G1 5 0 R /G2 6 0 R /G3 7 0 R /G4 8 0 R >>"),
            std::string::npos);
  const std::vector<std::string> lines = merge_tools::xref_lines(pdf);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "0000000000 65535 f \n");
  auto offset_of = [&](int num) {
    return static_cast<long>(pdf.find("\n" + std::to_string(num) + " 0 obj\n") + 1);
  };
  for (int n : {1, 2, 3, 4, 5, 8}) {
    char want[32];
    std::snprintf(want, sizeof want, "%010ld 00000 n \n", offset_of(n));
    EXPECT_EQ(lines[static_cast<size_t>(n)], want) << n;
  }
  char free6[32];
  std::snprintf(free6, sizeof free6, "%010ld 65535 f \n", offset_of(5));
  EXPECT_EQ(lines[6], free6);
  EXPECT_EQ(lines[7], "0000000000 65535 f \n"); // the object before it is free too
  EXPECT_EQ(merge_tools::object_text(pdf, 8), "8 0 obj\n<< /Type /ExtGState /ca 1 >>\nendobj\n");
  const size_t table = pdf.rfind("xref\n");
  EXPECT_NE(pdf.find("trailer\n<< /Size 9 /Root 1 0 R >>\nstartxref " + std::to_string(table) +
                     "\n%%EOF\n"),
            std::string::npos);
  EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
  EXPECT_QPDF_ACCEPTS(out);
}

// ---------------------------------------------------------------- messages

struct message_case {
  std::string name;
  std::vector<const char*> paths;
  int count;
  const char* out;
  std::string expected;
};

TEST(MergeMessages, DriverAndWriter) {
  const std::string good = write_temp("msg_good.pdf", fixtures::simple_pdf(1));
  const std::string missing = temp_path("msg_missing.pdf");
  const std::string empty = write_temp("msg_empty.pdf", "");
  const std::string text = write_temp("msg_text.pdf", "just some words\n");
  const std::string out = temp_path("msg_out.pdf");
  const std::string no_dir = temp_path("no_such_folder/out.pdf");
  const std::vector<message_case> cases = {
      {"null paths", {}, 1, out.c_str(), "no input paths"},
      {"count 0", {good.c_str()}, 0, out.c_str(), "no input paths"},
      {"negative count", {good.c_str()}, -3, out.c_str(), "no input paths"},
      {"count 0 and null output", {good.c_str()}, 0, nullptr, "no input paths"},
      {"null output", {good.c_str()}, 1, nullptr, "NULL output path"},
      {"null output before a missing input", {missing.c_str()}, 1, nullptr, "NULL output path"},
      {"null first path", {nullptr, good.c_str()}, 2, out.c_str(), "input 1: NULL path argument"},
      {"null second path", {good.c_str(), nullptr}, 2, out.c_str(), "input 2: NULL path argument"},
      {"missing second of three",
       {good.c_str(), missing.c_str(), good.c_str()},
       3,
       out.c_str(),
       "input 2: cannot open " + missing},
      {"empty input", {empty.c_str()}, 1, out.c_str(), "input 1: empty input file: " + empty},
      {"not a PDF",
       {good.c_str(), text.c_str()},
       2,
       out.c_str(),
       "input 2: no PDF objects found \xE2\x80\x94 not a PDF: " + text},
      {"missing output folder", {good.c_str()}, 1, no_dir.c_str(), "cannot write " + no_dir},
  };
  for (const message_case& c : cases) {
    pdfmerge_init();
    const char* const* paths = c.name == "null paths" ? nullptr : c.paths.data();
    EXPECT_EQ(pdfmerge_files(paths, c.count, c.out), -1) << c.name;
    EXPECT_EQ(std::string(pdfmerge_last_error()), c.expected) << c.name;
    EXPECT_FALSE(fixtures::file_exists(out)) << c.name << ": no output is created";
  }
  EXPECT_FALSE(fixtures::file_exists(temp_path("no_such_folder")));
}

TEST(MergeMessages, TwoAndAppendCheckTheirArguments) {
  const std::string good = write_temp("args_good.pdf", fixtures::simple_pdf(1));
  const std::string out = temp_path("args_out.pdf");
  for (auto merge : {&pdfmerge_two, &pdfmerge_append}) {
    EXPECT_EQ(merge(good.c_str(), nullptr, out.c_str()), -1);
    EXPECT_STREQ(pdfmerge_last_error(), "input 2: NULL path argument");
    EXPECT_EQ(merge(nullptr, good.c_str(), out.c_str()), -1);
    EXPECT_STREQ(pdfmerge_last_error(), "input 1: NULL path argument");
    EXPECT_EQ(merge(temp_path("args_missing.pdf").c_str(), good.c_str(), nullptr), -1);
    EXPECT_STREQ(pdfmerge_last_error(), "NULL output path");
    EXPECT_FALSE(fixtures::file_exists(out));
  }
}

TEST(MergeMessages, LongMessagesAreCutAt1023Bytes) {
  const std::string good = write_temp("long_good.pdf", fixtures::simple_pdf(1));
  const std::string missing = temp_path(std::string(2000, 'x'));
  EXPECT_EQ(pdfmerge_two(good.c_str(), missing.c_str(), temp_path("long_out.pdf").c_str()), -1);
  const std::string message = pdfmerge_last_error();
  EXPECT_EQ(message.size(), 1023u);
  EXPECT_EQ(message.substr(0, 21), "input 2: cannot open ");
}

TEST(MergeMessages, SuccessEmptiesTheMessage) {
  const std::string good = write_temp("ok_good.pdf", fixtures::simple_pdf(2));
  const std::string out = temp_path("ok_out.pdf");
  EXPECT_EQ(pdfmerge_two(good.c_str(), nullptr, out.c_str()), -1);
  ASSERT_STRNE(pdfmerge_last_error(), "");
  EXPECT_EQ(pdfmerge_two(good.c_str(), good.c_str(), out.c_str()), 0);
  EXPECT_STREQ(pdfmerge_last_error(), "");
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 4);
  EXPECT_QPDF_ACCEPTS(out);
}

// ---------------------------------------------------------------- the three entry points

TEST(MergeEntryPoints, TwoAppendAndFilesWriteTheSameBytes) {
  const std::string a = write_temp("same_a.pdf", fixtures::labelled_pdf(2, "A"));
  const std::string b = write_temp("same_b.pdf", fixtures::labelled_pdf(3, "B"));
  const std::string by_two = temp_path("same_two.pdf");
  const std::string by_append = temp_path("same_append.pdf");
  const std::string by_files = temp_path("same_files.pdf");
  ASSERT_EQ(pdfmerge_two(a.c_str(), b.c_str(), by_two.c_str()), 0) << pdfmerge_last_error();
  ASSERT_EQ(pdfmerge_append(a.c_str(), b.c_str(), by_append.c_str()), 0) << pdfmerge_last_error();
  const char* paths[] = {a.c_str(), b.c_str()};
  ASSERT_EQ(pdfmerge_files(paths, 2, by_files.c_str()), 0) << pdfmerge_last_error();
  const std::string bytes = read_file(by_two);
  EXPECT_FALSE(bytes.empty());
  EXPECT_EQ(read_file(by_append), bytes);
  EXPECT_EQ(read_file(by_files), bytes);
  EXPECT_QPDF_ACCEPTS(by_two);
}

TEST(MergeEntryPoints, AppendOntoItsOwnBase) {
  const std::string base = write_temp("own_base.pdf", fixtures::labelled_pdf(2, "Base"));
  const std::string addition = write_temp("own_add.pdf", fixtures::labelled_pdf(1, "Add"));
  ASSERT_EQ(pdfmerge_append(base.c_str(), addition.c_str(), base.c_str()), 0)
      << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(base.c_str()), 3);
  ASSERT_EQ(pdfmerge_append(base.c_str(), addition.c_str(), base.c_str()), 0)
      << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(base.c_str()), 4);
  if (const int info_pages = merge_tools::pdfinfo_pages(base); info_pages >= 0) {
    EXPECT_EQ(info_pages, 4);
  }
  EXPECT_QPDF_ACCEPTS(base);
}

// ---------------------------------------------------------------- merges of several files

struct multi_case {
  std::string name;
  std::vector<std::pair<int, std::string>> inputs; // pages and label of each input
};

TEST(MergeSeveral, PageCountsOrderAndValidity) {
  const std::vector<multi_case> cases = {
      {"two", {{1, "Alpha"}, {3, "Beta"}}},
      {"three", {{2, "Alpha"}, {1, "Beta"}, {4, "Gamma"}}},
      {"five", {{3, "Alpha"}, {1, "Beta"}, {2, "Gamma"}, {5, "Delta"}, {1, "Epsilon"}}},
  };
  for (const multi_case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> files;
    int total = 0;
    for (const auto& [pages, label] : c.inputs) {
      files.push_back(
          write_temp(c.name + "_" + label + ".pdf", fixtures::labelled_pdf(pages, label)));
      total += pages;
    }
    std::vector<const char*> paths;
    for (const std::string& f : files) paths.push_back(f.c_str());
    const std::string out = temp_path(c.name + "_out.pdf");
    ASSERT_EQ(pdfmerge_files(paths.data(), static_cast<int>(paths.size()), out.c_str()), 0)
        << pdfmerge_last_error();
    EXPECT_EQ(pdfmerge_page_count(out.c_str()), total);
    const int info_pages = merge_tools::pdfinfo_pages(out);
    if (info_pages >= 0) {
      EXPECT_EQ(info_pages, total);
    }
    // The pages follow one another in input order, each with its own text.
    const std::string text = merge_tools::pdftotext(out);
    if (!text.empty()) {
      size_t at = 0;
      for (const auto& [pages, label] : c.inputs)
        for (int p = 1; p <= pages; ++p) {
          const std::string want = label + " " + std::to_string(p);
          const size_t found = text.find(want, at);
          ASSERT_NE(found, std::string::npos) << want << " in\n" << text;
          at = found + want.size();
        }
    }
    EXPECT_QPDF_ACCEPTS(out);
  }
}

TEST(MergeSeveral, SameFileTwiceIsCopiedTwice) {
  const std::string a = write_temp("twice.pdf", fixtures::labelled_pdf(2, "Twice"));
  const std::string out = temp_path("twice_out.pdf");
  ASSERT_EQ(pdfmerge_two(a.c_str(), a.c_str(), out.c_str()), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  // Four pages (3..6), four contents (7..10), one font per input (11, 12).
  EXPECT_NE(merge_tools::object_text(pdf, 11).find("/Helvetica"), std::string::npos);
  EXPECT_NE(merge_tools::object_text(pdf, 12).find("/Helvetica"), std::string::npos);
  EXPECT_NE(merge_tools::object_text(pdf, 3).find("/F1 11 0 R"), std::string::npos);
  EXPECT_NE(merge_tools::object_text(pdf, 4).find("/F1 11 0 R"), std::string::npos);
  EXPECT_NE(merge_tools::object_text(pdf, 5).find("/F1 12 0 R"), std::string::npos);
  const int info_pages = merge_tools::pdfinfo_pages(out);
  if (info_pages >= 0) {
    EXPECT_EQ(info_pages, 4);
  }
  EXPECT_QPDF_ACCEPTS(out);
}

// The pages inherit MediaBox and resources from their page tree; the output writes them on
// each page, so the Letter pages stay Letter.
TEST(MergeSeveral, InheritedAttributesAreWrittenOnEachPage) {
  const std::string a = write_temp("inherit.pdf", fixtures::labelled_pdf(3, "I"));
  const std::string out = temp_path("inherit_out.pdf");
  const char* paths[] = {a.c_str()};
  ASSERT_EQ(pdfmerge_files(paths, 1, out.c_str()), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  for (int n = 3; n <= 5; ++n) {
    const std::string page = merge_tools::object_text(pdf, n);
    EXPECT_NE(page.find("/MediaBox [0 0 612 792]"), std::string::npos) << page;
    EXPECT_NE(page.find("/Resources << /Font << /F1 9 0 R >> >>"), std::string::npos) << page;
  }
  EXPECT_QPDF_ACCEPTS(out);
}

} // namespace
