// Writes the seed corpora of the fuzz targets into fuzz/seeds/<target>/ below the folder given
// as the only argument (the repository root): small documents made with the fixture builder
// (among them small files of the crafted shapes whose values are referenced many times),
// zlib streams, and encoded data for every filter and predictor; encrypted variants of two of
// the documents, made with qpdf when it is installed, and encrypted documents made with the
// fixture writer of the MD5 revisions (an empty owner password, a short V 4 key, a signature and
// crypt filters, crafted records and filter tables at small sizes). The bundled examples are
// copied into the api seeds by hand (see README.md).
#include "crafted_shapes.h"
#include "crypt_shapes.h"
#include "filter_encoders.h"
#include "md5_encryption.h"
#include "pdf_builder.h"
#include "zlib_raw.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using fixtures::pdf_builder;
using vec = std::vector<uint8_t>;

namespace {

std::filesystem::path g_root;
bool g_ok = true;

void put(const char* target, const std::string& name, const std::string& bytes) {
  const std::filesystem::path dir = g_root / "fuzz" / "seeds" / target;
  std::filesystem::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  g_ok = g_ok && static_cast<bool>(out);
}

std::string str(const vec& v) {
  return {v.begin(), v.end()};
}

const std::string text =
    "BT /F1 24 Tf 72 700 Td (Seed text, seed text, seed text) Tj ET\n0 0 1 rg 72 600 200 40 re f\n";

// ---------------------------------------------------------------- whole documents

std::string page_tree_doc(const std::string& contents_dict, const std::string& contents) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 200 200] >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>");
  b.stream(4, contents_dict, contents);
  b.xref_table().trailer("<< /Size 5 /Root 1 0 R >>");
  return b.startxref().str();
}

