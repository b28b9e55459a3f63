// The tables of the AES cipher, computed at compile time from the field arithmetic of
// FIPS-197: the S-box and its inverse, and for each round direction the four 256-word tables
// that join SubBytes (or its inverse) with MixColumns (or its inverse) for one state byte.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace pdfcrypt::aes_tables {

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
  uint8_t p = 0;
  for (int i = 0; i < 8; ++i) {
    if (b & 1) p ^= a;
    const bool high = (a & 0x80) != 0;
    a = static_cast<uint8_t>(a << 1);
    if (high) a ^= 0x1b;
    b >>= 1;
  }
  return p;
}

// The S-box: the multiplicative inverse (0 for 0) followed by the affine map. The inverse of
// each field element is found by walking powers of the generator 3.
constexpr std::array<uint8_t, 256> make_sbox() {
  std::array<uint8_t, 256> log{}, exp{};
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    exp[i] = x;
    log[x] = static_cast<uint8_t>(i);
    x = gf_mul(x, 3);
  }
  std::array<uint8_t, 256> box{};
  for (int v = 0; v < 256; ++v) {
    const uint8_t inv = v == 0 ? 0 : exp[(255 - log[v]) % 255];
    box[v] = static_cast<uint8_t>(inv ^ std::rotl(inv, 1) ^ std::rotl(inv, 2) ^ std::rotl(inv, 3) ^
                                  std::rotl(inv, 4) ^ 0x63);
  }
  return box;
}

inline constexpr std::array<uint8_t, 256> sbox = make_sbox();

constexpr std::array<uint8_t, 256> make_inverse_sbox() {
  std::array<uint8_t, 256> inv{};
  for (int v = 0; v < 256; ++v) inv[sbox[v]] = static_cast<uint8_t>(v);
  return inv;
}

inline constexpr std::array<uint8_t, 256> inverse_sbox = make_inverse_sbox();

constexpr uint32_t word(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
  return static_cast<uint32_t>(b0) << 24 | static_cast<uint32_t>(b1) << 16 |
         static_cast<uint32_t>(b2) << 8 | b3;
}

using table = std::array<std::array<uint32_t, 256>, 4>;

// enc[r][x]: the MixColumns column of S(x) in row 0, rotated right by 8r bits for row r.
constexpr table make_encrypt_tables() {
  table t{};
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = sbox[x];
    const uint32_t w = word(gf_mul(s, 2), s, s, gf_mul(s, 3));
    for (int r = 0; r < 4; ++r) t[r][x] = std::rotr(w, 8 * r);
  }
  return t;
}

// dec[r][x]: the same for the inverse S-box and InvMixColumns.
constexpr table make_decrypt_tables() {
  table t{};
  for (int x = 0; x < 256; ++x) {
    const uint8_t s = inverse_sbox[x];
    const uint32_t w = word(gf_mul(s, 14), gf_mul(s, 9), gf_mul(s, 13), gf_mul(s, 11));
    for (int r = 0; r < 4; ++r) t[r][x] = std::rotr(w, 8 * r);
  }
  return t;
}

inline constexpr table enc = make_encrypt_tables();
inline constexpr table dec = make_decrypt_tables();

} // namespace pdfcrypt::aes_tables
