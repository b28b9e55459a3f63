// Decrypting the strings and streams of one object: its own key, and RC4 or AES-CBC with the
// IV in front and PKCS#5 padding at the end.
#include "crypt/security_handler.h"

#include <algorithm>

namespace pdfcrypt {

object_key object_key_of(const file_crypt& fc, crypt_method m, int32_t num, int32_t gen) noexcept {
  object_key k;
  if (m == crypt_method::identity || fc.key.size() > k.data.size()) return k;
  if (m == crypt_method::aes256) {
    std::copy(fc.key.begin(), fc.key.end(), k.data.begin());
    k.size = fc.key.size();
    return k;
  }
  const auto n = static_cast<uint32_t>(num);
  const auto g = static_cast<uint32_t>(gen);
  const uint8_t suffix[9] = {static_cast<uint8_t>(n),
                             static_cast<uint8_t>(n >> 8),
                             static_cast<uint8_t>(n >> 16),
                             static_cast<uint8_t>(g),
                             static_cast<uint8_t>(g >> 8),
                             's',
                             'A',
                             'l',
                             'T'};
  md5_state s;
  md5_add(s, fc.key);
  md5_add(s, bytes(suffix, m == crypt_method::aes128 ? 9 : 5));
  const std::array<uint8_t, 16> h = md5_end(s);
  k.size = std::min<size_t>(fc.key.size() + 5, 16);
  std::copy(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(k.size), k.data.begin());
  return k;
}

bool rc4_decrypt_append(bytes key, bytes data, std::vector<uint8_t>& out) {
  rc4_state rc4;
  if (!rc4_begin(rc4, key)) return false;
  const size_t at = out.size();
  out.resize(at + data.size());
  rc4_apply(rc4, data, out_bytes(out.data() + at, data.size()));
  return true;
}

bool aes_decrypt_append(bytes key, bytes data, std::vector<uint8_t>& out) {
  aes_key aes;
  if (!aes_key_set(aes, key) || data.size() < 16) return false;
  const bytes blocks = data.subspan(16, (data.size() - 16) / 16 * 16);
  const size_t at = out.size();
  out.resize(at + blocks.size());
  aes_cbc_decrypt(aes, block_in(data.data(), 16), blocks,
                  out_bytes(out.data() + at, blocks.size()));
  const bool whole = blocks.size() + 16 == data.size() && !blocks.empty();
  if (!whole) return false;
  // PKCS#5: the last byte p (1 to 16) repeated p times.
  const uint8_t p = out.back();
  if (p == 0 || p > 16) return false;
  if (!std::all_of(out.end() - p, out.end(), [p](uint8_t b) { return b == p; })) return false;
  out.resize(out.size() - p);
  return true;
}

bool object_decrypt_append(const file_crypt& fc, crypt_method m, int32_t num, int32_t gen,
                           bytes data, std::vector<uint8_t>& out) {
  const object_key k = object_key_of(fc, m, num, gen);
  switch (m) {
  case crypt_method::rc4:
    return rc4_decrypt_append(k.view(), data, out);
  case crypt_method::aes128:
  case crypt_method::aes256:
    return aes_decrypt_append(k.view(), data, out);
  default:
    out.insert(out.end(), data.begin(), data.end());
    return true;
  }
}

} // namespace pdfcrypt
