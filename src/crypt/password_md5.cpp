// Revisions 2 to 4: the file key is an MD5 hash of the padded user password, /O, /P and the
// first /ID element, and /U holds what RC4 under that key makes of the padding string. /O holds
// the padded user password encrypted under a key made from the owner password, so the empty
// password opens a file whose owner password is empty too.
#include "crypt/handler_steps.h"

#include <algorithm>

namespace pdfcrypt {
namespace {

// The 32 bytes that pad a password; the empty password is this string whole.
constexpr uint8_t padding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                 0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

using padded_password = std::array<uint8_t, 32>;

padded_password empty_password() {
  padded_password p;
  std::copy(std::begin(padding), std::end(padding), p.begin());
  return p;
}

std::vector<uint8_t> file_key(const encrypt_dict& d, bytes id0, size_t n,
                              const padded_password& user) {
  md5_state s;
  md5_add(s, user);
  md5_add(s, bytes(d.o.data(), 32));
  const auto p = static_cast<uint32_t>(d.p);
  const uint8_t p_le[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                           static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 24)};
  md5_add(s, p_le);
  md5_add(s, id0);
  if (d.r >= 4 && !d.encrypt_metadata) {
    constexpr uint8_t clear_metadata[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    md5_add(s, clear_metadata);
  }
  std::array<uint8_t, 16> h = md5_end(s);
  if (d.r >= 3) {
    for (int i = 0; i < 50; ++i) h = md5(bytes(h.data(), n));
  }
  return {h.begin(), h.begin() + static_cast<std::ptrdiff_t>(n)};
}

// R2: /U is the padding string encrypted under the key.
bool user_check_r2(const encrypt_dict& d, const std::vector<uint8_t>& key) {
  rc4_state rc4;
  uint8_t u[32];
  if (!rc4_begin(rc4, key) || !rc4_apply(rc4, padding, u)) return false;
  return std::equal(u, u + 32, d.u.begin());
}

// R3 and R4: the MD5 of the padding string and the first /ID element, encrypted under the
// key and then under 19 keys made by XOR-ing every key byte with 1 to 19, gives the first 16
// bytes of /U (the rest is arbitrary).
bool user_check_r3(const encrypt_dict& d, const std::vector<uint8_t>& key, bytes id0) {
  md5_state s;
  md5_add(s, padding);
  md5_add(s, id0);
  std::array<uint8_t, 16> x = md5_end(s);
  std::vector<uint8_t> round_key(key.size());
  for (int i = 0; i < 20; ++i) {
    for (size_t k = 0; k < key.size(); ++k) round_key[k] = key[k] ^ static_cast<uint8_t>(i);
    rc4_state rc4;
    if (!rc4_begin(rc4, round_key) || !rc4_apply(rc4, x, x)) return false;
  }
  return std::equal(x.begin(), x.end(), d.u.begin());
}

// The padded user password that /O holds when the owner password is empty: RC4 under the MD5
// of the padded empty password (hashed 50 times more from R3 on, cut to n bytes) decrypts /O;
// from R3 on, under 20 keys made by XOR-ing every key byte with 19 down to 0.
padded_password user_password_from_o(const encrypt_dict& d, size_t n) {
  std::array<uint8_t, 16> h = md5(padding);
  if (d.r >= 3) {
    for (int i = 0; i < 50; ++i) h = md5(h);
  }
  padded_password user;
  std::copy(d.o.begin(), d.o.begin() + 32, user.begin());
  std::vector<uint8_t> round_key(n);
  for (int i = d.r == 2 ? 0 : 19; i >= 0; --i) {
    for (size_t k = 0; k < n; ++k) round_key[k] = h[k] ^ static_cast<uint8_t>(i);
    rc4_state rc4;
    if (rc4_begin(rc4, round_key)) (void)rc4_apply(rc4, user, user);
  }
  return user;
}

bool user_check(const encrypt_dict& d, const std::vector<uint8_t>& key, bytes id0) {
  return d.r == 2 ? user_check_r2(d, key) : user_check_r3(d, key, id0);
}

} // namespace

std::optional<std::vector<uint8_t>> key_md5_open(const encrypt_dict& d, bytes id0, size_t n) {
  if (n < 5 || n > 16 || d.o.size() < 32 || d.u.size() < (d.r == 2 ? 32u : 16u)) return {};
  // The empty password as the user password, then as the owner password.
  for (const padded_password& user : {empty_password(), user_password_from_o(d, n)}) {
    std::vector<uint8_t> key = file_key(d, id0, n, user);
    if (user_check(d, key, id0)) return key;
  }
  return {};
}

} // namespace pdfcrypt
