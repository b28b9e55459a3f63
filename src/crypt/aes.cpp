// The AES block cipher (FIPS-197) with 128-, 192- and 256-bit keys: the key schedule and one
// block in each direction, with table lookups per state byte.
#include "crypt/aes_tables.h"
#include "crypt/crypt.h"

namespace pdfcrypt {
namespace {

using namespace aes_tables;

uint32_t load_be32(const uint8_t* p) {
  return word(p[0], p[1], p[2], p[3]);
}

void store_be32(uint32_t v, uint8_t* p) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

uint8_t byte_of(uint32_t w, int index) {
  return static_cast<uint8_t>(w >> (24 - 8 * index));
}

uint32_t sub_word(uint32_t w) {
  return word(sbox[byte_of(w, 0)], sbox[byte_of(w, 1)], sbox[byte_of(w, 2)], sbox[byte_of(w, 3)]);
}

// InvMixColumns of one column: the decryption tables hold the inverse S-box as well, which the
// forward S-box cancels.
uint32_t inv_mix_column(uint32_t w) {
  return dec[0][sbox[byte_of(w, 0)]] ^ dec[1][sbox[byte_of(w, 1)]] ^ dec[2][sbox[byte_of(w, 2)]] ^
         dec[3][sbox[byte_of(w, 3)]];
}

} // namespace

bool aes_key_set(aes_key& k, bytes key) noexcept {
  if (key.size() != 16 && key.size() != 24 && key.size() != 32) return false;
  const int nk = static_cast<int>(key.size() / 4);
  const int rounds = nk + 6;
  const int total = 4 * (rounds + 1);
  for (int i = 0; i < nk; ++i) k.enc[i] = load_be32(key.data() + 4 * i);
  uint8_t rcon = 1;
  for (int i = nk; i < total; ++i) {
    uint32_t t = k.enc[i - 1];
    if (i % nk == 0) {
      t = sub_word(std::rotl(t, 8)) ^ (static_cast<uint32_t>(rcon) << 24);
      rcon = gf_mul(rcon, 2);
    } else if (nk > 6 && i % nk == 4) {
      t = sub_word(t);
    }
    k.enc[i] = k.enc[i - nk] ^ t;
  }
  // The equivalent inverse cipher takes the round keys in reverse order, those of the inner
  // rounds passed through InvMixColumns.
  for (int r = 0; r <= rounds; ++r) {
    for (int c = 0; c < 4; ++c) {
      const uint32_t w = k.enc[4 * (rounds - r) + c];
      k.dec[4 * r + c] = r == 0 || r == rounds ? w : inv_mix_column(w);
    }
  }
  k.rounds = rounds;
  return true;
}

void aes_block_encrypt(const aes_key& k, block_in in, block_out out) noexcept {
  if (k.rounds == 0) {
    for (uint8_t& b : out) b = 0;
    return;
  }
  const uint32_t* rk = k.enc.data();
  uint32_t s0 = load_be32(&in[0]) ^ rk[0];
  uint32_t s1 = load_be32(&in[4]) ^ rk[1];
  uint32_t s2 = load_be32(&in[8]) ^ rk[2];
  uint32_t s3 = load_be32(&in[12]) ^ rk[3];
  for (int r = 1; r < k.rounds; ++r) {
    rk += 4;
    const uint32_t t0 = enc[0][s0 >> 24] ^ enc[1][(s1 >> 16) & 0xff] ^ enc[2][(s2 >> 8) & 0xff] ^
                        enc[3][s3 & 0xff] ^ rk[0];
    const uint32_t t1 = enc[0][s1 >> 24] ^ enc[1][(s2 >> 16) & 0xff] ^ enc[2][(s3 >> 8) & 0xff] ^
                        enc[3][s0 & 0xff] ^ rk[1];
    const uint32_t t2 = enc[0][s2 >> 24] ^ enc[1][(s3 >> 16) & 0xff] ^ enc[2][(s0 >> 8) & 0xff] ^
                        enc[3][s1 & 0xff] ^ rk[2];
    const uint32_t t3 = enc[0][s3 >> 24] ^ enc[1][(s0 >> 16) & 0xff] ^ enc[2][(s1 >> 8) & 0xff] ^
                        enc[3][s2 & 0xff] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
    return word(sbox[a >> 24], sbox[(b >> 16) & 0xff], sbox[(c >> 8) & 0xff], sbox[d & 0xff]) ^ key;
  };
  store_be32(last(s0, s1, s2, s3, rk[0]), &out[0]);
  store_be32(last(s1, s2, s3, s0, rk[1]), &out[4]);
  store_be32(last(s2, s3, s0, s1, rk[2]), &out[8]);
  store_be32(last(s3, s0, s1, s2, rk[3]), &out[12]);
}

void aes_block_decrypt(const aes_key& k, block_in in, block_out out) noexcept {
  if (k.rounds == 0) {
    for (uint8_t& b : out) b = 0;
    return;
  }
  const uint32_t* rk = k.dec.data();
  uint32_t s0 = load_be32(&in[0]) ^ rk[0];
  uint32_t s1 = load_be32(&in[4]) ^ rk[1];
  uint32_t s2 = load_be32(&in[8]) ^ rk[2];
  uint32_t s3 = load_be32(&in[12]) ^ rk[3];
  for (int r = 1; r < k.rounds; ++r) {
    rk += 4;
    const uint32_t t0 = dec[0][s0 >> 24] ^ dec[1][(s3 >> 16) & 0xff] ^ dec[2][(s2 >> 8) & 0xff] ^
                        dec[3][s1 & 0xff] ^ rk[0];
    const uint32_t t1 = dec[0][s1 >> 24] ^ dec[1][(s0 >> 16) & 0xff] ^ dec[2][(s3 >> 8) & 0xff] ^
                        dec[3][s2 & 0xff] ^ rk[1];
    const uint32_t t2 = dec[0][s2 >> 24] ^ dec[1][(s1 >> 16) & 0xff] ^ dec[2][(s0 >> 8) & 0xff] ^
                        dec[3][s3 & 0xff] ^ rk[2];
    const uint32_t t3 = dec[0][s3 >> 24] ^ dec[1][(s2 >> 16) & 0xff] ^ dec[2][(s1 >> 8) & 0xff] ^
                        dec[3][s0 & 0xff] ^ rk[3];
    s0 = t0;
    s1 = t1;
    s2 = t2;
    s3 = t3;
  }
  rk += 4;
  const auto last = [](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t key) {
    return word(inverse_sbox[a >> 24], inverse_sbox[(b >> 16) & 0xff],
                inverse_sbox[(c >> 8) & 0xff], inverse_sbox[d & 0xff]) ^
           key;
  };
  store_be32(last(s0, s3, s2, s1, rk[0]), &out[0]);
  store_be32(last(s1, s0, s3, s2, rk[1]), &out[4]);
  store_be32(last(s2, s1, s0, s3, rk[2]), &out[8]);
  store_be32(last(s3, s2, s1, s0, rk[3]), &out[12]);
}

} // namespace pdfcrypt
