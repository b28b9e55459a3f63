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

// A value of the record as a tree: itself, or the first value of the object a reference names.
std::optional<pdf_value> record_value(const doc& d, const pdf_value* v) {
  if (!v) return std::nullopt;
  if (!v->is(pdf_value::kind::ref)) return *v;
  return parse_value(object_text(d, v->num, record_rule));
}

std::string name_of(const std::optional<pdf_value>& v) {
  if (!v || !v->is(pdf_value::kind::atom) || v->text.empty() || v->text[0] != '/') return {};
  return v->text.substr(1);
}

std::optional<int32_t> int_of(const std::optional<pdf_value>& v) {
  if (!v || !v->is(pdf_value::kind::atom)) return std::nullopt;
  const bytes t = as_bytes(v->text);
  if (t.empty() || (!is_digit(t[0]) && t[0] != '-')) return std::nullopt;
  int32_t pos = 0;
  return parse_int_at(t, pos);
}

// The bytes of a string value; CR and CR LF written inside a literal string read as LF.
std::vector<uint8_t> string_of(const std::optional<pdf_value>& v) {
  std::vector<uint8_t> out;
  if (!v || !v->is(pdf_value::kind::atom)) return out;
  const bytes t = as_bytes(v->text);
  if (!t.empty() && t[0] == '(')
    literal_string_value(t, 0, skip_literal_string(t, 0, size_of(t)), out);
  else if (!t.empty() && t[0] == '<')
    hex_string_value(t, 0, skip_hex_string(t, 0, size_of(t)), out);
  return out;
}

std::vector<pdfcrypt::crypt_filter_entry> crypt_filters_of(const doc& d, const pdf_value& cf) {
  std::vector<pdfcrypt::crypt_filter_entry> out;
  for (size_t k = 0; k < cf.keys.size(); ++k) {
    pdfcrypt::crypt_filter_entry entry{cf.keys[k], {}, std::nullopt};
    const std::optional<pdf_value> f = record_value(d, &cf.items[k]);
    if (f && f->is(pdf_value::kind::dict))
      for (size_t j = 0; j < f->keys.size(); ++j) {
        if (f->keys[j] == "CFM") entry.cfm = name_of(record_value(d, &f->items[j]));
        if (f->keys[j] == "Length") entry.length = int_of(record_value(d, &f->items[j]));
      }
    out.push_back(std::move(entry));
  }
  return out;
}

pdfcrypt::encrypt_dict record_of(const doc& d, const pdf_value& dict) {
  pdfcrypt::encrypt_dict r;
  for (size_t k = 0; k < dict.keys.size(); ++k) {
    const std::string& key = dict.keys[k];
    const std::optional<pdf_value> v = record_value(d, &dict.items[k]);
    if (key == "Filter") r.filter = name_of(v);
    if (key == "SubFilter") r.has_subfilter = true;
    if (key == "V") r.v = int_of(v).value_or(0);
    if (key == "R") r.r = int_of(v).value_or(0);
    if (key == "Length") r.length = int_of(v);
    if (key == "P") r.p = int_of(v).value_or(0); // an unsigned value wraps to the same bits
    if (key == "O") r.o = string_of(v);
    if (key == "U") r.u = string_of(v);
    if (key == "OE") r.oe = string_of(v);
    if (key == "UE") r.ue = string_of(v);
    if (key == "Perms") r.perms = string_of(v);
    if (key == "EncryptMetadata") r.encrypt_metadata = !(v && v->is_atom("false"));
    if (key == "CF" && v && v->is(pdf_value::kind::dict)) r.filters = crypt_filters_of(d, *v);
    if (key == "StmF") r.stmf = name_of(v);
    if (key == "StrF") r.strf = name_of(v);
  }
  return r;
}

// The first element of the trailer's /ID array.
std::vector<uint8_t> first_id(const doc& d, const pdf_value& trailer) {
  const std::optional<pdf_value> id = record_value(d, trailer.get("ID"));
  if (!id || !id->is(pdf_value::kind::array) || id->items.empty()) return {};
  return string_of(record_value(d, &id->items[0]));
}

} // namespace

std::optional<encrypt_record> encrypt_record_read(const doc& d) {
  if (d.encrypt_trailer < 0) return std::nullopt;
  const std::optional<pdf_value> trailer = parse_value(dict_text_at(d.file(), d.encrypt_trailer));
  if (!trailer || !trailer->is(pdf_value::kind::dict)) return std::nullopt;
  const pdf_value* value = trailer->get("Encrypt");
  const std::optional<pdf_value> dict = record_value(d, value);
  if (!dict || !dict->is(pdf_value::kind::dict)) return std::nullopt;
  encrypt_record r;
  r.dict = record_of(d, *dict);
  r.id0 = first_id(d, *trailer);
  r.num = value->is(pdf_value::kind::ref) ? value->num : -1;
  return r;
}

} // namespace pdfmerge
