// RC4 against RFC 6229, AES against the FIPS-197 single blocks and the SP 800-38A CBC
// examples, and the length checks of both.
#include "crypt/aes_ni.h"
#include "crypt/crypt.h"
#include "hex_bytes.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

using namespace pdfcrypt;
using hexb::from_hex;
using hexb::to_hex;

namespace {

using vec = std::vector<uint8_t>;

// ---------------------------------------------------------------- RC4

// RFC 6229: the key stream at a few offsets, for keys of 40, 64, 128 and 192 bits.
TEST(Rc4, Rfc6229KeyStreams) {
  const struct {
    const char* key;
    std::vector<std::pair<size_t, const char*>> stream; // offset, 16 bytes
  } cases[] = {
      {"0102030405",
       {{0, "b2396305f03dc027ccc3524a0a1118a8"},
        {16, "6982944f18fc82d589c403a47a0d0919"},
        {240, "28cb1132c96ce286421dcaadb8b69eae"},
        {1008, "45129048e6a0ed0b56b490338f078da5"},
        {4096, "ff25b58995996707e51fbdf08b34d875"}}},
      {"0102030405060708",
       {{0, "97ab8a1bf0afb96132f2f67258da15a8"},
        {256, "d0a990ff2c05fef5b90373c9ff4b870a"},
        {4080, "d5fa5a3469d29aaaf83d23589db8c85b"}}},
      {"0102030405060708090a0b0c0d0e0f10",
       {{0, "9ac7cc9a609d1ef7b2932899cde41b97"},
        {16, "5248c4959014126a6e8a84f11d1a9e1c"},
        {1536, "ffa0b514647ec04f6306b892ae661181"},
        {4096, "a36a4c301ae8ac13610ccbc12256cacc"}}},
      {"c109163908ebe51debb46227c6cc8b37641910833222772a",
       {{0, "54b64e6b5a20b5e2ec84593dc7989da7"},
        {752, "80a3d01ef00c8e9a4209c17f4eeb358c"},
        {4096, "e4dd2e98d6960fae0b43545456743391"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    rc4_state st;
    ASSERT_TRUE(rc4_begin(st, from_hex(c.key)));
    vec stream(4112); // the key stream is RC4 applied to zeros
    ASSERT_TRUE(rc4_apply(st, stream, stream));
    for (const auto& [offset, expected] : c.stream) {
      SCOPED_TRACE(offset);
      EXPECT_EQ(to_hex(vec(stream.begin() + static_cast<long>(offset),
                           stream.begin() + static_cast<long>(offset) + 16)),
                expected);
    }
  }
}

TEST(Rc4, PiecesContinueTheStream) {
  const vec key = from_hex("0102030405");
  vec data(1000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  rc4_state whole;
  ASSERT_TRUE(rc4_begin(whole, key));
  vec once(data.size());
  ASSERT_TRUE(rc4_apply(whole, data, once));
  rc4_state pieces;
  ASSERT_TRUE(rc4_begin(pieces, key));
  vec twice(data.size());
  ASSERT_TRUE(rc4_apply(pieces, bytes(data.data(), 333), out_bytes(twice.data(), 333)));
  ASSERT_TRUE(rc4_apply(pieces, bytes(data.data() + 333, 667), out_bytes(twice.data() + 333, 667)));
  EXPECT_EQ(once, twice);
}

// Two key streams interleaved give what each gives alone, in place or not, and both states
// continue as after rc4_apply; unusable arguments write nothing.
TEST(Rc4, PairsGiveWhatEachGivesAlone) {
  const vec key_a = from_hex("0102030405");
  const vec key_b = from_hex("c0ffee00112233445566778899aabbcc");
  for (const size_t n : {0u, 1u, 255u, 256u, 1000u}) {
    SCOPED_TRACE(n);
    vec data_a(n), data_b(n);
    for (size_t i = 0; i < n; ++i) {
      data_a[i] = static_cast<uint8_t>(i);
      data_b[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    rc4_state a1, b1, a2, b2;
    ASSERT_TRUE(rc4_begin(a1, key_a) && rc4_begin(b1, key_b));
    ASSERT_TRUE(rc4_begin(a2, key_a) && rc4_begin(b2, key_b));
    vec alone_a(n), alone_b(n);
    ASSERT_TRUE(rc4_apply(a1, data_a, alone_a));
    ASSERT_TRUE(rc4_apply(b1, data_b, alone_b));
    vec pair_a = data_a, pair_b = data_b; // in place
    ASSERT_TRUE(rc4_apply_pair(a2, pair_a, pair_a, b2, pair_b, pair_b));
    EXPECT_EQ(pair_a, alone_a);
    EXPECT_EQ(pair_b, alone_b);
    // The states go on alike.
    vec more1(17), more2(17);
    ASSERT_TRUE(rc4_apply(a1, vec(17, 0), more1));
    ASSERT_TRUE(rc4_apply(a2, vec(17, 0), more2));
    EXPECT_EQ(more1, more2);
    ASSERT_TRUE(rc4_apply(b1, vec(17, 0), more1));
    ASSERT_TRUE(rc4_apply(b2, vec(17, 0), more2));
    EXPECT_EQ(more1, more2);
  }
  rc4_state a, b;
  ASSERT_TRUE(rc4_begin(a, key_a) && rc4_begin(b, key_b));
  vec out_a(4, 0x55), out_b(4, 0x55);
  EXPECT_FALSE(rc4_apply_pair(a, vec(4, 0), out_a, b, vec(3, 0), out_b)); // lengths differ
  EXPECT_FALSE(rc4_apply_pair(a, vec(5, 0), out_a, b, vec(5, 0), out_b)); // outputs too short
  EXPECT_FALSE(rc4_apply_pair(a, vec(4, 0), out_a, a, vec(4, 0), out_b)); // one state twice
  EXPECT_EQ(out_a, vec(4, 0x55));
  EXPECT_EQ(out_b, vec(4, 0x55));
}

TEST(Rc4, RefusesUnusableLengths) {
  rc4_state st;
  EXPECT_FALSE(rc4_begin(st, vec{}));
  EXPECT_FALSE(rc4_begin(st, vec(257, 1)));
  EXPECT_TRUE(rc4_begin(st, vec(256, 1)));
  const vec in(10, 0);
  vec out(9, 0x55);
  EXPECT_FALSE(rc4_apply(st, in, out));
  EXPECT_EQ(out, vec(9, 0x55)); // nothing written
}

// ---------------------------------------------------------------- AES

// FIPS-197 appendix C: plaintext 00112233...ff under the keys 000102...
TEST(Aes, Fips197Blocks) {
  const struct {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "8ea2b7ca516745bfeafc49904b496089"},
  };
  const vec plain = from_hex("00112233445566778899aabbccddeeff");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    aes_key k;
    ASSERT_TRUE(aes_key_set(k, from_hex(c.key)));
    std::array<uint8_t, 16> out{};
    aes_block_encrypt(k, block_in(plain.data(), 16), out);
    EXPECT_EQ(to_hex(out), c.cipher);
    aes_block_decrypt(k, out, out); // in place
    EXPECT_EQ(to_hex(out), to_hex(plain));
  }
}

// SP 800-38A F.2.1 to F.2.6: four blocks in CBC mode with IV 000102...0f.
TEST(Aes, Sp800_38aCbc) {
  const vec iv = from_hex("000102030405060708090a0b0c0d0e0f");
  const vec plain = from_hex("6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
                             "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710");
  const struct {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c",
       "7649abac8119b246cee98e9b12e9197d 5086cb9b507219ee95db113a917678b2"
       "73bed6b8e3c1743b7116e69e22229516 3ff1caa1681fac09120eca307586e1a7"},
      {"8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
       "4f021db243bc633d7178183a9fa071e8 b4d9ada9ad7dedf4e5e738763f69145a"
       "571b242012fb7ae07fa9baac3df102e0 08b0e27988598881d920a9e64f5615cd"},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       "f58c4c04d6e5f1ba779eabfb5f7bfbd6 9cfc4e967edb808d679f777bc6702c7d"
       "39f23369a9d9bacfa530e26304231461 b2eb05e2c39be9fcda6c19078c6a9d1b"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    aes_key k;
    ASSERT_TRUE(aes_key_set(k, from_hex(c.key)));
    const vec cipher = from_hex(c.cipher);
    vec out(64);
    ASSERT_TRUE(aes_cbc_encrypt(k, block_in(iv.data(), 16), plain, out));
    EXPECT_EQ(out, cipher);
    ASSERT_TRUE(aes_cbc_decrypt(k, block_in(iv.data(), 16), cipher, out));
    EXPECT_EQ(out, plain);
    vec in_place = cipher;
    ASSERT_TRUE(aes_cbc_decrypt(k, block_in(iv.data(), 16), in_place, in_place));
    EXPECT_EQ(in_place, plain);
  }
}

// The processor's AES instructions and the table code give the same plain text: lengths of 0
// to 9 blocks (the instruction way takes four at a time) with every key size, apart and in
// place. Where the processor has no such instructions only the table code runs.
TEST(Aes, CbcDecryptionTheTwoWays) {
  if (!aes_ni_usable()) GTEST_SKIP() << "no AES instructions on this processor";
  std::mt19937 rng(3);
  const auto random = [&](size_t n) {
    vec v(n);
    for (uint8_t& b : v) b = static_cast<uint8_t>(rng());
    return v;
  };
  for (const size_t key_size : {16u, 24u, 32u}) {
    aes_key k;
    ASSERT_TRUE(aes_key_set(k, random(key_size)));
    for (size_t blocks = 0; blocks <= 9; ++blocks) {
      SCOPED_TRACE(std::to_string(key_size) + " " + std::to_string(blocks));
      const vec iv = random(16);
      const vec cipher = random(16 * blocks);
      vec table(cipher.size());
      vec instructions(cipher.size());
      aes_cbc_decrypt_portable(k, block_in(iv.data(), 16), cipher, table);
      aes_cbc_decrypt_ni(k, block_in(iv.data(), 16), cipher, instructions);
      EXPECT_EQ(to_hex(instructions), to_hex(table));
      vec in_place = cipher;
      aes_cbc_decrypt_ni(k, block_in(iv.data(), 16), in_place, in_place);
      EXPECT_EQ(to_hex(in_place), to_hex(table));
    }
  }
}

TEST(Aes, RefusesUnusableLengths) {
  aes_key k;
  for (const size_t n : {0u, 15u, 17u, 20u, 31u, 33u}) EXPECT_FALSE(aes_key_set(k, vec(n, 1)));
  const vec iv(16, 0);
  vec out(32, 0x55);
  // A key that was never set.
  EXPECT_FALSE(aes_cbc_decrypt(k, block_in(iv.data(), 16), vec(32, 0), out));
  ASSERT_TRUE(aes_key_set(k, vec(16, 1)));
  EXPECT_FALSE(aes_cbc_decrypt(k, block_in(iv.data(), 16), vec(31, 0), out)); // not whole blocks
  EXPECT_FALSE(aes_cbc_encrypt(k, block_in(iv.data(), 16), vec(48, 0), out)); // output too short
  EXPECT_EQ(out, vec(32, 0x55));
  EXPECT_TRUE(aes_cbc_decrypt(k, block_in(iv.data(), 16), vec{}, out)); // nothing to do
}

} // namespace