std::string incremental_doc() {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 4 0 R >>");
  b.stream(4, "", "0 0 m 100 100 l S");
  b.xref_table().trailer("<< /Size 5 /Root 1 0 R >>").startxref();
  const long first = b.last_xref();
  b.object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>");
  b.object(5,
           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Rotate 270 /Contents 4 0 R >>");
  b.xref_table().trailer("<< /Size 6 /Root 1 0 R /Prev " + std::to_string(first) + " >>");
  return b.startxref().str();
}

std::string object_stream_doc() {
  int first = 0;
  const std::string body = fixtures::objstm_body(
      {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
       {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 100 100] >>"},
       {3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << >> >>"}},
      first);
  pdf_builder b("%PDF-1.5\n");
  b.stream(5, "/Type /ObjStm /N 3 /First " + std::to_string(first) + " /Filter /FlateDecode",
           str(zlib_raw::compress(vec(body.begin(), body.end()), 9, 0)));
  b.stream(4, "", "1 0 0 RG 10 10 80 80 re S");
  b.compressed(1, 5, 0).compressed(2, 5, 1).compressed(3, 5, 2);
  b.xref_stream(6, "/Root 1 0 R");
  return b.startxref().str();
}

// No cross-reference table, junk before the header, a wrong /Length.
std::string damaged_doc() {
  pdf_builder b("garbage\r\n%PDF-1.3\n");
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] /Contents 4 0 R >>");
  b.stream(4, "", "0 0 m 50 50 l S", 99);
  b.trailer("<< /Root 1 0 R >>");
  return b.str() + "%%EOF\n";
}

// Layers: groups off by default, an /Order with a nested array and a label, a usage
// dictionary, and the page's /Properties naming a group and a membership dictionary.
std::string layers_doc() {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [5 0 R 6 0 R 7 0 R] /D << "
              "/BaseState /OFF /ON [6 0 R] /Order [5 0 R (Sub) [6 0 R 7 0 R]] /RBGroups [[6 0 R "
              "7 0 R]] /AS [<< /Event /Print /OCGs [5 0 R] /Category [/Print] >>] >> >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 4 0 R /Resources "
              "<< /Properties << /L1 5 0 R /M 8 0 R >> >> >>");
  b.stream(4, "", "/OC /L1 BDC 0 0 100 100 re f EMC /OC /M BDC 100 0 100 100 re f EMC");
  b.object(5, "<< /Type /OCG /Name (One) >>");
  b.object(6, "<< /Type /OCG /Name (Two) >>");
  b.object(7, "<< /Type /OCG /Name (Three) /Intent /View >>");
  b.object(8, "<< /Type /OCMD /OCGs [6 0 R 7 0 R] /P /AnyOn >>");
  b.xref_table().trailer("<< /Size 9 /Root 1 0 R >>");
  return b.startxref().str();
}

// Two pages marked up by a reader: a link by a named destination, a GoTo through the /Names
// tree, a square with its popup and appearance, a filled form field, and nested bookmarks, one
// of them to a page outside the tree. Padded to a length of 7 modulo 8, the length by which
// the api target picks pdfmerge_files_ex with every option.
std::string marked_doc() {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /Outlines 20 0 R /Dests << /two [4 0 R /Fit] >> "
              "/Names << /Dests << /Names [(one) [3 0 R /XYZ 0 50 0]] >> >> "
              "/AcroForm << /Fields [9 0 R] /DR << /Font << /Helv 11 0 R >> >> "
              "/DA (/Helv 0 Tf 0 g) /NeedAppearances true >> >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] /Contents 5 0 R "
              "/Annots [6 0 R 7 0 R 8 0 R 9 0 R] >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] /Contents 5 0 R "
              "/Annots 12 0 R >>");
  b.stream(5, "", "0 0 m 50 50 l S");
  b.object(6, "<< /Type /Annot /Subtype /Link /Rect [0 0 9 9] /Dest /two /P 3 0 R >>");
  b.object(7, "<< /Type /Annot /Subtype /Square /Rect [10 10 40 40] /AP << /N 10 0 R >> "
              "/Popup 8 0 R /P 3 0 R >>");
  b.object(8, "<< /Type /Annot /Subtype /Popup /Rect [0 0 20 20] /Parent 7 0 R /P 3 0 R >>");
  b.object(9, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (seed) "
              "/DA (/Helv 9 Tf 0 g) /Rect [0 40 50 50] /P 3 0 R >>");
  b.stream(10, "/Type /XObject /Subtype /Form /BBox [0 0 30 30]", "0 0 30 30 re S");
  b.object(11, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.object(12, "[<< /Subtype /Link /Rect [0 0 9 9] /A << /S /GoTo /D (one) >> >>]");
  b.object(20, "<< /Type /Outlines /First 21 0 R /Last 22 0 R /Count 3 >>");
  b.object(21, "<< /Title (One) /Parent 20 0 R /Next 22 0 R /Dest [3 0 R /Fit] "
               "/First 23 0 R /Last 23 0 R /Count 1 >>");
  b.object(22, "<< /Title (Two) /Parent 20 0 R /Prev 21 0 R /Dest /two >>");
  b.object(23, "<< /Title (Gone) /Parent 21 0 R /Dest [30 0 R /Fit] >>");
  b.object(30, "<< /Type /Page /MediaBox [0 0 9 9] >>");
  b.xref_table().trailer("<< /Size 31 /Root 1 0 R >>");
  std::string doc = b.startxref().str();
  while (doc.size() % 8 != 7) doc += '\n';
  return doc;
}

// Three pages with what a merge keeps of a whole document: document information with a UTF-16
// title, page labels in a number tree, XMP metadata claiming PDF/A and PDF/UA, and a language.
// Padded like marked_doc, so that the api target merges it with pdfmerge_files_ex.
std::string document_doc() {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /PageLabels 10 0 R /Metadata 12 0 R /Lang (en) >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 60 80] >>");
  for (int page = 3; page <= 5; ++page)
    b.object(page, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R" +
                       std::string(page == 5 ? " /Rotate 90 /CropBox [5 5 55 75]" : "") + " >>");
  b.stream(6, "", "0 0 m 60 80 l S");
  b.object(7, "<< /Title <FEFF0054006900740065006C00FC> /Author (Seed) "
              "/CreationDate (D:20240101000000Z) >>");
  b.object(10, "<< /Kids [11 0 R] >>");
  b.object(11, "<< /Nums [0 << /S /r >> 2 << /S /A /P (A-) /St 3 >>] >>");
  b.stream(12, "/Type /Metadata /Subtype /XML",
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
           "xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\" pdfaid:part=\"2\">"
           "<pdfuaid:part xmlns:pdfuaid=\"http://www.aiim.org/pdfua/ns/id/\">1</pdfuaid:part>"
           "</rdf:Description></rdf:RDF></x:xmpmeta>");
  b.xref_table().trailer("<< /Size 13 /Root 1 0 R /Info 7 0 R >>");
  std::string doc = b.startxref().str();
  while (doc.size() % 8 != 7) doc += '\n';
  return doc;
}

