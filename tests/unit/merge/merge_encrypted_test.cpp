// Files that qpdf encrypts at test time with the empty user password count and merge like the
// plain file: every revision and method, with and without object streams. The merged pages'
// content and resources (strings, names, streams) equal those of qpdf's own decryption of the
// same file. So do files whose owner password is empty, short V 4 keys as viewers read them, and
// encrypted files whose tail is damaged; those that cannot be read are refused. Files that need
// a password, other handlers and unknown methods stay refused.
#include "../api/merge_tools.h"
#include "kq_out_pdfmerge.h"
#include "md5_encryption.h"
#include "pdf_builder.h"
#include "pdf_values.h"
#include "qpdf_encryption.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using merge_tools::quoted;
using merge_tools::run;

// Three pages with something of every kind that decryption touches: content in one stream,
// in an array of a plain and a Flate stream, and in a Flate stream; resources inherited from
// the tree, written in the page, and held by an object of their own; strings with escapes,
// line ends and binary bytes in copied objects, in the page and in the tree node; a form
// XObject; a /Metadata stream that a copied font names.
std::string plain_document() {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 "
              "/Resources << /Font << /F1 7 0 R >> "
              "/Properties << /P0 << /Title (inherited \\(title\\)) >> >> >> >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents [8 0 R 9 0 R] "
              "/Resources << /Font << /F1 7 0 R >> /XObject << /X1 10 0 R >> "
              "/Properties << /P1 << /Name (own\r\nline) /Hex <00ff28295c0d0a> >> >> >> >>");
  b.object(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents 11 0 R "
              "/Resources 12 0 R >>");
  b.stream(6, "", "BT /F1 24 Tf 72 700 Td (First page \\(one\\)) Tj ET\n");
  b.object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
              "/Note (a \\(note\\) with \\\\ and \\r) /Metadata 13 0 R >>");
  b.stream(8, "", "BT /F1 12 Tf 72 650 Td (Second page, first part) Tj ET");
  b.stream(9, "/Filter /FlateDecode",
           fixtures::zlib_stored("q 1 0 0 1 100 100 cm /X1 Do Q BT (second part) Tj ET\n"));
  b.stream(10, "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Label (form \\(x\\))",
           "0 0 10 10 re f");
  b.stream(11, "/Filter /FlateDecode",
           fixtures::zlib_stored("BT /F1 10 Tf 20 20 Td <48656c6c6f> Tj ET\n"));
  b.object(12, "<< /Font << /F1 7 0 R >> /ExtGState << /G0 << /Type /ExtGState "
               "/Comment (a \\\\ backslash) >> >> >>");
  b.stream(13, "/Type /Metadata /Subtype /XML",
           "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta "
           "xmlns:x=\"adobe:ns:meta/\"></x:xmpmeta><?xpacket end=\"w\"?>");
  b.object(14, "<< /Title (A title) >>");
  b.xref_table();
  b.trailer("<< /Root 1 0 R /Info 14 0 R /Size 15 >>");
  b.startxref();
  return b.str();
}

std::string last_error() {
  const char* e = pdfmerge_last_error();
  return e ? e : "";
}

// The pages of `path` as qpdf writes them out with every stream decoded and, for an encrypted
// file, decrypted.
std::vector<testpdf::page_view> pages_decoded_by_qpdf(const std::string& path,
                                                      const std::string& scratch) {
  const auto r = run("qpdf --decrypt --stream-data=uncompress --object-streams=disable " +
                     quoted(path) + " " + quoted(scratch));
  EXPECT_TRUE(r.status == 0 || r.status == 3) << r.output;
  return testpdf::pages_of(fixtures::read_file(scratch));
}

void expect_same_pages(const std::vector<testpdf::page_view>& got,
                       const std::vector<testpdf::page_view>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); ++k) {
    SCOPED_TRACE("page " + std::to_string(k + 1));
    EXPECT_EQ(got[k].contents, want[k].contents);
    EXPECT_EQ(got[k].resources, want[k].resources);
  }
}

