// Merges that make one document of their inputs: pdfmerge_files_ex's page ranges and titles,
// a bookmark per input, the document information, blank pages for duplex printing and page
// labels. Read back with qpdf --json, pdfinfo, pdftotext and pdftoppm, and from the bytes.
#include "keep_tools.h"
#include "kq_out_pdfmerge.h"
#include "merge_tools.h"
#include "pdf_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

// The fixtures are described with designated initializers that name only the fields a test
// sets; the others keep their defaults.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif

namespace {

using fixtures::read_file;
using fixtures::temp_path;
using fixtures::write_temp;
using keep_tools::merge_opt;
using merge_tools::have_tool;
using merge_tools::object_text;
using merge_tools::quoted;
using merge_tools::run;

constexpr int all_new_bits =
    PDFMERGE_OUTLINE_PER_INPUT | PDFMERGE_KEEP_DOC_INFO | PDFMERGE_PAD_ODD | PDFMERGE_PAGE_LABELS;

// pdfmerge_files_ex over lists; an empty list of ranges or titles passes a null array.
int merge_ex(const std::vector<std::string>& inputs, const std::vector<const char*>& ranges,
             const std::vector<const char*>& titles, const std::string& out, int options) {
  std::vector<const char*> paths;
  for (const std::string& p : inputs) paths.push_back(p.c_str());
  return pdfmerge_files_ex(paths.data(), ranges.empty() ? nullptr : ranges.data(),
                           titles.empty() ? nullptr : titles.data(), static_cast<int>(paths.size()),
                           out.c_str(), options);
}

// A document whose page n shows "<label>-n" in Helvetica.
struct doc_spec {
  int pages = 1;
  std::string label = "P";
  std::string info;    // the entries of its /Info dictionary (object 4), none when empty
  std::string catalog; // entries added to the catalog
  std::string media = "[0 0 612 792]";
  std::string last_page;                            // entries added to the last page's dictionary
  std::vector<std::pair<int, std::string>> objects; // further objects, numbered from 40
  std::vector<std::pair<int, std::string>> streams; // further streams (data only)
};

int page_object(int i) {
  return 10 + 2 * i;
}

std::string document(const doc_spec& s) {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R " + s.catalog + " >>");
  std::string kids;
  for (int i = 0; i < s.pages; ++i) kids += std::to_string(page_object(i)) + " 0 R ";
  b.object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(s.pages) + " >>");
  b.object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  if (!s.info.empty()) b.object(4, "<< " + s.info + " >>");
  for (int i = 0; i < s.pages; ++i) {
    const int num = page_object(i);
    b.object(num, "<< /Type /Page /Parent 2 0 R /MediaBox " + s.media +
                      " /Resources << /Font << /F1 3 0 R >> >> /Contents " +
                      std::to_string(num + 1) + " 0 R " + (i + 1 == s.pages ? s.last_page : "") +
                      " >>");
    b.stream(num + 1, "",
             "BT /F1 24 Tf 30 40 Td (" + s.label + "-" + std::to_string(i + 1) + ") Tj ET");
  }
  for (const auto& [num, body] : s.objects) b.object(num, body);
  for (const auto& [num, data] : s.streams) b.stream(num, "/Type /Metadata /Subtype /XML", data);
  int size = page_object(s.pages);
  for (const auto& [num, body] : s.objects) size = std::max(size, num + 1);
  for (const auto& [num, data] : s.streams) size = std::max(size, num + 1);
  b.xref_table().trailer("<< /Size " + std::to_string(size) + " /Root 1 0 R" +
                         std::string(s.info.empty() ? "" : " /Info 4 0 R") + " >>");
  return b.startxref().str();
}

// The text of each page as pdftotext reads it, trimmed; empty when pdftotext is absent.
std::vector<std::string> page_texts(const std::string& path) {
  std::vector<std::string> pages;
  const std::string text = merge_tools::pdftotext(path);
  size_t at = 0;
  for (size_t ff; (ff = text.find('\f', at)) != std::string::npos; at = ff + 1) {
    std::string page = text.substr(at, ff - at);
    while (!page.empty() && (page.back() == '\n' || page.back() == ' ')) page.pop_back();
    pages.push_back(page);
  }
  return pages;
}

