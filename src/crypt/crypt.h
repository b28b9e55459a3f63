// The cryptographic primitives that reading encrypted PDF files needs: MD5, RC4, AES with
// 128- and 256-bit keys (single blocks and CBC without padding) and SHA-256/384/512. Only the
// empty password is ever tried, so no secret passes through here and the code is plain rather
// than constant-time. Every length is checked; nothing reads or writes past a span.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace pdfcrypt {

using bytes = std::span<const uint8_t>;
using out_bytes = std::span<uint8_t>;
using block_in = std::span<const uint8_t, 16>;
using block_out = std::span<uint8_t, 16>;

// ---------------------------------------------------------------- MD5 (md5.cpp)

struct md5_state {
  std::array<uint32_t, 4> h{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::array<uint8_t, 64> pending{}; // the bytes of a block not yet complete
  uint64_t total = 0;                // bytes added so far
};

void md5_add(md5_state& s, bytes data) noexcept;
std::array<uint8_t, 16> md5_end(md5_state& s) noexcept; // leaves `s` used up
std::array<uint8_t, 16> md5(bytes data) noexcept;

// ---------------------------------------------------------------- SHA-2 (sha256.cpp, sha512.cpp)

struct sha256_state {
  std::array<uint32_t, 8> h{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<uint8_t, 64> pending{};
  uint64_t total = 0;
};

void sha256_add(sha256_state& s, bytes data) noexcept;
std::array<uint8_t, 32> sha256_end(sha256_state& s) noexcept;
std::array<uint8_t, 32> sha256(bytes data) noexcept;

// SHA-512 and SHA-384 share the compression function; SHA-384 starts from other values and
// keeps the first 48 bytes of the digest.
struct sha512_state {
  std::array<uint64_t, 8> h{0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                            0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                            0x1f83d9abfb41bd6b, 0x5be0cd19137e2179}; // SHA-512's
  std::array<uint8_t, 128> pending{};
  uint64_t total = 0;
};

sha512_state sha512_begin() noexcept; // the same as sha512_state{}
sha512_state sha384_begin() noexcept;
void sha512_add(sha512_state& s, bytes data) noexcept;
std::array<uint8_t, 64> sha512_end(sha512_state& s) noexcept;
std::array<uint8_t, 48> sha384_end(sha512_state& s) noexcept;
std::array<uint8_t, 64> sha512(bytes data) noexcept;
std::array<uint8_t, 48> sha384(bytes data) noexcept;

// ---------------------------------------------------------------- RC4 (rc4.cpp)

struct rc4_state {
  std::array<uint8_t, 256> s{};
  uint8_t i = 0;
  uint8_t j = 0;
};

// Keys of 1 to 256 bytes; false (state untouched) for any other length.
bool rc4_begin(rc4_state& st, bytes key) noexcept;
// out[k] = in[k] XOR the next key-stream byte, for every byte of `in`; `out` may be `in`
// itself. False, with nothing written, when `out` is shorter than `in`.
bool rc4_apply(rc4_state& st, bytes in, out_bytes out) noexcept;
// Two independent streams of the same length at once: the same as rc4_apply(a, in_a, out_a)
// and then rc4_apply(b, in_b, out_b) when the data of the two do not overlap, but about a
// third faster, as the two key streams interleave. False, with nothing written, when the
// lengths differ, an output is too short, or `a` and `b` are the same state.
bool rc4_apply_pair(rc4_state& a, bytes in_a, out_bytes out_a, rc4_state& b, bytes in_b,
                    out_bytes out_b) noexcept;

// ---------------------------------------------------------------- AES (aes.cpp, aes_cbc.cpp)

struct aes_key {
  std::array<uint32_t, 60> enc{}; // round keys of the cipher
  std::array<uint32_t, 60> dec{}; // round keys of the equivalent inverse cipher
  int32_t rounds = 0;             // 10, 12 or 14; 0 until set
};

// Keys of 16, 24 or 32 bytes; false (key untouched) for any other length.
bool aes_key_set(aes_key& k, bytes key) noexcept;
// One block each way; `out` may be `in`. A key that was never set gives zeros.
void aes_block_encrypt(const aes_key& k, block_in in, block_out out) noexcept;
void aes_block_decrypt(const aes_key& k, block_in in, block_out out) noexcept;

// CBC over whole blocks, without padding; `out` may be `in`. False, with nothing written,
// when in.size() is not a multiple of 16, `out` is shorter than `in`, or the key is unset.
bool aes_cbc_encrypt(const aes_key& k, block_in iv, bytes in, out_bytes out) noexcept;
bool aes_cbc_decrypt(const aes_key& k, block_in iv, bytes in, out_bytes out) noexcept;

} // namespace pdfcrypt
