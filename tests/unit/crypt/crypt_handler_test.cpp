// The standard security handler with the empty password: records made by qpdf open with
// qpdf's key, each unsupported or damaged value is refused for its own reason, and the strings
// and streams of files that qpdf encrypts at test time decrypt to what qpdf shows.
#include "crypt/handler_steps.h"
#include "crypt/security_handler.h"
#include "hex_bytes.h"
#include "md5_encryption.h"
#include "pdf_builder.h"
#include "pdf_values.h"
#include "qpdf_encryption.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace pdfcrypt;
using hexb::from_hex;
using hexb::to_hex;

namespace {

using vec = std::vector<uint8_t>;

// ---------------------------------------------------------------- records made by qpdf

struct record {
  encrypt_dict dict;
  vec id0;
  const char* key; // as qpdf --show-encryption-key printed it
};

// qpdf --encrypt "" owner 128 --use-aes=y: V 4, R 4, AESV2.
record r4_aes() {
  record r;
  r.dict.filter = "Standard";
  r.dict.v = 4;
  r.dict.r = 4;
  r.dict.length = 128;
  r.dict.p = -4;
  r.dict.o = from_hex("566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5");
  r.dict.u = from_hex("070a850bfd3568b59c59d29e3cde78a90122456a91bae5134273a6db134c87c4");
  r.dict.filters = {{"StdCF", "AESV2", 16}};
  r.dict.stmf = "StdCF";
  r.dict.strf = "StdCF";
  r.id0 = from_hex("c1a33e99cf3cef75c186125fa21368b2");
  r.key = "6f4793590695785e96e23dbf18042d7c";
  return r;
}

// qpdf --encrypt "" owner 256: V 5, R 6, AESV3.
record r6_aes() {
  record r;
  r.dict.filter = "Standard";
  r.dict.v = 5;
  r.dict.r = 6;
  r.dict.length = 256;
  r.dict.p = -4;
  r.dict.o = from_hex("930760f7c6b6ed6654dbe18eecd2ab8229878a8b69937eb04da7d2f31407e00f3526dd4dd2b0"
                      "36591dd6ae1423ec7bb8");
  r.dict.u = from_hex("4a9e198efd2ca5908afb6f95d537f5b049c06683cee92a7f207f99a90e5492f8692938d74f19"
                      "6440a486bbd91de58b15");
  r.dict.oe = from_hex("a60617362ab3f730c2ff10ce98275299f40c642035ed6d2fe7ab6a7552e5afef");
  r.dict.ue = from_hex("b50b01aaeee54c1b4af97d0a82651617326d8301fb40d49383914c3faf4fb8b9");
  r.dict.perms = from_hex("0a12258820ed89ebb1d3aa7c90f2c04b");
  r.dict.filters = {{"StdCF", "AESV3", 32}};
  r.dict.stmf = "StdCF";
  r.dict.strf = "StdCF";
  r.id0 = from_hex("586a700327dd110591c3dc827b0a210d");
  r.key = "808ff2407e47687e78dc4faea7082f6d93021d040511b70dc030ee38e5a9082e";
  return r;
}

open_result open(const record& r) {
  return standard_open(r.dict, r.id0);
}

// A change to a record that still opens it with the same key, and the methods it then has.
struct opening_case {
  const char* what;
  std::function<void(record&)> change;
  crypt_method strings;
  crypt_method streams;
  bool encrypt_metadata;
};

TEST(StandardHandler, OpensRecordsWithQpdfsKey) {
  const opening_case r4_cases[] = {
      {"as made", [](record&) {}, crypt_method::aes128, crypt_method::aes128, true},
      {"streams Identity", [](record& r) { r.dict.stmf = "Identity"; }, crypt_method::aes128,
       crypt_method::identity, true},
      {"strings absent", [](record& r) { r.dict.strf.clear(); }, crypt_method::identity,
       crypt_method::aes128, true},
      {"filter V2", [](record& r) { r.dict.filters[0].cfm = "V2"; }, crypt_method::rc4,
       crypt_method::rc4, true},
      {"filter None", [](record& r) { r.dict.filters[0].cfm = "None"; }, crypt_method::identity,
       crypt_method::identity, true},
      {"no /CFM", [](record& r) { r.dict.filters[0].cfm.clear(); }, crypt_method::identity,
       crypt_method::identity, true},
      {"no /Length", [](record& r) { r.dict.length.reset(); }, crypt_method::aes128,
       crypt_method::aes128, true},
      {"V 2 without /Length: 40 bits fail, 128 open",
       [](record& r) {
         r.dict.v = 2;
         r.dict.length.reset();
       },
       crypt_method::rc4, crypt_method::rc4, true},
      {"RC4 filter with the /Length in /CF in bytes",
       [](record& r) {
         r.dict.length.reset();
         r.dict.filters[0] = {"StdCF", "V2", 16};
       },
       crypt_method::rc4, crypt_method::rc4, true},
      {"RC4 filter with the /Length in /CF in bits",
       [](record& r) {
         r.dict.length.reset();
         r.dict.filters[0] = {"StdCF", "V2", 128};
       },
       crypt_method::rc4, crypt_method::rc4, true},
      {"unsigned /P", [](record& r) { r.dict.p = static_cast<int32_t>(4294967292u); },
       crypt_method::aes128, crypt_method::aes128, true},
  };
  for (const auto& c : r4_cases) {
    SCOPED_TRACE(std::string("R4 ") + c.what);
    record r = r4_aes();
    c.change(r);
    const open_result got = open(r);
    ASSERT_TRUE(got.crypt.has_value()) << "refusal " << static_cast<int>(got.why);
    EXPECT_EQ(to_hex(got.crypt->key), r.key);
    EXPECT_EQ(got.crypt->strings, c.strings);
    EXPECT_EQ(got.crypt->streams, c.streams);
    EXPECT_EQ(got.crypt->encrypt_metadata, c.encrypt_metadata);
  }
  const opening_case r6_cases[] = {
      {"as made", [](record&) {}, crypt_method::aes256, crypt_method::aes256, true},
      {"metadata in clear", [](record& r) { r.dict.encrypt_metadata = false; },
       crypt_method::aes256, crypt_method::aes256, false},
      {"longer /U and /UE", // some writers pad them; the first 48 and 32 bytes count
       [](record& r) {
         r.dict.u.resize(127, 0);
         r.dict.ue.resize(40, 0);
       },
       crypt_method::aes256, crypt_method::aes256, true},
  };
  for (const auto& c : r6_cases) {
    SCOPED_TRACE(std::string("R6 ") + c.what);
    record r = r6_aes();
    c.change(r);
    const open_result got = open(r);
    ASSERT_TRUE(got.crypt.has_value()) << "refusal " << static_cast<int>(got.why);
    EXPECT_EQ(to_hex(got.crypt->key), r.key);
    EXPECT_EQ(got.crypt->strings, c.strings);
    EXPECT_EQ(got.crypt->streams, c.streams);
    EXPECT_EQ(got.crypt->encrypt_metadata, c.encrypt_metadata);
  }
}

// Revision 6 hashes at least 64 rounds and stops after the first round whose last byte of E
// is at most the round count - 32. These /U values, made by qpdf, were picked because a hash
// that stops one round early or late, or compares with < instead of <=, does not match them.
TEST(StandardHandler, Revision6HashStopsWhereTheRuleSays) {
  const struct {
    const char* u;
    const char* ue;
  } cases[] = {
      {"91bfe70be343774ae870238c9fb8da8cc5ae18144bc6e4d24aa94d89fcfa6c9d8519f01cb6a38f1a759f6e09"
       "ca37a16a",
       "f43bf7efb2827eb5e3b0537e03b020bd8b9f670543dfaf9f1eed2e9a36802d7f"},
      {"052f2118258a7cd026a8becb2e9234dd3fe581f0950d117fb7b52d65a29491ab358998efe959599d685fd49e"
       "4b876d1d",
       "9a5600eb4ef4bc7061220f9dac4070ac4f83cc5ba6f2dc26e845815f555b8c16"},
      {"25c0467126eeea5022b15882d5fe6ac8798de56d5ef9d55e77870603a2db68ae669310a94dd1802ff0cee256"
       "17cef2a5",
       "8b05df65f8b03216b85aa7e09f5c3cfb923f31a1f70eeec3259782c1e2206585"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.u);
    record r = r6_aes();
    r.dict.u = from_hex(c.u);
    r.dict.ue = from_hex(c.ue);
    const open_result got = open(r);
    EXPECT_TRUE(got.crypt.has_value()) << "refusal " << static_cast<int>(got.why);
  }
}

// The owner's half of /O is the same hash of the owner password ("owner" in the record),
// /O's validation salt and the 48 bytes of /U: the password and /U parts of the hash input.
TEST(StandardHandler, Revision6HashOfAPasswordAndUserData) {
  const record r = r6_aes();
  const auto h =
      hash_r6(hexb::of_text("owner"), bytes(r.dict.o.data() + 32, 8), bytes(r.dict.u.data(), 48));
  EXPECT_EQ(to_hex(h), to_hex(vec(r.dict.o.begin(), r.dict.o.begin() + 32)));
}

struct refusal_case {
  const char* what;
  record (*base)();
  std::function<void(record&)> change;
  refusal why;
};

TEST(StandardHandler, RefusesEachUnsupportedOrDamagedValue) {
  const refusal_case cases[] = {
      {"public-key handler", r4_aes, [](record& r) { r.dict.filter = "Adobe.PubSec"; },
       refusal::handler},
      {"no /Filter", r4_aes, [](record& r) { r.dict.filter.clear(); }, refusal::handler},
      {"a /SubFilter", r6_aes, [](record& r) { r.dict.has_subfilter = true; }, refusal::handler},
      {"V 3", r4_aes, [](record& r) { r.dict.v = 3; }, refusal::version},
      {"V 0", r4_aes, [](record& r) { r.dict.v = 0; }, refusal::version},
      {"V 6", r6_aes, [](record& r) { r.dict.v = 6; }, refusal::version},
      {"V 4 with R 3", r4_aes, [](record& r) { r.dict.r = 3; }, refusal::version},
      {"V 4 with R 6", r4_aes, [](record& r) { r.dict.r = 6; }, refusal::version},
      {"V 5 with R 4", r6_aes, [](record& r) { r.dict.r = 4; }, refusal::version},
      {"R 7", r6_aes, [](record& r) { r.dict.r = 7; }, refusal::version},
      {"V 2 with R 5", r4_aes,
       [](record& r) {
         r.dict.v = 2;
         r.dict.r = 5;
       },
       refusal::version},
      {"/Length 41", r4_aes, [](record& r) { r.dict.length = 41; }, refusal::key_length},
      {"/Length 256 at V 4", r4_aes, [](record& r) { r.dict.length = 256; }, refusal::key_length},
      {"/Length 16 (bytes, not bits)", r4_aes, [](record& r) { r.dict.length = 16; },
       refusal::key_length},
      {"AES-128 with a 40-bit key", r4_aes, [](record& r) { r.dict.length = 40; },
       refusal::key_length},
      {"/CF /Length 17 without /Length", r4_aes,
       [](record& r) {
         r.dict.length.reset();
         r.dict.filters[0] = {"StdCF", "V2", 17};
       },
       refusal::key_length},
      {"/CF /Length 5 for a 128-bit key", r4_aes,
       [](record& r) {
         r.dict.length.reset();
         r.dict.filters[0] = {"StdCF", "V2", 5};
       },
       refusal::password},
      {"unknown /CFM", r4_aes, [](record& r) { r.dict.filters[0].cfm = "AESV4"; },
       refusal::crypt_filter},
      {"/StmF names no filter", r4_aes, [](record& r) { r.dict.stmf = "Other"; },
       refusal::crypt_filter},
      {"/StrF names no filter", r4_aes, [](record& r) { r.dict.strf = "Other"; },
       refusal::crypt_filter},
      {"AESV3 at V 4", r4_aes, [](record& r) { r.dict.filters[0].cfm = "AESV3"; },
       refusal::crypt_filter},
      {"V2 at V 5", r6_aes, [](record& r) { r.dict.filters[0].cfm = "V2"; }, refusal::crypt_filter},
      {"AESV2 at V 5", r6_aes, [](record& r) { r.dict.filters[0].cfm = "AESV2"; },
       refusal::crypt_filter},
      {"/O of 31 bytes", r4_aes, [](record& r) { r.dict.o.resize(31); }, refusal::malformed},
      {"/U of 15 bytes", r4_aes, [](record& r) { r.dict.u.resize(15); }, refusal::malformed},
      {"/U of 47 bytes at R 6", r6_aes, [](record& r) { r.dict.u.resize(47); }, refusal::malformed},
      {"/UE of 31 bytes", r6_aes, [](record& r) { r.dict.ue.resize(31); }, refusal::malformed},
      {"/U changed", r4_aes, [](record& r) { r.dict.u[3] ^= 1; }, refusal::password},
      {"/O changed", r4_aes, [](record& r) { r.dict.o[20] ^= 1; }, refusal::password},
      {"/P changed", r4_aes, [](record& r) { r.dict.p = -8; }, refusal::password},
      {"first /ID changed", r4_aes, [](record& r) { r.id0[0] ^= 1; }, refusal::password},
      {"/ID absent", r4_aes, [](record& r) { r.id0.clear(); }, refusal::password},
      {"metadata in clear at R 4", r4_aes, [](record& r) { r.dict.encrypt_metadata = false; },
       refusal::password},
      {"R 6 hash in /U changed", r6_aes, [](record& r) { r.dict.u[31] ^= 1; }, refusal::password},
      {"R 6 validation salt changed", r6_aes, [](record& r) { r.dict.u[32] ^= 1; },
       refusal::password},
      {"R 6 values read as R 5", r6_aes, [](record& r) { r.dict.r = 5; }, refusal::password},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    record r = c.base();
    c.change(r);
    const open_result got = open(r);
    EXPECT_FALSE(got.crypt.has_value());
    EXPECT_EQ(static_cast<int>(got.why), static_cast<int>(c.why));
  }
}

TEST(StandardHandler, NamedFiltersForStreamsOfTheirOwn) {
  record r = r4_aes();
  r.dict.filters.push_back({"Clear", "None", std::nullopt});
  r.dict.filters.push_back({"Odd", "Unknown", std::nullopt});
  r.dict.filters.push_back({"Wrong", "AESV3", std::nullopt}); // not with a V 4 key
  const open_result got = open(r);
  ASSERT_TRUE(got.crypt.has_value());
  EXPECT_EQ(named_filter_method(*got.crypt, "StdCF"), crypt_method::aes128);
  EXPECT_EQ(named_filter_method(*got.crypt, "Clear"), crypt_method::identity);
  EXPECT_EQ(named_filter_method(*got.crypt, "Identity"), crypt_method::identity);
  EXPECT_EQ(named_filter_method(*got.crypt, "Odd"), std::nullopt);
  EXPECT_EQ(named_filter_method(*got.crypt, "Wrong"), std::nullopt);
  EXPECT_EQ(named_filter_method(*got.crypt, "Missing"), std::nullopt);
}

// Of a name that /CF repeats, the first usable entry counts; a lookup among many filters
// compares a few names, not all of them.
TEST(StandardHandler, NamedFiltersAreFoundBySearch) {
  record r = r4_aes();
  r.dict.filters.push_back({"Twice", "None", std::nullopt});
  r.dict.filters.push_back({"Twice", "AESV2", std::nullopt});
  r.dict.filters.push_back({"Late", "AESV9", std::nullopt}); // unknown: the next one counts
  r.dict.filters.push_back({"Late", "V2", std::nullopt});
  for (int k = 0; k < 4096; ++k) r.dict.filters.push_back({"F" + std::to_string(k), "V2", {}});
  const open_result got = open(r);
  ASSERT_TRUE(got.crypt.has_value());
  EXPECT_EQ(named_filter_method(*got.crypt, "Twice"), crypt_method::identity);
  EXPECT_EQ(named_filter_method(*got.crypt, "Late"), crypt_method::rc4);
  uint64_t compared = 0;
  for (int k = 0; k < 4096; k += 7) {
    EXPECT_EQ(named_filter_method(*got.crypt, "F" + std::to_string(k), &compared),
              crypt_method::rc4);
    EXPECT_EQ(named_filter_method(*got.crypt, "F" + std::to_string(k) + "x", &compared),
              std::nullopt);
  }
  const uint64_t lookups = 2 * ((4096 + 6) / 7);
  EXPECT_LE(compared, lookups * 14); // about log2 of 4100 each
}

// ---------------------------------------------------------------- opened as viewers open them

std::string plain_document(); // below

const vec fixture_id0 = from_hex("0123456789abcdef0123456789abcdef");

// The record of a fixture made by fixtures::md5_encryption_for: V 1 for R 2, V 2 for R 3, and
// V 4 with an RC4 filter of `filter_length` for R 4.
record md5_record(const fixtures::md5_encryption& e, int r, std::optional<int32_t> length,
                  std::optional<int32_t> filter_length = 16) {
  record out;
  out.dict.filter = "Standard";
  out.dict.v = r == 2 ? 1 : r == 3 ? 2 : 4;
  out.dict.r = r;
  out.dict.length = length;
  out.dict.p = -4;
  out.dict.o = e.o;
  out.dict.u = e.u;
  if (r == 4) {
    out.dict.filters = {{"StdCF", "V2", filter_length}};
    out.dict.stmf = out.dict.strf = "StdCF";
  }
  out.id0 = fixture_id0;
  return out;
}

// The /Encrypt entries of the same record, as a file writes them.
std::string md5_entries(const record& r) {
  std::string s = "/Filter /Standard /V " + std::to_string(r.dict.v) + " /R " +
                  std::to_string(r.dict.r) + " /P -4 /O " + fixtures::hex_string(r.dict.o) +
                  " /U " + fixtures::hex_string(r.dict.u);
  if (r.dict.length) s += " /Length " + std::to_string(*r.dict.length);
  if (r.dict.r == 4)
    s += " /CF << /StdCF << /CFM /V2 /Length " + std::to_string(*r.dict.filters[0].length) +
         " >> >> /StmF /StdCF /StrF /StdCF";
  return s;
}

// A user password and an empty owner password: the empty password opens the file as its owner,
// with the key the user password gives (R 2 to 4: the user password recovered from /O; R 5 and
// 6: the key from /OE). qpdf, which tries the empty password as both, shows the same key.
TEST(StandardHandler, TheEmptyOwnerPasswordOpensTheFile) {
  const bool qpdf = qpdf_oracle::available();
  for (const auto& [r, n] : {std::pair{2, size_t{5}}, {3, size_t{16}}, {4, size_t{16}}}) {
    SCOPED_TRACE("R " + std::to_string(r));
    const auto e = fixtures::md5_encryption_for("secret", "", r, n, -4, fixture_id0);
    const record rec = md5_record(e, r, static_cast<int32_t>(n * 8));
    const open_result got = open(rec);
    ASSERT_TRUE(got.crypt.has_value()) << "refusal " << static_cast<int>(got.why);
    EXPECT_EQ(to_hex(got.crypt->key), to_hex(e.key));
    // A non-empty owner password keeps the file closed.
    const auto closed = fixtures::md5_encryption_for("secret", "owner", r, n, -4, fixture_id0);
    EXPECT_EQ(static_cast<int>(open(md5_record(closed, r, static_cast<int32_t>(n * 8))).why),
              static_cast<int>(refusal::password));
    if (!qpdf) continue;
    const std::string path =
        fixtures::write_temp("owner_empty_r" + std::to_string(r) + ".pdf",
                             fixtures::md5_encrypted_document({"BT /F1 9 Tf (x) Tj ET"}, e.key,
                                                              md5_entries(rec), fixture_id0));
    std::string error;
    const auto shown = qpdf_oracle::read(path, error);
    ASSERT_TRUE(shown.has_value()) << error;
    EXPECT_EQ(shown->key_hex, to_hex(e.key));
  }
  if (!qpdf) GTEST_SKIP() << "qpdf is not installed: revisions 5 and 6 skipped";
  const std::string plain = fixtures::write_temp("owner_empty_plain.pdf", plain_document());
  for (const std::string args : {"256 --force-R5", "256"}) {
    SCOPED_TRACE(args);
    const std::string path =
        fixtures::temp_path("owner_empty_" + std::to_string(args.size()) + ".pdf");
    ASSERT_EQ(qpdf_oracle::encrypt(plain, path, "secret \"\" " + args + " --allow-insecure"), "");
    std::string error;
    const auto shown = qpdf_oracle::read(path, error);
    ASSERT_TRUE(shown.has_value()) << error;
    const open_result got = standard_open(shown->dict, shown->id0);
    ASSERT_TRUE(got.crypt.has_value()) << "refusal " << static_cast<int>(got.why);
    EXPECT_EQ(to_hex(got.crypt->key), shown->key_hex);
  }
}

// A V 4 key shorter than 16 bytes is confirmed by /U as it is and used zero-padded to 16
// bytes; V 1 and 2 keep their short keys.
TEST(StandardHandler, ShortV4KeysArePaddedTo16Bytes) {
  const auto five = fixtures::md5_encryption_for("", "owner", 4, 5, -4, fixture_id0);
  const std::string padded = to_hex(five.key) + std::string(22, '0');
  const struct {
    const char* what;
    record rec;
    std::string key;
  } cases[] = {
      {"V 4, /Length 40", md5_record(five, 4, 40, 5), padded},
      {"V 4, no /Length, the RC4 filter's /Length 40 in bits", md5_record(five, 4, {}, 40), padded},
      {"V 2, /Length 40: no padding",
       md5_record(fixtures::md5_encryption_for("", "owner", 3, 5, -4, fixture_id0), 3, 40),
       to_hex(fixtures::md5_encryption_for("", "owner", 3, 5, -4, fixture_id0).key)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const open_result got = open(c.rec);
    ASSERT_TRUE(got.crypt.has_value()) << "refusal " << static_cast<int>(got.why);
    EXPECT_EQ(to_hex(got.crypt->key), c.key);
  }
}

// ---------------------------------------------------------------- one object's data

// AES data as a writer makes it: the IV, then CBC of the text with PKCS#5 padding.
vec aes_encrypted(const vec& key, const vec& iv, const std::string& text) {
  vec padded(text.begin(), text.end());
  const size_t pad = 16 - padded.size() % 16;
  padded.insert(padded.end(), pad, static_cast<uint8_t>(pad));
  aes_key k;
  EXPECT_TRUE(aes_key_set(k, key));
  vec out = iv;
  out.resize(16 + padded.size());
  EXPECT_TRUE(aes_cbc_encrypt(k, block_in(iv.data(), 16), padded,
                              out_bytes(out.data() + 16, padded.size())));
  return out;
}

TEST(ObjectDecrypt, AesDataWholeShortOrBadlyPadded) {
  const vec key = from_hex("000102030405060708090a0b0c0d0e0f");
  const vec iv = from_hex("f0e0d0c0b0a090807060504030201000");
  const std::string text = "BT /F1 12 Tf (Hello) Tj ET"; // 26 bytes: 6 of padding
  const vec data = aes_encrypted(key, iv, text);
  ASSERT_EQ(data.size(), 48u);

  vec out = {'x'}; // appended after what is there
  EXPECT_TRUE(aes_decrypt_append(key, data, out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "x" + text);

  const std::string exact(32, 'e'); // a whole block of padding follows
  out.clear();
  EXPECT_TRUE(aes_decrypt_append(key, aes_encrypted(key, iv, exact), out));
  EXPECT_EQ(std::string(out.begin(), out.end()), exact);

  out.clear();
  EXPECT_TRUE(aes_decrypt_append(key, aes_encrypted(key, iv, ""), out));
  EXPECT_TRUE(out.empty());

  // Cut inside the last block: the whole blocks before it are kept.
  const vec cut(data.begin(), data.end() - 5);
  out.clear();
  EXPECT_FALSE(aes_decrypt_append(key, cut, out));
  EXPECT_EQ(std::string(out.begin(), out.end()), text.substr(0, 16));

  // Only the IV, or less: nothing.
  for (const size_t n : {0u, 7u, 16u, 20u}) {
    out.clear();
    EXPECT_FALSE(
        aes_decrypt_append(key, vec(data.begin(), data.begin() + static_cast<long>(n)), out));
    EXPECT_TRUE(out.empty()) << n;
  }

  // A last block whose padding is damaged keeps every decrypted byte. Changing the cipher
  // block before it flips the same bit of its plain text (and garbles that block's own).
  vec bad = data;
  bad[16 + 15] ^= 0x04;
  out.clear();
  EXPECT_FALSE(aes_decrypt_append(key, bad, out));
  ASSERT_EQ(out.size(), 32u);
  EXPECT_EQ(std::string(out.begin() + 16, out.begin() + 26), text.substr(16));
  EXPECT_EQ(out[31], 6 ^ 4);

  // A wrong key length appends nothing.
  out.clear();
  EXPECT_FALSE(aes_decrypt_append(vec(15, 1), data, out));
  EXPECT_TRUE(out.empty());
}

TEST(ObjectDecrypt, PaddingValuesOutOfRangeAreKept) {
  const vec key(16, 7);
  const vec iv(16, 0);
  aes_key k;
  ASSERT_TRUE(aes_key_set(k, key));
  // Last plain bytes 0, 17 and a run of 3 that claims 4: none is PKCS#5.
  for (const vec& tail : {vec{0}, vec{17}, vec{9, 3, 3, 4, 4, 4}}) {
    vec plain(16 - tail.size(), 'p');
    plain.insert(plain.end(), tail.begin(), tail.end());
    vec data = iv;
    data.resize(32);
    ASSERT_TRUE(
        aes_cbc_encrypt(k, block_in(iv.data(), 16), plain, out_bytes(data.data() + 16, 16)));
    vec out;
    EXPECT_FALSE(aes_decrypt_append(key, data, out));
    EXPECT_EQ(out, plain);
  }
}

TEST(ObjectDecrypt, ObjectKeysDifferByNumberGenerationAndMethod) {
  file_crypt fc;
  fc.key = from_hex("0102030405");
  const object_key a = object_key_of(fc, crypt_method::rc4, 7, 0);
  EXPECT_EQ(a.size, 10u); // 5 + 5
  EXPECT_NE(to_hex(a.view()), to_hex(object_key_of(fc, crypt_method::rc4, 8, 0).view()));
  EXPECT_NE(to_hex(a.view()), to_hex(object_key_of(fc, crypt_method::rc4, 7, 1).view()));
  EXPECT_NE(to_hex(a.view()), to_hex(object_key_of(fc, crypt_method::aes128, 7, 0).view()));
  // Only the low 3 bytes of the number and 2 of the generation count.
  EXPECT_EQ(to_hex(a.view()),
            to_hex(object_key_of(fc, crypt_method::rc4, 7 + (1 << 24), 0).view()));
  EXPECT_EQ(to_hex(a.view()), to_hex(object_key_of(fc, crypt_method::rc4, 7, 1 << 16).view()));
  fc.key.assign(16, 9);
  EXPECT_EQ(object_key_of(fc, crypt_method::aes128, 7, 0).size, 16u); // capped at 16
  fc.key.assign(32, 9);
  EXPECT_EQ(to_hex(object_key_of(fc, crypt_method::aes256, 7, 0).view()), to_hex(fc.key));
  EXPECT_EQ(object_key_of(fc, crypt_method::identity, 7, 0).size, 0u);

  vec out;
  EXPECT_TRUE(object_decrypt_append(fc, crypt_method::identity, 1, 0, from_hex("00ff"), out));
  EXPECT_EQ(out, from_hex("00ff"));
}

// Any bytes of any length: the plain text is never longer than the data (AES: the data less
// its IV), and nothing is read or written outside it (the sanitizer build checks).
TEST(ObjectDecrypt, ArbitraryDataOfEveryLength) {
  std::mt19937 rng(11);
  file_crypt fc;
  for (const crypt_method m : {crypt_method::rc4, crypt_method::aes128, crypt_method::aes256}) {
    fc.key.resize(m == crypt_method::aes256 ? 32 : 16);
    for (uint8_t& b : fc.key) b = static_cast<uint8_t>(rng());
    for (size_t n = 0; n <= 100; ++n) {
      vec data(n);
      for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
      vec out;
      object_decrypt_append(fc, m, static_cast<int32_t>(n), 0, data, out);
      const size_t most = m == crypt_method::rc4 ? n : (n < 16 ? 0 : n - 16);
      EXPECT_LE(out.size(), most) << static_cast<int>(m) << " " << n;
      if (m == crypt_method::rc4) {
        EXPECT_EQ(out.size(), n);
      }
    }
  }
}

// In place or appended, the same plain text: for random data (short, partial, badly padded)
// and for well-padded AES data of every length, which gives the message back.
TEST(ObjectDecrypt, InPlaceGivesWhatAppendGives) {
  std::mt19937 rng(12);
  file_crypt fc;
  for (const crypt_method m :
       {crypt_method::identity, crypt_method::rc4, crypt_method::aes128, crypt_method::aes256}) {
    fc.key.resize(m == crypt_method::aes256 ? 32 : 16);
    for (uint8_t& b : fc.key) b = static_cast<uint8_t>(rng());
    for (size_t n = 0; n <= 70; ++n) {
      SCOPED_TRACE(std::to_string(static_cast<int>(m)) + " " + std::to_string(n));
      vec message(n);
      for (uint8_t& b : message) b = static_cast<uint8_t>(rng());
      std::vector<vec> inputs = {message};
      if (m == crypt_method::aes128 || m == crypt_method::aes256) {
        vec padded = message;
        padded.insert(padded.end(), 16 - n % 16, static_cast<uint8_t>(16 - n % 16));
        aes_key k;
        ASSERT_TRUE(aes_key_set(k, object_key_of(fc, m, 5, 0).view()));
        vec data(16 + padded.size());
        for (size_t i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(rng());
        ASSERT_TRUE(aes_cbc_encrypt(k, block_in(data.data(), 16), padded,
                                    out_bytes(data.data() + 16, padded.size())));
        inputs.push_back(data);
      }
      for (const vec& data : inputs) {
        vec appended;
        const bool whole = object_decrypt_append(fc, m, 5, 0, data, appended);
        vec copy = data;
        const out_bytes plain = object_decrypt_in_place(fc, m, 5, 0, copy);
        EXPECT_EQ(to_hex(vec(plain.begin(), plain.end())), to_hex(appended));
        EXPECT_TRUE(plain.empty() || (plain.data() >= copy.data() &&
                                      plain.data() + plain.size() <= copy.data() + copy.size()));
        if (&data != &inputs.front()) {
          EXPECT_TRUE(whole);
          EXPECT_EQ(to_hex(appended), to_hex(message));
        }
      }
    }
  }
}

// ---------------------------------------------------------------- files encrypted by qpdf

// Two pages, a font, a /Metadata stream and an /Info dictionary with a text and a binary
// string: something of every kind that encryption touches.
std::string plain_document() {
  fixtures::pdf_builder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R /Metadata 8 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
  b.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 5 0 R "
              "/Resources << /Font << /F1 7 0 R >> >> >>");
  b.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 6 0 R "
              "/Resources << /Font << /F1 7 0 R >> >> >>");
  b.stream(5, "", "BT /F1 24 Tf 72 700 Td (First page) Tj ET\n");
  b.stream(6, "/Filter /FlateDecode",
           fixtures::zlib_stored("BT /F1 24 Tf 72 650 Td (Second page, a little longer) Tj ET\n"));
  b.object(7, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  b.stream(
      8, "/Type /Metadata /Subtype /XML",
      "<?xpacket begin=\"\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
      "</x:xmpmeta><?xpacket end=\"w\"?>");
  b.object(9, "<< /Title (A title) /Subject <00ff7f28295c0d0a> >>");
  b.xref_table();
  b.trailer("<< /Root 1 0 R /Info 9 0 R /Size 10 >>");
  b.startxref();
  return b.str();
}

crypt_method method_named(const std::string& word) {
  if (word == "AESv2") return crypt_method::aes128;
  if (word == "AESv3") return crypt_method::aes256;
  if (word == "None") return crypt_method::identity;
  return crypt_method::rc4; // qpdf names no method for V 1 and 2, which use RC4
}

using qpdf_oracle::qpdf_case;
using qpdf_oracle::qpdf_cases;

// Every stream in the file decrypts to the bytes qpdf shows for it; the strings of /Info too
// when it is a top-level object. Returns the number of streams compared.
int check_file_data(const std::string& path, const file_crypt& fc, int info_num) {
  const std::string file = fixtures::read_file(path);
  int streams = 0;
  for (const testpdf::object_at& o : testpdf::objects_in(file)) {
    const testpdf::value* type = o.body.get("Type");
    const std::string type_name = type != nullptr ? type->text : "";
    if (o.is_stream && type_name != "XRef") {
      SCOPED_TRACE("stream " + std::to_string(o.num) + " " + type_name);
      const crypt_method m =
          type_name == "Metadata" && !fc.encrypt_metadata ? crypt_method::identity : fc.streams;
      vec plain;
      object_decrypt_append(fc, m, o.num, o.gen, hexb::of_text(o.data), plain);
      EXPECT_EQ(std::string(plain.begin(), plain.end()), qpdf_oracle::raw_stream(path, o.num));
      ++streams;
    }
    if (o.num == info_num) {
      const testpdf::value* title = o.body.get("Title");
      const testpdf::value* subject = o.body.get("Subject");
      EXPECT_TRUE(title != nullptr && subject != nullptr);
      if (title == nullptr || subject == nullptr) continue;
      vec plain;
      object_decrypt_append(fc, fc.strings, o.num, o.gen, hexb::of_text(title->text), plain);
      EXPECT_EQ(std::string(plain.begin(), plain.end()), "A title");
      plain.clear();
      object_decrypt_append(fc, fc.strings, o.num, o.gen, hexb::of_text(subject->text), plain);
      EXPECT_EQ(to_hex(plain), "00ff7f28295c0d0a");
    }
  }
  return streams;
}

TEST(QpdfEncrypted, KeysMethodsAndDataMatchQpdf) {
  if (!qpdf_oracle::available())
    GTEST_SKIP() << "qpdf is not installed: encrypted fixtures skipped";
  const std::string plain = fixtures::write_temp("crypt_plain.pdf", plain_document());
  int n = 0;
  for (const qpdf_case& c : qpdf_cases) {
    for (const std::string extra : {"", "--object-streams=generate"}) {
      SCOPED_TRACE(std::string(c.args) + " " + extra);
      const std::string path = fixtures::temp_path("crypt_" + std::to_string(n++) + ".pdf");
      const std::string failure =
          qpdf_oracle::encrypt(plain, path, std::string("\"\" owner ") + c.args, extra);
      ASSERT_EQ(failure, "");
      std::string error;
      const auto e = qpdf_oracle::read(path, error);
      ASSERT_TRUE(e.has_value()) << error;
      EXPECT_EQ(e->dict.r, c.r);

      const open_result got = standard_open(e->dict, e->id0);
      ASSERT_TRUE(got.crypt.has_value()) << "refusal " << static_cast<int>(got.why);
      EXPECT_EQ(to_hex(got.crypt->key), e->key_hex);
      EXPECT_EQ(got.crypt->streams, method_named(e->stream_word));
      EXPECT_EQ(got.crypt->strings, method_named(e->string_word));
      EXPECT_EQ(got.crypt->encrypt_metadata, c.encrypt_metadata);
      // The two content streams and the metadata, or the object stream that holds the rest.
      EXPECT_GE(check_file_data(path, *got.crypt, e->info_num), 2);
    }
  }
}

TEST(QpdfEncrypted, AUserPasswordIsRefused) {
  if (!qpdf_oracle::available())
    GTEST_SKIP() << "qpdf is not installed: encrypted fixtures skipped";
  const std::string plain = fixtures::write_temp("crypt_plain_pw.pdf", plain_document());
  int n = 0;
  for (const qpdf_case& c : qpdf_cases) {
    SCOPED_TRACE(c.args);
    const std::string path = fixtures::temp_path("crypt_pw_" + std::to_string(n++) + ".pdf");
    ASSERT_EQ(qpdf_oracle::encrypt(plain, path, std::string("secret owner ") + c.args), "");
    const std::string shown = fixtures::read_file(path);
    // qpdf needs the password to show the file, so the dictionary is read from the file.
    const std::string trailer_key = "/Encrypt ";
    const size_t at = shown.rfind(trailer_key);
    ASSERT_NE(at, std::string::npos);
    size_t p = at + trailer_key.size();
    const auto ref = testpdf::parse_value(shown, p);
    ASSERT_TRUE(ref && ref->k == testpdf::value::kind::ref);
    const testpdf::value* dict = nullptr;
    const auto objects = testpdf::objects_in(shown);
    for (const auto& o : objects) {
      if (o.num == ref->num) dict = &o.body;
    }
    ASSERT_NE(dict, nullptr);
    size_t id_at = shown.rfind("/ID");
    ASSERT_NE(id_at, std::string::npos);
    id_at += 3;
    const auto id = testpdf::parse_value(shown, id_at);
    ASSERT_TRUE(id && !id->items.empty());
    const open_result got =
        standard_open(qpdf_oracle::dict_of(*dict), hexb::of_text(id->items[0].text));
    EXPECT_FALSE(got.crypt.has_value());
    EXPECT_EQ(static_cast<int>(got.why), static_cast<int>(refusal::password));
  }
}

} // namespace
