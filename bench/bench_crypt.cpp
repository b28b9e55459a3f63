// Throughput of the decryption primitives on 4 MiB of data: RC4, AES-128-CBC and AES-256-CBC
// decryption (through the per-object functions, padding included), MD5 and SHA-256, in MB/s;
// and the time of opening a revision 6 record, whose iterated hash runs once per file.
#include "bench_support.h"
#include "crypt/crypt.h"
#include "crypt/security_handler.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace {

using bytes_vec = std::vector<uint8_t>;
using bench::best_seconds;
using bench::megabytes_per_second;

constexpr size_t data_size = 4 << 20;

bytes_vec aes_stream(const bytes_vec& key, const bytes_vec& plain) {
  bytes_vec padded = plain;
  const size_t pad = 16 - padded.size() % 16;
  padded.insert(padded.end(), pad, static_cast<uint8_t>(pad));
  pdfcrypt::aes_key k;
  pdfcrypt::aes_key_set(k, key);
  bytes_vec out = bench::random_uniform(9, 16);
  out.resize(16 + padded.size());
  pdfcrypt::aes_cbc_encrypt(k, pdfcrypt::block_in(out.data(), 16), padded,
                            pdfcrypt::out_bytes(out.data() + 16, padded.size()));
  return out;
}

} // namespace

int main() {
  const bytes_vec plain = bench::random_uniform(1, data_size);
  int failures = 0;
  std::printf("%-22s %10s\n", "operation", "MB/s");

  pdfcrypt::file_crypt fc;
  fc.key = bench::random_uniform(2, 16);
  bytes_vec out;
  out.reserve(data_size + 32);
  {
    const pdfcrypt::object_key k = pdfcrypt::object_key_of(fc, pdfcrypt::crypt_method::rc4, 12, 0);
    bytes_vec cipher;
    pdfcrypt::rc4_decrypt_append(k.view(), plain, cipher); // RC4 is its own inverse
    const double s = best_seconds([&] {
      out.clear();
      pdfcrypt::object_decrypt_append(fc, pdfcrypt::crypt_method::rc4, 12, 0, cipher, out);
    });
    if (out != plain) ++failures;
    std::printf("%-22s %10.0f\n", "RC4 decrypt", megabytes_per_second(data_size, s));
  }
  for (const auto method : {pdfcrypt::crypt_method::aes128, pdfcrypt::crypt_method::aes256}) {
    const bool wide = method == pdfcrypt::crypt_method::aes256;
    fc.key = bench::random_uniform(3, wide ? 32 : 16);
    const pdfcrypt::object_key k = pdfcrypt::object_key_of(fc, method, 12, 0);
    const bytes_vec cipher = aes_stream(bytes_vec(k.view().begin(), k.view().end()), plain);
    const double s = best_seconds([&] {
      out.clear();
      if (!pdfcrypt::object_decrypt_append(fc, method, 12, 0, cipher, out)) ++failures;
    });
    if (out != plain) ++failures;
    std::printf("%-22s %10.0f\n", wide ? "AES-256-CBC decrypt" : "AES-128-CBC decrypt",
                megabytes_per_second(data_size, s));
  }
  {
    std::array<uint8_t, 16> d{};
    const double s = best_seconds([&] { d = pdfcrypt::md5(plain); });
    std::printf("%-22s %10.0f\n", "MD5", megabytes_per_second(data_size, s));
    std::array<uint8_t, 32> h{};
    const double t = best_seconds([&] { h = pdfcrypt::sha256(plain); });
    std::printf("%-22s %10.0f\n", "SHA-256", megabytes_per_second(data_size, t));
    if (d[0] == 0 && h[0] == 0) std::puts(""); // keeps the digests from being optimised away
  }
  {
    // The revision 6 record that qpdf --encrypt "" owner 256 made.
    pdfcrypt::encrypt_dict d;
    d.filter = "Standard";
    d.v = 5;
    d.r = 6;
    d.filters = {{"StdCF", "AESV3", 32}};
    d.stmf = d.strf = "StdCF";
    const auto hex = [](const char* s) {
      bytes_vec b;
      for (; s[0] && s[1]; s += 2) {
        const auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
        b.push_back(static_cast<uint8_t>(nibble(s[0]) << 4 | nibble(s[1])));
      }
      return b;
    };
    d.u = hex("4a9e198efd2ca5908afb6f95d537f5b049c06683cee92a7f207f99a90e5492f8692938d74f196440a4"
              "86bbd91de58b15");
    d.ue = hex("b50b01aaeee54c1b4af97d0a82651617326d8301fb40d49383914c3faf4fb8b9");
    bool opened = false;
    const double s =
        best_seconds([&] { opened = pdfcrypt::standard_open(d, {}).crypt.has_value(); });
    if (!opened) ++failures;
    std::printf("%-22s %10.2f ms\n", "open R6 record", s * 1e3);
  }
  if (failures != 0) std::printf("%d decryption(s) did not give the plain data back\n", failures);
  return failures == 0 ? 0 : 1;
}
