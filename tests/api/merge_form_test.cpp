// Merges that keep form fields: one /AcroForm listing every input's top-level fields, a later
// input's clashing names renamed, default resources merged; read back with qpdf, pdftoppm and
// from the bytes.
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

struct form_input {
  std::string name_value;             // the filled-in text field
  std::string font;                   // the /BaseFont of the form's /Helv
  bool need_appearances;              // the form's /NeedAppearances
  std::string form_extras;            // more entries of the /AcroForm
  std::string title = "name";         // the text field's /T
  std::string da = "/Helv 12 Tf 0 g"; // the text field's /DA
};

// One page with a filled text field "name" (its widget merged with it), a checked checkbox
// "agree", and a field "person" whose kid "first" is the widget; the form's /DR names its font
// /Helv, which every /DA uses.
std::string form_pdf(const form_input& in) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm 9 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R "
              "/Annots [5 0 R 6 0 R 8 0 R] >>");
  b.stream(4, "", "0 0 10 10 re f");
  b.object(5, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (" + in.title + ") /V (" +
                  in.name_value + ") /DA (" + in.da +
                  ") /Rect [10 150 190 180] /P 3 0 R /AP << /N 10 0 R >> >>");
  b.object(6, "<< /Type /Annot /Subtype /Widget /FT /Btn /T (agree) /V /Yes /AS /Yes "
              "/Rect [10 100 30 120] /P 3 0 R /AP << /N << /Yes 11 0 R /Off 12 0 R >> >> >>");
  b.object(7, "<< /FT /Tx /T (person) /Kids [8 0 R] >>");
  b.object(8, "<< /Type /Annot /Subtype /Widget /T (first) /Parent 7 0 R /V (Ann) "
              "/DA (/Helv 10 Tf 0 g) /Rect [10 50 190 80] /P 3 0 R >>");
  b.object(9, "<< /Fields [5 0 R 6 0 R 7 0 R] /DR << /Font << /Helv 13 0 R >> >> "
              "/DA (/Helv 0 Tf 0 g) " +
                  std::string(in.need_appearances ? "/NeedAppearances true " : "") +
                  in.form_extras + ">>");
  b.stream(10,
           "/Type /XObject /Subtype /Form /BBox [0 0 180 30] /Resources << /Font "
           "<< /Helv 13 0 R >> >>",
           "/Tx BMC BT /Helv 12 Tf 2 10 Td (" + in.name_value + ") Tj ET EMC");
  b.stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 20 20]", "0 0 20 20 re f");
  b.stream(12, "/Type /XObject /Subtype /Form /BBox [0 0 20 20]", "0 0 20 20 re S");
  b.object(13, "<< /Type /Font /Subtype /Type1 /BaseFont /" + in.font + " >>");
  b.xref_table().trailer("<< /Size 14 /Root 1 0 R >>");
  return b.startxref().str();
}

