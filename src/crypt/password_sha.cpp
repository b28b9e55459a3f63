// Revisions 5 and 6: /U starts with a hash of the password and /U's 8-byte validation salt;
// the hash of the password and the 8-byte key salt that follows is the key that decrypts /UE
// into the file key. /O and /OE do the same for the owner password, whose hashes take in the
// 48 bytes of /U as well. Revision 5 hashes with SHA-256 once, revision 6 with its iterated hash.
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

namespace {

// The hash of the empty password with `salt` and `udata` that the revision uses.
std::array<uint8_t, 32> hash_empty(const encrypt_dict& d, bytes salt, bytes udata) {
  if (d.r == 6) return hash_r6({}, salt, udata);
  sha256_state s;
  sha256_add(s, salt);
  sha256_add(s, udata);
  return sha256_end(s);
}

// The file key that `encrypted` (/UE or /OE) holds under the key made from the key salt, when
// the hash made from the validation salt matches `hash`; nullopt otherwise.
std::optional<std::vector<uint8_t>> key_from(const encrypt_dict& d, bytes hash, bytes salts,
                                             bytes udata, bytes encrypted) {
  const std::array<uint8_t, 32> check = hash_empty(d, salts.first(8), udata);
  if (!std::equal(check.begin(), check.end(), hash.begin())) return {};
  aes_key aes;
  aes_key_set(aes, hash_empty(d, salts.subspan(8, 8), udata));
  const uint8_t zero_iv[16] = {};
  std::vector<uint8_t> key(32);
  aes_cbc_decrypt(aes, zero_iv, encrypted.first(32), key);
  return key;
}

} // namespace

std::optional<std::vector<uint8_t>> key_sha_open(const encrypt_dict& d) {
  if (d.u.size() < 48 || d.ue.size() < 32) return {};
  const bytes u(d.u.data(), 48);
  // The empty password as the user password: /U's hash and salts, /UE.
  if (auto key = key_from(d, u.first(32), u.subspan(32, 16), {}, d.ue)) return key;
  // As the owner password: /O's hash and salts with the 48 bytes of /U, /OE.
  if (d.o.size() < 48 || d.oe.size() < 32) return {};
  const bytes o(d.o.data(), 48);
  return key_from(d, o.first(32), o.subspan(32, 16), u, d.oe);
}

} // namespace pdfcrypt