// What pdfinfo says after "<key>:" (its whole line, trimmed); "?" when pdfinfo is absent.
std::string pdfinfo_value(const std::string& path, const std::string& key,
                          const std::string& flags = "") {
  if (!have_tool("pdfinfo")) return "?";
  const std::string text = "\n" + run("pdfinfo " + flags + " " + quoted(path)).output;
  const size_t at = text.find("\n" + key + ":");
  if (at == std::string::npos) return "";
  size_t from = text.find_first_not_of(' ', at + key.size() + 2);
  return text.substr(from, text.find('\n', from) - from);
}

// The page labels of `path` as qpdf reads them: "index style start prefix" per range.
std::vector<std::string> label_lines(const std::string& path) {
  return keep_tools::qpdf_json_lines(path, "pagelabels",
                                     "import json,sys\n"
                                     "for r in json.load(sys.stdin)['pagelabels']:\n"
                                     "  l = r['label']\n"
                                     "  print(r['index'], l.get('/S', '-'), l.get('/St', 1),\n"
                                     "        l.get('/P', 'u:')[2:])\n");
}

// True when a PPM image holds nothing but white.
bool all_white(const std::string& ppm) {
  // "P6\nW H\n255\n" then the pixels.
  size_t at = 0;
  for (int fields = 0; fields < 4; ++fields) at = ppm.find_first_of(" \n", at) + 1;
  return at > 0 && at < ppm.size() && ppm.find_first_not_of('\xFF', at) == std::string::npos;
}

// ---------------------------------------------------------------- page ranges

TEST(MergeRanges, SelectedPagesComeInTheirOrderAndRenderAsTheirSources) {
  const std::string a = write_temp("ranges_a.pdf", document({.pages = 4, .label = "A"}));
  const std::string b = write_temp("ranges_b.pdf", document({.pages = 3, .label = "B"}));
  const std::string out = temp_path("ranges_out.pdf");
  ASSERT_EQ(merge_ex({a, b}, {"z,1, 2-3", "r1-r3"}, {}, out, 0), 0) << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 7);
  EXPECT_EQ(pdfmerge_last_error(), std::string());
  const std::vector<std::string> texts = page_texts(out);
  if (!texts.empty()) {
    const std::vector<std::string> expected = {"A-4", "A-1", "A-2", "A-3", "B-3", "B-2", "B-1"};
    EXPECT_EQ(texts, expected);
  }
  const struct {
    int out_page;
    const std::string& source;
    int page;
  } renders[] = {{1, a, 4}, {2, a, 1}, {4, a, 3}, {5, b, 3}, {7, b, 1}};
  for (const auto& r : renders) {
    const std::string got = keep_tools::render(out, r.out_page);
    if (got.empty()) break; // pdftoppm is absent
    EXPECT_EQ(got, keep_tools::render(r.source, r.page)) << "output page " << r.out_page;
  }
  EXPECT_QPDF_ACCEPTS(out);
}

TEST(MergeRanges, PagesLeftOutBringNothingWithThem) {
  doc_spec spec{.pages = 3, .label = "C"};
  const std::string in = write_temp("left_out.pdf", document(spec));
  const std::string out = temp_path("left_out_out.pdf");
  ASSERT_EQ(merge_ex({in}, {"2"}, {}, out, 0), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  EXPECT_NE(pdf.find("(C-2)"), std::string::npos);
  EXPECT_EQ(pdf.find("(C-1)"), std::string::npos);
  EXPECT_EQ(pdf.find("(C-3)"), std::string::npos);
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 1);
}

TEST(MergeRanges, BadRangesFailBeforeAnythingIsWritten) {
  const std::string three = write_temp("bad_three.pdf", document({.pages = 3}));
  const std::string missing = temp_path("bad_missing.pdf");
  const struct {
    std::vector<std::string> inputs;
    std::vector<const char*> ranges;
    std::string message;
  } cases[] = {
      {{three}, {"1-x"}, "input 1: bad page range \"1-x\": \"x\" is not a page number"},
      {{three}, {""}, "input 1: bad page range \"\": selects no page"},
      {{three, three},
       {nullptr, "4"},
       "input 2: bad page range \"4\": page 4 does not exist: the input has 3 pages"},
      {{three, three},
       {nullptr, "r0"},
       "input 2: bad page range \"r0\": page r0 does not exist: r1 is the last page"},
      // Ranges are read before any input is opened.
      {{missing, three}, {nullptr, "2,,3"}, "input 2: bad page range \"2,,3\": item 2 is empty"},
      // A range that reads fails on its input's pages only once that input is loaded.
      {{missing, three}, {nullptr, "9"}, "input 1: cannot open " + missing},
      {{three}, {"1\n2"}, "input 1: bad page range \"1\\n2\": \"1\\n2\" is not a page number"},
  };
  for (const auto& c : cases) {
    const std::string dir = merge_tools::fresh_dir("bad_range");
    const std::string out = dir + "/out.pdf";
    EXPECT_EQ(merge_ex(c.inputs, c.ranges, {}, out, 0), -1) << c.message;
    EXPECT_EQ(pdfmerge_last_error(), c.message);
    EXPECT_EQ(merge_tools::files_in(dir), std::vector<std::string>()) << c.message;
  }
}