TEST(MergeForms, FieldsOfEveryInputAreKeptApartUnderTheirNames) {
  const std::string a = write_temp("form_a.pdf", form_pdf({"Alice", "Helvetica", false, "/Q 1 "}));
  const std::string b = write_temp("form_b.pdf", form_pdf({"Bob", "Courier", true, "/Q 2 "}));
  const std::string c = write_temp("form_c.pdf", form_pdf({"Cy", "Helvetica", false, ""}));
  const std::string out = temp_path("form_out.pdf");
  ASSERT_EQ(merge_opt({a, b, c}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  const std::string form =
      object_text(pdf, keep_tools::refs_in(value_of(object_text(pdf, 1), "AcroForm"))[0]);
  EXPECT_EQ(keep_tools::refs_in(value_of(form, "Fields")).size(), 9u);
  // /DA and /Q of the first input; b's and c's fonts differ from a's object and are renamed.
  EXPECT_EQ(value_of(form, "DA"), "(/Helv 0 Tf 0 g)");
  EXPECT_EQ(value_of(form, "Q"), "1");
  const std::string fonts = value_of(value_of(form, "DR"), "Font");
  for (const char* key : {"/Helv ", "/Helv_2 ", "/Helv_3 "})
    EXPECT_NE(fonts.find(key), std::string::npos) << key << " in " << fonts;
  EXPECT_NE(pdf.find("/DA (/Helv_2 12 Tf 0 g)"), std::string::npos);
  EXPECT_NE(pdf.find("/DA (/Helv_3 10 Tf 0 g)"), std::string::npos);
  EXPECT_EQ(value_of(form, "NeedAppearances"), "true");
  EXPECT_EQ(form.find("XFA"), std::string::npos);
  EXPECT_QPDF_ACCEPTS(out);
  const std::vector<std::string> fields = keep_tools::field_lines(out);
  if (fields.empty()) GTEST_SKIP() << "python3 is not installed";
  const std::vector<std::string> expected = {
      "name u:Alice 1",         "agree /Yes 1",           "person.first u:Ann 1", "name_2 u:Bob 2",
      "agree_2 /Yes 2",         "person_2.first u:Ann 2", "name_3 u:Cy 3",        "agree_3 /Yes 3",
      "person_3.first u:Ann 3", "needappearances"};
  EXPECT_EQ(fields, expected);
}

TEST(MergeForms, FilledFieldsRenderLikeTheirInput) {
  const std::string a =
      write_temp("form_render_a.pdf", form_pdf({"Alice", "Helvetica", false, ""}));
  const std::string out = temp_path("form_render_out.pdf");
  ASSERT_EQ(merge_opt({a, a}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  if (!merge_tools::have_tool("pdftoppm")) GTEST_SKIP() << "pdftoppm is not installed";
  const std::string want = keep_tools::render(a, 1);
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(keep_tools::render(out, 1), want);
  EXPECT_EQ(keep_tools::render(out, 2), want);
}

TEST(MergeForms, XfaIsLeftBehindAndWithoutAnnotationsNoFormIsWritten) {
  const std::string a =
      write_temp("form_xfa.pdf", form_pdf({"Alice", "Helvetica", false, "/XFA 20 0 R "}));
  const std::string out = temp_path("form_xfa_out.pdf");
  ASSERT_EQ(merge_opt({a}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  EXPECT_EQ(pdf.find("XFA"), std::string::npos);
  EXPECT_NE(value_of(object_text(pdf, 1), "AcroForm"), "");
  ASSERT_EQ(merge_opt({a}, out, PDFMERGE_KEEP_OUTLINES), 0) << pdfmerge_last_error();
  EXPECT_EQ(read_file(out).find("AcroForm"), std::string::npos);
}

struct broken_field_case {
  const char* name;
  const char* field; // object 5, the second of the form's fields (4, 5, 6)
  const char* kid;   // object 7
};

// A field whose hierarchy is no tree (a kid shared or a loop), or that is no dictionary, is left
// out of /Fields alone; the merge succeeds and nothing dangles.
TEST(MergeForms, BrokenFieldsAreLeftOutAlone) {
  const broken_field_case cases[] = {
      {"shared kid", "<< /T (b) /Kids [7 0 R 7 0 R] >>", "<< /T (k) /Parent 5 0 R >>"},
      {"loop", "<< /T (b) /Kids [7 0 R] >>", "<< /T (k) /Parent 5 0 R /Kids [5 0 R] >>"},
      {"no dictionary", "[1 2]", "<< /T (k) >>"},
      {"unclosed", "<< /T (b) /Kids [7 0 R]", "<< /T (k) >>"},
  };
  for (const broken_field_case& c : cases) {
    fixtures::pdf_builder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 5 0 R 6 0 R 9 0 R] "
                ">> >>");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
    b.object(4, "<< /T (a) /FT /Tx /V (1) >>");
    b.object(5, c.field);
    b.object(6, "<< /T (c) /FT /Tx /V (3) >>");
    b.object(7, c.kid);
    b.xref_table().trailer("<< /Size 8 /Root 1 0 R >>");
    const std::string in = write_temp("broken_field.pdf", b.startxref().str());
    const std::string out = temp_path("broken_field_out.pdf");
    ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << c.name;
    const std::string pdf = read_file(out);
    const std::string form =
        object_text(pdf, keep_tools::refs_in(value_of(object_text(pdf, 1), "AcroForm"))[0]);
    const std::vector<int> fields = keep_tools::refs_in(value_of(form, "Fields"));
    ASSERT_EQ(fields.size(), 2u) << c.name << ": " << form;
    EXPECT_EQ(value_of(object_text(pdf, fields[0]), "T"), "(a)") << c.name;
    EXPECT_EQ(value_of(object_text(pdf, fields[1]), "T"), "(c)") << c.name;
    EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>()) << c.name;
  }
}

// A line end written as CR inside a field's name or /DA is read as LF, as the format says, so the
// renamed name and the rewritten /DA of a later input hold LF (they kept the CR, written back as
// "\r", before).
TEST(MergeForms, LineEndsInRenamedNamesAndRewrittenDaReadAsLf) {
  const std::string in = write_temp(
      "cr_field.pdf", form_pdf({"x", "Helvetica", false, "", "two\rlines", "/Helv 9 Tf\r\n0 g"}));
  const std::string out = temp_path("cr_field_out.pdf");
  ASSERT_EQ(merge_opt({in, in}, out, PDFMERGE_KEEP_ANNOTATIONS), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  const std::string form =
      object_text(pdf, keep_tools::refs_in(value_of(object_text(pdf, 1), "AcroForm"))[0]);
  const std::vector<int> fields = keep_tools::refs_in(value_of(form, "Fields"));
  ASSERT_EQ(fields.size(), 6u) << form;
  const std::string second = object_text(pdf, fields[3]);
  EXPECT_EQ(value_of(second, "T"), "(two\nlines_2)") << second;
  EXPECT_EQ(value_of(second, "DA"), "(/Helv_2 9 Tf\n0 g)") << second;
}

} // namespace
