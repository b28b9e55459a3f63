// Merges that keep what readers added: the options of pdfmerge_files_opt, the annotations with
// their pages, links and destinations, checked by reading the merged objects back and with
// independent tools (qpdf, pdftoppm).
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
using keep_tools::annots_of;
using keep_tools::merge_opt;
using keep_tools::value_of;
using merge_tools::object_text;

std::string form(const std::string& colour, const std::string& extra = "") {
  return "/Type /XObject /Subtype /Form /BBox [0 0 40 40] " + extra + colour;
}

// Two pages marked up by a reader. Page 1 (object 3) lists its annotations in its own array:
// links to page 2 by an explicit destination (6) and by a name in /Dests (7), a GoTo to a name
// in the /Names tree (8), a GoTo to a page outside the page tree (9), a square with its popup
// (10, 11), a link to a name that /Dests maps to that outside page (12), a highlight (17), a
// stamp whose appearance reaches a graphics state (19), a link through an indirect GoTo action
// to a named destination (24) and one through an indirect GoTo to the outside page (26). Page 2
// (object 4) lists a note replying to the square (14) and a link back to page 1 (28) in an
// array object (13). `shade` tells two such files apart in a render.
std::string marked_pdf(const std::string& shade) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /Dests << /chap2 [4 0 R /Fit] /gone [30 0 R /Fit] "
              ">> /Names << /Dests 20 0 R >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 5 0 R /Annots "
              "[6 0 R 7 0 R 8 0 R 9 0 R 10 0 R 11 0 R 12 0 R 17 0 R 19 0 R 24 0 R 26 0 R] >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 15 0 R "
              "/Annots 13 0 R >>");
  b.stream(5, "", shade + " g 0 0 200 20 re f");
  b.object(6, "<< /Type /Annot /Subtype /Link /Rect [0 180 20 200] /Border [0 0 0] "
              "/Dest [4 0 R /XYZ 0 200 0] /P 3 0 R >>");
  b.object(7, "<< /Type /Annot /Subtype /Link /Rect [20 180 40 200] /Border [0 0 0] "
              "/Dest /chap2 >>");
  b.object(8, "<< /Type /Annot /Subtype /Link /Rect [40 180 60 200] /Border [0 0 0] "
              "/A << /S /GoTo /D (named1) >> >>");
  b.object(9, "<< /Type /Annot /Subtype /Link /Rect [60 180 80 200] /Border [0 0 0] "
              "/A << /S /GoTo /D [30 0 R /Fit] >> >>");
  b.object(10, "<< /Type /Annot /Subtype /Square /Rect [20 40 60 80] /C [1 0 0] "
               "/AP << /N 16 0 R >> /Popup 11 0 R /P 3 0 R >>");
  b.object(11, "<< /Type /Annot /Subtype /Popup /Rect [120 120 180 180] /Parent 10 0 R "
               "/P 3 0 R >>");
  b.object(12, "<< /Type /Annot /Subtype /Link /Rect [80 180 100 200] /Border [0 0 0] "
               "/Dest /gone >>");
  b.object(13, "[14 0 R 28 0 R]");
  b.object(14, "<< /Type /Annot /Subtype /Text /Rect [10 150 50 190] /Contents (a reply) "
               "/IRT 10 0 R /AP << /N 29 0 R >> /P 4 0 R >>");
  b.stream(15, "", shade + " g 0 180 200 20 re f");
  b.stream(16, form("1 0 0 RG 2 w 1 1 38 38 re S"), "");
  b.object(17, "<< /Type /Annot /Subtype /Highlight /Rect [100 40 140 80] "
               "/QuadPoints [100 80 140 80 100 40 140 40] /AP << /N 18 0 R >> >>");
  b.stream(18, form(""), "1 1 0 rg 0 0 40 40 re f");
  b.object(19, "<< /Type /Annot /Subtype /Stamp /Rect [140 100 180 140] /AP << /N 22 0 R >> >>");
  b.object(20, "<< /Kids [21 0 R] >>");
  b.object(21, "<< /Limits [(named1) (named1)] /Names [(named1) 32 0 R] >>");
  b.stream(22, form("", "/Resources << /ExtGState << /G0 23 0 R >> >> "),
           "/G0 gs 0 0 1 rg 0 0 40 40 re f");
  b.object(23, "<< /Type /ExtGState /ca 0.5 >>");
  b.object(24, "<< /Type /Annot /Subtype /Link /Rect [100 180 120 200] /Border [0 0 0] "
               "/A 25 0 R >>");
  b.object(25, "<< /S /GoTo /D (named1) >>");
  b.object(26, "<< /Type /Annot /Subtype /Link /Rect [120 180 140 200] /Border [0 0 0] "
               "/A 27 0 R >>");
  b.object(27, "<< /S /GoTo /D [30 0 R /Fit] >>");
  b.object(28, "<< /Type /Annot /Subtype /Link /Rect [0 0 20 20] /Border [0 0 0] "
               "/Dest [3 0 R /Fit] >>");
  b.stream(29, form(""), "0 1 0 rg 0 0 40 40 re f");
  b.object(30, "<< /Type /Page /MediaBox [0 0 200 200] /Contents 31 0 R >>");
  b.stream(31, "", "% orphan-marker");
  b.object(32, "<< /D [3 0 R /FitH 100] >>");
  b.xref_table().trailer("<< /Size 33 /Root 1 0 R >>");
  return b.startxref().str();
}