TEST(MergeRanges, ArgumentErrorsAreThoseOfTheOtherMerges) {
  const std::string in = write_temp("ex_args.pdf", document({}));
  const std::string out = temp_path("ex_args_out.pdf");
  const char* one[] = {in.c_str()};
  const char* with_null[] = {in.c_str(), nullptr};
  EXPECT_EQ(pdfmerge_files_ex(nullptr, nullptr, nullptr, 1, out.c_str(), 0), -1);
  EXPECT_EQ(pdfmerge_last_error(), std::string("no input paths"));
  EXPECT_EQ(pdfmerge_files_ex(one, nullptr, nullptr, 0, out.c_str(), 0), -1);
  EXPECT_EQ(pdfmerge_last_error(), std::string("no input paths"));
  EXPECT_EQ(pdfmerge_files_ex(one, nullptr, nullptr, 1, nullptr, 0), -1);
  EXPECT_EQ(pdfmerge_last_error(), std::string("NULL output path"));
  EXPECT_EQ(pdfmerge_files_ex(with_null, nullptr, nullptr, 2, out.c_str(), 0), -1);
  EXPECT_EQ(pdfmerge_last_error(), std::string("input 2: NULL path argument"));
  EXPECT_EQ(pdfmerge_files_ex(one, nullptr, nullptr, 1, out.c_str(), 1024), -1);
  EXPECT_EQ(pdfmerge_last_error(), std::string("unknown option bits 0x400"));
  EXPECT_FALSE(fixtures::file_exists(out));
}

// Without ranges and titles the new export writes what pdfmerge_files_opt writes, and so do
// arrays of null entries and ranges that take every page in order.
TEST(MergeRanges, NoChoicesGiveTheBytesOfTheOptionMerge) {
  const std::string a = write_temp(
      "same_a.pdf",
      document({.pages = 3,
                .info = "/Title (A) /Author (Ann)",
                .catalog = "/PageLabels << /Nums [0 << /S /r >>] >> /Outlines 40 0 R",
                .objects = {{40, "<< /Type /Outlines /First 41 0 R /Last 41 0 R /Count 1 >>"},
                            {41, "<< /Title (one) /Parent 40 0 R /Dest [12 0 R /Fit] >>"}}}));
  const std::string b = write_temp("same_b.pdf", document({.pages = 1, .label = "B"}));
  const std::vector<std::string> inputs = {a, b, a};
  const std::string opt = temp_path("same_opt.pdf");
  const std::string ex = temp_path("same_ex.pdf");
  for (int options : {0, 1, 2, 3, 4, 7, 32, 64, 128, 256, 7 | all_new_bits}) {
    ASSERT_EQ(merge_opt(inputs, opt, options), 0) << pdfmerge_last_error();
    const std::string want = read_file(opt);
    ASSERT_EQ(merge_ex(inputs, {}, {}, ex, options), 0) << pdfmerge_last_error();
    EXPECT_EQ(read_file(ex), want) << "null arrays, options " << options;
    ASSERT_EQ(
        merge_ex(inputs, {nullptr, nullptr, nullptr}, {nullptr, nullptr, nullptr}, ex, options), 0);
    EXPECT_EQ(read_file(ex), want) << "null entries, options " << options;
    ASSERT_EQ(merge_ex(inputs, {"1-z", "z", " 1 - 3 "}, {}, ex, options), 0);
    EXPECT_EQ(read_file(ex), want) << "every page, options " << options;
  }
}

// ---------------------------------------------------------------- a bookmark per input