// Two pages made from one template whose font, form XObject and self-referring property list
// stand twice under other numbers, and a page listed twice: what a merge with shared objects
// finds identical. Padded to a length of 5 modulo 8, by which the api target merges with that
// option.
std::string template_doc() {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 3 0 R] /Count 3 /MediaBox [0 0 100 100] >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R /Resources << /Font << /F 7 0 R >> "
              "/XObject << /X 9 0 R >> /Properties << /P 11 0 R >> >> >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Resources << /Font << /F 8 0 R >> "
              "/XObject << /X 10 0 R >> /Properties << /P 12 0 R >> >> >>");
  b.stream(5, "", "/P /P BDC /X Do EMC BT /F 9 Tf 5 50 Td (one) Tj ET");
  b.stream(6, "", "/P /P BDC /X Do EMC BT /F 9 Tf 5 50 Td (two) Tj ET");
  b.object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.object(8, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.stream(9,
           "/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Resources << /Font << /F 7 0 R "
           ">> >>",
           "0 0 1 RG 5 5 90 90 re S");
  b.stream(10,
           "/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Resources << /Font << /F 8 0 R "
           ">> >>",
           "0 0 1 RG 5 5 90 90 re S");
  b.object(11, "<< /Self 11 0 R /Next 12 0 R >>");
  b.object(12, "<< /Self 12 0 R /Next 11 0 R >>");
  b.xref_table().trailer("<< /Size 13 /Root 1 0 R >>");
  std::string doc = b.startxref().str();
  while (doc.size() % 8 != 5) doc += '\n';
  return doc;
}

// A tagged document: headings and paragraphs on two pages, a paragraph drawn in a form XObject,
// a link held by its element, a role map, a class map and IDs. Padded to a length of `residue`
// modulo 128: the length picks the call and the options of the api target.
std::string tagged_doc(size_t residue) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /StructTreeRoot 10 0 R /MarkInfo << /Marked true "
              ">> /Lang (en) >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] /Contents 5 0 R "
              "/Resources << /XObject << /X 7 0 R >> >> /StructParents 0 /Annots [8 0 R] >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 50 50] /Contents 6 0 R "
              "/StructParents 1 >>");
  b.stream(5, "",
           "/H <</MCID 0>> BDC 0 0 m 9 9 l S EMC /Link <</MCID 1>> BDC 0 0 9 9 re f EMC "
           "/X Do");
  b.stream(6, "", "/P <</MCID 0>> BDC 0 0 m 50 50 l S EMC");
  b.stream(7, "/Type /XObject /Subtype /Form /BBox [0 0 9 9] /StructParents 2",
           "/P <</MCID 0>> BDC 0 0 9 9 re S EMC");
  b.object(8, "<< /Type /Annot /Subtype /Link /Rect [0 0 9 9] /Dest [4 0 R /Fit] "
              "/StructParent 3 >>");
  b.object(10, "<< /Type /StructTreeRoot /K [11 0 R] /ParentTree << /Nums [0 [12 0 R 13 0 R] "
               "1 [15 0 R] 2 [14 0 R] 3 13 0 R] >> /ParentTreeNextKey 4 /RoleMap << /H /H1 >> "
               "/ClassMap << /C1 << /O /Layout /Placement /Block >> >> /IDTree << /Names [(a) "
               "12 0 R] >> >>");
  b.object(11, "<< /S /Document /P 10 0 R /K [12 0 R 13 0 R 14 0 R 15 0 R] >>");
  b.object(12, "<< /S /H /P 11 0 R /Pg 3 0 R /K 0 /ID (a) /C /C1 >>");
  b.object(13, "<< /S /Link /P 11 0 R /Pg 3 0 R /K [1 << /Type /OBJR /Obj 8 0 R >>] >>");
  b.object(14, "<< /S /P /P 11 0 R /K << /Type /MCR /Pg 3 0 R /Stm 7 0 R /MCID 0 >> >>");
  b.object(15, "<< /S /P /P 11 0 R /Pg 4 0 R /K [0] /Alt (all) >>");
  b.xref_table().trailer("<< /Size 16 /Root 1 0 R >>");
  std::string doc = b.startxref().str();
  while (doc.size() % 128 != residue) doc += '\n';
  return doc;
}

