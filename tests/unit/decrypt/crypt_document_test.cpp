// The reader's side of encryption: the /Encrypt record read from trailers and objects (against
// qpdf's reading of the files it encrypts), strings of copied text decrypted, and which streams are
// decrypted in place before a merge.
#include "crypt/crypt.h"
#include "crypt_shapes.h"
#include "hex_bytes.h"
#include "pdfmerge/decrypt/decrypt.h"
#include "qpdf_encryption.h"
#include "reader/loader_fixture.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace pdfmerge;
using fixtures::pdf_builder;
using hexb::from_hex;
using hexb::to_hex;
using pdfcrypt::crypt_method;

namespace {

using vec = std::vector<uint8_t>;

std::string text_of(const vec& v) {
  return std::string(v.begin(), v.end());
}

// ---------------------------------------------------------------- the /Encrypt record

doc trailers_and_objects(const std::string& bytes) {
  doc d = loadtest::doc_of(bytes);
  trailers_read(d);
  objects_discover(d);
  return d;
}

TEST(EncryptRecord, ReadsWhatQpdfReadsFromTheFilesItEncrypts) {
  if (!qpdf_oracle::available())
    GTEST_SKIP() << "qpdf is not installed: encrypted fixtures skipped";
  const std::string plain = fixtures::write_temp("record_plain.pdf", fixtures::simple_pdf(2));
  int n = 0;
  for (const qpdf_oracle::qpdf_case& c : qpdf_oracle::qpdf_cases) {
    for (const std::string extra : {"", "--object-streams=generate"}) {
      SCOPED_TRACE(std::string(c.args) + " " + extra);
      const std::string path = fixtures::temp_path("record_" + std::to_string(n++) + ".pdf");
      ASSERT_EQ(qpdf_oracle::encrypt(plain, path, std::string("\"\" owner ") + c.args, extra), "");
      std::string error;
      const auto want = qpdf_oracle::read(path, error);
      ASSERT_TRUE(want.has_value()) << error;
      const doc d = trailers_and_objects(fixtures::read_file(path));
      const std::optional<encrypt_record> got = encrypt_record_read(d);
      ASSERT_TRUE(got.has_value());
      const pdfcrypt::encrypt_dict& g = got->dict;
      const pdfcrypt::encrypt_dict& w = want->dict;
      EXPECT_EQ(g.filter, w.filter);
      EXPECT_EQ(g.has_subfilter, w.has_subfilter);
      EXPECT_EQ(g.v, w.v);
      EXPECT_EQ(g.r, w.r);
      EXPECT_EQ(g.length, w.length);
      EXPECT_EQ(g.p, w.p);
      EXPECT_EQ(to_hex(g.o), to_hex(w.o));
      EXPECT_EQ(to_hex(g.u), to_hex(w.u));
      EXPECT_EQ(to_hex(g.oe), to_hex(w.oe));
      EXPECT_EQ(to_hex(g.ue), to_hex(w.ue));
      EXPECT_EQ(to_hex(g.perms), to_hex(w.perms));
      EXPECT_EQ(g.encrypt_metadata, w.encrypt_metadata);
      ASSERT_EQ(g.filters.size(), w.filters.size());
      for (size_t k = 0; k < g.filters.size(); ++k) {
        EXPECT_EQ(g.filters[k].name, w.filters[k].name);
        EXPECT_EQ(g.filters[k].cfm, w.filters[k].cfm);
        EXPECT_EQ(g.filters[k].length, w.filters[k].length);
      }
      EXPECT_EQ(g.stmf, w.stmf);
      EXPECT_EQ(g.strf, w.strf);
      EXPECT_EQ(to_hex(got->id0), to_hex(want->id0));
      EXPECT_GT(got->num, 0);
    }
  }
}

pdf_builder catalog() {
  pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  return b;
}

TEST(EncryptRecord, DirectIndirectAndDamagedRecords) {
  // Written in the trailer itself: literal strings with escapes, /P unsigned, /ID literal.
  {
    pdf_builder b = catalog();
    b.xref_table().trailer(
        "<< /Root 1 0 R /ID [(i\\(d\\)) <ffee>] /Encrypt << /Filter /Standard /V 2 /R 3 "
        "/Length 128 /P 4294967292 /O (\\000\\377\\\\\\r) /U <0102> /EncryptMetadata false >> >>");
    const doc d = trailers_and_objects(b.startxref().str());
    const auto r = encrypt_record_read(d);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->num, -1);
    EXPECT_EQ(r->dict.filter, "Standard");
    EXPECT_EQ(r->dict.v, 2);
    EXPECT_EQ(r->dict.r, 3);
    EXPECT_EQ(r->dict.length, 128);
    EXPECT_EQ(r->dict.p, -4);
    EXPECT_EQ(to_hex(r->dict.o), "00ff5c0d");
    EXPECT_EQ(to_hex(r->dict.u), "0102");
    EXPECT_FALSE(r->dict.encrypt_metadata);
    EXPECT_TRUE(r->dict.filters.empty());
    EXPECT_EQ(text_of(r->id0), "i(d)");
  }
  // An object of its own named by a cross-reference stream, with values that are references;
  // an older revision of the object is not the one read.
  {
    pdf_builder b = catalog();
    b.object(9, "<< /Filter /Standard /V 1 /R 2 >>");
    b.object(9, "<< /Filter /Standard /SubFilter /x.y /V 4 /R 4 /Length 10 0 R /CF 11 0 R "
                "/StmF /StdCF /StrF /Identity /P -1028 /O <aa> /U <bb> >>");
    b.object(10, "128");
    b.object(11, "<< /StdCF << /CFM /V2 /Length 16 >> /Other 12 0 R >>");
    b.object(12, "<< /CFM /AESV2 >>");
    b.xref_stream(20, "/Root 1 0 R /Encrypt 9 0 R /ID [<c0ffee> <c0ffee>]");
    const doc d = trailers_and_objects(b.startxref().str());
    const auto r = encrypt_record_read(d);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->num, 9);
    EXPECT_TRUE(r->dict.has_subfilter);
    EXPECT_EQ(r->dict.v, 4);
    EXPECT_EQ(r->dict.length, 128);
    EXPECT_EQ(r->dict.p, -1028);
    ASSERT_EQ(r->dict.filters.size(), 2u);
    EXPECT_EQ(r->dict.filters[0].name, "StdCF");
    EXPECT_EQ(r->dict.filters[0].cfm, "V2");
    EXPECT_EQ(r->dict.filters[0].length, 16);
    EXPECT_EQ(r->dict.filters[1].name, "Other");
    EXPECT_EQ(r->dict.filters[1].cfm, "AESV2");
    EXPECT_FALSE(r->dict.filters[1].length.has_value());
    EXPECT_EQ(r->dict.stmf, "StdCF");
    EXPECT_EQ(r->dict.strf, "Identity");
    EXPECT_TRUE(r->dict.encrypt_metadata);
    EXPECT_EQ(to_hex(r->id0), "c0ffee");
  }
  // Nothing to read: a missing object, a value that is no dictionary.
  for (const char* value : {"/Encrypt 9 0 R", "/Encrypt null", "/Encrypt 5"}) {
    SCOPED_TRACE(value);
    pdf_builder b = catalog();
    b.object(5, "(not a dictionary)");
    b.xref_table().trailer(std::string("<< /Root 1 0 R ") + value + " >>");
    const doc d = trailers_and_objects(b.startxref().str());
    EXPECT_EQ(d.encrypted, 1);
    EXPECT_FALSE(encrypt_record_read(d).has_value());
  }
}

