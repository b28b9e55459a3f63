// Merges with PDFMERGE_SHARE_RESOURCES and PDFMERGE_OBJECT_STREAMS, read back with independent
// tools: a batch made from one template writes its logo, frame, font and graphics state once
// (whatever their numbers, the spelling of /Length, or an encryption of the input), every
// combination of options gives a file that qpdf accepts, that the library's own reader, qpdf
// and mutool read with the right page count, and whose pages render as without the new bits.
#include "filter_encoders.h"
#include "keep_tools.h"
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using fixtures::read_file;
using fixtures::temp_path;
using fixtures::write_temp;
using keep_tools::merge_opt;
using merge_tools::quoted;
using merge_tools::run;

enum class length_spelling { direct, spaced, indirect };

// A document made from one template, as a billing system writes it: every page draws the same
// frame (a form XObject that shows the logo), the same logo image, text in the same font
// through the same graphics state, and marked content whose property list refers to itself (a
// cycle); only the text differs. `shared_first` numbers the template's objects before the
// pages instead of after them; `length` spells the logo's /Length.
std::string template_pdf(const std::string& text, int pages, bool shared_first,
                         length_spelling length) {
  std::map<std::string, int> num;
  int next = 3;
  const auto number = [&](const std::string& name) { num[name] = next++; };
  const std::vector<std::string> shared = {"res", "font", "logo", "frame", "gs", "props", "len"};
  if (shared_first)
    for (const std::string& s : shared) number(s);
  for (int p = 0; p < pages; ++p) number("page" + std::to_string(p));
  for (int p = 0; p < pages; ++p) number("content" + std::to_string(p));
  if (!shared_first)
    for (const std::string& s : shared) number(s);
  const auto ref = [&](const std::string& name) { return std::to_string(num[name]) + " 0 R"; };

  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (int p = 0; p < pages; ++p) kids += (p ? " " : "") + ref("page" + std::to_string(p));
  b.object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
  for (int p = 0; p < pages; ++p) {
    const std::string k = std::to_string(p);
    b.object(num["page" + k], "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 120] /Resources " +
                                  ref("res") + " /Contents " + ref("content" + k) + " >>");
    b.stream(num["content" + k], "",
             "/Logo BMC EMC /P0 /MC0 BDC q /G gs /Frame Do Q EMC BT /F1 11 Tf 10 50 Td (" + text +
                 " page " + std::to_string(p + 1) + ") Tj ET");
  }
  b.object(num["res"], "<< /Font << /F1 " + ref("font") + " >> /XObject << /Logo " + ref("logo") +
                           " /Frame " + ref("frame") + " >> /ExtGState << /G " + ref("gs") +
                           " >> /Properties << /MC0 " + ref("props") + " >> >>");
  b.object(num["font"], "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                        "/Encoding /WinAnsiEncoding >>");
  std::string pixels;
  for (int i = 0; i < 64; ++i) {
    pixels += static_cast<char>(i * 4);
    pixels += static_cast<char>(255 - i * 4);
    pixels += static_cast<char>((i % 8) * 32);
  }
  const std::string logo = fixtures::zlib_stored(pixels);
  const std::string size = std::to_string(logo.size());
  const std::string length_entry = length == length_spelling::direct   ? "/Length " + size
                                   : length == length_spelling::spaced ? "/Length   " + size + " "
                                                                       : "/Length " + ref("len");
  b.object(num["logo"], "<< /Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace "
                        "/DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode " +
                            length_entry + " >>\nstream\n" + logo + "\nendstream");
  b.object(num["len"], size);
  b.stream(num["frame"],
           "/Type /XObject /Subtype /Form /BBox [0 0 200 120] /Resources << /XObject << /Logo " +
               ref("logo") + " >> >>",
           "0 0 1 RG 2 w 5 5 190 110 re S q 40 0 0 40 150 70 cm /Logo Do Q");
  b.object(num["gs"], "<< /Type /ExtGState /CA 0.8 /ca 0.8 >>");
  b.object(num["props"], "<< /Name (logo) /Self " + ref("props") + " >>");
  b.xref_table().trailer("<< /Size " + std::to_string(next) + " /Root 1 0 R >>");
  return b.startxref().str();
}

// Two pages with a link from the first to the second, an outline of two items, and a layer
// that the default configuration hides, whose content is drawn on the second page.
std::string marked_pdf() {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 9 0 R /OCProperties << /OCGs [12 0 R] "
              "/D << /OFF [12 0 R] >> >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 200 120] >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Annots [7 0 R] >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Resources << /Properties << /L 12 "
              "0 R >> >> >>");
  b.stream(5, "", "0.3 g 10 10 50 50 re f");
  b.stream(6, "", "0 0 1 rg 60 10 50 50 re f /OC /L BDC 1 0 0 rg 120 10 50 50 re f EMC");
  b.object(7, "<< /Type /Annot /Subtype /Square /Rect [100 60 140 100] /C [1 0 0] /P 3 0 R "
              "/AP << /N 8 0 R >> /Dest [4 0 R /Fit] >>");
  b.stream(8, "/Type /XObject /Subtype /Form /BBox [0 0 40 40]", "1 0 0 RG 2 w 1 1 38 38 re S");
  b.object(9, "<< /Type /Outlines /First 10 0 R /Last 11 0 R /Count 2 >>");
  b.object(10, "<< /Title (One) /Parent 9 0 R /Next 11 0 R /Dest [3 0 R /Fit] >>");
  b.object(11, "<< /Title (Two) /Parent 9 0 R /Prev 10 0 R /Dest [4 0 R /Fit] >>");
  b.object(12, "<< /Type /OCG /Name (Hidden) >>");
  b.xref_table().trailer("<< /Size 13 /Root 1 0 R >>");
  return b.startxref().str();
}