void api_seeds() {
  put("api", "marked.pdf", marked_doc());
  // Kept with the annotations and bookmarks (67); through page ranges with every option,
  // shared objects and object streams among them (119).
  put("api", "tagged.pdf", tagged_doc(67));
  put("api", "tagged-ranges.pdf", tagged_doc(119));
  put("api", "document.pdf", document_doc());
  put("api", "simple-1.pdf", fixtures::simple_pdf(1));
  put("api", "simple-3.pdf", fixtures::simple_pdf(3));
  put("api", "labelled-4.pdf", fixtures::labelled_pdf(4, "Seed"));
  put("api", "incremental.pdf", incremental_doc());
  put("api", "object-stream.pdf", object_stream_doc());
  put("api", "damaged.pdf", damaged_doc());
  put("api", "layers.pdf", layers_doc());
  put("api", "template.pdf", template_doc());
  const vec plain(text.begin(), text.end());
  put("api", "content-lzw-a85.pdf",
      page_tree_doc("/Filter [/A85 /LZW]", testenc::a85_encode(testenc::lzw_encode(plain, 1))));
  put("api", "content-png-predictor.pdf",
      page_tree_doc("/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 8 >>",
                    str(zlib_raw::compress(testenc::png_encode(plain, 8, 1, 2), 6, 0))));
  // Values referenced many times: small, so that mutations reach the sharing quickly.
  for (const fixtures::crafted_shape& shape : fixtures::crafted_shapes())
    put("api", std::string("crafted-") + shape.name + ".pdf", shape.make(12));
}

// Encrypted with the empty user password by qpdf: RC4 of 40 and 128 bits, AES-128 and AES-256,
// with and without object streams. Skipped with a message when qpdf is not installed.
void encrypted_api_seeds() {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) {
    std::fprintf(stderr, "qpdf is not installed: no encrypted api seeds written\n");
    return;
  }
  const std::filesystem::path tmp = std::filesystem::temp_directory_path();
  const std::filesystem::path pages = tmp / "kq-seed-pages.pdf";
  const std::filesystem::path objstm = tmp / "kq-seed-objstm.pdf";
  std::ofstream(pages, std::ios::binary) << fixtures::labelled_pdf(2, "Secret");
  std::ofstream(objstm, std::ios::binary) << object_stream_doc();
  const struct {
    const char* name;
    const std::filesystem::path& from;
    const char* options; // before --encrypt
    const char* args;    // after the two passwords
  } seeds[] = {
      {"encrypted-rc4-40.pdf", pages, "", "40"},
      {"encrypted-rc4-128.pdf", pages, "", "128"},
      {"encrypted-aes-128-objstm.pdf", pages, "--object-streams=generate",
       "128 --use-aes=y --cleartext-metadata"},
      {"encrypted-aes-256.pdf", pages, "", "256"},
      {"encrypted-aes-256-objstm.pdf", objstm, "", "256"},
  };
  for (const auto& s : seeds) {
    const std::string command = std::string("qpdf --allow-weak-crypto ") + s.options + " '" +
                                s.from.string() + "' --encrypt '' owner " + s.args + " -- '" +
                                (g_root / "fuzz" / "seeds" / "api" / s.name).string() + "'";
    const int rc = std::system(command.c_str());
    g_ok = g_ok && WIFEXITED(rc) && (WEXITSTATUS(rc) == 0 || WEXITSTATUS(rc) == 3); // 3: warnings
  }
  std::filesystem::remove(pages);
  std::filesystem::remove(objstm);
}

