// Opening an encrypted document with the empty user password, and decrypting its streams in
// place: the object-stream containers while loading (their members are then plain text), the
// other streams before a merge. Decrypted data is never longer than the encrypted data (RC4
// keeps the length, AES drops the IV and the padding), so it stays where the data was; a
// stream's data range moves to that of its plain text (past the IV, before the padding).
#include "pdfmerge/decrypt/decrypt.h"

#include <algorithm>

namespace pdfmerge {
namespace {

using pdfcrypt::crypt_method;

// The value of a stream dictionary's own key, between its "<<" and the keyword "stream".
bytes stream_dict_value(const doc& d, const obj_entry& e, std::string_view key) {
  if (e.dict_start < 0 || e.stream_kw <= e.dict_start) return {};
  return own_value(d.file(), e.dict_start, e.stream_kw, key);
}

bool names(bytes value, std::string_view name) {
  return value.size() == name.size() + 1 && value[0] == '/' && as_chars(value.subspan(1)) == name;
}

// The first element of an array value, or the value itself.
bytes first_element(bytes value) {
  if (value.empty() || value[0] != '[') return value;
  const int32_t at = skip_ws(value, 1, size_of(value));
  const int32_t stop = value_end(value, at, size_of(value));
  if (stop <= at) return {};
  return value.subspan(static_cast<size_t>(at), static_cast<size_t>(stop - at));
}

// A stream whose first filter is /Crypt names its crypt filter in its /DecodeParms (/Name,
// /Identity when absent): its method, or nullopt when that filter is unknown.
std::optional<crypt_method> crypt_filter_method(const doc& d, const obj_entry& e) {
  const bytes parms = first_element(stream_dict_value(d, e, "DecodeParms"));
  bytes name;
  if (parms.size() >= 2 && parms[0] == '<' && parms[1] == '<')
    name = own_value(parms, 0, size_of(parms), "Name");
  if (name.empty() || name[0] != '/') return crypt_method::identity;
  return pdfcrypt::named_filter_method(d.crypt->fc, as_chars(name.subspan(1)), &d.work.compared);
}

// How a stream of the table is encrypted; identity for what is stored in clear.
crypt_method stream_method(const doc& d, const obj_entry& e) {
  const doc_crypt& c = *d.crypt;
  if (e.num == c.encrypt_num) return crypt_method::identity;
  const bytes type = stream_dict_value(d, e, "Type");
  if (names(type, "XRef")) return crypt_method::identity;
  if (names(type, "Metadata") && !c.fc.encrypt_metadata) return crypt_method::identity;
  if (names(first_element(stream_dict_value(d, e, "Filter")), "Crypt"))
    return crypt_filter_method(d, e).value_or(crypt_method::identity);
  return c.fc.streams;
}

// Decrypts the data of stream entry `e` in place, once per data range; its data range becomes
// that of the plain text.
void decrypt_in_place(doc& d, obj_entry& e, crypt_method m) {
  if (m == crypt_method::identity) return;
  if (e.data_start < 0 || e.data_end <= e.data_start || e.data_end > d.len) return;
  doc_crypt& c = *d.crypt;
  if (const auto done = c.decrypted.find(e.data_start); done != c.decrypted.end()) {
    e.data_start = done->second.first;
    e.data_end = done->second.second;
    return;
  }
  pdfcrypt::out_bytes data(d.data.get() + e.data_start,
                           static_cast<size_t>(e.data_end - e.data_start));
  // A length found by searching for "endstream" may take in the line end after the data; AES
  // data is whole blocks, so white space past the last block is no part of it.
  if (m != crypt_method::rc4)
    while (data.size() % 16 != 0 && is_pdf_ws(data.back())) data = data.first(data.size() - 1);
  const pdfcrypt::out_bytes plain = pdfcrypt::object_decrypt_in_place(c.fc, m, e.num, e.gen, data);
  const auto start = static_cast<int32_t>(plain.data() - d.data.get());
  const auto range = std::make_pair(start, start + static_cast<int32_t>(plain.size()));
  c.decrypted.emplace(e.data_start, range);
  e.data_start = range.first;
  e.data_end = range.second;
}

// True when RC4 stream `e` waits to be decrypted with others: its data is whole and not yet
// decrypted.
bool rc4_queued(const doc& d, const obj_entry& e) {
  return e.data_start >= 0 && e.data_end > e.data_start && e.data_end <= d.len &&
         d.crypt->decrypted.find(e.data_start) == d.crypt->decrypted.end();
}

// RC4 streams decrypted in place two at a time, the longest first, so that the two of a pair
// are about as long; the longer one of a pair finishes alone. Each data range once.
void rc4_decrypt_all(doc& d, std::vector<obj_entry*>& streams) {
  doc_crypt& c = *d.crypt;
  std::sort(streams.begin(), streams.end(), [](const obj_entry* a, const obj_entry* b) {
    return a->data_end - a->data_start > b->data_end - b->data_start ||
           (a->data_end - a->data_start == b->data_end - b->data_start &&
            a->data_start < b->data_start);
  });
  const auto begin = [&](const obj_entry& e, pdfcrypt::rc4_state& st, pdfcrypt::out_bytes& data) {
    data = {d.data.get() + e.data_start, static_cast<size_t>(e.data_end - e.data_start)};
    c.decrypted.emplace(e.data_start, std::make_pair(e.data_start, e.data_end));
    const pdfcrypt::object_key k = pdfcrypt::object_key_of(c.fc, crypt_method::rc4, e.num, e.gen);
    return pdfcrypt::rc4_begin(st, k.view());
  };
  const auto taken = [&](const obj_entry& e) { return c.decrypted.count(e.data_start) != 0; };
  size_t k = 0;
  while (k < streams.size()) {
    obj_entry& first = *streams[k++];
    if (taken(first)) { // its data is that of one before
      decrypt_in_place(d, first, crypt_method::rc4);
      continue;
    }
    pdfcrypt::rc4_state a, b;
    pdfcrypt::out_bytes da, db;
    const bool usable_a = begin(first, a, da);
    obj_entry* second = k < streams.size() && !taken(*streams[k]) ? streams[k++] : nullptr;
    const bool usable_b = second != nullptr && begin(*second, b, db);
    if (usable_a && usable_b) {
      const size_t n = std::min(da.size(), db.size());
      pdfcrypt::rc4_apply_pair(a, da.first(n), da.first(n), b, db.first(n), db.first(n));
      da = da.subspan(n);
      db = db.subspan(n);
    }
    if (usable_a) pdfcrypt::rc4_apply(a, da, da);
    if (usable_b) pdfcrypt::rc4_apply(b, db, db);
  }
}

} // namespace

void crypt_open(doc& d) {
  if (!d.encrypted) return;
  const std::optional<encrypt_record> record = encrypt_record_read(d);
  if (!record) return;
  pdfcrypt::open_result opened = pdfcrypt::standard_open(record->dict, record->id0);
  if (!opened.crypt) return;
  auto c = std::make_shared<doc_crypt>();
  c->fc = std::move(*opened.crypt);
  c->encrypt_num = record->num;
  d.crypt = std::move(c);
}

bool crypt_filter_undone(const doc& d, const obj_entry& e) {
  if (!d.crypt || !e.has_stream || e.in_objstm) return false;
  if (!names(first_element(stream_dict_value(d, e, "Filter")), "Crypt")) return false;
  return crypt_filter_method(d, e).has_value();
}

void crypt_stream_in_place(doc& d, obj_entry& e) {
  decrypt_in_place(d, e, stream_method(d, e));
}

void crypt_streams_decrypt(doc& d) {
  if (!d.crypt) return;
  std::vector<obj_entry*> rc4;
  for (obj_entry& e : d.objects) {
    if (!e.has_stream || e.in_objstm) continue;
    const crypt_method m = stream_method(d, e);
    if (m == crypt_method::rc4 && rc4_queued(d, e))
      rc4.push_back(&e);
    else
      decrypt_in_place(d, e, m);
  }
  rc4_decrypt_all(d, rc4);
}

} // namespace pdfmerge
