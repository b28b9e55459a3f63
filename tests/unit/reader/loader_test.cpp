// doc_load as a whole: reading the file, the refusals (nothing found, encrypted) and the order of
// the phases, on files written to disk.
#include "loader_fixture.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace pdfmerge;
using fixtures::pdf_builder;

namespace {

const std::string em_dash = "\xE2\x80\x94";

struct loaded {
  int32_t rc;
  std::string message;
  doc d;
};

loaded load_path(const char* path) {
  loaded r{0, "", doc{}};
  r.rc = doc_load(path, r.d);
  r.message = error_text();
  return r;
}

loaded load_bytes(const std::string& name, const std::string& bytes) {
  const std::string path = fixtures::write_temp(name, bytes);
  return load_path(path.c_str());
}

TEST(FileIntake, FailuresLeaveNothingBehind) {
  const std::string missing = fixtures::temp_path("no-such-file.pdf");
  const std::string empty = fixtures::write_temp("empty.pdf", "");
  const struct {
    const char* path;
    std::string message;
  } cases[] = {
      {nullptr, "NULL path argument"},
      {missing.c_str(), "cannot open " + missing},
      {empty.c_str(), "empty input file: " + empty},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    set_error("earlier message");
    loaded r = load_path(c.path);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(r.d.data, nullptr);
    EXPECT_EQ(r.d.len, 0);
    EXPECT_TRUE(r.d.objects.empty());
    EXPECT_EQ(r.d.root_num, -1);
    EXPECT_EQ(r.d.catalog_num, -1);
  }
}

TEST(FileIntake, KeepsEveryByteAsRead) {
  std::string bytes = fixtures::simple_pdf(1);
  bytes += std::string("\0\r\n\x1a\xff", 5); // no line-end translation, NUL and ^Z kept
  loaded r = load_bytes("bytes.pdf", bytes);
  ASSERT_EQ(r.rc, 0) << r.message;
  ASSERT_EQ(r.d.len, static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(loadtest::file_text(r.d, 0, r.d.len), bytes);
}

TEST(DocLoad, FilesWithoutObjectsAreNoPdf) {
  const struct {
    const char* name;
    std::string bytes;
    int32_t encrypted = 0;
  } cases[] = {
      {"spaces.pdf", "   \n\r\n\t  "},
      {"text.txt", "Just some plain text, nothing else.\n"},
      {"header-only.pdf", "%PDF-1.4\n%%EOF\n"},
      // /Encrypt is seen (through the table at offset 29), but the empty table decides.
      {"encrypted-empty.pdf",
       "trailer << /Encrypt 4 0 R >>\nxref\n0 0\ntrailer << /Encrypt 4 0 R >>\n"
       "startxref\n29\n",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = fixtures::temp_path(c.name);
    loaded r = load_bytes(c.name, c.bytes);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.message, "no PDF objects found " + em_dash + " not a PDF: " + path);
    EXPECT_EQ(r.d.len, static_cast<int32_t>(c.bytes.size())); // the bytes stay for doc_free
    EXPECT_EQ(r.d.encrypted, c.encrypted);
  }
}

TEST(DocLoad, EncryptedFilesAreRefusedAfterTheirObjectsAreFound) {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>").object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  b.object(3, "<< /Type /Page >>").object(4, "<< /Filter /Standard >>");
  b.xref_table().trailer("<< /Root 1 0 R /Encrypt 4 0 R >>").startxref();
  const std::string path = fixtures::temp_path("encrypted.pdf");
  loaded r = load_bytes("encrypted.pdf", b.str());
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(r.message, "encrypted PDFs are not supported: " + path);
  EXPECT_EQ(r.d.objects.size(), 4u);
  EXPECT_TRUE(r.d.pages.empty());
}

TEST(DocLoad, ToleratesDamagedStructure) {
  const std::string body =
      "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
      "2 0 obj\n<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>\nendobj\n"
      "3 0 obj\n<< /Type /Page >>\nendobj\n4 0 obj\n<< /Type /Page >>\nendobj\n";
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"plain.pdf", "%PDF-1.4\n" + body +
                        "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Root 1 0 R "
                        ">>\nstartxref\n" +
                        std::to_string(9 + body.size()) + "\n%%EOF\n"},
      {"junk.pdf", std::string(100, 'j') + "%PDF-1.4\n" + body},
      {"no-header.pdf", body},
      {"no-trailer.pdf", "%PDF-1.4\n" + body + "%%EOF"},
      {"wrong-offsets.pdf", "%PDF-1.4\n" + body +
                                "xref\n0 5\n0000000000 65535 f \n0000099999 00000 "
                                "n \ntrailer << /Root 1 0 R >>\nstartxref\n7\n"},
      {"update.pdf", "%PDF-1.4\n" + body + "2 0 obj\n<< /Type /Pages /Kids [4 0 R] >>\nendobj\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    loaded r = load_bytes(c.name, c.bytes);
    ASSERT_EQ(r.rc, 0) << r.message;
    EXPECT_EQ(r.d.catalog_num, 1);
    EXPECT_EQ(r.d.pages.size(), std::string(c.name) == "update.pdf" ? 1u : 2u);
  }
}

TEST(DocLoad, FillsTheDocument) {
  const std::string bytes = fixtures::simple_pdf(3);
  loaded r = load_bytes("three.pdf", bytes);
  ASSERT_EQ(r.rc, 0) << r.message;
  EXPECT_EQ(r.d.root_num, 1);
  EXPECT_EQ(r.d.catalog_num, 1);
  EXPECT_EQ(r.d.encrypted, 0);
  EXPECT_EQ(r.d.max_num, 8);
  EXPECT_EQ(r.d.objects.size(), 8u);
  ASSERT_EQ(r.d.pages.size(), 3u);
  EXPECT_EQ(r.d.pages[0].num, 3);
  EXPECT_EQ(r.d.pages[2].num, 7);
  for (int32_t num = 1; num <= 8; ++num) ASSERT_NE(obj_lookup(r.d, num), nullptr) << num;
}

TEST(DocLoad, LoadingAgainAfterFreeingGivesTheSameDocument) {
  const std::string path = fixtures::write_temp("again.pdf", fixtures::simple_pdf(2));
  doc d;
  ASSERT_EQ(doc_load(path.c_str(), d), 0);
  const size_t objects = d.objects.size();
  doc_free(d);
  ASSERT_EQ(doc_load(path.c_str(), d), 0);
  EXPECT_EQ(d.objects.size(), objects);
  EXPECT_EQ(d.pages.size(), 2u);
}

TEST(DocLoad, PageTreeKeptInAnObjectStream) {
  pdf_builder b;
  loadtest::add_objstm(b, 10,
                       {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                        {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"},
                        {3, "<< /Type /Page /Parent 2 0 R >>"},
                        {4, "<< /Type /Page /Parent 2 0 R >>"}});
  b.xref_stream(11, "/Root 1 0 R").startxref();
  loaded r = load_bytes("objstm.pdf", b.str());
  ASSERT_EQ(r.rc, 0) << r.message;
  EXPECT_EQ(r.d.pages.size(), 2u);
  EXPECT_EQ(r.d.root_num, 1);
  EXPECT_EQ(obj_lookup(r.d, 10), nullptr);
}

TEST(DocLoad, DamagedBytesFailCleanlyOrLoad) {
  pdf_builder objstm;
  loadtest::add_objstm(objstm, 10,
                       {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                        {2, "<< /Type /Pages /Kids [3 0 R] >>"},
                        {3, "<< /Type /Page >>"}});
  objstm.xref_stream(11, "/Root 1 0 R").startxref();
  const std::string originals[] = {fixtures::simple_pdf(3), objstm.str()};
  const std::string pieces[] = {"<<",    ">>",     "(",        ")",         "\\",
                                "obj",   "endobj", "stream\n", "endstream", "/Length 99",
                                "9 0 R", "\0",     "/Kids [",  "]"};
  std::mt19937 rng(2024);
  for (int round = 0; round < 400; ++round) {
    std::string bytes = originals[round % 2];
    switch (rng() % 3) {
    case 0: // cut short
      bytes.resize(1 + rng() % bytes.size());
      break;
    case 1: // bytes changed
      for (int k = 0; k < 8; ++k) bytes[rng() % bytes.size()] = static_cast<char>(rng());
      break;
    default: // tokens inserted
      for (int k = 0; k < 4; ++k)
        bytes.insert(rng() % bytes.size(), pieces[rng() % std::size(pieces)]);
    }
    SCOPED_TRACE(round);
    loaded r = load_bytes("damaged.pdf", bytes);
    ASSERT_TRUE(r.rc == 0 || r.rc == -1);
    if (r.rc == 0) {
      EXPECT_FALSE(r.d.pages.empty());
      EXPECT_EQ(r.message, "");
    } else {
      EXPECT_NE(r.message, "");
    }
  }
}

} // namespace