TEST(OutlinePerInput, TitlesComeFromTheHostTheDocumentOrTheFileName) {
  // UTF-16 "Jahresbericht – Ü", a PDFDocEncoding bullet, a blank title, and a title the host
  // replaces.
  const std::string a = write_temp(
      "per_a.pdf",
      document({.pages = 2,
                .info = "/Title <FEFF004A00610068007200650073006200650072006900630068007400"
                        "2020130020 00DC>",
                .catalog = "/Outlines 40 0 R",
                .objects = {{40, "<< /Type /Outlines /First 41 0 R /Last 42 0 R /Count 2 >>"},
                            {41, "<< /Title (a1) /Parent 40 0 R /Next 42 0 R "
                                 "/Dest [12 0 R /Fit] >>"},
                            {42, "<< /Title (a2) /Parent 40 0 R /Prev 41 0 R "
                                 "/Dest [10 0 R /Fit] >>"}}}));
  const std::string b =
      write_temp("per_b.pdf", document({.info = "/Title (Price \\200 list) /Author (B)"}));
  const std::string c = write_temp("Rechnung Nr. 5.pdf", document({.info = "/Title (  )"}));
  const std::string d = write_temp("per_d.pdf", document({.info = "/Title (Replaced)"}));
  const std::string out = temp_path("per_out.pdf");
  ASSERT_EQ(merge_ex({a, b, c, d}, {},
                     {nullptr, "", nullptr, "Invoice 4711 \xE2\x80\x93 M\xC3\xA4rz"}, out,
                     PDFMERGE_OUTLINE_PER_INPUT | PDFMERGE_KEEP_OUTLINES),
            0)
      << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  EXPECT_NE(pdf.find("/Title (Rechnung Nr. 5)"), std::string::npos);
  EXPECT_NE(pdf.find("/Title <feff00500072006900630065002020220020006c006900730074>"),
            std::string::npos); // "Price • list" as UTF-16
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  EXPECT_QPDF_ACCEPTS(out);
  const std::vector<std::string> lines = keep_tools::outline_lines(out);
  if (lines.empty()) GTEST_SKIP() << "python3 is not installed";
  const std::vector<std::string> expected = {
      "Jahresbericht \xE2\x80\x93 \xC3\x9C 1 closed",
      "  a1 2 open",
      "  a2 1 open",
      "Price \xE2\x80\xA2 list 3 open",
      "Rechnung Nr. 5 4 open",
      "Invoice 4711 \xE2\x80\x93 M\xC3\xA4rz 5 open",
  };
  EXPECT_EQ(lines, expected);
}

TEST(OutlinePerInput, OnlyInputsBookmarksWithoutTheirOwn) {
  const std::string a = write_temp(
      "only_a.pdf",
      document({.pages = 3,
                .catalog = "/Outlines 40 0 R",
                .objects = {{40, "<< /Type /Outlines /First 41 0 R /Last 41 0 R /Count 1 >>"},
                            {41, "<< /Title (own) /Parent 40 0 R /Dest [14 0 R /Fit] >>"}}}));
  const std::string out = temp_path("only_out.pdf");
  ASSERT_EQ(merge_ex({a, a}, {"2-3", "z"}, {"first", "second"}, out, PDFMERGE_OUTLINE_PER_INPUT),
            0);
  EXPECT_QPDF_ACCEPTS(out);
  const std::vector<std::string> lines = keep_tools::outline_lines(out);
  if (lines.empty()) GTEST_SKIP() << "python3 is not installed";
  EXPECT_EQ(lines, std::vector<std::string>({"first 1 open", "second 3 open"}));
}

// ---------------------------------------------------------------- document information

const std::string xmp_packet =
    "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
    "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
    "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
    "xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" pdfaid:part=\"2\" "
    "pdfaid:conformance=\"B\"><dc:format>application/pdf</dc:format></rdf:Description>\n"
    "</rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";