// A file without annotations: one page whose resources reach a font.
std::string plain_pdf() {
  return fixtures::labelled_pdf(2, "plain");
}

// ---------------------------------------------------------------- the options argument

TEST(MergeOptions, ZeroWritesTheBytesOfPdfmergeFiles) {
  const std::vector<std::vector<std::string>> cases = {
      {write_temp("zero_marked.pdf", marked_pdf("0.5"))},
      {write_temp("zero_plain.pdf", plain_pdf()), write_temp("zero_marked2.pdf", marked_pdf("0"))},
      {write_temp("zero_simple.pdf", fixtures::simple_pdf(3))},
  };
  for (size_t k = 0; k < cases.size(); ++k) {
    const std::string plain = temp_path("zero_files_" + std::to_string(k) + ".pdf");
    const std::string opt = temp_path("zero_opt_" + std::to_string(k) + ".pdf");
    std::vector<const char*> paths;
    for (const std::string& p : cases[k]) paths.push_back(p.c_str());
    ASSERT_EQ(pdfmerge_files(paths.data(), static_cast<int>(paths.size()), plain.c_str()), 0);
    ASSERT_EQ(merge_opt(cases[k], opt, 0), 0) << pdfmerge_last_error();
    EXPECT_EQ(pdfmerge_last_error(), std::string());
    EXPECT_EQ(read_file(opt), read_file(plain)) << "case " << k;
  }
}

TEST(MergeOptions, WithNothingToKeepTheBytesAreThoseOfAPlainMerge) {
  const std::string in = write_temp("nothing_plain.pdf", plain_pdf());
  const std::string plain = temp_path("nothing_files.pdf");
  const char* paths[] = {in.c_str(), in.c_str()};
  ASSERT_EQ(pdfmerge_files(paths, 2, plain.c_str()), 0);
  for (int options : {1, 2, 3}) {
    const std::string out = temp_path("nothing_" + std::to_string(options) + ".pdf");
    ASSERT_EQ(merge_opt({in, in}, out, options), 0) << pdfmerge_last_error();
    EXPECT_EQ(read_file(out), read_file(plain)) << "options " << options;
  }
}

struct bad_option_case {
  int options;
  const char* message;
};

TEST(MergeOptions, UnknownBitsFailAndWriteNothing) {
  const std::string in = write_temp("bits_in.pdf", plain_pdf());
  const bad_option_case cases[] = {
      {1024, "unknown option bits 0x400"},         {1024 | 16 | 4, "unknown option bits 0x400"},
      {1024 | 8 | 1, "unknown option bits 0x400"}, {1 << 30, "unknown option bits 0x40000000"},
      {2048 | 512, "unknown option bits 0x800"},   {-1, "unknown option bits 0xfffffc00"},
  };
  for (const bad_option_case& c : cases) {
    const std::string out = temp_path("bits_out.pdf");
    EXPECT_EQ(merge_opt({in}, out, c.options), -1);
    EXPECT_EQ(pdfmerge_last_error(), std::string(c.message));
    EXPECT_FALSE(fixtures::file_exists(out));
  }
}

TEST(MergeOptions, ArgumentAndInputErrorsAreThoseOfTheOtherMerges) {
  const std::string missing = temp_path("opt_missing.pdf");
  const std::string out = temp_path("opt_err_out.pdf");
  EXPECT_EQ(pdfmerge_files_opt(nullptr, 1, out.c_str(), 3), -1);
  EXPECT_EQ(pdfmerge_last_error(), std::string("no input paths"));
  const char* one[] = {missing.c_str()};
  EXPECT_EQ(pdfmerge_files_opt(one, 1, nullptr, 1), -1);
  EXPECT_EQ(pdfmerge_last_error(), std::string("NULL output path"));
  EXPECT_EQ(pdfmerge_files_opt(one, 1, out.c_str(), 3), -1);
  EXPECT_EQ(pdfmerge_last_error(), "input 1: cannot open " + missing);
  EXPECT_FALSE(fixtures::file_exists(out));
}

