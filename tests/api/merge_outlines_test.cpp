// Merges that keep the bookmarks: every input's outline in input order, destinations pointed at
// the output's pages or dropped, counts recomputed; read back with qpdf and from the bytes.
#include "keep_tools.h"
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
using keep_tools::merge_opt;
using keep_tools::value_of;
using merge_tools::object_text;

// Two pages (3, 4) and an outline: "One" (open, red, bold) with "One.a", whose destination is a
// page outside the page tree, and "One.b", a GoTo to page 2; "Two" (closed) reached through a
// /Dests name, with "Two.a" to page 1; "Three", titled by a string object, opening a web page.
// `prefix` starts every title.
std::string outlined_pdf(const std::string& prefix) {
  const std::string p = "(" + prefix;
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R "
              "/Dests << /two [4 0 R /Fit] >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 0 R >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 0 R >>");
  b.stream(5, "", "0 0 10 10 re f");
  b.object(10, "<< /Type /Outlines /First 11 0 R /Last 13 0 R /Count 5 >>");
  b.object(11, "<< /Title " + p +
                   "One) /Parent 10 0 R /Next 12 0 R /Dest [3 0 R /Fit] "
                   "/First 14 0 R /Last 15 0 R /Count 2 /C [1 0 0] /F 2 >>");
  b.object(12, "<< /Title " + p +
                   "Two) /Parent 10 0 R /Prev 11 0 R /Next 13 0 R /Dest /two "
                   "/First 16 0 R /Last 16 0 R /Count -1 >>");
  b.object(13, "<< /Title 17 0 R /Parent 10 0 R /Prev 12 0 R "
               "/A << /S /URI /URI (http://example.org/) >> >>");
  b.object(14, "<< /Title " + p + "One.a) /Parent 11 0 R /Next 15 0 R /Dest [30 0 R /Fit] >>");
  b.object(15, "<< /Title " + p +
                   "One.b) /Parent 11 0 R /Prev 14 0 R "
                   "/A << /S /GoTo /D [4 0 R /XYZ 0 0 0] >> >>");
  b.object(16, "<< /Title " + p + "Two.a) /Parent 12 0 R /Dest [3 0 R /Fit] >>");
  b.object(17, p + "Three)");
  b.object(30, "<< /Type /Page /MediaBox [0 0 10 10] /Contents 31 0 R >>");
  b.stream(31, "", "% orphan-marker");
  b.xref_table().trailer("<< /Size 32 /Root 1 0 R >>");
  return b.startxref().str();
}

