// pdfmerge_page_count and the last-error text, through the public header and the shared
// library's exports only.
#include "kq_out_pdfmerge.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using fixtures::pdf_builder;

namespace {

const std::string em_dash = "\xE2\x80\x94";

std::string last_error() {
  return pdfmerge_last_error();
}

std::string tree_file(const std::string& root_node, const std::string& more = "") {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>").object(2, root_node);
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>").raw(more);
  return b.xref_table().trailer("<< /Root 1 0 R >>").startxref().str();
}

TEST(PageCount, CountsPages) {
  const struct {
    const char* name;
    std::string bytes;
    int pages;
  } cases[] = {
      {"one.pdf", fixtures::simple_pdf(1), 1},
      {"seven.pdf", fixtures::simple_pdf(7), 7},
      {"nested.pdf",
       tree_file("<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R] >>",
                 "4 0 obj\n<< /Type /Pages /Kids [3 0 R 3 0 R] >>\nendobj\n"),
       4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = fixtures::write_temp(c.name, c.bytes);
    EXPECT_EQ(pdfmerge_page_count(path.c_str()), c.pages);
    EXPECT_EQ(last_error(), "");
  }
}

TEST(PageCount, MessagesOfFailedCounts) {
  const std::string missing = fixtures::temp_path("missing.pdf");
  const std::string empty = fixtures::write_temp("empty.pdf", "");
  const std::string text = fixtures::write_temp("text.pdf", "no objects here\n");
  pdf_builder enc;
  enc.object(1, "<< /Type /Catalog /Pages 2 0 R >>").object(2, "<< /Filter /Standard >>");
  enc.xref_table().trailer("<< /Root 1 0 R /Encrypt 2 0 R >>").startxref();
  const std::string encrypted = fixtures::write_temp("encrypted.pdf", enc.str());
  const std::string no_pages_ref =
      fixtures::write_temp("no-pages-ref.pdf", pdf_builder()
                                                   .object(4, "<< /Type /Catalog >>")
                                                   .xref_table()
                                                   .trailer("<< /Root 4 0 R >>")
                                                   .startxref()
                                                   .str());
  const std::string broken =
      fixtures::write_temp("broken.pdf", tree_file("<< /Type /Font /Kids [3 0 R] >>"));
  const std::string no_pages =
      fixtures::write_temp("no-pages.pdf", tree_file("<< /Type /Pages /Kids [] >>"));
  const std::string inline_kids = fixtures::write_temp(
      "inline.pdf", tree_file("<< /Type /Pages /Kids [3 0 R << /Type /Page >>] >>"));
  const struct {
    const char* path;
    std::string message;
  } cases[] = {
      {nullptr, "NULL path"},
      {missing.c_str(), "cannot open " + missing},
      {empty.c_str(), "empty input file: " + empty},
      {text.c_str(), "no PDF objects found " + em_dash + " not a PDF: " + text},
      {encrypted.c_str(), "encrypted PDFs are not supported: " + encrypted},
      {no_pages_ref.c_str(), "catalog (obj 4) has no /Pages reference"},
      {broken.c_str(), "could not resolve the page tree (obj 2 is not a /Pages or /Page object, "
                       "or tree is broken)"},
      {no_pages.c_str(), "document has no pages"},
      {inline_kids.c_str(), "page tree uses inline page dictionaries in /Kids (obj 2) " + em_dash +
                                " pages must be indirect objects"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(pdfmerge_page_count(c.path), -1);
    EXPECT_EQ(last_error(), c.message);
  }
}

TEST(PageCount, MessagesAreCutAt1023Bytes) {
  const std::string path =
      fixtures::temp_path(std::string(2000 - fixtures::temp_path("").size(), 'p'));
  ASSERT_EQ(path.size(), 2000u);
  EXPECT_EQ(pdfmerge_page_count(path.c_str()), -1);
  const std::string message = last_error();
  EXPECT_EQ(message.size(), 1023u);
  EXPECT_EQ(message, ("cannot open " + path).substr(0, 1023));
}

TEST(PageCount, SuccessEmptiesAnEarlierMessage) {
  const std::string good = fixtures::write_temp("good.pdf", fixtures::simple_pdf(2));
  EXPECT_EQ(pdfmerge_page_count(nullptr), -1);
  ASSERT_EQ(last_error(), "NULL path");
  EXPECT_EQ(pdfmerge_page_count(good.c_str()), 2);
  EXPECT_EQ(last_error(), "");
}

TEST(PageCount, CountingTwiceGivesTheSameResult) {
  const std::string path = fixtures::write_temp("twice.pdf", fixtures::simple_pdf(5));
  EXPECT_EQ(pdfmerge_page_count(path.c_str()), 5);
  EXPECT_EQ(pdfmerge_page_count(path.c_str()), 5);
  EXPECT_EQ(last_error(), "");
}

TEST(PageCount, FailureAfterFailureReportsItsOwnMessage) {
  // The second load's walk fails without a message of its own; the first message must not
  // survive in its place.
  const std::string inline_kids = fixtures::write_temp(
      "inline-first.pdf", tree_file("<< /Type /Pages /Kids [<< /Type /Page >>] >>"));
  const std::string broken =
      fixtures::write_temp("broken-second.pdf", tree_file("<< /Type /Font /Kids [3 0 R] >>"));
  EXPECT_EQ(pdfmerge_page_count(inline_kids.c_str()), -1);
  EXPECT_EQ(pdfmerge_page_count(broken.c_str()), -1);
  EXPECT_EQ(last_error(), "could not resolve the page tree (obj 2 is not a /Pages or /Page "
                          "object, or tree is broken)");
}

TEST(LastError, InitAndCleanupEmptyTheText) {
  const char* const text = pdfmerge_last_error();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(pdfmerge_page_count(nullptr), -1);
  EXPECT_STREQ(text, "NULL path"); // the same buffer, not a copy
  EXPECT_EQ(pdfmerge_init(), 1);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(pdfmerge_page_count(nullptr), -1);
  pdfmerge_cleanup();
  EXPECT_STREQ(text, "");
  EXPECT_EQ(pdfmerge_init(), 1); // any number of times
  pdfmerge_cleanup();
  EXPECT_EQ(pdfmerge_last_error(), text);
}

} // namespace
