// The objects that the pages' resources reach, copied into the merged file: every kind of
// object, from the file and from object streams, under the planned numbers.
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using merge_tools::object_text;

// A baseline JPEG of one grey pixel: one 8x8 block whose coefficients are all zero, coded with
// one-symbol Huffman tables (DC category 0 and AC end-of-block, each the code "0").
std::string tiny_jpeg() {
  std::string j = "\xff\xd8";                                                   // SOI
  j += std::string("\xff\xdb\x00\x43\x00", 5) + std::string(64, '\x01');        // quantisation
  j += std::string("\xff\xc0\x00\x0b\x08\x00\x01\x00\x01\x01\x01\x11\x00", 13); // frame
  const std::string one_code =
      std::string("\x01", 1) + std::string(15, '\0') + std::string(1, '\0');
  j += std::string("\xff\xc4\x00\x14\x00", 5) + one_code;           // DC table 0
  j += std::string("\xff\xc4\x00\x14\x10", 5) + one_code;           // AC table 0
  j += std::string("\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00", 10); // scan
  j += "\x3f";                                                      // bits 0 0, padded with 1s
  j += "\xff\xd9";                                                  // EOI
  return j;
}

const std::string jpeg_bytes = tiny_jpeg();
const std::string font_program = "%!PS-AdobeFont-1.0 not really a font";

// One page whose resources reach a font (with an indirect /Widths array, a descriptor and a
// compressed font file), a JPEG image with an indirect /Length, an ICC colour space given as an
// array object, a graphics state kept in an object stream, and an object the file lacks.
std::string input_with_every_kind() {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R /Resources "
              "<< /Font << /F1 5 0 R >> /XObject << /Im1 6 0 R >> /ColorSpace << /CS0 7 0 R >> "
              "/ExtGState << /GS1 8 0 R /GS2 40 0 R >> >> >>");
  b.stream(4, "", "q /GS1 gs 100 0 0 100 0 0 cm /Im1 Do Q BT /F1 12 Tf (x) Tj ET");
  b.object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Foo /FirstChar 120 /LastChar 121 "
              "/Widths 9 0 R /FontDescriptor 10 0 R >>");
  b.object(6, "<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
              "/BitsPerComponent 8 /Filter /DCTDecode /Length 11 0 R >>\nstream\n" +
                  jpeg_bytes + "\nendstream");
  b.object(7, "[/ICCBased 12 0 R]");
  b.object(9, "[500 600]");
  b.object(10, "<< /Type /FontDescriptor /FontName /Foo /Flags 32 /FontBBox [0 0 1000 1000] "
               "/ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 "
               "/FontFile 14 0 R >>");
  b.object(11, std::to_string(jpeg_bytes.size()));
  b.stream(12, "/N 1 /Alternate /DeviceGray", "icc profile bytes");
  b.stream(14, "/Length1 36 /Length2 0 /Length3 0 /Filter /FlateDecode",
           fixtures::zlib_stored(font_program));
  int first = 0;
  const std::string members =
      fixtures::objstm_body({{8, "<< /Type /ExtGState /CA 0.5 /Font [15 0 R 12] >>"},
                             {15, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"}},
                            first);
  b.stream(20, "/Type /ObjStm /N 2 /First " + std::to_string(first), members);
  b.xref_table().trailer("<< /Size 21 /Root 1 0 R >>");
  return b.startxref().str();
}

// Seeds in resource order: 5, 6, 7, 8, 40; then breadth-first: 9, 10 (from 5), 12 (from 7),
// 15 (from 8), 14 (from 10). 11 holds only the image's /Length, which is written directly, so it
// is not copied. With one page the copies start at 5.
struct planned {
  int source;
  int output;
};
const planned plan[] = {{5, 5},  {6, 6},   {7, 7},   {8, 8},   {40, 9},
                        {9, 10}, {10, 11}, {12, 12}, {15, 13}, {14, 14}};

TEST(MergeCopies, EveryKindOfObject) {
  const std::string in = fixtures::write_temp("kinds_in.pdf", input_with_every_kind());
  const std::string out = fixtures::temp_path("kinds_out.pdf");
  const char* paths[] = {in.c_str()};
  ASSERT_EQ(pdfmerge_files(paths, 1, out.c_str()), 0) << pdfmerge_last_error();
  const std::string pdf = fixtures::read_file(out);

  EXPECT_NE(object_text(pdf, 3).find("/Resources << /Font << /F1 5 0 R >> /XObject << /Im1 6 0 R "
                                     ">> /ColorSpace << /CS0 7 0 R >> /ExtGState << /GS1 8 0 R "
                                     "/GS2 9 0 R >> >> /Contents 4 0 R >>"),
            std::string::npos)
      << object_text(pdf, 3);
  // A dictionary, renumbered.
  EXPECT_EQ(object_text(pdf, 5),
            "5 0 obj\n<< /Type /Font /Subtype /Type1 /BaseFont /Foo /FirstChar 120 /LastChar 121 "
            "/Widths 10 0 R /FontDescriptor 11 0 R >>\nendobj\n");
  // The image keeps its filter and bytes; its indirect /Length becomes the direct byte count.
  EXPECT_EQ(object_text(pdf, 6),
            "6 0 obj\n<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray "
            "/BitsPerComponent 8 /Filter /DCTDecode /Length " +
                std::to_string(jpeg_bytes.size()) + " >>\nstream\n" + jpeg_bytes +
                "\nendstream\nendobj\n");
  // Objects without a dictionary keep their own text.
  EXPECT_EQ(object_text(pdf, 7), "7 0 obj\n[/ICCBased 12 0 R]\nendobj\n");
  EXPECT_EQ(object_text(pdf, 10), "10 0 obj\n[500 600]\nendobj\n");
  // No object is left holding only the image's length.
  EXPECT_EQ(pdf.find("obj\n" + std::to_string(jpeg_bytes.size()) + "\nendobj"), std::string::npos);
  // Object-stream members, renumbered ("12" alone is no reference).
  EXPECT_EQ(object_text(pdf, 8),
            "8 0 obj\n<< /Type /ExtGState /CA 0.5 /Font [13 0 R 12] >>\n\nendobj\n");
  EXPECT_NE(object_text(pdf, 13).find("/BaseFont /Helvetica"), std::string::npos);
  // The compressed font file is copied as it is, with its own filter.
  const std::string font_file = object_text(pdf, 14);
  EXPECT_NE(font_file.find("/Length1 36 /Length2 0 /Length3 0 /Filter /FlateDecode /Length " +
                           std::to_string(fixtures::zlib_stored(font_program).size()) + " >>"),
            std::string::npos)
      << font_file;
  EXPECT_NE(font_file.find(fixtures::zlib_stored(font_program)), std::string::npos);
  // The missing object's number stays free; the copies after it keep their numbers.
  EXPECT_EQ(object_text(pdf, 9), "");
  const std::vector<std::string> lines = merge_tools::xref_lines(pdf);
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[9].substr(10), " 65535 f \n");
  EXPECT_EQ(lines[9].substr(0, 10), lines[8].substr(0, 10)); // the offset of object 8
  for (const planned& p : plan) {
    const std::string kind = p.source == 40 ? " 65535 f \n" : " 00000 n \n";
    EXPECT_EQ(lines[static_cast<size_t>(p.output)].substr(10), kind) << p.source;
  }
  EXPECT_QPDF_ACCEPTS(out);
}