TEST(EncryptedInput, CountsAndMergesAsQpdfDecryptsIt) {
  if (!qpdf_oracle::available())
    GTEST_SKIP() << "qpdf is not installed: encrypted fixtures skipped";
  const std::string plain = fixtures::write_temp("enc_merge_plain.pdf", plain_document());
  const std::vector<testpdf::page_view> plain_pages =
      pages_decoded_by_qpdf(plain, fixtures::temp_path("enc_merge_plain_seen.pdf"));
  ASSERT_EQ(plain_pages.size(), 3u);
  ASSERT_NE(plain_pages[1].resources.find("<6f776e0a6c696e65>"), std::string::npos); // own\nline
  int n = 0;
  for (const qpdf_oracle::qpdf_case& c : qpdf_oracle::qpdf_cases) {
    for (const std::string extra : {"", "--object-streams=generate"}) {
      SCOPED_TRACE(std::string(c.args) + " " + extra);
      const std::string tag = "enc_merge_" + std::to_string(n++);
      const std::string enc = fixtures::temp_path(tag + ".pdf");
      ASSERT_EQ(qpdf_oracle::encrypt(plain, enc, std::string("\"\" owner ") + c.args, extra), "");
      EXPECT_EQ(pdfmerge_page_count(enc.c_str()), 3) << last_error();

      // Alone, and ahead of the plain file.
      const std::string merged = fixtures::temp_path(tag + "_out.pdf");
      const char* inputs[] = {enc.c_str(), plain.c_str()};
      for (const int count : {1, 2}) {
        SCOPED_TRACE(std::to_string(count) + " inputs");
        ASSERT_EQ(pdfmerge_files(inputs, count, merged.c_str()), 0) << last_error();
        const std::string out = fixtures::read_file(merged);
        EXPECT_EQ(out.rfind("%PDF-1.4\n", 0), 0u);
        EXPECT_EQ(out.find("/Encrypt"), std::string::npos);
        std::vector<testpdf::page_view> want =
            pages_decoded_by_qpdf(enc, fixtures::temp_path(tag + "_qpdf.pdf"));
        if (count == 2) want.insert(want.end(), plain_pages.begin(), plain_pages.end());
        expect_same_pages(pages_decoded_by_qpdf(merged, fixtures::temp_path(tag + "_seen.pdf")),
                          want);
        EXPECT_QPDF_ACCEPTS(merged);
      }
    }
  }
}

// The file with the first occurrence of `from` replaced by bytes of the same length, so that
// the offset after startxref, through which the trailer is found, stays right.
std::string patched(std::string file, const std::string& from, const std::string& to) {
  const size_t at = file.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  EXPECT_EQ(from.size(), to.size());
  if (at != std::string::npos) file.replace(at, from.size(), to);
  return file;
}

TEST(EncryptedInput, RefusedWithTheSameMessageWhenItDoesNotOpen) {
  if (!qpdf_oracle::available())
    GTEST_SKIP() << "qpdf is not installed: encrypted fixtures skipped";
  const std::string plain = fixtures::write_temp("enc_refuse_plain.pdf", plain_document());
  std::vector<std::string> refused;
  int n = 0;
  const auto made = [&](const std::string& args, const std::string& extra) {
    const std::string path = fixtures::temp_path("enc_refuse_" + std::to_string(n++) + ".pdf");
    EXPECT_EQ(qpdf_oracle::encrypt(plain, path, args, extra), "");
    return path;
  };
  // A user password, for every revision.
  for (const qpdf_oracle::qpdf_case& c : qpdf_oracle::qpdf_cases)
    refused.push_back(made(std::string("secret owner ") + c.args, "--object-streams=generate"));
  // A crypt method of no known name; another handler, and the standard one with a /SubFilter
  // as public-key handlers write.
  const std::string aes = fixtures::read_file(made("\"\" owner 128 --use-aes=y", ""));
  refused.push_back(fixtures::write_temp("enc_refuse_cfm.pdf", patched(aes, "/AESV2", "/AESV9")));
  refused.push_back(fixtures::write_temp("enc_refuse_handler.pdf",
                                         patched(aes, "/Filter /Standard", "/Filter /PubSec  ")));
  refused.push_back(fixtures::write_temp("enc_refuse_subfilter.pdf",
                                         patched(aes, "/Length 128 /O", "/SubFilter/a/O")));
  const std::string out = fixtures::temp_path("enc_refuse_out.pdf");
  for (const std::string& path : refused) {
    SCOPED_TRACE(path);
    EXPECT_EQ(pdfmerge_page_count(path.c_str()), -1);
    EXPECT_EQ(last_error(), "encrypted PDFs are not supported: " + path);
    const char* inputs[] = {plain.c_str(), path.c_str()};
    EXPECT_EQ(pdfmerge_files(inputs, 2, out.c_str()), -1);
    EXPECT_EQ(last_error(), "input 2: encrypted PDFs are not supported: " + path);
  }
}