// Records whose values are references, at two sizes: every object they name is read once, and
// four times the references cost about four times the work (a little more for the searches).
TEST(EncryptRecord, ReferencesAreFollowedInWorkLinearInTheFile) {
  const struct {
    const char* what;
    std::string (*make)(int);
  } shapes[] = {
      {"a filter object per /CF entry", fixtures::record_of_references},
      {"shared filter, /O written many times", fixtures::record_of_shared_references},
  };
  for (const auto& shape : shapes) {
    SCOPED_TRACE(shape.what);
    uint64_t work[2] = {};
    const int sizes[2] = {1000, 4000};
    for (int i = 0; i < 2; ++i) {
      const int n = sizes[i];
      const doc d = trailers_and_objects(shape.make(n));
      const auto r = encrypt_record_read(d);
      ASSERT_TRUE(r.has_value());
      EXPECT_EQ(r->dict.filter, "Standard");
      EXPECT_EQ(r->dict.r, 4);
      EXPECT_EQ(r->dict.length, 128);
      ASSERT_EQ(r->dict.filters.size(), static_cast<size_t>(n));
      EXPECT_FALSE(r->dict.filters.back().cfm.empty());
      EXPECT_LT(d.work.parsed, d.file().size());
      work[i] = d.work.compared + d.work.parsed;
    }
    EXPECT_LT(work[1], 6 * work[0]);
  }
}

