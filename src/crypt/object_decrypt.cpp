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

out_bytes object_decrypt_in_place(const file_crypt& fc, crypt_method m, int32_t num, int32_t gen,
                                  out_bytes data) {
  const object_key k = object_key_of(fc, m, num, gen);
  if (m == crypt_method::rc4) {
    rc4_state rc4;
    if (!rc4_begin(rc4, k.view())) return data.first(0);
    rc4_apply(rc4, data, data);
    return data;
  }
  if (m != crypt_method::aes128 && m != crypt_method::aes256) return data;
  aes_key aes;
  if (!aes_key_set(aes, k.view()) || data.size() < 16) return data.first(0);
  out_bytes blocks = data.subspan(16, (data.size() - 16) / 16 * 16);
  // The IV stays where it is; the blocks after it are decrypted over themselves.
  aes_cbc_decrypt(aes, block_in(data.data(), 16), blocks, blocks);
  if (blocks.size() + 16 != data.size() || blocks.empty()) return blocks;
  const uint8_t p = blocks.back();
  if (p == 0 || p > 16) return blocks;
  const auto tail = blocks.last(p);
  if (!std::all_of(tail.begin(), tail.end(), [p](uint8_t b) { return b == p; })) return blocks;
  return blocks.first(blocks.size() - p);
}

} // namespace pdfcrypt