// The contents of the merged pages of `inputs`, as qpdf decodes them.
std::vector<std::string> merged_contents(const std::vector<std::string>& inputs,
                                         const std::string& tag) {
  std::vector<const char*> paths;
  for (const std::string& p : inputs) paths.push_back(p.c_str());
  const std::string out = fixtures::temp_path(tag + "_out.pdf");
  EXPECT_EQ(pdfmerge_files(paths.data(), static_cast<int>(paths.size()), out.c_str()), 0)
      << last_error();
  std::vector<std::string> contents;
  for (const auto& page : pages_decoded_by_qpdf(out, fixtures::temp_path(tag + "_seen.pdf")))
    contents.push_back(page.contents);
  return contents;
}

TEST(EncryptedInput, OpensWhereViewersOpenIt) {
  if (!qpdf_oracle::available())
    GTEST_SKIP() << "qpdf is not installed: encrypted fixtures skipped";
  const std::vector<uint8_t> id0(16, 0x5a);
  const std::vector<std::string> texts = {"BT /F1 24 Tf 20 200 Td (first) Tj ET",
                                          "BT /F1 24 Tf 20 100 Td (second) Tj ET"};
  // An empty owner password, R 2 to 4 (made here: qpdf gives such files the user password as
  // owner password) and R 5 and 6 (made by qpdf); qpdf's decryption is the reference.
  for (const int r : {2, 3, 4}) {
    SCOPED_TRACE("R " + std::to_string(r));
    const size_t n = r == 2 ? 5 : 16;
    const auto e = fixtures::md5_encryption_for("secret", "", r, n, -4, id0);
    std::string entries = "/Filter /Standard /V " +
                          std::to_string(r == 2   ? 1
                                         : r == 3 ? 2
                                                  : 4) +
                          " /R " + std::to_string(r) + " /Length " + std::to_string(n * 8) +
                          " /P -4 /O " + fixtures::hex_string(e.o) + " /U " +
                          fixtures::hex_string(e.u);
    if (r == 4) entries += " /CF << /StdCF << /CFM /V2 >> >> /StmF /StdCF /StrF /StdCF";
    const std::string path =
        fixtures::write_temp("owner_empty_" + std::to_string(r) + ".pdf",
                             fixtures::md5_encrypted_document(texts, e.key, entries, id0));
    EXPECT_EQ(pdfmerge_page_count(path.c_str()), 2) << last_error();
    std::vector<std::string> want;
    for (const auto& page : pages_decoded_by_qpdf(path, fixtures::temp_path("owner_empty_q.pdf")))
      want.push_back(page.contents);
    EXPECT_EQ(want, texts);
    EXPECT_EQ(merged_contents({path}, "owner_empty"), want);
  }
  const std::string plain = fixtures::write_temp("owner_empty_plain.pdf", plain_document());
  for (const std::string args : {"256 --force-R5", "256"}) {
    SCOPED_TRACE(args);
    const std::string path =
        fixtures::temp_path("owner_empty_" + std::to_string(args.size()) + ".pdf");
    ASSERT_EQ(qpdf_oracle::encrypt(plain, path, "secret \"\" " + args + " --allow-insecure"), "");
    EXPECT_EQ(pdfmerge_page_count(path.c_str()), 3) << last_error();
    std::vector<std::string> want;
    for (const auto& page : pages_decoded_by_qpdf(path, fixtures::temp_path("owner_empty_q.pdf")))
      want.push_back(page.contents);
    EXPECT_EQ(merged_contents({path}, "owner_empty_sha"), want);
  }
  // V 4 with a 40-bit RC4 filter: /U confirms the 5-byte key, the objects are encrypted under it
  // zero-padded to 16 bytes (qpdf reads such files with the short key and is no reference).
  const auto five = fixtures::md5_encryption_for("", "owner", 4, 5, -4, id0);
  std::vector<uint8_t> padded = five.key;
  padded.resize(16, 0);
  const std::string short_key = fixtures::write_temp(
      "short_v4_key.pdf",
      fixtures::md5_encrypted_document(
          texts, padded,
          "/Filter /Standard /V 4 /R 4 /Length 40 /P -4 /O " + fixtures::hex_string(five.o) +
              " /U " + fixtures::hex_string(five.u) +
              " /CF << /StdCF << /CFM /V2 /Length 5 >> >> /StmF /StdCF /StrF /StdCF",
          id0));
  EXPECT_EQ(pdfmerge_page_count(short_key.c_str()), 2) << last_error();
  EXPECT_EQ(merged_contents({short_key}, "short_v4_key"), texts);
}