TEST(KeepDocInfo, TheFirstInputWithInformationGivesItAndTheFirstItsMetadata) {
  // The first input has no information of its own, only metadata and a language.
  const std::string a = write_temp(
      "info_a.pdf",
      document({.catalog = "/Metadata 40 0 R /Lang (de-CH)", .streams = {{40, xmp_packet}}}));
  const std::string b =
      write_temp("info_b.pdf",
                 document({.info = "/Title (Annual report) /Author <FEFF004D00FC006C006C00650072> "
                                   "/Subject (S) /Keywords (k1, k2) /Creator (Writer) "
                                   "/CreationDate (D:20240102030405Z) /Producer (Other) "
                                   "/ModDate (D:20250101000000Z) /Custom (x)"}));
  const std::string c = write_temp("info_c.pdf", document({.info = "/Title (Third)"}));
  const std::string out = temp_path("info_out.pdf");
  ASSERT_EQ(merge_opt({a, b, c}, out, PDFMERGE_KEEP_DOC_INFO), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  // No date of its own: the same inputs give the same bytes.
  ASSERT_EQ(merge_opt({a, b, c}, out, PDFMERGE_KEEP_DOC_INFO), 0);
  EXPECT_EQ(read_file(out), pdf);
  EXPECT_EQ(pdf.find("ModDate"), std::string::npos);
  EXPECT_EQ(pdf.find("Custom"), std::string::npos);
  EXPECT_EQ(pdf.find("Third"), std::string::npos);
  EXPECT_EQ(pdf.find("pdfaid"), std::string::npos);
  EXPECT_NE(pdf.find("<dc:format>application/pdf</dc:format>"), std::string::npos);
  EXPECT_NE(pdf.find("/Lang (de-CH)"), std::string::npos);
  EXPECT_NE(pdf.find("/Producer (kq_out_pdfmerge " KQ_PDFMERGE_VERSION_STRING ")"),
            std::string::npos);
  EXPECT_QPDF_ACCEPTS(out);
  if (!have_tool("pdfinfo")) GTEST_SKIP() << "pdfinfo is not installed";
  EXPECT_EQ(pdfinfo_value(out, "Title"), "Annual report");
  EXPECT_EQ(pdfinfo_value(out, "Author"), "M\xC3\xBCller");
  EXPECT_EQ(pdfinfo_value(out, "Subject"), "S");
  EXPECT_EQ(pdfinfo_value(out, "Keywords"), "k1, k2");
  EXPECT_EQ(pdfinfo_value(out, "Creator"), "Writer");
  EXPECT_EQ(pdfinfo_value(out, "Producer"), "kq_out_pdfmerge " KQ_PDFMERGE_VERSION_STRING);
  EXPECT_NE(pdfinfo_value(out, "CreationDate"), "");
  EXPECT_EQ(pdfinfo_value(out, "ModDate"), "");
  EXPECT_EQ(pdfinfo_value(out, "Metadata Stream"), "yes");
}

TEST(KeepDocInfo, WithoutAnyInformationOnlyTheProducerIsWritten) {
  const std::string a = write_temp("noinfo_a.pdf", document({.info = "/Title ()"}));
  const std::string out = temp_path("noinfo_out.pdf");
  ASSERT_EQ(merge_opt({a, a}, out, PDFMERGE_KEEP_DOC_INFO), 0) << pdfmerge_last_error();
  const std::string pdf = read_file(out);
  const size_t trailer = pdf.rfind("trailer");
  ASSERT_NE(trailer, std::string::npos);
  const std::vector<int> refs =
      keep_tools::refs_in(keep_tools::value_of(pdf.substr(trailer), "Info"));
  ASSERT_EQ(refs.size(), 1u);
  EXPECT_EQ(object_text(pdf, refs[0]),
            std::to_string(refs[0]) +
                " 0 obj\n<< /Producer (kq_out_pdfmerge " KQ_PDFMERGE_VERSION_STRING
                ") >>\nendobj\n");
  EXPECT_EQ(pdf.find("/Metadata"), std::string::npos);
  EXPECT_EQ(pdf.find("/Lang"), std::string::npos);
}

// A one-page document's body (catalog 1, tree 2, page 3) with `tail` appended by the case.
fixtures::pdf_builder one_page() {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] >>");
  return b;
}

// The /Info of the newest trailer or cross-reference stream counts, wherever it is written.
TEST(KeepDocInfo, TheNewestTrailersInformationCounts) {
  std::vector<std::pair<std::string, std::string>> cases; // (name, file), each titled "New"
  {
    fixtures::pdf_builder b = one_page();
    b.object(4, "<< /Title (Old) >>");
    b.xref_table().trailer("<< /Size 5 /Root 1 0 R /Info 4 0 R >>").startxref();
    const long first = b.last_xref();
    b.object(5, "<< /Title (New) >>");
    b.xref_table().trailer("<< /Size 6 /Root 1 0 R /Info 5 0 R /Prev " + std::to_string(first) +
                           " >>");
    cases.emplace_back("an incremental update", b.startxref().str());
  }
  {
    fixtures::pdf_builder b = one_page();
    b.object(4, "<< /Title (New) >>");
    b.xref_stream(5, "/Root 1 0 R /Info 4 0 R");
    cases.emplace_back("a cross-reference stream", b.startxref().str());
  }
  {
    fixtures::pdf_builder b = one_page();
    b.object(4, "<< /Title (Old) >>");
    b.xref_table().trailer("<< /Size 5 /Root 1 0 R /Info 4 0 R >>").startxref();
    int first = 0;
    const std::string body = fixtures::objstm_body({{6, "<< /Title (New) >>"}}, first);
    b.stream(7, "/Type /ObjStm /N 1 /First " + std::to_string(first), body);
    b.compressed(6, 7, 0);
    b.xref_stream(8, "/Root 1 0 R /Info 6 0 R");
    cases.emplace_back("an update with an object stream", b.startxref().str());
  }
  {
    fixtures::pdf_builder b = one_page();
    b.xref_table().trailer("<< /Size 4 /Root 1 0 R /Info << /Title (New) >> >>");
    cases.emplace_back("a dictionary in the trailer", b.startxref().str());
  }
  for (const auto& [name, bytes] : cases) {
    const std::string in = write_temp("newest.pdf", bytes);
    const std::string out = temp_path("newest_out.pdf");
    ASSERT_EQ(merge_opt({in}, out, PDFMERGE_KEEP_DOC_INFO), 0) << name << pdfmerge_last_error();
    EXPECT_NE(read_file(out).find("<< /Title (New) /Producer"), std::string::npos) << name;
  }
}