// ---------------------------------------------------------------- an opened document

// A document with a key of its own: 40 bits for RC4, 128 for AES; strings in RC4.
doc opened(const std::string& bytes, crypt_method streams = crypt_method::rc4,
           bool encrypt_metadata = true) {
  doc d = loadtest::doc_of(bytes);
  objects_discover(d);
  auto c = std::make_shared<doc_crypt>();
  c->fc.key =
      from_hex(streams == crypt_method::aes128 ? "000102030405060708090a0b0c0d0e0f" : "0102030405");
  c->fc.strings = crypt_method::rc4;
  c->fc.streams = streams;
  c->fc.encrypt_metadata = encrypt_metadata;
  c->fc.named = {{"StdCF", crypt_method::rc4}};
  c->encrypt_num = 99;
  d.crypt = std::move(c);
  return d;
}

// `plain` encrypted for object num 0 (RC4 is its own inverse), or as AES-128 with a fixed IV.
std::string encrypted(const pdfcrypt::file_crypt& fc, crypt_method m, int32_t num,
                      const std::string& plain) {
  const vec data(plain.begin(), plain.end());
  vec out;
  if (m == crypt_method::rc4) {
    pdfcrypt::object_decrypt_append(fc, m, num, 0, data, out);
    return text_of(out);
  }
  vec padded = data;
  padded.insert(padded.end(), 16 - padded.size() % 16,
                static_cast<uint8_t>(16 - padded.size() % 16));
  pdfcrypt::aes_key k;
  pdfcrypt::aes_key_set(k, pdfcrypt::object_key_of(fc, m, num, 0).view());
  out.assign(16, 7); // the IV
  out.resize(16 + padded.size());
  pdfcrypt::aes_cbc_encrypt(k, pdfcrypt::block_in(out.data(), 16), padded,
                            pdfcrypt::out_bytes(out.data() + 16, padded.size()));
  return text_of(out);
}

const obj_entry& entry(const doc& d, int32_t num) {
  for (const obj_entry& e : d.objects)
    if (e.num == num) return e;
  ADD_FAILURE() << "no object " << num;
  return d.objects.front();
}

std::string data_of(const doc& d, int32_t num) {
  const obj_entry& e = entry(d, num);
  return std::string(reinterpret_cast<const char*>(d.data.get()) + e.data_start,
                     static_cast<size_t>(e.data_end - e.data_start));
}

