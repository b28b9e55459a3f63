// RC4: the cipher of revisions 2 to 4 and of the V2 crypt filter.
#include "crypt/crypt.h"

#include <utility>

namespace pdfcrypt {

bool rc4_begin(rc4_state& st, bytes key) noexcept {
  if (key.empty() || key.size() > 256) return false;
  for (int k = 0; k < 256; ++k) st.s[k] = static_cast<uint8_t>(k);
  uint8_t j = 0;
  for (size_t k = 0; k < 256; ++k) {
    j = static_cast<uint8_t>(j + st.s[k] + key[k % key.size()]);
    std::swap(st.s[k], st.s[j]);
  }
  st.i = 0;
  st.j = 0;
  return true;
}

bool rc4_apply(rc4_state& st, bytes in, out_bytes out) noexcept {
  if (out.size() < in.size()) return false;
  uint8_t i = st.i, j = st.j;
  for (size_t k = 0; k < in.size(); ++k) {
    i = static_cast<uint8_t>(i + 1);
    const uint8_t si = st.s[i];
    j = static_cast<uint8_t>(j + si);
    const uint8_t sj = st.s[j];
    st.s[i] = sj;
    st.s[j] = si;
    out[k] = in[k] ^ st.s[static_cast<uint8_t>(si + sj)];
  }
  st.i = i;
  st.j = j;
  return true;
}

bool rc4_apply_pair(rc4_state& a, bytes in_a, out_bytes out_a, rc4_state& b, bytes in_b,
                    out_bytes out_b) noexcept {
  if (&a == &b || in_a.size() != in_b.size() || out_a.size() < in_a.size() ||
      out_b.size() < in_b.size())
    return false;
  uint8_t ia = a.i, ja = a.j, ib = b.i, jb = b.j;
  uint8_t* const sa = a.s.data();
  uint8_t* const sb = b.s.data();
  for (size_t k = 0; k < in_a.size(); ++k) {
    ia = static_cast<uint8_t>(ia + 1);
    ib = static_cast<uint8_t>(ib + 1);
    const uint8_t sia = sa[ia];
    const uint8_t sib = sb[ib];
    ja = static_cast<uint8_t>(ja + sia);
    jb = static_cast<uint8_t>(jb + sib);
    const uint8_t sja = sa[ja];
    const uint8_t sjb = sb[jb];
    sa[ia] = sja;
    sa[ja] = sia;
    sb[ib] = sjb;
    sb[jb] = sib;
    const uint8_t ka = sa[static_cast<uint8_t>(sia + sja)];
    const uint8_t kb = sb[static_cast<uint8_t>(sib + sjb)];
    out_a[k] = in_a[k] ^ ka;
    out_b[k] = in_b[k] ^ kb;
  }
  a.i = ia;
  a.j = ja;
  b.i = ib;
  b.j = jb;
  return true;
}

} // namespace pdfcrypt
