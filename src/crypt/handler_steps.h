// The steps of opening the standard security handler, one file each: the MD5 key of revisions
// 2 to 4 and the SHA-2 key of revisions 5 and 6. Private to the crypt module.
#pragma once

#include "crypt/security_handler.h"

#include <array>
#include <optional>
#include <vector>

namespace pdfcrypt {

// Revisions 2 to 4: the n-byte file key (5 <= n <= 16) for the empty password, taken as the
// user password and then as the owner password, or nullopt when /U confirms neither. Needs /O
// of at least 32 bytes and /U of 32 (R2) or 16 (R3+).
std::optional<std::vector<uint8_t>> key_md5_open(const encrypt_dict& d, bytes id0, size_t n);

// Revisions 5 and 6: the 32-byte file key for the empty password, from /UE when it is the user
// password (/U's hash confirms it), else from /OE when it is the owner password (/O's hash
// confirms it); nullopt when neither does. Needs /U of at least 48 bytes and /UE of 32; the
// owner's way, /O of 48 and /OE of 32.
std::optional<std::vector<uint8_t>> key_sha_open(const encrypt_dict& d);

// Revision 6's iterated hash of password, salt and (for the owner) the 48 bytes of /U.
std::array<uint8_t, 32> hash_r6(bytes password, bytes salt, bytes udata);

} // namespace pdfcrypt