TEST(DocumentCrypt, StringsOfCopiedTextAreDecryptedIntoHex) {
  const doc d = opened(pdf_builder().object(7, "null").xref_table().str());
  const pdfcrypt::file_crypt& fc = d.crypt->fc;
  const auto lit = [&](const std::string& plain) {
    std::string out = "(";
    for (const char c : encrypted(fc, crypt_method::rc4, 7, plain)) {
      char esc[5];
      std::snprintf(esc, sizeof esc, "\\%03o", static_cast<unsigned char>(c));
      out += esc;
    }
    return out + ")";
  };
  const auto hex = [&](const std::string& plain) {
    return "<" + to_hex(encrypted(fc, crypt_method::rc4, 7, plain)) + ">";
  };
  const auto plain_hex = [](const std::string& plain) { return "<" + to_hex(plain) + ">"; };
  const struct {
    std::string text;
    std::string want;
  } cases[] = {
      {"<< /T " + lit("Title") + " /H " + hex("(x)") + " >>",
       "<< /T " + plain_hex("Title") + " /H " + plain_hex("(x)") + " >>"},
      {"[" + lit("a") + hex("b") + " /N#28 << /In " + lit("") + " >>]",
       "[" + plain_hex("a") + plain_hex("b") + " /N#28 << /In <> >>]"},
      // A comment is no string; a string that never closes runs to the end.
      {"% (not a string\n<< /K " + hex("k") + " >> (" + encrypted(fc, crypt_method::rc4, 7, "open"),
       "% (not a string\n<< /K " + plain_hex("k") + " >> " + plain_hex("open")},
      {"<< /A 1 0 R /B [1 2] >>", "<< /A 1 0 R /B [1 2] >>"},
  };
  obj_entry e;
  e.num = 7;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string storage;
    EXPECT_EQ(std::string(as_chars(strings_decrypted(d, e, as_bytes(c.text), storage))), c.want);
  }
  // Left as written: object-stream members (decrypted with their container) and the /Encrypt
  // dictionary.
  const std::string text = "<< /T " + hex("x") + " >>";
  obj_entry member = e;
  member.in_objstm = 1;
  obj_entry record = e;
  record.num = d.crypt->encrypt_num;
  for (const obj_entry& left : {member, record}) {
    std::string storage;
    EXPECT_EQ(std::string(as_chars(strings_decrypted(d, left, as_bytes(text), storage))), text);
  }
}

// The /Contents of a signature or document timestamp dictionary is stored in clear: told by
// /Type, or by /ByteRange with /Filter and /Contents, at any depth of the text. Other strings
// of the same dictionaries, and the /Contents of anything else, are decrypted.
TEST(DocumentCrypt, SignatureContentsStayAsWritten) {
  const doc d = opened(pdf_builder().object(7, "null").xref_table().str());
  const pdfcrypt::file_crypt& fc = d.crypt->fc;
  const auto hex = [&](const std::string& plain) {
    return "<" + to_hex(encrypted(fc, crypt_method::rc4, 7, plain)) + ">";
  };
  const auto plain_hex = [](const std::string& plain) { return "<" + to_hex(plain) + ">"; };
  const std::string sig = "<3082ab>"; // as the signer wrote it
  const struct {
    const char* what;
    std::string text;
    std::string want;
  } cases[] = {
      {"/Type /Sig, /Contents before /Type",
       "<< /Contents " + sig + " /Type /Sig /M " + hex("D:2024") + " >>",
       "<< /Contents " + sig + " /Type /Sig /M " + plain_hex("D:2024") + " >>"},
      {"/Type /DocTimeStamp", "<< /Type /DocTimeStamp /Contents (\\000\\001) >>",
       "<< /Type /DocTimeStamp /Contents (\\000\\001) >>"},
      {"/ByteRange, /Filter and /Contents without /Type",
       "<< /Filter /Adobe.PPKLite /ByteRange [0 1 2 3] /Contents " + sig + " >>",
       "<< /Filter /Adobe.PPKLite /ByteRange [0 1 2 3] /Contents " + sig + " >>"},
      {"inline in a field, after a reference and an array",
       "<< /FT /Sig /P 3 0 R /Rect [0 0 1 1] /T " + hex("f") + " /V << /Type /Sig /Contents " +
           sig + " >> /Contents " + hex("tip") + " >>",
       "<< /FT /Sig /P 3 0 R /Rect [0 0 1 1] /T " + plain_hex("f") +
           " /V << /Type /Sig /Contents " + sig + " >> /Contents " + plain_hex("tip") + " >>"},
      {"a signature dictionary in an array", "[<< /Type /Sig /Contents " + sig + " >>]",
       "[<< /Type /Sig /Contents " + sig + " >>]"},
      {"an annotation's /Contents is text", "<< /Type /Annot /Contents " + hex("note") + " >>",
       "<< /Type /Annot /Contents " + plain_hex("note") + " >>"},
      {"/ByteRange and /Contents without /Filter",
       "<< /ByteRange [0 1 2 3] /Contents " + hex("x") + " >>",
       "<< /ByteRange [0 1 2 3] /Contents " + plain_hex("x") + " >>"},
      {"/Sig as a value of another key", "<< /S /Sig /Contents " + hex("y") + " >>",
       "<< /S /Sig /Contents " + plain_hex("y") + " >>"},
      {"a dictionary the text leaves open", "<< /Type /Sig /Contents " + sig,
       "<< /Type /Sig /Contents " + sig},
  };
  obj_entry e;
  e.num = 7;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string storage;
    EXPECT_EQ(std::string(as_chars(strings_decrypted(d, e, as_bytes(c.text), storage))), c.want);
  }
}

