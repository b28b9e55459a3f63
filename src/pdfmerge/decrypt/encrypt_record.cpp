// Reading the /Encrypt dictionary and the first /ID element into the record that the security
// handler takes. Values may be written directly or as references to objects of the file.
#include "pdfmerge/decrypt/decrypt.h"

namespace pdfmerge {
namespace {

// How a value of the /Encrypt record leads on: one reference "N G R" at its start, to the
// whole body of the last definition in the file itself (the record is read before object
// streams are expanded, and is never inside one).
constexpr resolve_rule record_rule{
    definition::last_plain, reference_form::strict_prefix, 1, true, target_text::whole_body, false};

bytes record_value(const doc& d, bytes value) {
  return resolve_value(d, value, record_rule);
}

// One own entry of a dictionary: its key (without '/') and its value's text.
struct dict_entry {
  std::string_view key;
  bytes value;
};

// The own entries of the dictionary `dict` ("<<" at 0), in order; stops at damage.
std::vector<dict_entry> entries_of(bytes dict) {
  std::vector<dict_entry> out;
  const int32_t end = size_of(dict);
  int32_t i = 2;
  while (true) {
    i = skip_ws(dict, i, end);
    while (i < end && byte_at(dict, i) == '%') i = skip_ws(dict, comment_end(dict, i, end), end);
    if (i >= end || byte_at(dict, i) != '/') break;
    const int32_t key_end = skip_regular(dict, i + 1, end);
    const int32_t v = skip_ws(dict, key_end, end);
    const int32_t v_end = value_end(dict, v, end);
    if (v_end <= v) break;
    const bytes key =
        dict.subspan(static_cast<size_t>(i + 1), static_cast<size_t>(key_end - i - 1));
    out.push_back(
        {as_chars(key), dict.subspan(static_cast<size_t>(v), static_cast<size_t>(v_end - v))});
    i = v_end;
  }
  return out;
}

std::string name_of(bytes value) {
  if (value.empty() || value[0] != '/') return {};
  const int32_t end = skip_regular(value, 1, size_of(value));
  return std::string(as_chars(value.subspan(1, static_cast<size_t>(end - 1))));
}

std::optional<int32_t> int_of(bytes value) {
  if (value.empty() || (!is_digit(value[0]) && value[0] != '-')) return std::nullopt;
  int32_t pos = 0;
  return parse_int_at(value, pos);
}

std::vector<uint8_t> string_of(bytes value) {
  std::vector<uint8_t> out;
  if (value.empty()) return out;
  if (value[0] == '(')
    literal_string_value(value, 0, skip_literal_string(value, 0, size_of(value)), out);
  else if (value[0] == '<' && (value.size() < 2 || value[1] != '<'))
    hex_string_value(value, 0, skip_hex_string(value, 0, size_of(value)), out);
  return out;
}

bytes dict_of(bytes value) {
  return value.size() >= 2 && value[0] == '<' && value[1] == '<' ? dict_text_at(value, 0) : bytes{};
}

std::vector<pdfcrypt::crypt_filter_entry> crypt_filters_of(const doc& d, bytes cf) {
  std::vector<pdfcrypt::crypt_filter_entry> out;
  for (const dict_entry& f : entries_of(cf)) {
    pdfcrypt::crypt_filter_entry entry{std::string(f.key), {}, std::nullopt};
    for (const dict_entry& v : entries_of(dict_of(record_value(d, f.value)))) {
      if (v.key == "CFM") entry.cfm = name_of(record_value(d, v.value));
      if (v.key == "Length") entry.length = int_of(record_value(d, v.value));
    }
    out.push_back(std::move(entry));
  }
  return out;
}

pdfcrypt::encrypt_dict record_of(const doc& d, bytes dict) {
  pdfcrypt::encrypt_dict r;
  for (const dict_entry& e : entries_of(dict)) {
    const bytes v = record_value(d, e.value);
    if (e.key == "Filter") r.filter = name_of(v);
    if (e.key == "SubFilter") r.has_subfilter = true;
    if (e.key == "V") r.v = int_of(v).value_or(0);
    if (e.key == "R") r.r = int_of(v).value_or(0);
    if (e.key == "Length") r.length = int_of(v);
    if (e.key == "P") r.p = int_of(v).value_or(0); // an unsigned value wraps to the same bits
    if (e.key == "O") r.o = string_of(v);
    if (e.key == "U") r.u = string_of(v);
    if (e.key == "OE") r.oe = string_of(v);
    if (e.key == "UE") r.ue = string_of(v);
    if (e.key == "Perms") r.perms = string_of(v);
    if (e.key == "EncryptMetadata") r.encrypt_metadata = !kw_at(v, 0, "false");
    if (e.key == "CF") r.filters = crypt_filters_of(d, dict_of(v));
    if (e.key == "StmF") r.stmf = name_of(v);
    if (e.key == "StrF") r.strf = name_of(v);
  }
  return r;
}

// The first element of the trailer's /ID array.
std::vector<uint8_t> first_id(const doc& d, bytes trailer) {
  const bytes id = record_value(d, own_value(trailer, 0, size_of(trailer), "ID"));
  if (id.empty() || id[0] != '[') return {};
  const int32_t at = skip_ws(id, 1, size_of(id));
  return at < size_of(id) ? string_of(record_value(d, id.subspan(static_cast<size_t>(at))))
                          : std::vector<uint8_t>{};
}

} // namespace

std::optional<encrypt_record> encrypt_record_read(const doc& d) {
  if (d.encrypt_trailer < 0) return std::nullopt;
  const bytes trailer = dict_text_at(d.file(), d.encrypt_trailer);
  if (trailer.empty()) return std::nullopt;
  const bytes value = own_value(trailer, 0, size_of(trailer), "Encrypt");
  const bytes dict = dict_of(record_value(d, value));
  if (dict.empty()) return std::nullopt;
  encrypt_record r;
  r.dict = record_of(d, dict);
  r.id0 = first_id(d, trailer);
  r.num = reference_of(value, reference_form::strict_prefix);
  return r;
}

} // namespace pdfmerge