// An encrypted file whose startxref is a few bytes off, whose last lines are cut, or whose tail
// is cut into its trailer: decrypted as the whole file is (qpdf's decryption of the undamaged
// file is the reference), or refused when the cut took the /Encrypt entry with it. Never
// written as if it were plain. For classic tables and for cross-reference streams.
TEST(EncryptedInput, DamagedTailsAreDecryptedOrRefused) {
  if (!qpdf_oracle::available())
    GTEST_SKIP() << "qpdf is not installed: encrypted fixtures skipped";
  const std::string plain = fixtures::write_temp("enc_tail_plain.pdf", plain_document());
  // The value after the last startxref moved by `by` bytes.
  const auto shifted = [](std::string file, long by) {
    const size_t at = file.rfind("startxref") + 10;
    const size_t end = file.find('\n', at);
    file.replace(at, end - at, std::to_string(std::stol(file.substr(at, end - at)) + by));
    return file;
  };
  const auto cut_before = [](const std::string& file, const std::string& what) {
    return file.substr(0, file.rfind(what));
  };
  int n = 0;
  for (const std::string args : {"40", "128 --use-aes=y", "256"}) {
    for (const std::string extra : {"", "--object-streams=generate"}) {
      SCOPED_TRACE(args + " " + extra);
      const std::string tag = "enc_tail_" + std::to_string(n++);
      const std::string whole = fixtures::temp_path(tag + ".pdf");
      ASSERT_EQ(qpdf_oracle::encrypt(plain, whole, "\"\" owner " + args, extra), "");
      std::vector<std::string> want;
      for (const auto& page : pages_decoded_by_qpdf(whole, fixtures::temp_path(tag + "_q.pdf")))
        want.push_back(page.contents);
      ASSERT_EQ(want.size(), 3u);
      const std::string file = fixtures::read_file(whole);
      const struct {
        const char* what;
        std::string bytes;
        bool opens;
      } damaged[] = {
          {"startxref 3 bytes on", shifted(file, 3), true},
          {"startxref 5 bytes back", shifted(file, -5), true},
          {"startxref 1 byte on", shifted(file, 1), true},
          {"the lines from startxref on cut", cut_before(file, "startxref"), true},
          {"cut in the last trailer before /Encrypt", cut_before(file, "/Encrypt"), false},
      };
      for (const auto& d : damaged) {
        SCOPED_TRACE(d.what);
        const std::string path = fixtures::write_temp(tag + "_damaged.pdf", d.bytes);
        if (d.opens) {
          EXPECT_EQ(pdfmerge_page_count(path.c_str()), 3) << last_error();
          EXPECT_EQ(merged_contents({path}, tag), want);
        } else {
          EXPECT_EQ(pdfmerge_page_count(path.c_str()), -1);
          EXPECT_EQ(last_error(), "encrypted PDFs are not supported: " + path);
        }
      }
    }
  }
}