// The title of an encrypted input is read decrypted, for the information and the bookmark.
TEST(KeepDocInfo, EncryptedInputsTitlesAreDecrypted) {
  if (!have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed";
  const std::string plain = write_temp(
      "secret_plain.pdf",
      document(
          {.info = "/Title <FEFF0053006500630072006500740020004C00E4006E0064> /Author (Mallory)"}));
  for (const char* bits : {"128 --use-aes=y", "256"}) {
    const std::string secret = temp_path("secret.pdf");
    const merge_tools::command_result enc =
        run("qpdf --allow-weak-crypto --encrypt '' owner " + std::string(bits) + " -- " +
            quoted(plain) + " " + quoted(secret));
    ASSERT_EQ(enc.status, 0) << enc.output;
    ASSERT_EQ(read_file(secret).find("Mallory"), std::string::npos) << "the file is not encrypted";
    const std::string out = temp_path("secret_out.pdf");
    ASSERT_EQ(merge_opt({secret}, out, PDFMERGE_KEEP_DOC_INFO | PDFMERGE_OUTLINE_PER_INPUT), 0)
        << pdfmerge_last_error();
    const std::string pdf = read_file(out);
    EXPECT_NE(pdf.find("/Author (Mallory)"), std::string::npos) << bits;
    const std::vector<std::string> lines = keep_tools::outline_lines(out);
    if (!lines.empty()) {
      EXPECT_EQ(lines, std::vector<std::string>({"Secret L\xC3\xA4nd 1 open"})) << bits;
    }
    if (have_tool("pdfinfo")) {
      EXPECT_EQ(pdfinfo_value(out, "Title"), "Secret L\xC3\xA4nd") << bits;
    }
  }
}

// ---------------------------------------------------------------- blank pages

TEST(PadOdd, AnInputOfOddPagesIsFollowedByABlankPageShapedLikeItsLast) {
  const std::string odd =
      write_temp("pad_odd.pdf", document({.pages = 1,
                                          .media = "[0 0 300 400]",
                                          .last_page = "/CropBox [10 20 290 380] /Rotate 90"}));
  const std::string two = write_temp("pad_two.pdf", document({.pages = 2, .label = "T"}));
  const std::string three = write_temp("pad_three.pdf", document({.pages = 3}));
  const std::string out = temp_path("pad_out.pdf");
  // 1 + blank, 2, 1 of the two + blank, 3 (the last input: no blank after it).
  ASSERT_EQ(merge_ex({odd, two, two, three}, {nullptr, nullptr, "2", nullptr}, {}, out,
                     PDFMERGE_PAD_ODD | PDFMERGE_COMPRESS_CONTENT),
            0)
      << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 9);
  const std::string pdf = read_file(out);
  // The blank pages' content is empty, even compressed.
  EXPECT_EQ(object_text(pdf, 4 + 9), "13 0 obj\n<< /Length 0 >>\nstream\n\nendstream\nendobj\n");
  EXPECT_EQ(object_text(pdf, 8 + 9), "17 0 obj\n<< /Length 0 >>\nstream\n\nendstream\nendobj\n");
  EXPECT_QPDF_ACCEPTS(out);
  if (have_tool("pdfinfo")) {
    const std::string boxes = "-box -f 1 -l 9";
    for (const char* what : {"size", "rot", "MediaBox", "CropBox"}) {
      const std::string first = pdfinfo_value(out, "Page    1 " + std::string(what), boxes);
      EXPECT_NE(first, "");
      EXPECT_EQ(pdfinfo_value(out, "Page    2 " + std::string(what), boxes), first) << what;
    }
    EXPECT_EQ(pdfinfo_value(out, "Page    2 rot", boxes), "90");
    EXPECT_EQ(pdfinfo_value(out, "Page    2 MediaBox", boxes), "0.00     0.00   300.00   400.00");
    EXPECT_EQ(pdfinfo_value(out, "Page    6 size", boxes), "612 x 792 pts (letter)");
    EXPECT_EQ(pdfinfo_value(out, "Page    6 rot", boxes), "0");
  }
  const std::vector<std::string> texts = page_texts(out);
  if (!texts.empty()) {
    const std::vector<std::string> expected = {"P-1", "",    "T-1", "T-2", "T-2",
                                               "",    "P-1", "P-2", "P-3"};
    EXPECT_EQ(texts, expected);
  }
  for (int blank : {2, 6}) {
    const std::string image = keep_tools::render(out, blank);
    if (image.empty()) break;
    EXPECT_TRUE(all_white(image)) << "page " << blank;
  }
  EXPECT_FALSE(all_white(keep_tools::render(out, 1)));
}

