// The writer's side of the standard security handler's revisions 2 to 4, for fixtures that qpdf
// cannot make: /O and /U computed from a user and an owner password as the format describes
// (an empty owner password taken as it is, not replaced by the user password), and data
// encrypted with RC4 under an object's key. Written from the format, apart from the library's
// reader; it uses only the library's MD5 and RC4. Header-only: the unit tests, the benchmarks
// and the fuzz seeds share it, and each links the library's objects.
#pragma once

#include "crypt/crypt.h"
#include "pdf_builder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fixtures {

struct md5_encryption {
  std::vector<uint8_t> o, u; // 32 bytes each
  std::vector<uint8_t> key;  // the file key /U confirms, n bytes
};

namespace md5_detail {

inline std::array<uint8_t, 32> padded(std::string_view password) {
  static constexpr uint8_t padding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41,
                                          0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
                                          0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80,
                                          0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};
  std::array<uint8_t, 32> out{};
  const size_t n = std::min<size_t>(password.size(), 32);
  std::copy(password.begin(), password.begin() + static_cast<std::ptrdiff_t>(n), out.begin());
  std::copy(padding, padding + (32 - n), out.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

// RC4 under `key`, then (R3 and later) under the key with every byte XOR-ed with 1 to 19.
inline void rc4_rounds(const std::vector<uint8_t>& key, int r, pdfcrypt::out_bytes data) {
  std::vector<uint8_t> k(key.size());
  for (int i = 0; i < (r >= 3 ? 20 : 1); ++i) {
    for (size_t j = 0; j < key.size(); ++j) k[j] = key[j] ^ static_cast<uint8_t>(i);
    pdfcrypt::rc4_state st;
    pdfcrypt::rc4_begin(st, k);
    pdfcrypt::rc4_apply(st, data, data);
  }
}

} // namespace md5_detail

// /O, /U and the n-byte file key (5 <= n <= 16) for revision r (2, 3 or 4), permissions p and
// the first /ID element id0, with all metadata encrypted.
inline md5_encryption md5_encryption_for(std::string_view user, std::string_view owner, int r,
                                         size_t n, int32_t p, const std::vector<uint8_t>& id0) {
  using namespace md5_detail;
  md5_encryption out;
  // /O: the padded user password under a key from the padded owner password.
  std::array<uint8_t, 16> h = pdfcrypt::md5(padded(owner));
  if (r >= 3)
    for (int i = 0; i < 50; ++i) h = pdfcrypt::md5(h);
  const std::array<uint8_t, 32> user_padded = padded(user);
  out.o.assign(user_padded.begin(), user_padded.end());
  rc4_rounds(std::vector<uint8_t>(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(n)), r, out.o);
  // The file key: the padded user password, /O, /P and the first /ID element.
  pdfcrypt::md5_state s;
  pdfcrypt::md5_add(s, user_padded);
  pdfcrypt::md5_add(s, out.o);
  const auto pu = static_cast<uint32_t>(p);
  const uint8_t p_le[4] = {static_cast<uint8_t>(pu), static_cast<uint8_t>(pu >> 8),
                           static_cast<uint8_t>(pu >> 16), static_cast<uint8_t>(pu >> 24)};
  pdfcrypt::md5_add(s, p_le);
  pdfcrypt::md5_add(s, id0);
  std::array<uint8_t, 16> k = pdfcrypt::md5_end(s);
  if (r >= 3)
    for (int i = 0; i < 50; ++i) k = pdfcrypt::md5(pdfcrypt::bytes(k.data(), n));
  out.key.assign(k.begin(), k.begin() + static_cast<std::ptrdiff_t>(n));
  // /U: the padding string under the key (R2), or the MD5 of it and the /ID element under the
  // 20 keys, and 16 arbitrary bytes (R3 and later).
  const std::array<uint8_t, 32> empty = padded("");
  if (r == 2) {
    out.u.assign(empty.begin(), empty.end());
    rc4_rounds(out.key, r, out.u);
  } else {
    pdfcrypt::md5_state x;
    pdfcrypt::md5_add(x, empty);
    pdfcrypt::md5_add(x, id0);
    const std::array<uint8_t, 16> hx = pdfcrypt::md5_end(x);
    out.u.assign(hx.begin(), hx.end());
    rc4_rounds(out.key, r, out.u);
    out.u.resize(32, 0);
  }
  return out;
}

// `plain` encrypted with RC4 under the key of object num/gen made from `file_key`.
inline std::string rc4_encrypted(const std::vector<uint8_t>& file_key, int num, int gen,
                                 std::string_view plain) {
  std::vector<uint8_t> material = file_key;
  for (const int shift : {0, 8, 16}) material.push_back(static_cast<uint8_t>(num >> shift));
  for (const int shift : {0, 8}) material.push_back(static_cast<uint8_t>(gen >> shift));
  const std::array<uint8_t, 16> h = pdfcrypt::md5(material);
  const size_t n = std::min<size_t>(file_key.size() + 5, 16);
  pdfcrypt::rc4_state st;
  pdfcrypt::rc4_begin(st, pdfcrypt::bytes(h.data(), n));
  std::string out(plain);
  pdfcrypt::rc4_apply(st,
                      pdfcrypt::bytes(reinterpret_cast<const uint8_t*>(plain.data()), plain.size()),
                      pdfcrypt::out_bytes(reinterpret_cast<uint8_t*>(out.data()), out.size()));
  return out;
}

// Bytes as a hexadecimal string, "<...>".
inline std::string hex_string(const std::vector<uint8_t>& b) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "<";
  for (const uint8_t x : b) {
    out += digits[x >> 4];
    out += digits[x & 15];
  }
  return out + ">";
}

// A document of one page per text, its content streams and its /Info title encrypted with RC4
// under `object_keys` (the file key, or what a reader must make of it), with `encrypt` as the
// entries of its /Encrypt dictionary (object 3) and `id0` as both /ID elements.
inline std::string md5_encrypted_document(const std::vector<std::string>& page_texts,
                                          const std::vector<uint8_t>& object_keys,
                                          const std::string& encrypt,
                                          const std::vector<uint8_t>& id0) {
  pdf_builder b;
  const int pages = static_cast<int>(page_texts.size());
  std::string kids;
  for (int k = 0; k < pages; ++k) kids += std::to_string(10 + 2 * k) + " 0 R ";
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  b.object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
  b.object(3, "<< " + encrypt + " >>");
  b.object(4, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  const std::string title = rc4_encrypted(object_keys, 5, 0, "A title");
  b.object(5, "<< /Title " + hex_string(std::vector<uint8_t>(title.begin(), title.end())) + " >>");
  for (int k = 0; k < pages; ++k) {
    const int page = 10 + 2 * k;
    b.object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 300] /Contents " +
                       std::to_string(page + 1) + " 0 R /Resources << /Font << /F1 4 0 R >> >> >>");
    b.stream(page + 1, "",
             rc4_encrypted(object_keys, page + 1, 0, page_texts[static_cast<size_t>(k)]));
  }
  b.xref_table();
  b.trailer("<< /Root 1 0 R /Info 5 0 R /Encrypt 3 0 R /Size " + std::to_string(10 + 2 * pages) +
            " /ID [" + hex_string(id0) + hex_string(id0) + "] >>");
  b.startxref();
  return b.str();
}

} // namespace fixtures