TEST(MergeOutlines, TheInputsOutlinesFollowOneAnotherWithTheirTargets) {
  const std::string a = write_temp("outline_a.pdf", outlined_pdf("a "));
  const std::string b = write_temp("outline_b.pdf", outlined_pdf("b "));
  const std::string out = temp_path("outline_out.pdf");
  ASSERT_EQ(merge_opt({a, b}, out, PDFMERGE_KEEP_OUTLINES), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  EXPECT_EQ(pdf.find("orphan-marker"), std::string::npos);
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  // The outline's own counts: 6 top-level items and the 2 kids of each open "One".
  const std::string outlines =
      object_text(pdf, std::stoi(value_of(object_text(pdf, 1), "Outlines")));
  EXPECT_EQ(value_of(outlines, "Count"), "10");
  EXPECT_QPDF_ACCEPTS(out);
  const std::vector<std::string> lines = keep_tools::outline_lines(out);
  if (lines.empty()) GTEST_SKIP() << "python3 is not installed";
  const std::vector<std::string> expected = {
      "a One 1 open",     "  a One.a - open", "  a One.b 2 open", "a Two 2 closed",
      "  a Two.a 1 open", "a Three - open",   "b One 3 open",     "  b One.a - open",
      "  b One.b 4 open", "b Two 4 closed",   "  b Two.a 3 open", "b Three - open",
  };
  EXPECT_EQ(lines, expected);
}

TEST(MergeOutlines, ColourStyleAndActionsAreKept) {
  const std::string a = write_temp("style_a.pdf", outlined_pdf(""));
  const std::string out = temp_path("style_out.pdf");
  ASSERT_EQ(merge_opt({a}, out, PDFMERGE_KEEP_OUTLINES), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  const std::string root = object_text(pdf, std::stoi(value_of(object_text(pdf, 1), "Outlines")));
  const std::string one = object_text(pdf, keep_tools::refs_in(value_of(root, "First"))[0]);
  EXPECT_EQ(value_of(one, "C"), "[1 0 0]");
  EXPECT_EQ(value_of(one, "F"), "2");
  EXPECT_EQ(value_of(one, "Count"), "2");
  const std::string two = object_text(pdf, keep_tools::refs_in(value_of(one, "Next"))[0]);
  EXPECT_EQ(value_of(two, "Count"), "-1");
  const std::string three = object_text(pdf, keep_tools::refs_in(value_of(root, "Last"))[0]);
  // An indirect title stays a reference, to the title's string written once.
  const std::vector<int> title = keep_tools::refs_in(value_of(three, "Title"));
  ASSERT_EQ(title.size(), 1u) << three;
  EXPECT_EQ(object_text(pdf, title[0]), std::to_string(title[0]) + " 0 obj\n(Three)\nendobj\n");
  EXPECT_NE(three.find("/A << /S /URI /URI (http://example.org/) >>"), std::string::npos);
  EXPECT_QPDF_ACCEPTS(out);
}

struct broken_outline_case {
  const char* name;
  const char* second; // the body of item 12, the second of three
  size_t items;       // items kept
};

// A broken item ends its chain there; loops end; nothing fails the merge or dangles.
TEST(MergeOutlines, BrokenItemsAreLeftBehind) {
  const broken_outline_case cases[] = {
      {"loop", "<< /Title (b) /Parent 10 0 R /Next 11 0 R >>", 2},
      {"unclosed", "<< /Title (b) /Parent 10 0 R /Next 13 0 R", 1},
      {"no dictionary", "[1 2 3]", 1},
      {"kid loop", "<< /Title (b) /Parent 10 0 R /First 12 0 R /Next 13 0 R /Count 1 >>", 3},
      {"missing next", "<< /Title (b) /Parent 10 0 R /Next 40 0 R >>", 2},
  };
  for (const broken_outline_case& c : cases) {
    fixtures::pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    b.object(10, "<< /Type /Outlines /First 11 0 R /Last 13 0 R /Count 3 >>");
    b.object(11, "<< /Title (a) /Parent 10 0 R /Next 12 0 R /Dest [3 0 R /Fit] >>");
    b.object(12, c.second);
    b.object(13, "<< /Title (c) /Parent 10 0 R /Prev 12 0 R >>");
    b.xref_table().trailer("<< /Size 14 /Root 1 0 R >>");
    const std::string in = write_temp("broken_outline.pdf", b.startxref().str());
    const std::string out = temp_path("broken_outline_out.pdf");
    ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_OUTLINES), 0) << c.name;
    const std::string pdf = read_file(out);
    EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>()) << c.name;
    const std::vector<std::string> lines = keep_tools::outline_lines(out);
    if (!lines.empty()) {
      EXPECT_EQ(lines.size(), c.items) << c.name;
    }
    if (merge_tools::have_tool("qpdf")) {
      const merge_tools::command_result check =
          merge_tools::run("qpdf --check " + merge_tools::quoted(out));
      EXPECT_EQ(check.status, 0) << c.name << check.output;
    }
  }
}

// An item with kids is open when its count is positive, as readers show it; its count is
// written afresh for the kids kept.
TEST(MergeOutlines, OpenStateFollowsTheSignOfTheCount) {
  const struct {
    const char* count;
    const char* written;
  } cases[] = {{"/Count 3", "1"}, {"/Count -5", "-1"}, {"", "-1"}, {"/Count 0", "-1"}};
  for (const auto& c : cases) {
    fixtures::pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    b.object(10, "<< /Type /Outlines /First 11 0 R /Last 11 0 R >>");
    b.object(11, "<< /Title (a) /Parent 10 0 R /First 12 0 R /Last 12 0 R " + std::string(c.count) +
                     " >>");
    b.object(12, "<< /Title (b) /Parent 11 0 R >>");
    b.xref_table().trailer("<< /Size 13 /Root 1 0 R >>");
    const std::string in = write_temp("open_state.pdf", b.startxref().str());
    const std::string out = temp_path("open_state_out.pdf");
    ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_OUTLINES), 0) << c.count;
    const std::string pdf = read_file(out);
    const std::string root = object_text(pdf, std::stoi(value_of(object_text(pdf, 1), "Outlines")));
    const std::string item = object_text(pdf, keep_tools::refs_in(value_of(root, "First"))[0]);
    EXPECT_EQ(value_of(item, "Count"), c.written) << c.count;
    EXPECT_EQ(value_of(root, "Count"), c.written[0] == '-' ? "1" : "2") << c.count;
  }
}

TEST(MergeOutlines, BothOptionsTogether) {
  const std::string a = write_temp("both_a.pdf", outlined_pdf("a "));
  const std::string out = temp_path("both_out.pdf");
  ASSERT_EQ(merge_opt({a, a}, out, PDFMERGE_KEEP_OUTLINES | PDFMERGE_KEEP_ANNOTATIONS), 0)
      << pdfmerge_last_error();
  EXPECT_EQ(keep_tools::dangling_refs(read_file(out)), std::vector<int>());
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 4);
  EXPECT_QPDF_ACCEPTS(out);
  const std::vector<std::string> lines = keep_tools::outline_lines(out);
  if (lines.empty()) GTEST_SKIP() << "python3 is not installed";
  EXPECT_EQ(lines.size(), 12u);
}

} // namespace
