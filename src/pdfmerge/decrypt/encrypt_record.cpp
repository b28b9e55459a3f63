// Reading the /Encrypt dictionary and the first /ID element into the record that the security
// handler takes. Values may be written directly or as references to objects of the file.
#include "pdfmerge/decrypt/decrypt.h"

#include <algorithm>
#include <iterator>
#include <set>
#include <string_view>
#include <unordered_map>

namespace pdfmerge {
namespace {

// How a value of the /Encrypt record leads on: one reference "N G R" at its start, to the
// whole body of the last definition in the file itself (the record is read before object
// streams are expanded, and is never inside one).
constexpr resolve_rule record_rule{
    definition::last_plain, reference_form::strict_prefix, 1, true, target_text::whole_body, false};

// The values of the record, each object a reference names parsed once however many entries
// name it, so that a record of many references costs no more than the objects it names.
class record_reader {
public:
  explicit record_reader(const doc& d) : d_(d) {}

  // `v` itself, or the first value of the object a reference names; null when there is none.
  // The pointers stay valid as long as the reader.
  const pdf_value* value(const pdf_value* v) {
    if (!v || !v->is(pdf_value::kind::ref)) return v;
    auto [it, fresh] = objects_.try_emplace(v->num);
    if (fresh) {
      const bytes text = object_text(d_, v->num, record_rule);
      d_.work.parsed += text.size();
      it->second = parse_value(text);
    }
    return it->second ? &*it->second : nullptr;
  }

  // The /CFM and /Length of a crypt filter's dictionary, read once per dictionary.
  const std::pair<std::string, std::optional<int32_t>>& filter_values(const pdf_value& f);

private:
  const doc& d_;
  std::unordered_map<int32_t, std::optional<pdf_value>> objects_;
  std::unordered_map<const pdf_value*, std::pair<std::string, std::optional<int32_t>>> filters_;
};

std::string name_of(const pdf_value* v) {
  if (!v || !v->is(pdf_value::kind::atom) || v->text.empty() || v->text[0] != '/') return {};
  return v->text.substr(1);
}

std::optional<int32_t> int_of(const pdf_value* v) {
  if (!v || !v->is(pdf_value::kind::atom)) return std::nullopt;
  const bytes t = as_bytes(v->text);
  if (t.empty() || (!is_digit(t[0]) && t[0] != '-')) return std::nullopt;
  int32_t pos = 0;
  return parse_int_at(t, pos);
}

// The bytes of a string value; CR and CR LF written inside a literal string read as LF.
std::vector<uint8_t> string_of(const pdf_value* v) {
  std::vector<uint8_t> out;
  if (!v || !v->is(pdf_value::kind::atom)) return out;
  const bytes t = as_bytes(v->text);
  if (!t.empty() && t[0] == '(')
    literal_string_value(t, 0, skip_literal_string(t, 0, size_of(t)), out);
  else if (!t.empty() && t[0] == '<')
    hex_string_value(t, 0, skip_hex_string(t, 0, size_of(t)), out);
  return out;
}

const std::pair<std::string, std::optional<int32_t>>&
record_reader::filter_values(const pdf_value& f) {
  auto [it, fresh] = filters_.try_emplace(&f);
  if (fresh)
    for (size_t j = 0; j < f.keys.size(); ++j) { // the last of a repeated key counts
      if (f.keys[j] == "CFM") it->second.first = name_of(value(&f.items[j]));
      if (f.keys[j] == "Length") it->second.second = int_of(value(&f.items[j]));
    }
  return it->second;
}

std::vector<pdfcrypt::crypt_filter_entry> crypt_filters_of(record_reader& rd, const pdf_value& cf) {
  std::vector<pdfcrypt::crypt_filter_entry> out;
  out.reserve(cf.keys.size());
  for (size_t k = 0; k < cf.keys.size(); ++k) {
    pdfcrypt::crypt_filter_entry entry{cf.keys[k], {}, std::nullopt};
    const pdf_value* f = rd.value(&cf.items[k]);
    if (f && f->is(pdf_value::kind::dict)) {
      const auto& [cfm, length] = rd.filter_values(*f);
      entry.cfm = cfm;
      entry.length = length;
    }
    out.push_back(std::move(entry));
  }
  return out;
}

// The entries the handler reads. Of a key written more than once, the last occurrence counts
// (for /CF, the last whose value is a dictionary), so each is read from the end and only once.
pdfcrypt::encrypt_dict record_of(record_reader& rd, const pdf_value& dict) {
  static constexpr std::string_view record_keys[] = {
      "Filter", "SubFilter",       "V",  "R",    "Length", "P", "O", "U", "OE", "UE",
      "Perms",  "EncryptMetadata", "CF", "StmF", "StrF"};
  pdfcrypt::encrypt_dict r;
  std::set<std::string_view> done;
  for (size_t k = dict.keys.size(); k-- > 0;) {
    const std::string_view key = dict.keys[k];
    if (std::find(std::begin(record_keys), std::end(record_keys), key) == std::end(record_keys) ||
        done.count(key) != 0)
      continue;
    const pdf_value* v = rd.value(&dict.items[k]);
    if (key == "CF") {
      if (!v || !v->is(pdf_value::kind::dict)) continue; // an earlier /CF may still count
      r.filters = crypt_filters_of(rd, *v);
    }
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
    if (key == "StmF") r.stmf = name_of(v);
    if (key == "StrF") r.strf = name_of(v);
    done.insert(key);
  }
  return r;
}

// The first element of the trailer's /ID array.
std::vector<uint8_t> first_id(record_reader& rd, const pdf_value& trailer) {
  const pdf_value* id = rd.value(trailer.get("ID"));
  if (!id || !id->is(pdf_value::kind::array) || id->items.empty()) return {};
  return string_of(rd.value(&id->items[0]));
}

} // namespace

std::optional<encrypt_record> encrypt_record_read(const doc& d) {
  if (d.encrypt_trailer < 0) return std::nullopt;
  const std::optional<pdf_value> trailer = parse_value(dict_text_at(d.file(), d.encrypt_trailer));
  if (!trailer || !trailer->is(pdf_value::kind::dict)) return std::nullopt;
  const pdf_value* value = trailer->get("Encrypt");
  record_reader rd(d);
  const pdf_value* dict = rd.value(value);
  if (!dict || !dict->is(pdf_value::kind::dict)) return std::nullopt;
  encrypt_record r;
  r.dict = record_of(rd, *dict);
  r.id0 = first_id(rd, *trailer);
  r.num = value->is(pdf_value::kind::ref) ? value->num : -1;
  return r;
}

} // namespace pdfmerge