// A second input takes the numbers after the first input's copies.
TEST(MergeCopies, SecondInputNumbersFollowTheFirst) {
  const std::string a = fixtures::write_temp("kinds_a.pdf", input_with_every_kind());
  const std::string b = fixtures::write_temp("kinds_b.pdf", fixtures::labelled_pdf(1, "B"));
  const std::string out = fixtures::temp_path("kinds_ab.pdf");
  ASSERT_EQ(pdfmerge_two(a.c_str(), b.c_str(), out.c_str()), 0) << pdfmerge_last_error();
  const std::string pdf = fixtures::read_file(out);
  // Two pages (3, 4), two contents (5, 6); input 1's ten copies 7..16, input 2's font 17.
  EXPECT_NE(object_text(pdf, 3).find("/Font << /F1 7 0 R >>"), std::string::npos);
  EXPECT_NE(object_text(pdf, 4).find("/Font << /F1 17 0 R >>"), std::string::npos);
  EXPECT_NE(object_text(pdf, 17).find("/BaseFont /Helvetica"), std::string::npos);
  EXPECT_EQ(object_text(pdf, 11), ""); // input 1's missing object
  EXPECT_NE(pdf.find("<< /Size 18 /Root 1 0 R >>"), std::string::npos);
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 2);
  EXPECT_QPDF_ACCEPTS(out);
}

// Page content kept raw with a filter the library does not decode keeps its /DecodeParms, and
// the objects they reference come along renumbered: a JBIG2 stream's /JBIG2Globals (in a
// parameters dictionary held by an object of its own), and a /Filter written as a reference.
TEST(MergeCopies, RawContentKeepsTheObjectsItsParametersReference) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>");
  b.stream(4, "/Filter 5 0 R /DecodeParms 6 0 R", "jbig2 page data");
  b.object(5, "/JBIG2Decode");
  b.object(6, "<< /JBIG2Globals 7 0 R >>");
  b.stream(7, "", "jbig2 global segments");
  b.xref_table().trailer("<< /Size 8 /Root 1 0 R >>");
  const std::string in = fixtures::write_temp("jbig2_globals.pdf", b.startxref().str());
  const std::string out = fixtures::temp_path("jbig2_globals_merged.pdf");
  ASSERT_EQ(pdfmerge_two(in.c_str(), in.c_str(), out.c_str()), 0) << pdfmerge_last_error();
  const std::string pdf = fixtures::read_file(out);
  // Pages 3 and 4, contents 5 and 6; each input's globals are its one copy: 7 and 8.
  EXPECT_NE(object_text(pdf, 5).find("/Filter /JBIG2Decode /DecodeParms << /JBIG2Globals 7 0 R >>"),
            std::string::npos)
      << object_text(pdf, 5);
  EXPECT_NE(object_text(pdf, 6).find("/DecodeParms << /JBIG2Globals 8 0 R >>"), std::string::npos);
  EXPECT_NE(object_text(pdf, 7).find("jbig2 global segments"), std::string::npos);
  EXPECT_NE(object_text(pdf, 8).find("jbig2 global segments"), std::string::npos);
  EXPECT_NE(pdf.find("<< /Size 9 /Root 1 0 R >>"), std::string::npos);
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 2);
  // The page data is no real JBIG2, so qpdf --check would fail on decoding it (as it does on
  // the input); qpdf still follows the cross-reference table to the globals.
  if (!merge_tools::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed: check skipped";
  const merge_tools::command_result globals =
      merge_tools::run("qpdf --show-object=8 --raw-stream-data " + merge_tools::quoted(out));
  EXPECT_EQ(globals.status, 0) << globals.output;
  EXPECT_EQ(globals.output, "jbig2 global segments");
}

} // namespace