// What is stored in clear in an encrypted file stays so in the merged file, and what a crypt
// filter decrypted loses that filter: a page whose resources reach a signature dictionary (its
// /Contents stored in clear, its other strings encrypted) and form XObjects whose /Filter names
// a /Crypt filter first (RC4 through /StdCF, or /Identity), besides one encrypted by default.
TEST(EncryptedInput, SignatureContentsAndCryptFilters) {
  const std::vector<uint8_t> id0(16, 0x33);
  const auto e = fixtures::md5_encryption_for("", "owner", 4, 16, -4, id0);
  const auto rc4 = [&](int num, const std::string& plain) {
    return fixtures::rc4_encrypted(e.key, num, 0, plain);
  };
  const auto hex = [](const std::string& s) {
    return fixtures::hex_string(std::vector<uint8_t>(s.begin(), s.end()));
  };
  const std::string form = "0 0 10 10 re f";
  const std::string signature = "3082abcdef"; // as a signer writes it, in clear
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
  b.object(3, "<< /Filter /Standard /V 4 /R 4 /Length 128 /P -4 /O " + fixtures::hex_string(e.o) +
                  " /U " + fixtures::hex_string(e.u) +
                  " /CF << /StdCF << /CFM /V2 >> >> /StmF /StdCF /StrF /StdCF >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 100 100] /Contents 5 0 R "
              "/Resources << /XObject << /A 6 0 R /B 7 0 R /C 8 0 R >> "
              "/Properties << /S 9 0 R >> >> >>");
  b.stream(5, "", rc4(5, "/A Do /B Do /C Do"));
  b.stream(6,
           "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Filter [/Crypt /FlateDecode] "
           "/DecodeParms [<< /Name /StdCF >> null]",
           rc4(6, fixtures::zlib_stored(form)));
  b.stream(7, "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Filter /Crypt", form);
  b.stream(8, "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Filter /FlateDecode",
           rc4(8, fixtures::zlib_stored(form)));
  b.object(9, "<< /Type /Sig /Filter /Adobe.PPKLite /ByteRange [0 10 20 30] /Contents <" +
                  signature + "> /M " + hex(rc4(9, "D:20240101")) + " >>");
  b.xref_table();
  b.trailer("<< /Root 1 0 R /Encrypt 3 0 R /Size 10 /ID [" + fixtures::hex_string(id0) +
            fixtures::hex_string(id0) + "] >>");
  b.startxref();
  const std::string in = fixtures::write_temp("enc_clear.pdf", b.str());
  const std::string out = fixtures::temp_path("enc_clear_out.pdf");
  const char* inputs[] = {in.c_str()};
  ASSERT_EQ(pdfmerge_files(inputs, 1, out.c_str()), 0) << last_error();
  const std::string merged = fixtures::read_file(out);
  EXPECT_EQ(merged.find("/Crypt"), std::string::npos);
  // The crypt filter's own parameters go with it; those of the filters after it stay.
  EXPECT_NE(merged.find("/Filter [/FlateDecode] /DecodeParms [null]"), std::string::npos);
  EXPECT_NE(merged.find("/Contents <" + signature + ">"), std::string::npos);
  EXPECT_NE(merged.find("/M " + hex("D:20240101")), std::string::npos);
  if (!qpdf_oracle::available()) GTEST_SKIP() << "qpdf is not installed: output check skipped";
  EXPECT_QPDF_ACCEPTS(out);
  // Each form's data decodes to what it draws.
  const auto r = run("qpdf --decrypt --stream-data=uncompress --object-streams=disable " +
                     quoted(out) + " " + quoted(fixtures::temp_path("enc_clear_seen.pdf")));
  ASSERT_TRUE(r.status == 0 || r.status == 3) << r.output;
  const std::string seen = fixtures::read_file(fixtures::temp_path("enc_clear_seen.pdf"));
  size_t forms = 0;
  for (size_t at = seen.find("/Subtype /Form"); at != std::string::npos;
       at = seen.find("/Subtype /Form", at + 1)) {
    const size_t data = seen.find("stream\n", at) + 7;
    EXPECT_EQ(seen.substr(data, form.size()), form);
    ++forms;
  }
  EXPECT_EQ(forms, 3u);
}

} // namespace