// ---------------------------------------------------------------- page labels

TEST(PageLabels, EveryPageKeepsItsLabelAndOthersTheirPageNumber) {
  const std::string front = write_temp(
      "labels_front.pdf",
      document({.pages = 5,
                .catalog = "/PageLabels 40 0 R",
                .objects = {{40, "<< /Kids [41 0 R 42 0 R] >>"},
                            {41, "<< /Nums [0 << /S /r >> 2 << /S /D >>] /Limits [0 2] >>"},
                            {42, "<< /Nums [4 43 0 R] /Limits [4 4] >>"},
                            {43, "<< /S /A /P (App-) >>"}}}));
  const std::string plain = write_temp("labels_plain.pdf", document({.pages = 2}));
  const std::string from_ten = write_temp(
      "labels_ten.pdf",
      document({.pages = 3, .catalog = "/PageLabels << /Nums [0 << /S /D /St 10 >>] >>"}));
  const std::string out = temp_path("labels_out.pdf");
  ASSERT_EQ(merge_ex({front, plain, from_ten, front}, {"1-3,5", nullptr, "z", "1"}, {}, out,
                     PDFMERGE_PAGE_LABELS | PDFMERGE_PAD_ODD),
            0)
      << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 9);
  EXPECT_QPDF_ACCEPTS(out);
  const std::vector<std::string> lines = label_lines(out);
  if (lines.empty()) GTEST_SKIP() << "python3 is not installed";
  // i ii 1 App-A | 5 6 | 12, blank 8 | i
  const std::vector<std::string> expected = {"0 /r 1 ",  "2 /D 1 ", "3 /A 1 App-", "4 /D 5 ",
                                             "6 /D 12 ", "7 /D 8 ", "8 /r 1 "};
  EXPECT_EQ(lines, expected);
}

TEST(PageLabels, LabelsThatContinueOneAnotherAreOneRange) {
  const std::string counted =
      write_temp("runs_counted.pdf",
                 document({.pages = 2, .catalog = "/PageLabels << /Nums [0 << /S /D >>] >>"}));
  const std::string plain = write_temp("runs_plain.pdf", document({.pages = 3}));
  const std::string out = temp_path("runs_out.pdf");
  ASSERT_EQ(merge_ex({counted, plain, counted}, {}, {}, out, PDFMERGE_PAGE_LABELS), 0)
      << pdfmerge_last_error();
  const std::vector<std::string> lines = label_lines(out);
  if (lines.empty()) GTEST_SKIP() << "qpdf or python3 is not installed";
  // 1 2 | 3 4 5 | 1 2: the second input's page numbers continue the first's labels.
  EXPECT_EQ(lines, std::vector<std::string>({"0 /D 1 ", "5 /D 1 "}));
  // Without the option no labels are written.
  ASSERT_EQ(merge_ex({counted, plain}, {}, {}, out, 0), 0);
  EXPECT_EQ(read_file(out).find("/PageLabels"), std::string::npos);
}

// ---------------------------------------------------------------- together

