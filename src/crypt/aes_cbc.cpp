// Cipher block chaining over whole AES blocks, without padding: decryption for AES-encrypted
// strings and streams (with the AES instructions where the processor has them), encryption
// for the iterated hash of revision 6.
#include "crypt/aes_ni.h"

#include <cstring>

namespace pdfcrypt {
namespace {

bool usable(const aes_key& k, bytes in, out_bytes out) {
  return k.rounds != 0 && in.size() % 16 == 0 && out.size() >= in.size();
}

} // namespace

bool aes_cbc_encrypt(const aes_key& k, block_in iv, bytes in, out_bytes out) noexcept {
  if (!usable(k, in, out)) return false;
  uint8_t chain[16];
  std::memcpy(chain, iv.data(), 16);
  for (size_t at = 0; at < in.size(); at += 16) {
    for (int i = 0; i < 16; ++i) chain[i] ^= in[at + i];
    aes_block_encrypt(k, block_in(chain, 16), block_out(chain, 16));
    std::memcpy(out.data() + at, chain, 16);
  }
  return true;
}

void aes_cbc_decrypt_portable(const aes_key& k, block_in iv, bytes in, out_bytes out) noexcept {
  uint8_t chain[16];
  uint8_t cipher[16];
  std::memcpy(chain, iv.data(), 16);
  for (size_t at = 0; at < in.size(); at += 16) {
    std::memcpy(cipher, in.data() + at, 16); // `out` may overwrite `in`
    aes_block_decrypt(k, block_in(cipher, 16), block_out(out.data() + at, 16));
    for (int i = 0; i < 16; ++i) out[at + i] ^= chain[i];
    std::memcpy(chain, cipher, 16);
  }
}

bool aes_cbc_decrypt(const aes_key& k, block_in iv, bytes in, out_bytes out) noexcept {
  if (!usable(k, in, out)) return false;
  if (aes_ni_usable())
    aes_cbc_decrypt_ni(k, iv, in, out);
  else
    aes_cbc_decrypt_portable(k, iv, in, out);
  return true;
}

} // namespace pdfcrypt