// Encrypted with RC4 by the fixture writer: what qpdf does not make. A user password with an
// empty owner password (R 3), a 40-bit V 4 key used zero-padded, a signature dictionary and
// form XObjects behind /Crypt filters; and the crafted shapes whose cost once grew with the
// square of their size, at small sizes.
void written_encrypted_api_seeds() {
  const vec id0(16, 0x42);
  const std::vector<std::string> pages = {"BT /F1 24 Tf 20 200 Td (one) Tj ET",
                                          "BT /F1 24 Tf 20 100 Td (two) Tj ET"};
  const auto owner_empty = fixtures::md5_encryption_for("user", "", 3, 16, -4, id0);
  put("api", "encrypted-owner-empty.pdf",
      fixtures::md5_encrypted_document(pages, owner_empty.key,
                                       "/Filter /Standard /V 2 /R 3 /Length 128 /P -4 /O " +
                                           fixtures::hex_string(owner_empty.o) + " /U " +
                                           fixtures::hex_string(owner_empty.u),
                                       id0));
  const auto short_key = fixtures::md5_encryption_for("", "owner", 4, 5, -4, id0);
  vec padded = short_key.key;
  padded.resize(16, 0);
  put("api", "encrypted-v4-40-bit.pdf",
      fixtures::md5_encrypted_document(
          pages, padded,
          "/Filter /Standard /V 4 /R 4 /Length 40 /P -4 /O " + fixtures::hex_string(short_key.o) +
              " /U " + fixtures::hex_string(short_key.u) +
              " /CF << /StdCF << /CFM /V2 /Length 5 >> >> /StmF /StdCF /StrF /StdCF",
          id0));
  const auto e = fixtures::md5_encryption_for("", "owner", 4, 16, -4, id0);
  const auto rc4 = [&](int num, const std::string& plain) {
    return fixtures::rc4_encrypted(e.key, num, 0, plain);
  };
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
  b.object(3, "<< /Filter /Standard /V 4 /R 4 /Length 128 /P -4 /O " + fixtures::hex_string(e.o) +
                  " /U " + fixtures::hex_string(e.u) +
                  " /CF << /StdCF << /CFM /V2 >> /Clear << /CFM /None >> >> /StmF /StdCF "
                  "/StrF /StdCF >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 5 0 R "
              "/Resources << /XObject << /A 6 0 R /B 7 0 R >> /Properties << /S 8 0 R >> >> >>");
  b.stream(5, "", rc4(5, "/A Do /B Do"));
  b.stream(6,
           "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Filter [/Crypt /FlateDecode] "
           "/DecodeParms [<< /Name /StdCF >> null]",
           rc4(6, fixtures::zlib_stored("0 0 10 10 re f")));
  b.stream(7,
           "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Filter /Crypt /DecodeParms "
           "<< /Name /Clear >>",
           "0 0 5 5 re f");
  b.object(8, "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 10 20 30] /Contents <3082ab> "
              "/M " +
                  fixtures::hex_string([&] {
                    const std::string m = rc4(8, "D:20240101");
                    return vec(m.begin(), m.end());
                  }()) +
                  " >>");
  b.xref_table();
  b.trailer("<< /Root 1 0 R /Encrypt 3 0 R /ID [" + fixtures::hex_string(id0) +
            fixtures::hex_string(id0) + "] >>");
  put("api", "encrypted-signature-crypt-filters.pdf", b.startxref().str());
  put("api", "encrypt-record-references.pdf", fixtures::record_of_references(40));
  put("api", "encrypt-record-shared-references.pdf", fixtures::record_of_shared_references(40));
  put("api", "encrypted-crypt-filters-streams.pdf", fixtures::crypt_filters_and_streams(40));
}

// ---------------------------------------------------------------- inflater

void inflate_seeds() {
  const vec plain(text.begin(), text.end());
  vec mixed;
  for (int i = 0; i < 600; ++i) mixed.push_back(static_cast<uint8_t>(i * i % 251));
  put("inflate", "stored", fixtures::zlib_stored(text));
  put("inflate", "repeat", fixtures::zlib_repeat('x', 5000));
  put("inflate", "empty", str(zlib_raw::compress({}, 6, 0)));
  put("inflate", "level1", str(zlib_raw::compress(plain, 1, 0)));
  put("inflate", "level9-mixed", str(zlib_raw::compress(mixed, 9, 0)));
  put("inflate", "fixed", str(zlib_raw::compress(plain, 6, 4)));
  put("inflate", "huffman-only", str(zlib_raw::compress(mixed, 6, 2)));
  put("inflate", "rle", str(zlib_raw::compress(plain, 6, 3)));
}

// ---------------------------------------------------------------- encoder

// A piece-size byte and an options byte (bit 0: empty pieces between; bits 2..7: copies), then
// the data.
void deflate_seeds() {
  vec mixed;
  for (int i = 0; i < 600; ++i) mixed.push_back(static_cast<uint8_t>(i * i % 251));
  put("deflate", "empty", std::string("\0\0", 2));
  put("deflate", "one-byte", std::string("\0\0x", 3));
  put("deflate", "text-whole", std::string("\xff\0", 2) + text);
  put("deflate", "text-pieces", std::string("\0\1", 2) + text);
  put("deflate", "mixed-copies", std::string("\x07\xfc", 2) + str(mixed));
  put("deflate", "run", std::string("\x03\x40", 2) + std::string(3000, 'a'));
}

// ---------------------------------------------------------------- filters and predictors

std::string filter_input(int kind, uint8_t opts, const std::string& payload, int variant = 0) {
  return std::string(1, static_cast<char>(kind + 7 * variant)) + static_cast<char>(opts) + payload;
}