// Every option at once, with ranges: links and bookmarks to pages left out lose their target,
// a page taken twice shares its annotations, and the file stays sound.
// Two inputs for every option at once: the first's page 1 lists a link to its page 2, which the
// range leaves out; the second has three labelled pages.
std::pair<std::string, std::string> together_inputs() {
  // Page 1 lists a link to page 2, which the range leaves out.
  std::string bytes = document(
      {.pages = 2,
       .info = "/Title (Linked)",
       .catalog = "/Outlines 40 0 R /PageLabels << /Nums [0 << /S /R >>] >>",
       .objects = {{40, "<< /Type /Outlines /First 41 0 R /Last 42 0 R /Count 2 >>"},
                   {41, "<< /Title (to 1) /Parent 40 0 R /Next 42 0 R /Dest [10 0 R /Fit] >>"},
                   {42, "<< /Title (to 2) /Parent 40 0 R /Prev 41 0 R /Dest [12 0 R /Fit] >>"},
                   {43, "<< /Type /Annot /Subtype /Link /Rect [0 0 50 50] /Border [0 0 0] "
                        "/Dest [12 0 R /Fit] >>"}}});
  const std::string marker = "/Contents 11 0 R ";
  bytes.replace(bytes.find(marker), marker.size(), marker + "/Annots [43 0 R] ");
  return {write_temp("together_linked.pdf", bytes),
          write_temp("together_other.pdf", document({.pages = 3, .label = "O"}))};
}

TEST(MergeDocument, EveryOptionTogether) {
  const auto [in, other] = together_inputs();
  const std::string out = temp_path("together_out.pdf");
  ASSERT_EQ(merge_ex({in, other}, {"1,1", "r1-r3"}, {nullptr, "Other"}, out,
                     PDFMERGE_KEEP_ANNOTATIONS | PDFMERGE_KEEP_OUTLINES |
                         PDFMERGE_COMPRESS_CONTENT | all_new_bits),
            0)
      << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 5);
  const std::string pdf = read_file(out);
  EXPECT_EQ(keep_tools::dangling_refs(pdf), std::vector<int>());
  // Both listings of page 1 share the link, which lost its target.
  const std::vector<int> first = keep_tools::annots_of(pdf, 3);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(keep_tools::annots_of(pdf, 4), first);
  EXPECT_EQ(object_text(pdf, first[0]).find("/Dest"), std::string::npos);
  EXPECT_QPDF_ACCEPTS(out);
  const std::vector<std::string> outline = keep_tools::outline_lines(out);
  if (!outline.empty()) {
    EXPECT_EQ(outline, std::vector<std::string>(
                           {"Linked 1 closed", "  to 1 1 open", "  to 2 - open", "Other 3 open"}));
  }
  const std::vector<std::string> labels = label_lines(out);
  if (!labels.empty()) {
    // I I (page 1 twice) | 3 4 5
    EXPECT_EQ(labels, std::vector<std::string>({"0 /R 1 ", "1 /R 1 ", "2 /D 3 "}));
  }
  if (have_tool("pdfinfo")) {
    EXPECT_EQ(pdfinfo_value(out, "Title"), "Linked");
  }
}

// The same with the objects shared and packed into object streams: the document comes out the
// same, read through the tools (its objects are compressed).
TEST(MergeDocument, EveryOptionTogetherWithSharedObjectsAndObjectStreams) {
  const auto [in, other] = together_inputs();
  const std::string out = temp_path("together_compact_out.pdf");
  ASSERT_EQ(merge_ex({in, other}, {"1,1", "r1-r3"}, {nullptr, "Other"}, out,
                     PDFMERGE_KEEP_ANNOTATIONS | PDFMERGE_KEEP_OUTLINES |
                         PDFMERGE_COMPRESS_CONTENT | PDFMERGE_SHARE_RESOURCES |
                         PDFMERGE_OBJECT_STREAMS | all_new_bits),
            0)
      << pdfmerge_last_error();
  EXPECT_EQ(pdfmerge_page_count(out.c_str()), 5);
  EXPECT_EQ(read_file(out).rfind("%PDF-1.5", 0), 0u);
  EXPECT_QPDF_ACCEPTS(out);
  const std::vector<std::string> outline = keep_tools::outline_lines(out);
  if (!outline.empty()) {
    EXPECT_EQ(outline, std::vector<std::string>(
                           {"Linked 1 closed", "  to 1 1 open", "  to 2 - open", "Other 3 open"}));
  }
  const std::vector<std::string> labels = label_lines(out);
  if (!labels.empty()) {
    EXPECT_EQ(labels, std::vector<std::string>({"0 /R 1 ", "1 /R 1 ", "2 /D 3 "}));
  }
  if (have_tool("pdfinfo")) {
    EXPECT_EQ(pdfinfo_value(out, "Title"), "Linked");
  }
}

} // namespace
