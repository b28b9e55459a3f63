// Deciding whether the standard security handler opens a file with the empty password:
// which versions, revisions, key lengths and crypt filters are accepted, and then the key.
#include "crypt/handler_steps.h"

#include <algorithm>

namespace pdfcrypt {
namespace {

struct methods {
  crypt_method strings = crypt_method::identity;
  crypt_method streams = crypt_method::identity;
  std::vector<std::pair<std::string, crypt_method>> named;
};

std::optional<crypt_method> cfm_method(const std::string& cfm) {
  if (cfm.empty() || cfm == "None") return crypt_method::identity;
  if (cfm == "V2") return crypt_method::rc4;
  if (cfm == "AESV2") return crypt_method::aes128;
  if (cfm == "AESV3") return crypt_method::aes256;
  return std::nullopt;
}

const crypt_filter_entry* filter_named(const encrypt_dict& d, const std::string& name) {
  for (const crypt_filter_entry& f : d.filters) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

// The method of the filter that /StmF or /StrF names; nullopt when it names no usable one.
std::optional<crypt_method> default_method(const encrypt_dict& d, const std::string& name) {
  if (name.empty() || name == "Identity") return crypt_method::identity;
  const crypt_filter_entry* f = filter_named(d, name);
  if (f == nullptr) return std::nullopt;
  return cfm_method(f->cfm);
}

// V 4 and 5: the methods come from the crypt filters. V 4 allows RC4 and AES-128, V 5 only
// AES-256 (the two kinds of key differ); identity goes with both.
std::optional<methods> filter_methods(const encrypt_dict& d) {
  const auto strings = default_method(d, d.strf);
  const auto streams = default_method(d, d.stmf);
  if (!strings || !streams) return std::nullopt;
  const auto fits = [&](crypt_method m) {
    if (m == crypt_method::identity) return true;
    return d.v == 5 ? m == crypt_method::aes256 : m != crypt_method::aes256;
  };
  if (!fits(*strings) || !fits(*streams)) return std::nullopt;
  methods out{*strings, *streams, {}};
  for (const crypt_filter_entry& f : d.filters) {
    const auto m = cfm_method(f.cfm);
    if (m && fits(*m)) out.named.emplace_back(f.name, *m);
  }
  // Sorted by name for the lookups, the first of a repeated name kept.
  const auto by_name = [](const auto& a, const auto& b) { return a.first < b.first; };
  const auto same_name = [](const auto& a, const auto& b) { return a.first == b.first; };
  std::stable_sort(out.named.begin(), out.named.end(), by_name);
  out.named.erase(std::unique(out.named.begin(), out.named.end(), same_name), out.named.end());
  return out;
}

bool valid_bits(int32_t bits) {
  return bits >= 40 && bits <= 128 && bits % 8 == 0;
}

// The /Length of a /CF entry: the standard handler writes bytes (16 for 128 bits), some
// writers bits; the two ranges do not overlap. 0 when unusable.
size_t filter_key_bytes(int32_t length) {
  if (length >= 5 && length <= 16) return static_cast<size_t>(length);
  return valid_bits(length) ? static_cast<size_t>(length / 8) : 0;
}

// The key lengths (bytes) to try for V 1, 2 and 4, best first; empty when /Length is unusable.
// With /Length absent, V 2 defaults to 40 bits; 128 is tried too, as writers omit /Length for
// 128-bit keys and /U confirms or rejects each length.
std::vector<size_t> key_lengths(const encrypt_dict& d) {
  if (d.v == 1 || d.r == 2) return {5};
  if (d.length) {
    if (!valid_bits(*d.length)) return {};
    return {static_cast<size_t>(*d.length / 8)};
  }
  if (d.v == 2) return {5, 16};
  // V 4 without /Length: the /Length of the RC4 filter in use, else 128 bits.
  for (const std::string& name : {d.stmf, d.strf}) {
    const crypt_filter_entry* f = filter_named(d, name);
    if (f != nullptr && f->length && cfm_method(f->cfm) == crypt_method::rc4) {
      const size_t n = filter_key_bytes(*f->length);
      return n == 0 ? std::vector<size_t>{} : std::vector<size_t>{n};
    }
  }
  return {16};
}

open_result refused(refusal why) {
  return {std::nullopt, why};
}

open_result open_md5(const encrypt_dict& d, bytes id0, methods m) {
  if (d.r < 2 || d.r > 4 || (d.v == 4 && d.r != 4)) return refused(refusal::version);
  const std::vector<size_t> lengths = key_lengths(d);
  if (lengths.empty()) return refused(refusal::key_length);
  const bool aes = m.strings == crypt_method::aes128 || m.streams == crypt_method::aes128;
  if (aes && lengths != std::vector<size_t>{16}) return refused(refusal::key_length);
  if (d.o.size() < 32 || d.u.size() < (d.r == 2 ? 32u : 16u)) return refused(refusal::malformed);
  for (const size_t n : lengths) {
    if (auto key = key_md5_open(d, id0, n)) {
      // A V 4 key shorter than 16 bytes (an RC4 filter of 40 bits, say) is confirmed by /U as
      // it is, but the objects are encrypted under it zero-padded to 16 bytes: not in the
      // format, but what the most used viewer does, and so what writers made.
      if (d.v == 4 && key->size() < 16) key->resize(16, 0);
      file_crypt fc{std::move(*key), m.strings, m.streams, d.v < 4 || d.encrypt_metadata,
                    std::move(m.named)};
      return {std::move(fc), refusal::none};
    }
  }
  return refused(refusal::password);
}

open_result open_sha(const encrypt_dict& d, methods m) {
  if (d.r != 5 && d.r != 6) return refused(refusal::version);
  if (d.u.size() < 48 || d.ue.size() < 32) return refused(refusal::malformed);
  auto key = key_sha_open(d);
  if (!key) return refused(refusal::password);
  file_crypt fc{std::move(*key), m.strings, m.streams, d.encrypt_metadata, std::move(m.named)};
  return {std::move(fc), refusal::none};
}

} // namespace

open_result standard_open(const encrypt_dict& d, bytes id0) {
  if (d.filter != "Standard" || d.has_subfilter) return refused(refusal::handler);
  switch (d.v) {
  case 1:
  case 2:
    return open_md5(d, id0, methods{crypt_method::rc4, crypt_method::rc4, {}});
  case 4:
  case 5: {
    auto m = filter_methods(d);
    if (!m) return refused(refusal::crypt_filter);
    return d.v == 4 ? open_md5(d, id0, std::move(*m)) : open_sha(d, std::move(*m));
  }
  default:
    return refused(refusal::version);
  }
}

std::optional<crypt_method> named_filter_method(const file_crypt& fc, std::string_view name,
                                                uint64_t* compared) {
  if (name == "Identity") return crypt_method::identity;
  const auto it = std::lower_bound(fc.named.begin(), fc.named.end(), name,
                                   [&](const auto& entry, std::string_view n) {
                                     if (compared) ++*compared;
                                     return entry.first < n;
                                   });
  if (it == fc.named.end() || it->first != name) return std::nullopt;
  return it->second;
}

} // namespace pdfcrypt