// ---------------------------------------------------------------- annotations

// Where an annotation of a merged page leads: the output page its /Dest or its GoTo's /D names
// (0 when it has neither), looked up through an indirect action too.
int link_target(const std::string& pdf, int annot) {
  const std::string text = object_text(pdf, annot);
  std::string dest = value_of(text, "Dest");
  if (dest.empty()) {
    std::string action = value_of(text, "A");
    const std::vector<int> action_ref = keep_tools::refs_in(action);
    if (action.rfind("<<", 0) != 0 && !action_ref.empty()) action = object_text(pdf, action_ref[0]);
    dest = value_of(action, "D");
  }
  const std::vector<int> refs = keep_tools::refs_in(dest);
  return refs.empty() ? 0 : refs[0];
}

struct link_case {
  size_t index; // in the page's /Annots
  int target;   // output page of the input's first page plus this, or -1 for none
};

// The annotations of the marked file's first page, in its /Annots order.
const link_case first_page_links[] = {
    {0, 1},  // explicit destination to page 2
    {1, 1},  // /Dests name
    {2, 0},  // /Names tree string, through a direct GoTo
    {3, -1}, // GoTo to a page outside the tree: the /A is gone
    {4, -1}, // the square
    {5, -1}, // its popup
    {6, -1}, // a name that /Dests maps outside the tree
    {7, -1}, // highlight
    {8, -1}, // stamp
    {9, 0},  // indirect GoTo to a /Names string
    {10, -1} // indirect GoTo outside the tree: the /A is gone
};

