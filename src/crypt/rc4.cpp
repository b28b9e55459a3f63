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

} // namespace pdfcrypt
