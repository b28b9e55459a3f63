// AES-CBC decryption with the AES-NI instructions. The round keys are those of the portable
// equivalent inverse cipher (aes_key::dec), written as bytes in the order the instructions
// take them. CBC decryption needs no result of one block for the next, so four blocks go
// through the rounds together.
#include "crypt/aes_ni.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PDFCRYPT_AES_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace pdfcrypt {

#ifdef PDFCRYPT_AES_NI

bool aes_ni_usable() noexcept {
  static const bool usable = [] {
    unsigned a = 0, b = 0, c = 0, d = 0;
    return __get_cpuid(1, &a, &b, &c, &d) != 0 && (c & bit_AES) != 0;
  }();
  return usable;
}

namespace {

// Four words of the key schedule, each most significant byte first.
__attribute__((target("aes,sse2"))) __m128i round_key(const uint32_t* w) {
  uint8_t b[16];
  for (int i = 0; i < 4; ++i) {
    b[4 * i] = static_cast<uint8_t>(w[i] >> 24);
    b[4 * i + 1] = static_cast<uint8_t>(w[i] >> 16);
    b[4 * i + 2] = static_cast<uint8_t>(w[i] >> 8);
    b[4 * i + 3] = static_cast<uint8_t>(w[i]);
  }
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
}

__attribute__((target("aes,sse2"))) __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("aes,sse2"))) void store(uint8_t* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

} // namespace

__attribute__((target("aes,sse2"))) void aes_cbc_decrypt_ni(const aes_key& k, block_in iv, bytes in,
                                                            out_bytes out) noexcept {
  const int rounds = k.rounds;
  __m128i rk[15];
  for (int r = 0; r <= rounds; ++r) rk[r] = round_key(k.dec.data() + 4 * r);
  __m128i prev = load(iv.data());
  const size_t n = in.size();
  size_t at = 0;
  for (; at + 64 <= n; at += 64) {
    // Every cipher block is read before anything is written, as `out` may be `in`.
    const __m128i c0 = load(in.data() + at), c1 = load(in.data() + at + 16);
    const __m128i c2 = load(in.data() + at + 32), c3 = load(in.data() + at + 48);
    __m128i x0 = _mm_xor_si128(c0, rk[0]), x1 = _mm_xor_si128(c1, rk[0]);
    __m128i x2 = _mm_xor_si128(c2, rk[0]), x3 = _mm_xor_si128(c3, rk[0]);
    for (int r = 1; r < rounds; ++r) {
      x0 = _mm_aesdec_si128(x0, rk[r]);
      x1 = _mm_aesdec_si128(x1, rk[r]);
      x2 = _mm_aesdec_si128(x2, rk[r]);
      x3 = _mm_aesdec_si128(x3, rk[r]);
    }
    store(out.data() + at, _mm_xor_si128(_mm_aesdeclast_si128(x0, rk[rounds]), prev));
    store(out.data() + at + 16, _mm_xor_si128(_mm_aesdeclast_si128(x1, rk[rounds]), c0));
    store(out.data() + at + 32, _mm_xor_si128(_mm_aesdeclast_si128(x2, rk[rounds]), c1));
    store(out.data() + at + 48, _mm_xor_si128(_mm_aesdeclast_si128(x3, rk[rounds]), c2));
    prev = c3;
  }
  for (; at < n; at += 16) {
    const __m128i c = load(in.data() + at);
    __m128i x = _mm_xor_si128(c, rk[0]);
    for (int r = 1; r < rounds; ++r) x = _mm_aesdec_si128(x, rk[r]);
    store(out.data() + at, _mm_xor_si128(_mm_aesdeclast_si128(x, rk[rounds]), prev));
    prev = c;
  }
}

#else

bool aes_ni_usable() noexcept {
  return false;
}

void aes_cbc_decrypt_ni(const aes_key& k, block_in iv, bytes in, out_bytes out) noexcept {
  aes_cbc_decrypt_portable(k, iv, in, out);
}

#endif

} // namespace pdfcrypt