TEST(MergeAnnotations, LinksOfBothInputsPointAtTheirOwnPagesInTheOutput) {
  const std::string a = write_temp("links_a.pdf", marked_pdf("0.25"));
  const std::string b = write_temp("links_b.pdf", marked_pdf("0.75"));
  const std::string out = temp_path("links_out.pdf");
  ASSERT_EQ(merge_opt({a, b}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  // Output pages 3 and 4 come from a, 5 and 6 from b.
  for (int first : {3, 5}) {
    const std::vector<int> annots = annots_of(pdf, first);
    ASSERT_EQ(annots.size(), 11u) << "page " << first;
    for (const link_case& c : first_page_links)
      EXPECT_EQ(link_target(pdf, annots[c.index]), c.target < 0 ? 0 : first + c.target)
          << "page " << first << ", annotation " << c.index;
    const std::vector<int> second = annots_of(pdf, first + 1);
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(link_target(pdf, second[1]), first); // the link back to page 1
    // Every kept annotation names its new page.
    for (int page : {first, first + 1})
      for (int annot : annots_of(pdf, page))
        EXPECT_EQ(value_of(object_text(pdf, annot), "P"), std::to_string(page) + " 0 R")
            << "annotation " << annot << " of page " << page;
    // The popup and its square, and the reply, still point at each other.
    EXPECT_EQ(value_of(object_text(pdf, annots[4]), "Popup"), std::to_string(annots[5]) + " 0 R");
    EXPECT_EQ(value_of(object_text(pdf, annots[5]), "Parent"), std::to_string(annots[4]) + " 0 R");
    EXPECT_EQ(value_of(object_text(pdf, second[0]), "IRT"), std::to_string(annots[4]) + " 0 R");
  }
  // Nothing reachable only through a dropped destination was copied, nothing dangles.
  EXPECT_EQ(pdf.find("orphan-marker"), std::string::npos);
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 4);
  EXPECT_QPDF_ACCEPTS(out);
}

TEST(MergeAnnotations, MergedPagesRenderLikeTheirInputsWithAnnotationsShown) {
  const std::string a = write_temp("render_a.pdf", marked_pdf("0.25"));
  const std::string b = write_temp("render_b.pdf", marked_pdf("0.75"));
  const std::string out = temp_path("render_out.pdf");
  ASSERT_EQ(merge_opt({a, b}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string plain = temp_path("render_plain.pdf");
  ASSERT_EQ(merge_opt({a, b}, plain, 0), 0);
  if (!merge_tools::have_tool("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  const struct {
    const std::string& input;
    int input_page;
    int output_page;
  } cases[] = {{a, 1, 1}, {a, 2, 2}, {b, 1, 3}, {b, 2, 4}};
  for (const auto& c : cases) {
    const std::string want = keep_tools::render(c.input, c.input_page);
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(keep_tools::render(out, c.output_page), want) << "output page " << c.output_page;
    // The plain merge loses the marks: the fixture shows what it tests.
    EXPECT_NE(keep_tools::render(plain, c.output_page), want) << "output page " << c.output_page;
  }
}

TEST(MergeAnnotations, APageListedTwiceSharesItsAnnotations) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 3 0 R] /Count 2 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R "
              "/Annots [5 0 R] >>");
  b.stream(4, "", "0 0 10 10 re f");
  b.object(5, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Dest [3 0 R /Fit] /P 3 0 R >>");
  b.xref_table().trailer("<< /Size 6 /Root 1 0 R >>");
  const std::string in = write_temp("twice_in.pdf", b.startxref().str());
  const std::string out = temp_path("twice_out.pdf");
  ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  const std::vector<int> first = annots_of(pdf, 3);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(annots_of(pdf, 4), first);
  EXPECT_EQ(value_of(object_text(pdf, first[0]), "P"), "3 0 R");
  EXPECT_EQ(link_target(pdf, first[0]), 3);
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  EXPECT_QPDF_ACCEPTS(out);
}

// Broken annotations are left behind one by one; the rest of the page's list is kept.
TEST(MergeAnnotations, BrokenAnnotationsAreDroppedAlone) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /Dests 9 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  // 6 is missing, 7 does not close, 2 is the page tree, 3 the page itself, (x) no annotation;
  // 8 links through a /Dests that is no dictionary and reaches an object that does not exist.
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Annots "
              "[5 0 R 6 0 R 7 0 R 2 0 R 3 0 R (x) 8 0 R] >>");
  b.stream(4, "", "0 0 10 10 re f");
  b.object(5, "<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /Contents (kept) >>");
  b.object(7, "<< /Type /Annot /Subtype /Text /Rect [0 0 10 10] /Contents (open");
  b.object(8, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Dest /x /Extra 40 0 R >>");
  b.object(9, "(no dictionary)");
  b.xref_table().trailer("<< /Size 10 /Root 1 0 R >>");
  const std::string in = write_temp("broken_in.pdf", b.startxref().str());
  const std::string out = temp_path("broken_out.pdf");
  ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  const std::vector<int> annots = annots_of(pdf, 3);
  ASSERT_EQ(annots.size(), 2u);
  EXPECT_NE(object_text(pdf, annots[0]).find("(kept)"), std::string::npos);
  const std::string link = object_text(pdf, annots[1]);
  EXPECT_EQ(value_of(link, "Dest"), "");
  EXPECT_EQ(value_of(link, "Extra"), "null");
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  EXPECT_QPDF_ACCEPTS(out);
}

// An annotation written inside the page's array (not as an object of its own) stays there,
// edited like the others: its /P, its destination, its appearance copied.
TEST(MergeAnnotations, AnnotationsInsideTheArrayStayThere) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R /Annots "
              "[<< /Type /Annot /Subtype /Square /Rect [10 10 50 50] /AP << /N 5 0 R >> "
              "/P 3 0 R >> << /Subtype /Link /Rect [0 0 9 9] /Border [0 0 0] "
              "/Dest [6 0 R /Fit] >>] >>");
  b.stream(4, "", "0 0 10 10 re f");
  b.stream(5, "/Type /XObject /Subtype /Form /BBox [0 0 40 40]", "0 0 1 rg 0 0 40 40 re f");
  b.object(6, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 4 0 R >>");
  b.xref_table().trailer("<< /Size 7 /Root 1 0 R >>");
  const std::string in = write_temp("inline_in.pdf", b.startxref().str());
  const std::string out = temp_path("inline_out.pdf");
  ASSERT_EQ(merge_opt({in, in}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  // Output pages 3 and 4 come from the first input, 5 and 6 from the second.
  for (int page : {3, 5}) {
    const std::string annots = value_of(object_text(pdf, page), "Annots");
    EXPECT_NE(annots.find("/Subtype /Square"), std::string::npos) << annots;
    EXPECT_NE(annots.find("/P " + std::to_string(page) + " 0 R"), std::string::npos) << annots;
    EXPECT_NE(annots.find("/Dest [" + std::to_string(page + 1) + " 0 R /Fit]"), std::string::npos)
        << annots;
  }
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  EXPECT_QPDF_ACCEPTS(out);
  if (!merge_tools::have_tool("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  const std::string want = keep_tools::render(in, 1);
  EXPECT_EQ(keep_tools::render(out, 1), want);
  EXPECT_EQ(keep_tools::render(out, 3), want);
}

} // namespace