// A stream that names a /Crypt filter first, written without encryption: the filter and its
// parameters go, the other filters and their parameters stay. A crypt filter the document does
// not know stays with its (undecrypted) data, and so does everything of a plain document.
TEST(DocumentCrypt, CryptFiltersAreTakenOutOfDecryptedStreams) {
  const struct {
    const char* what;
    std::string dict;
    std::string want;
  } cases[] = {
      {"alone, with its parameters", "<< /Filter /Crypt /DecodeParms << /Name /StdCF >> /N 1 >>",
       "<<   /N 1 >>"},
      {"alone, /Identity by default", "<< /Filter /Crypt /Length 3 >>", "<<  /Length 3 >>"},
      {"first of two, parameters in an array",
       "<< /Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /StdCF >> << /Predictor 12 >>] >>",
       "<< /Filter [/FlateDecode] /DecodeParms [<< /Predictor 12 >>] >>"},
      {"first of two, its parameters not in an array",
       "<< /Filter [ /Crypt /FlateDecode ] /DecodeParms << /Name /StdCF >> >>",
       "<< /Filter [ /FlateDecode ]  >>"},
      {"the only one in an array", "<< /Filter [/Crypt] /DecodeParms [<< /Name /Identity >>] >>",
       "<<   >>"},
      {"an unknown crypt filter stays", "<< /Filter /Crypt /DecodeParms << /Name /Unknown >> >>",
       "<< /Filter /Crypt /DecodeParms << /Name /Unknown >> >>"},
      {"a /Crypt filter that is not the first stays", "<< /Filter [/FlateDecode /Crypt] >>",
       "<< /Filter [/FlateDecode /Crypt] >>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    pdf_builder b;
    b.stream(5, c.dict.substr(3, c.dict.size() - 6), "data");
    const std::string file = b.str();
    doc d = opened(file);
    const obj_entry& e = entry(d, 5);
    // The writer's text is the file's dictionary, with the /Length the builder added.
    std::string dict = c.dict;
    crypt_filter_drop(d, e, dict);
    EXPECT_EQ(dict, c.want);
    doc plain = loadtest::discovered(file);
    std::string untouched = c.dict;
    crypt_filter_drop(plain, entry(plain, 5), untouched);
    EXPECT_EQ(untouched, c.dict);
  }
  // Only a /Crypt stage is ever cut, whatever the text handed in says.
  pdf_builder b;
  b.stream(5, "/Filter [/Crypt /FlateDecode]", "data");
  doc d = opened(b.str());
  std::string other = "<< /Filter [/FlateDecode /Crypt] >>";
  crypt_filter_drop(d, entry(d, 5), other);
  EXPECT_EQ(other, "<< /Filter [/FlateDecode /Crypt] >>");
}

TEST(DocumentCrypt, StreamsDecryptedInPlaceOrLeftAsStored) {
  for (const bool encrypt_metadata : {true, false}) {
    SCOPED_TRACE(encrypt_metadata ? "metadata encrypted" : "metadata in clear");
    doc key_only = opened("");
    const pdfcrypt::file_crypt& fc = key_only.crypt->fc;
    const std::string plain = "BT (some content) Tj ET";
    const auto rc4 = [&](int num) { return encrypted(fc, crypt_method::rc4, num, plain); };
    pdf_builder b;
    b.stream(3, "", rc4(3));
    b.stream(4, "/Type /Metadata /Subtype /XML", encrypt_metadata ? rc4(4) : plain);
    b.stream(5, "/Filter /Crypt /DecodeParms << /Name /Identity >>", plain);
    b.stream(6, "/Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /StdCF >> null]", rc4(6));
    b.stream(7, "/Filter /Crypt /DecodeParms << /Name /Unknown >>", plain);
    b.stream(8, "/Filter /Crypt", plain); // no /Name: /Identity
    b.xref_stream(9, "");
    // RC4 streams are decrypted two at a time: one longer and one shorter than the others.
    b.stream(10, "", encrypted(fc, crypt_method::rc4, 10, plain + plain));
    b.stream(11, "", encrypted(fc, crypt_method::rc4, 11, "q"));
    const std::string file = b.str();
    doc d = opened(file, crypt_method::rc4, encrypt_metadata);
    const std::string xref_data = data_of(d, 9);
    crypt_streams_decrypt(d);
    for (const int32_t num : {3, 4, 5, 6, 7, 8}) {
      SCOPED_TRACE(num);
      EXPECT_EQ(data_of(d, num), plain);
    }
    EXPECT_EQ(data_of(d, 9), xref_data);
    EXPECT_EQ(data_of(d, 10), plain + plain);
    EXPECT_EQ(data_of(d, 11), "q");
    crypt_streams_decrypt(d); // a second pass changes nothing
    EXPECT_EQ(data_of(d, 3), plain);
  }
}

// Many crypt filters and many streams naming them: each stream's filter is found by a search,
// so the work grows with the streams, not with streams times filters.
TEST(DocumentCrypt, NamedFiltersCostASearchPerStream) {
  uint64_t compared[2] = {};
  const int sizes[2] = {1000, 4000};
  for (int i = 0; i < 2; ++i) {
    const int n = sizes[i];
    doc d = trailers_and_objects(fixtures::crypt_filters_and_streams(n));
    crypt_open(d);
    ASSERT_TRUE(d.crypt);
    crypt_streams_decrypt(d);
    EXPECT_EQ(data_of(d, 100 + n / 2), "plain");
    compared[i] = d.work.compared;
  }
  EXPECT_GT(compared[0], 1000u);
  EXPECT_LT(compared[1], 6 * compared[0]);
}

TEST(DocumentCrypt, AesDataEndsWhereThePlainTextEnds) {
  doc key_only = opened("", crypt_method::aes128);
  const pdfcrypt::file_crypt& fc = key_only.crypt->fc;
  const std::string plain = "q 1 0 0 1 0 0 cm Q";
  pdf_builder b;
  b.stream(3, "", encrypted(fc, crypt_method::aes128, 3, plain));
  // Found by searching for "endstream": the line end before it is taken in.
  b.stream(4, "", encrypted(fc, crypt_method::aes128, 4, plain) + "\r\n", 0);
  doc d = opened(b.str(), crypt_method::aes128);
  crypt_streams_decrypt(d);
  EXPECT_EQ(data_of(d, 3), plain);
  EXPECT_EQ(data_of(d, 4), plain);
  EXPECT_EQ(entry(d, 3).data_end - entry(d, 3).data_start, static_cast<int32_t>(plain.size()));
}

} // namespace