void filter_seeds() {
  const vec plain(text.begin(), text.end());
  const std::string hex = "48656c6c6f2C20776F726c64 0a>";
  put("filters", "lzw-early1", filter_input(0, 0, str(testenc::lzw_encode(plain, 1)), 1));
  put("filters", "lzw-early0-prefix", filter_input(0, 3, str(testenc::lzw_encode(plain, 0)), 0));
  put("filters", "lzw-limit", filter_input(0, 2 << 3, str(testenc::lzw_encode(plain, 1)), 1));
  put("filters", "ascii-hex", filter_input(1, 0, hex));
  put("filters", "ascii85", filter_input(2, 1, "<~" + testenc::a85_encode(plain)));
  put("filters", "ascii85-z", filter_input(2, 0, "zz!!!!\"9jqo~>"));
  put("filters", "run-length",
      filter_input(3, 0,
                   std::string("\x02"
                               "abc\xfdx\x00y\x80",
                               9)));
  put("filters", "run-length-limit", filter_input(3, 1 | 1 << 3, "\x81z\x81z\x80"));
  put("filters", "flate", filter_input(4, 0, str(zlib_raw::compress(plain, 6, 0))));
  put("filters", "flate-limit", filter_input(4, 2 | 3 << 3, fixtures::zlib_repeat('a', 300)));
  // Predictors: opts bits 0-2 pick 1, 2, 10..15; the payload starts with colors, bits per
  // component (index into 1, 2, 4, 8, 16) and two bytes of columns.
  const std::string rgb_8bit = std::string("\x03\x03\x04\x00", 4);
  const std::string gray_1bit = std::string("\x01\x00\x10\x00", 4);
  const std::string gray_16bit = std::string("\x01\x04\x05\x00", 4);
  put("filters", "predictor-tiff-rgb", filter_input(5, 1, rgb_8bit + text));
  put("filters", "predictor-tiff-1bit", filter_input(5, 1, gray_1bit + text));
  put("filters", "predictor-tiff-16bit", filter_input(5, 1, gray_16bit + text));
  put("filters", "predictor-png-up",
      filter_input(5, 4 | 2 << 3, rgb_8bit + str(testenc::png_encode(plain, 12, 3, 2))));
  put("filters", "predictor-png-paeth",
      filter_input(5, 6 | 4 << 3, gray_16bit + str(testenc::png_encode(plain, 10, 2, 4))));
  put("filters", "png-unfilter", filter_input(6, 7, str(testenc::png_encode(plain, 7, 1, 3))));
}

// ---------------------------------------------------------------- filter chains

std::string stream_body(const std::string& dict, const std::string& data) {
  return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data;
}

void chain_seeds() {
  const vec plain(text.begin(), text.end());
  const std::string flate = str(zlib_raw::compress(plain, 6, 0));
  put("filter_chain", "flate", stream_body("/Filter /FlateDecode", flate));
  put("filter_chain", "flate-a85",
      stream_body("/Filter [/A85 /Fl]", testenc::a85_encode(vec(flate.begin(), flate.end()))));
  put("filter_chain", "lzw-tiff",
      stream_body("/Filter /LZWDecode /DecodeParms << /Predictor 2 /Colors 3 /Columns 4 "
                  "/EarlyChange 0 >>",
                  str(testenc::lzw_encode(testenc::tiff_encode(plain, 12, 3, 8), 0))));
  put("filter_chain", "hex-flate-png",
      stream_body("/Filter [/AHx /FlateDecode] /DecodeParms [null << /Predictor 15 /Columns 6 "
                  "/Colors 1 /BitsPerComponent 8 >>]",
                  [&] {
                    const vec png = testenc::png_encode(plain, 6, 1, 1);
                    const vec z = zlib_raw::compress(png, 9, 0);
                    std::string out;
                    for (const uint8_t c : z) {
                      char two[3];
                      std::snprintf(two, sizeof two, "%02x", c);
                      out += two;
                    }
                    return out + ">";
                  }()));
  put("filter_chain", "run-length", stream_body("/Filter /RL", "\x05hello\xfa!\x80"));
  put("filter_chain", "unknown", stream_body("/Filter [/FlateDecode /DCTDecode]", flate));
  put("filter_chain", "plain", stream_body("", text));
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds REPOSITORY_ROOT\n");
    return 2;
  }
  g_root = argv[1];
  api_seeds();
  encrypted_api_seeds();
  written_encrypted_api_seeds();
  inflate_seeds();
  deflate_seeds();
  filter_seeds();
  chain_seeds();
  return g_ok ? 0 : 1;
}