// The file's objects written out plainly by qpdf (object streams expanded, streams left as they
// are), so that its objects can be counted by their text.
std::string expanded(const std::string& path) {
  const std::string out = path + ".qdf.pdf";
  run("qpdf --object-streams=disable --stream-data=preserve " + quoted(path) + " " + quoted(out));
  return read_file(out);
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Every page of `path` rendered small in grey; empty when pdftoppm is absent.
std::vector<std::string> renders(const std::string& path, int pages) {
  std::vector<std::string> out;
  if (!merge_tools::have_tool("pdftoppm")) return out;
  run("pdftoppm -gray -r 24 " + quoted(path) + " " + quoted(path + "_r"));
  for (int k = 1; k <= pages; ++k) {
    std::string name = path + "_r-" + std::to_string(k) + ".pgm";
    if (pages >= 10 && k < 10) name = path + "_r-0" + std::to_string(k) + ".pgm";
    out.push_back(read_file(name));
  }
  return out;
}

// The template's objects, each counted by a piece of its text.
const std::vector<std::string> template_objects = {"/Subtype /Image", "/Subtype /Form",
                                                   "/BaseFont /Helvetica", "/Type /ExtGState",
                                                   "/Name (logo)"};

// Merges `inputs` with and without the bits: with them each template object is written once
// and every page refers to it, without them once per input; the pages look the same.
void expect_template_shared(const std::vector<std::string>& inputs, int pages,
                            const std::string& tag, size_t named_written = 1) {
  const std::string plain = temp_path(tag + "_plain.pdf");
  ASSERT_EQ(merge_opt(inputs, plain, 0), 0) << pdfmerge_last_error();
  const std::string plain_text = expanded(plain);
  const std::vector<std::string> want = renders(plain, pages);
  for (int bits : {PDFMERGE_SHARE_RESOURCES, PDFMERGE_SHARE_RESOURCES | PDFMERGE_OBJECT_STREAMS |
                                                 PDFMERGE_COMPRESS_CONTENT}) {
    SCOPED_TRACE("options " + std::to_string(bits));
    const std::string out = temp_path(tag + "_" + std::to_string(bits) + ".pdf");
    ASSERT_EQ(merge_opt(inputs, out, bits), 0) << pdfmerge_last_error();
    EXPECT_EQ(pdfmerge_page_count(out.c_str()), pages);
    const std::string text = expanded(out);
    for (const std::string& what : template_objects) {
      EXPECT_EQ(count_of(plain_text, what), inputs.size()) << what;
      EXPECT_EQ(count_of(text, what), what == "/Name (logo)" ? named_written : 1u) << what;
    }
    EXPECT_EQ(count_of(text, "/Type /Page "), static_cast<size_t>(pages));
    EXPECT_EQ(renders(out, pages), want);
    EXPECT_QPDF_ACCEPTS(out);
  }
}

// Four documents from one template, their objects numbered in two ways and the logo's /Length
// spelled three ways.
TEST(SharedMerge, TemplateBatchWritesEachSharedObjectOnce) {
  if (!merge_tools::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed: check skipped";
  expect_template_shared(
      {write_temp("batch_1.pdf", template_pdf("Invoice 1001", 1, false, length_spelling::direct)),
       write_temp("batch_2.pdf", template_pdf("Invoice 1002", 2, true, length_spelling::indirect)),
       write_temp("batch_3.pdf", template_pdf("Invoice 1003", 1, false, length_spelling::spaced)),
       write_temp("batch_4.pdf", template_pdf("Invoice 1004", 1, true, length_spelling::direct))},
      5, "batch");
}

// One template document as qpdf writes it, plainly and encrypted with RC4 and with AES-256:
// after decryption the objects are the same, and are written once; but for the one with a
// string, which the decrypted copies write as a hexadecimal string, once for the plain copy and
// once for both decrypted ones (different text is never merged).
TEST(SharedMerge, EncryptedInputsShareAfterDecryption) {
  if (!merge_tools::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed: check skipped";
  const std::string source =
      write_temp("crypt_src.pdf", template_pdf("Notice", 2, false, length_spelling::direct));
  std::vector<std::string> inputs;
  const std::vector<std::string> ways = {
      "", "--allow-weak-crypto --encrypt \"\" owner 128 --use-aes=n --",
      "--encrypt \"\" owner 256 --"};
  for (size_t k = 0; k < ways.size(); ++k) {
    const std::string out = temp_path("crypt_" + std::to_string(k) + ".pdf");
    const merge_tools::command_result r =
        run("qpdf --static-id " + quoted(source) + " " + ways[k] + " " + quoted(out));
    ASSERT_EQ(r.status, 0) << r.output;
    ASSERT_EQ(read_file(out).find("/Encrypt") != std::string::npos, k > 0);
    inputs.push_back(out);
  }
  expect_template_shared(inputs, 6, "crypt", 2);
}

// The same file listed ten times: everything but the page objects (and the page tree that
// lists them) is written once, so the output is hardly larger than that of one listing.
TEST(SharedMerge, TheSameFileListedTenTimes) {
  const std::string in =
      write_temp("ten_in.pdf", template_pdf("Statement", 3, false, length_spelling::indirect));
  const std::string once = temp_path("ten_once.pdf");
  const std::string ten = temp_path("ten_ten.pdf");
  ASSERT_EQ(merge_opt({in}, once, PDFMERGE_SHARE_RESOURCES), 0) << pdfmerge_last_error();
  ASSERT_EQ(merge_opt(std::vector<std::string>(10, in), ten, PDFMERGE_SHARE_RESOURCES), 0)
      << pdfmerge_last_error();
  const std::string one = read_file(once);
  const std::string all = read_file(ten);
  EXPECT_EQ(pdfmerge_page_count(ten.c_str()), 30);
  // Each further listing adds its three page objects, three references in the tree and three
  // lines of the cross-reference table.
  size_t page_bytes = 0;
  // (Allowing 16 bytes more for every page, for numbers that have grown by a digit.)
  for (int n = 3; n <= 5; ++n) page_bytes += merge_tools::object_text(one, n).size() + 7 + 20 + 16;
  EXPECT_LE(all.size(), one.size() + 9 * page_bytes);
  EXPECT_EQ(count_of(all, "stream\n"), count_of(one, "stream\n"));
  EXPECT_QPDF_ACCEPTS(ten);
}

// Every combination of the five option bits on a mix of template documents and a marked file
// (a link, bookmarks, a hidden layer) listed twice: qpdf accepts the output, the library's own
// reader, qpdf and mutool count its pages, the header and the table are those of the chosen
// format, the same inputs give the same bytes, and every page renders as in the merge with the
// same earlier bits.
TEST(SharedMerge, EveryCombinationOfOptions) {
  if (!merge_tools::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed: check skipped";
  const std::string marked = write_temp("combo_marked.pdf", marked_pdf());
  const std::vector<std::string> inputs = {
      write_temp("combo_a.pdf", template_pdf("Payslip 7", 2, false, length_spelling::direct)),
      marked,
      write_temp("combo_b.pdf", template_pdf("Payslip 8", 1, true, length_spelling::indirect)),
      marked};
  const int pages = 7;
  const bool have_mutool = merge_tools::have_tool("mutool");
  std::map<int, std::vector<std::string>> earlier; // the renders of options 0..7
  std::map<int, std::vector<std::string>> earlier_outlines;
  for (int bits = 0; bits < 32; ++bits) {
    SCOPED_TRACE("options " + std::to_string(bits));
    const std::string out = temp_path("combo_" + std::to_string(bits) + ".pdf");
    ASSERT_EQ(merge_opt(inputs, out, bits), 0) << pdfmerge_last_error();
    const std::string pdf = read_file(out);
    const bool packed = (bits & PDFMERGE_OBJECT_STREAMS) != 0;
    EXPECT_EQ(pdf.compare(0, 8, packed ? "%PDF-1.5" : "%PDF-1.4"), 0);
    EXPECT_EQ(pdf.find("\nxref\n") == std::string::npos, packed);
    EXPECT_EQ(pdf.find("/Type /ObjStm") != std::string::npos, packed);
    EXPECT_EQ(pdfmerge_page_count(out.c_str()), pages);
    EXPECT_EQ(merge_tools::pdfinfo_pages(out), pages);
    if (have_mutool) {
      const merge_tools::command_result mu = run("mutool info " + quoted(out));
      EXPECT_EQ(mu.status, 0) << mu.output;
      EXPECT_NE(mu.output.find("Pages: " + std::to_string(pages)), std::string::npos) << mu.output;
    }
    if (bits >= 8) {
      const std::string again = temp_path("combo_again.pdf");
      ASSERT_EQ(merge_opt(inputs, again, bits), 0);
      EXPECT_TRUE(read_file(again) == pdf) << "a second merge gave other bytes";
    }
    const std::vector<std::string> looks = renders(out, pages);
    const std::vector<std::string> outline = keep_tools::outline_lines(out);
    if (bits < 8) {
      earlier[bits] = looks;
      earlier_outlines[bits] = outline;
    } else {
      EXPECT_EQ(looks, earlier[bits & 7]);
      EXPECT_EQ(outline, earlier_outlines[bits & 7]);
    }
    EXPECT_QPDF_ACCEPTS(out);
  }
}

} // namespace
