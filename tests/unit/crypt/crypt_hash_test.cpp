// MD5 against the RFC 1321 test suite, SHA-256/384/512 against the FIPS 180-4 examples, and
// the same digests when the message arrives in pieces of every size.
#include "crypt/crypt.h"
#include "hex_bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pdfcrypt;
using hexb::of_text;
using hexb::to_hex;

namespace {

TEST(Md5, Rfc1321TestSuite) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(to_hex(md5(of_text(c.message))), c.digest);
  }
}

// FIPS 180-4 examples: one block, two blocks, and a million times "a".
struct sha_case {
  std::string message;
  const char* sha256;
  const char* sha384;
  const char* sha512;
};

const std::vector<sha_case>& sha_cases() {
  static const std::vector<sha_case> cases = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
       "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f1"
       "4898b95b",
       "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2"
       "877eec2f63b931bd47417a81a538327af927da3e"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
       "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
       "34c825a7",
       "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23"
       "a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
       "3391fdddfc8dc7393707a65b1b4709397cf8b1d162af05abfe8f450de5f36bc6b0455a8520bc4e6f5fe95b1f"
       "e3c8452b",
       "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea"
       "57789ca031ad85c7a71dd70354ec631238ca3445"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
       "mnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1",
       "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa"
       "91746039",
       "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99de"
       "c4b5433ac7d329eeb6dd26545e96e55b874be909"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
       "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd8"
       "7f3d8985",
       "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432c"
       "e577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
  };
  return cases;
}

TEST(Sha2, Fips180Examples) {
  for (const sha_case& c : sha_cases()) {
    SCOPED_TRACE(c.message.substr(0, 40) + " (" + std::to_string(c.message.size()) + " bytes)");
    const std::vector<uint8_t> m = of_text(c.message);
    EXPECT_EQ(to_hex(sha256(m)), c.sha256);
    EXPECT_EQ(to_hex(sha384(m)), c.sha384);
    EXPECT_EQ(to_hex(sha512(m)), c.sha512);
  }
  EXPECT_EQ(to_hex(md5(of_text(std::string(1000000, 'a')))), "7707d6ae4e027c70eea2a935c2296f21");
}

// Feeding a message in pieces must give the digest of the whole: pieces that fill a block
// exactly, that stop one short of it, and that straddle it.
TEST(Hashes, PiecesGiveTheDigestOfTheWhole) {
  std::vector<uint8_t> m(700);
  for (size_t i = 0; i < m.size(); ++i) m[i] = static_cast<uint8_t>(i * 7 + 3);
  const auto whole_md5 = md5(m);
  const auto whole_256 = sha256(m);
  const auto whole_384 = sha384(m);
  const auto whole_512 = sha512(m);
  for (size_t piece = 1; piece <= 130; ++piece) {
    SCOPED_TRACE(piece);
    md5_state a;
    sha256_state b;
    sha512_state c = sha384_begin();
    sha512_state d = sha512_begin();
    for (size_t at = 0; at < m.size(); at += piece) {
      const bytes part(m.data() + at, std::min(piece, m.size() - at));
      md5_add(a, part);
      sha256_add(b, part);
      sha512_add(c, part);
      sha512_add(d, part);
      md5_add(a, {}); // an empty piece changes nothing
    }
    EXPECT_EQ(md5_end(a), whole_md5);
    EXPECT_EQ(sha256_end(b), whole_256);
    EXPECT_EQ(sha384_end(c), whole_384);
    EXPECT_EQ(sha512_end(d), whole_512);
  }
}

// Messages whose padding just fits the last block or needs one more (digests of an
// independent implementation).
TEST(Hashes, LengthsAroundTheBlockEnd) {
  const struct {
    size_t length;
    const char* md5;
    const char* sha256;
  } cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65",
       "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {56, "3b0c8ac703f828b04c6c197006d17218",
       "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {64, "014842d480b571495a4a0363793f7367",
       "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::vector<uint8_t> m(c.length, 'a');
    EXPECT_EQ(to_hex(md5(m)), c.md5);
    EXPECT_EQ(to_hex(sha256(m)), c.sha256);
  }
  const struct {
    size_t length;
    const char* sha512;
  } long_blocks[] = {
      {111, "fa9121c7b32b9e01733d034cfc78cbf67f926c7ed83e82200ef86818196921760b4beff48404df811b95"
            "3828274461673c68d04e297b0eb7b2b4d60fc6b566a2"},
      {112, "c01d080efd492776a1c43bd23dd99d0a2e626d481e16782e75d54c2503b5dc32bd05f0f1ba33e568b88f"
            "d2d970929b719ecbb152f58f130a407c8830604b70ca"},
      {128, "b73d1929aa615934e61a871596b3f3b33359f42b8175602e89f7e06e5f658a243667807ed300314b95ca"
            "cdd579f3e33abdfbe351909519a846d465c59582f321"},
  };
  for (const auto& c : long_blocks) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(to_hex(sha512(std::vector<uint8_t>(c.length, 'a'))), c.sha512);
  }
}

} // namespace
