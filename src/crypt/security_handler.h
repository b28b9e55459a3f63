// The standard security handler, opened with the empty user password, and the decryption of
// the strings and streams of single objects. The caller parses the /Encrypt dictionary and the
// first /ID element; nothing here reads PDF syntax.
#pragma once

#include "crypt/crypt.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pdfcrypt {

// How the strings or streams of a file are encrypted.
enum class crypt_method : uint8_t {
  identity, // not encrypted: /Identity, /CFM /None, or no crypt filter named
  rc4,      // RC4 with the object key (V 1 and 2, and /CFM /V2)
  aes128,   // AES-128-CBC with the object key (/CFM /AESV2)
  aes256,   // AES-256-CBC with the file key itself (/CFM /AESV3)
};

// One entry of /CF. Names are given without their slash.
struct crypt_filter_entry {
  std::string name;              // the key in /CF, e.g. "StdCF"
  std::string cfm;               // /CFM, e.g. "AESV2"; empty when absent (means None)
  std::optional<int32_t> length; // /Length when present, as written
};

// The values of the /Encrypt dictionary as written. Names are given without their slash;
// strings (O, U, OE, UE, Perms) with their escapes or hex digits already decoded; an absent
// string is empty. /P is the 32-bit value: a file that writes it unsigned (4294967292) means
// the same bits (-4).
struct encrypt_dict {
  std::string filter;                       // /Filter: only "Standard" is opened
  bool has_subfilter = false;               // /SubFilter present: another handler's format
  int32_t v = 0;                            // /V (0 when absent)
  int32_t r = 0;                            // /R (0 when absent)
  std::optional<int32_t> length;            // /Length in bits, when present
  int32_t p = 0;                            // /P
  std::vector<uint8_t> o, u, oe, ue, perms; // /O, /U, /OE, /UE, /Perms
  bool encrypt_metadata = true;             // /EncryptMetadata
  std::vector<crypt_filter_entry> filters;  // /CF
  std::string stmf, strf;                   // /StmF, /StrF; empty when absent (Identity)
};

// What opening the file gives: the file key and the method of each kind of data.
struct file_crypt {
  // 5 to 16 bytes (RC4, AES-128) or 32 bytes (AES-256). A V 4 key shorter than 16 bytes is
  // used zero-padded to 16, as viewers open such files.
  std::vector<uint8_t> key;
  crypt_method strings = crypt_method::identity;
  crypt_method streams = crypt_method::identity;
  // False when /Metadata streams are stored in clear (/EncryptMetadata false, V 4 and 5).
  bool encrypt_metadata = true;
  // Every /CF entry with a known method, for streams that name their own /Crypt filter: sorted
  // by name, one entry per name (the first of a name that /CF repeats).
  std::vector<std::pair<std::string, crypt_method>> named;
};

// Why a file is not opened.
enum class refusal : uint8_t {
  none,
  handler,      // /Filter is not /Standard, or a /SubFilter is given (public-key handlers)
  version,      // a /V or /R, or a pair of them, this handler does not implement
  key_length,   // /Length unusable, or not the length the crypt method needs
  crypt_filter, // /StmF or /StrF names no /CF entry, or one with an unknown or unfit /CFM
  malformed,    // /O, /U or /UE shorter than the revision needs
  password,     // the empty password opens the file neither as user nor as owner password
};

struct open_result {
  std::optional<file_crypt> crypt; // set when the file opens
  refusal why = refusal::none;     // otherwise, the reason
};

// Opens the standard security handler with the empty password, as the user password or else
// as the owner password: /V 1, 2, 4, 5 with /R 2 to 6. `id0` is the first element of the
// trailer's /ID (empty when absent).
open_result standard_open(const encrypt_dict& d, bytes id0);

// The method of the crypt filter `name` (from a stream's /Crypt filter): "Identity", or a
// /CF entry with a known method; nullopt for anything else. A search of the sorted names: the
// names it compares are added to `compared` when given (tests count them).
std::optional<crypt_method> named_filter_method(const file_crypt& fc, std::string_view name,
                                                uint64_t* compared = nullptr);

// ---------------------------------------------------------------- one object's data

// The key of object num/gen: the file key, the low 3 bytes of num and 2 of gen, "sAlT" for
// AES-128, through MD5, cut to min(key length + 5, 16) bytes. AES-256 uses the file key as it
// is; identity gives an empty key.
struct object_key {
  std::array<uint8_t, 32> data{};
  size_t size = 0;
  bytes view() const { return {data.data(), size}; }
};

object_key object_key_of(const file_crypt& fc, crypt_method m, int32_t num, int32_t gen) noexcept;

// Appends the RC4 decryption of `data` under `key` (1 to 256 bytes) to `out`. False, with
// nothing appended, for an unusable key.
bool rc4_decrypt_append(bytes key, bytes data, std::vector<uint8_t>& out);

// Appends the AES-CBC decryption of `data` (a 16-byte IV, then the blocks, PKCS#5 padding)
// under `key` (16 or 32 bytes) to `out`, the padding removed. Never fails hard: a partial last
// block is left out, bad padding is kept as decrypted, data without a whole IV gives nothing.
// True only when the data was whole and well padded.
bool aes_decrypt_append(bytes key, bytes data, std::vector<uint8_t>& out);

// Appends the plain text of a string or stream of object num/gen, encrypted with method `m`,
// to `out` (identity copies). The result is that of the decryption above.
bool object_decrypt_append(const file_crypt& fc, crypt_method m, int32_t num, int32_t gen,
                           bytes data, std::vector<uint8_t>& out);

// The same decryption done in place, for data too large to copy: the plain text is returned
// as a part of `data` (RC4: all of it; AES: from the byte after the IV on, without padding,
// by the same rules as above; identity: all of it, unchanged).
out_bytes object_decrypt_in_place(const file_crypt& fc, crypt_method m, int32_t num, int32_t gen,
                                  out_bytes data);

} // namespace pdfcrypt
