// Merges that keep annotations, forms and bookmarks of files whose values are shared, named alike
// or reach the file's structure: a shared /Annots array and a destination array are written once
// and referred to, each annotation's /P names a page that lists it, renamed fields never clash,
// signature values stay behind, and no kept value or layer setting copies the catalog, a page or
// a cross-reference stream.
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
using keep_tools::refs_in;
using keep_tools::value_of;
using merge_tools::object_text;

// The body of object `num` in the merged file (between "obj\n" and "\nendobj").
std::string body_of(const std::string& pdf, int num) {
  const std::string text = object_text(pdf, num);
  const size_t from = text.find("obj\n");
  const size_t to = text.rfind("\nendobj");
  return from == std::string::npos || to == std::string::npos
             ? std::string()
             : text.substr(from + 4, to - from - 4);
}

// Three pages 3, 4, 5; pages 3 and 4 share the /Annots array 6 of annotations 7 and 8, page 5
// lists 9 directly. 7's /P names page 4, 8's /P page 5 (which does not list it), 9 has none.
std::string shared_annots_pdf() {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
  for (int p = 3; p <= 4; ++p)
    b.object(p, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Annots 6 0 R >>");
  b.object(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Annots [9 0 R] >>");
  b.object(6, "[7 0 R 8 0 R]");
  b.object(7, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /P 4 0 R >>");
  b.object(8, "<< /Type /Annot /Subtype /Circle /Rect [0 0 10 10] /P 5 0 R >>");
  b.object(9, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] >>");
  b.xref_table().trailer("<< /Size 10 /Root 1 0 R >>");
  return b.startxref().str();
}

TEST(MergeSharedValues, ASharedAnnotsArrayIsWrittenOnceAndEachPNamesAPageListingIt) {
  const std::string in = write_temp("shared_annots.pdf", shared_annots_pdf());
  const std::string out = temp_path("shared_annots_out.pdf");
  ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  // Output pages 3, 4, 5 as in the input; the shared array is one object both pages name.
  const std::string first = value_of(object_text(pdf, 3), "Annots");
  EXPECT_EQ(first, value_of(object_text(pdf, 4), "Annots"));
  const std::vector<int> array = refs_in(first);
  ASSERT_EQ(array.size(), 1u) << first;
  const std::vector<int> shared = refs_in(body_of(pdf, array[0]));
  ASSERT_EQ(shared.size(), 2u) << body_of(pdf, array[0]);
  // 7 keeps the page its input names (4); 8's input names page 5, which does not list it, so
  // it names the first page that does (3); 9 belongs to page 5.
  EXPECT_EQ(value_of(object_text(pdf, shared[0]), "P"), "4 0 R");
  EXPECT_EQ(value_of(object_text(pdf, shared[1]), "P"), "3 0 R");
  const std::vector<int> own = keep_tools::annots_of(pdf, 5);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(value_of(object_text(pdf, own[0]), "P"), "5 0 R");
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  EXPECT_QPDF_ACCEPTS(out);
}

// One page; its link 5 goes to the destination array 6, bookmark 8 to it too, bookmark 9 through
// a name to a long array; the outline's second item's title is the string object 7.
std::string destinations_pdf() {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 10 0 R /Dests << /far 11 0 R >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Annots [5 0 R] >>");
  b.object(5, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Dest 6 0 R >>");
  b.object(6, "[3 0 R /XYZ 0 100 null]");
  b.object(7, "(Shared title)");
  b.object(8, "<< /Title (one) /Parent 10 0 R /Next 9 0 R /Dest 6 0 R >>");
  b.object(9, "<< /Title 7 0 R /Parent 10 0 R /Prev 8 0 R /Dest /far >>");
  b.object(10, "<< /Type /Outlines /First 8 0 R /Last 9 0 R /Count 2 >>");
  b.object(11, "<< /D [3 0 R /FitR 1 2 3 4 5 6 7 8 9] >>");
  b.xref_table().trailer("<< /Size 12 /Root 1 0 R >>");
  return b.startxref().str();
}

TEST(MergeSharedValues, DestinationArraysAndTitlesStayReferencesAndInlineOnesAreBounded) {
  const std::string in = write_temp("dest_refs.pdf", destinations_pdf());
  const std::string out = temp_path("dest_refs_out.pdf");
  ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_ANNOTATIONS | PDFMERGE_KEEP_OUTLINES), 0)
      << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  const std::string link = object_text(pdf, keep_tools::annots_of(pdf, 3).at(0));
  const std::string root = object_text(pdf, std::stoi(value_of(object_text(pdf, 1), "Outlines")));
  const std::string one = object_text(pdf, refs_in(value_of(root, "First")).at(0));
  const std::string two = object_text(pdf, refs_in(value_of(root, "Last")).at(0));
  // The link and the first bookmark share one written destination array.
  const std::vector<int> dest = refs_in(value_of(link, "Dest"));
  ASSERT_EQ(dest.size(), 1u) << link;
  EXPECT_EQ(value_of(one, "Dest"), value_of(link, "Dest"));
  EXPECT_EQ(body_of(pdf, dest[0]), "[3 0 R /XYZ 0 100 null]");
  // The title stays a reference to the string, written once.
  const std::vector<int> title = refs_in(value_of(two, "Title"));
  ASSERT_EQ(title.size(), 1u) << two;
  EXPECT_EQ(body_of(pdf, title[0]), "(Shared title)");
  // A named destination is written inline: a page, a view and at most four numbers.
  EXPECT_EQ(value_of(two, "Dest"), "[3 0 R /FitR 1 2 3 4]");
  EXPECT_EQ(keep_tools::outline_lines(out).size(), keep_tools::outline_lines(in).size());
  EXPECT_QPDF_ACCEPTS(out);
}

// A form whose top-level fields 4, 5, ... are named by `names` (a literal string's contents, or a
// hexadecimal string when it starts with '<'); /Fields lists them in the order of `listing`
// (indexes into `names`; every one once when empty).
std::string named_fields_pdf(const std::vector<std::string>& names,
                             const std::vector<size_t>& listing = {}) {
  fixtures::pdf_builder b;
  std::string fields;
  for (size_t i = 0; i < (listing.empty() ? names.size() : listing.size()); ++i)
    fields += std::to_string(4 + (listing.empty() ? i : listing[i])) + " 0 R ";
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [" + fields + "] >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string t = names[i][0] == '<' ? names[i] : "(" + names[i] + ")";
    b.object(static_cast<int>(4 + i), "<< /FT /Tx /T " + t + " >>");
  }
  b.xref_table().trailer("<< /Size " + std::to_string(4 + names.size()) + " /Root 1 0 R >>");
  return b.startxref().str();
}

// The /T of every field the merged form lists, in order.
std::vector<std::string> field_titles(const std::string& pdf) {
  const std::string form = value_of(object_text(pdf, 1), "AcroForm");
  const std::string text = object_text(pdf, refs_in(form).at(0));
  std::vector<std::string> titles;
  for (int f : refs_in(value_of(text, "Fields")))
    titles.push_back(value_of(object_text(pdf, f), "T"));
  return titles;
}

TEST(MergeSharedValues, RenamedFieldsTakeNamesNoInputUses) {
  struct rename_case {
    const char* name;
    std::string first, second;     // the two inputs
    std::vector<std::string> want; // the titles of the merged form
  };
  const rename_case cases[] = {
      // The second input's x may not become x_2, which that input uses itself.
      {"own name",
       named_fields_pdf({"x"}),
       named_fields_pdf({"x", "x_2"}),
       {"(x)", "(x_3)", "(x_2)"}},
      // A field listed twice in /Fields is listed once.
      {"listed twice", named_fields_pdf({"a"}), named_fields_pdf({"b"}, {0, 0}), {"(a)", "(b)"}},
      // A UTF-16 name gets its suffix in UTF-16.
      {"UTF-16",
       named_fields_pdf({"<FEFF0078>"}),
       named_fields_pdf({"<FEFF0078>"}),
       {"<FEFF0078>", std::string("(\xFE\xFF\0x\0_\0"
                                  "2)",
                                  10)}},
  };
  for (const rename_case& c : cases) {
    const std::string a = write_temp("names_a.pdf", c.first);
    const std::string b = write_temp("names_b.pdf", c.second);
    const std::string out = temp_path("names_out.pdf");
    ASSERT_EQ(merge_opt({a, b}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << c.name;
    EXPECT_EQ(field_titles(read_file(out)), c.want) << c.name;
  }
}

// A signed field keeps its widget and appearance, but not the signature: a merged file cannot
// carry its inputs' signatures (their byte ranges describe the input).
TEST(MergeSharedValues, SignatureValuesAreLeftBehind) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] /SigFlags 3 >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Annots [4 0 R] >>");
  b.object(4, "<< /Type /Annot /Subtype /Widget /FT /Sig /T (sig) /V 5 0 R /Rect [0 0 50 20] "
              "/P 3 0 R /AP << /N 6 0 R >> >>");
  b.object(5, "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 10 20 30] /Contents <0102> >>");
  b.stream(6, "/Type /XObject /Subtype /Form /BBox [0 0 50 20]", "0 0 50 20 re S");
  b.xref_table().trailer("<< /Size 7 /Root 1 0 R >>");
  const std::string in = write_temp("signed.pdf", b.startxref().str());
  const std::string out = temp_path("signed_out.pdf");
  ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  const std::string widget = object_text(pdf, keep_tools::annots_of(pdf, 3).at(0));
  EXPECT_EQ(value_of(widget, "V"), "") << widget;
  EXPECT_NE(value_of(widget, "AP"), "");
  EXPECT_EQ(pdf.find("/ByteRange"), std::string::npos);
  EXPECT_EQ(pdf.find("/SigFlags"), std::string::npos);
  EXPECT_QPDF_ACCEPTS(out);
}

// Layer settings and kept values that name the catalog, the page tree or a cross-reference
// stream copy none of them: no second catalog, no page outside the page tree.
TEST(MergeSharedValues, NoStructureIsCopiedForLayersOrKeptValues) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [5 0 R 1 0 R 2 0 R] "
              "/D << /Order [5 0 R 3 0 R] >> >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Annots [4 0 R] "
              "/Resources << /Properties << /L 5 0 R >> >> >>");
  b.object(4, "<< /Type /Annot /Subtype /Square /Rect [0 0 10 10] /Extra [1 0 R 2 0 R 7 0 R] >>");
  b.object(5, "<< /Type /OCG /Name (layer) >>");
  b.xref_table();
  b.xref_stream(7, "/Root 1 0 R /Size 8");
  const std::string in = write_temp("structure_refs.pdf", b.startxref().str());
  const std::string out = temp_path("structure_refs_out.pdf");
  ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  size_t catalogs = 0;
  for (size_t at = pdf.find("/Type /Catalog"); at != std::string::npos;
       at = pdf.find("/Type /Catalog", at + 1))
    ++catalogs;
  EXPECT_EQ(catalogs, 1u);
  EXPECT_EQ(pdf.find("/Type /Pages", pdf.find("/Type /Pages") + 1), std::string::npos);
  EXPECT_EQ(pdf.find("/XRef"), std::string::npos);
  const std::string annot = object_text(pdf, keep_tools::annots_of(pdf, 3).at(0));
  EXPECT_EQ(value_of(annot, "Extra"), "[null null null]") << annot;
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  EXPECT_QPDF_ACCEPTS(out);
}

} // namespace
