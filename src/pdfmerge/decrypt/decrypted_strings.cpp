// Copied text with its strings decrypted. Each literal or hexadecimal string is decrypted with
// the key of the object that holds it and written back as a hexadecimal string, which holds no
// delimiter, escape or keyword, so the text around it reads as before. Comments are copied as
// they stand (the writer takes them out afterwards).
#include "pdfmerge/decrypt/decrypt.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace pdfmerge {
namespace {

using pdfcrypt::crypt_method;

bool is_xref_stream(const doc& d, const obj_entry& e) {
  if (!e.has_stream || e.dict_start < 0 || e.stream_kw <= e.dict_start) return false;
  const bytes type = own_value(d.file(), e.dict_start, e.stream_kw, "Type");
  return as_chars(type) == "/XRef";
}

bool strings_encrypted(const doc& d, const obj_entry& e) {
  return d.crypt && d.crypt->fc.strings != crypt_method::identity && !e.in_objstm &&
         e.num != d.crypt->encrypt_num && !is_xref_stream(d, e);
}

// The entry of the file object whose text holds position `pos`, or null.
const obj_entry* owner_of(const doc& d, int32_t pos) {
  std::vector<std::pair<int32_t, int32_t>>& owners = d.crypt->owners;
  if (owners.empty()) {
    for (size_t k = 0; k < d.objects.size(); ++k)
      if (!d.objects[k].in_objstm && d.objects[k].start >= 0)
        owners.emplace_back(d.objects[k].start, static_cast<int32_t>(k));
    std::sort(owners.begin(), owners.end());
  }
  auto it = std::upper_bound(owners.begin(), owners.end(), std::make_pair(pos, INT32_MAX));
  if (it == owners.begin()) return nullptr;
  const obj_entry& e = d.objects[static_cast<size_t>(std::prev(it)->second)];
  return e.end < 0 || pos < e.end ? &e : nullptr;
}

} // namespace

bytes strings_decrypted(const doc& d, const obj_entry& e, bytes text, std::string& storage) {
  if (!strings_encrypted(d, e)) return text;
  const pdfcrypt::file_crypt& fc = d.crypt->fc;
  const int32_t end = size_of(text);
  storage.clear();
  storage.reserve(text.size() + text.size() / 2);
  std::vector<uint8_t> value;
  std::vector<uint8_t> plain;
  int32_t copied = 0; // text[copied, i) is still to be copied
  int32_t i = 0;
  while (i < end) {
    const lex_step step = lex_step_at(text, i, end);
    const bool hex = step.item == lex_item::hex_string;
    if (!hex && step.item != lex_item::literal_string) {
      i = step.next;
      continue;
    }
    const int32_t close = step.closed ? step.next : -1;
    value.clear();
    if (hex)
      hex_string_value(text, i, close, value);
    else
      literal_string_value(text, i, close, value);
    plain.clear();
    pdfcrypt::object_decrypt_append(fc, fc.strings, e.num, e.gen, value, plain);
    storage.append(
        as_chars(text.subspan(static_cast<size_t>(copied), static_cast<size_t>(i - copied))));
    append_hex_string(storage, plain);
    i = copied = step.next;
  }
  storage.append(as_chars(text.subspan(static_cast<size_t>(copied))));
  return as_bytes(storage);
}

bytes strings_decrypted_at(const doc& d, bytes text, std::string& storage) {
  if (!d.crypt || text.empty()) return text;
  const bytes file = d.file();
  // Text of an object-stream member lies outside the file's bytes: it was decrypted with its
  // container.
  const std::less<const uint8_t*> before;
  if (before(text.data(), file.data()) || !before(text.data(), file.data() + file.size()))
    return text;
  const obj_entry* e = owner_of(d, static_cast<int32_t>(text.data() - file.data()));
  return e ? strings_decrypted(d, *e, text, storage) : text;
}

} // namespace pdfmerge
