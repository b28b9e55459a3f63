// qpdf as the oracle of encrypted files: it encrypts test documents, prints their file key and
// methods, and shows their objects decrypted. The /Encrypt values are read back into the
// record the security handler takes.
#pragma once

#include "crypt/security_handler.h"
#include "pdf_values.h"

#include <optional>
#include <string>
#include <vector>

namespace qpdf_oracle {

bool available();

// The encryptions the tests have qpdf make: every revision, RC4 and both AES, metadata in clear.
struct qpdf_case {
  const char* args; // after the two passwords
  int r;
  bool encrypt_metadata;
};

inline const qpdf_case qpdf_cases[] = {
    {"40", 2, true},
    {"128", 3, true},
    {"128 --force-V4", 4, true},
    {"128 --force-V4 --cleartext-metadata", 4, false},
    {"128 --use-aes=y", 4, true},
    {"128 --use-aes=y --cleartext-metadata", 4, false},
    {"256 --force-R5", 5, true},
    {"256", 6, true},
    {"256 --cleartext-metadata", 6, false},
};

// Runs `qpdf <in> --encrypt <args> -- <out>` (args such as `"" owner 256 --force-R5`), with
// weak crypto allowed and `extra` before --encrypt (e.g. "--object-streams=generate").
// Returns qpdf's output when it fails, "" on success.
std::string encrypt(const std::string& in, const std::string& out, const std::string& args,
                    const std::string& extra = "");

// What qpdf reports of an encrypted file, and the /Encrypt values read from it.
struct encryption {
  pdfcrypt::encrypt_dict dict;
  std::vector<uint8_t> id0;
  int info_num = -1;       // /Info of the trailer, -1 when absent
  std::string key_hex;     // qpdf's "Encryption key"
  std::string stream_word; // qpdf's "stream encryption method" (RC4, AESv2, AESv3, None), or ""
  std::string string_word; // the same for strings
};

// Nullopt with `error` set when qpdf cannot read the file or prints no key.
std::optional<encryption> read(const std::string& path, std::string& error);

// The /Encrypt record of a parsed dictionary.
pdfcrypt::encrypt_dict dict_of(const testpdf::value& d);

// The data of stream `num` decrypted by qpdf, its filters kept (--raw-stream-data).
std::string raw_stream(const std::string& path, int num);

} // namespace qpdf_oracle
