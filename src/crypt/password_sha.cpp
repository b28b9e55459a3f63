// Revisions 5 and 6: /U starts with a hash of the password and /U's 8-byte validation salt;
// the hash of the password and the 8-byte key salt that follows is the key that decrypts /UE
// into the file key. Revision 5 hashes with SHA-256 once, revision 6 with its iterated hash.
#include "crypt/handler_steps.h"

#include <algorithm>
#include <cstring>

namespace pdfcrypt {

std::array<uint8_t, 32> hash_r6(bytes password, bytes salt, bytes udata) {
  sha256_state first;
  sha256_add(first, password);
  sha256_add(first, salt);
  sha256_add(first, udata);
  const std::array<uint8_t, 32> start = sha256_end(first);

  // k holds the current hash: 32, 48 or 64 bytes.
  std::array<uint8_t, 64> k{};
  size_t k_len = 32;
  std::copy(start.begin(), start.end(), k.begin());
  std::vector<uint8_t> repeated;
  std::vector<uint8_t> e;
  // At least 64 rounds, then until the last byte of E is at most the round count - 32: as
  // that byte is below 256, no more than 288 rounds.
  for (int round = 1;; ++round) {
    const size_t seq_len = password.size() + k_len + udata.size();
    repeated.resize(64 * seq_len);
    for (size_t i = 0; i < 64; ++i) {
      uint8_t* at = repeated.data() + i * seq_len;
      if (!password.empty()) std::memcpy(at, password.data(), password.size());
      std::memcpy(at + password.size(), k.data(), k_len);
      if (!udata.empty()) std::memcpy(at + password.size() + k_len, udata.data(), udata.size());
    }
    aes_key aes;
    aes_key_set(aes, bytes(k.data(), 16));
    e.resize(repeated.size());
    aes_cbc_encrypt(aes, block_in(k.data() + 16, 16), repeated, e);
    // The first 16 bytes of E as a 128-bit number, modulo 3: 256 is 1 modulo 3, so the sum of
    // the bytes has the same remainder.
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i) sum += e[i];
    switch (sum % 3) {
    case 0: {
      const auto h = sha256(e);
      std::copy(h.begin(), h.end(), k.begin());
      k_len = h.size();
      break;
    }
    case 1: {
      const auto h = sha384(e);
      std::copy(h.begin(), h.end(), k.begin());
      k_len = h.size();
      break;
    }
    default: {
      const auto h = sha512(e);
      std::copy(h.begin(), h.end(), k.begin());
      k_len = h.size();
      break;
    }
    }
    if (round >= 64 && e.back() <= round - 32) break;
  }
  std::array<uint8_t, 32> out;
  std::copy(k.begin(), k.begin() + 32, out.begin());
  return out;
}

std::optional<std::vector<uint8_t>> key_sha_open(const encrypt_dict& d) {
  if (d.u.size() < 48 || d.ue.size() < 32) return {};
  const bytes empty_password;
  const bytes validation_salt(d.u.data() + 32, 8);
  const bytes key_salt(d.u.data() + 40, 8);
  std::array<uint8_t, 32> check;
  std::array<uint8_t, 32> intermediate;
  if (d.r == 5) {
    check = sha256(validation_salt);
    intermediate = sha256(key_salt);
  } else {
    check = hash_r6(empty_password, validation_salt, {});
    intermediate = hash_r6(empty_password, key_salt, {});
  }
  if (!std::equal(check.begin(), check.end(), d.u.begin())) return {};
  aes_key aes;
  aes_key_set(aes, intermediate);
  const uint8_t zero_iv[16] = {};
  std::vector<uint8_t> key(32);
  aes_cbc_decrypt(aes, zero_iv, bytes(d.ue.data(), 32), key);
  return key;
}

} // namespace pdfcrypt
