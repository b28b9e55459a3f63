// CBC decryption with the processor's AES instructions, where x86-64 processors have them: the
// same results as the portable table code, four blocks at a time. Private to the crypt module;
// aes_cbc_decrypt picks the way.
#pragma once

#include "crypt/crypt.h"

namespace pdfcrypt {

// True when this processor has the AES instructions and the build can use them.
bool aes_ni_usable() noexcept;

// Both ways need a key that is set, in.size() a multiple of 16 and out.size() >= in.size();
// `out` may be `in`. The instruction way must be called only when aes_ni_usable().
void aes_cbc_decrypt_portable(const aes_key& k, block_in iv, bytes in, out_bytes out) noexcept;
void aes_cbc_decrypt_ni(const aes_key& k, block_in iv, bytes in, out_bytes out) noexcept;

} // namespace pdfcrypt
