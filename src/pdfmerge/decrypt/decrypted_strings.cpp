// Copied text with its strings decrypted. Each literal or hexadecimal string is decrypted with
// the key of the object that holds it and written back as a hexadecimal string, which holds no
// delimiter, escape or keyword, so the text around it reads as before. Comments are copied as
// they stand (the writer takes them out afterwards). The /Contents of a signature dictionary is
// stored in clear in an encrypted file and stays as written.
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

// One open dictionary or array of the text, as the pass below walks it.
struct open_value {
  bool dict = false;
  bool key_next = true;  // a dictionary expects a key next
  std::string_view key;  // the key whose value comes next
  bool sig_type = false; // /Type /Sig or /Type /DocTimeStamp
  bool byte_range = false;
  bool filter = false;
  int32_t contents = -1; // where its own /Contents string starts
};

// Whether the dictionary is a signature (or document timestamp) dictionary whose /Contents is
// a string: by its /Type, or by /ByteRange with /Filter and /Contents.
bool signature_contents(const open_value& v) {
  return v.dict && v.contents >= 0 && (v.sig_type || (v.byte_range && v.filter));
}

// The starts of the strings that are the /Contents of signature dictionaries, ascending. One
// pass with a stack of the dictionaries and arrays open at each point; a dictionary's keys are
// told from its values by order (a reference's "0 R" is passed over while a key is expected).
std::vector<int32_t> signature_contents_starts(bytes text) {
  std::vector<int32_t> starts;
  if (as_chars(text).find("/Contents") == std::string_view::npos) return starts;
  std::vector<open_value> open;
  const auto value_done = [&] {
    if (!open.empty() && open.back().dict) open.back().key_next = true;
  };
  const auto close = [&] {
    if (signature_contents(open.back())) starts.push_back(open.back().contents);
    open.pop_back();
    value_done();
  };
  const int32_t end = size_of(text);
  int32_t i = 0;
  while (i < end) {
    const uint8_t c = byte_at(text, i);
    if (is_pdf_ws(c)) {
      ++i;
      continue;
    }
    const lex_step step = lex_step_at(text, i, end);
    if (step.item == lex_item::comment) {
      i = step.next;
    } else if (step.item == lex_item::dict_open) {
      open.emplace_back().dict = true;
      i = step.next;
    } else if (step.item == lex_item::literal_string || step.item == lex_item::hex_string) {
      if (!open.empty() && open.back().dict && !open.back().key_next &&
          open.back().key == "Contents")
        open.back().contents = i;
      value_done();
      i = step.next;
    } else if (c == '>' && i + 1 < end && byte_at(text, i + 1) == '>') {
      if (!open.empty() && open.back().dict) close();
      i += 2;
    } else if (c == '[' || c == ']') {
      if (c == '[') open.emplace_back();
      if (c == ']' && !open.empty() && !open.back().dict) close();
      ++i;
    } else if (c == '/') {
      const int32_t stop = skip_regular(text, i + 1, end);
      const std::string_view name =
          as_chars(text.subspan(static_cast<size_t>(i) + 1, static_cast<size_t>(stop - i - 1)));
      if (!open.empty() && open.back().dict) {
        open_value& v = open.back();
        if (v.key_next) {
          v.key = name;
          v.key_next = false;
          v.byte_range = v.byte_range || name == "ByteRange";
          v.filter = v.filter || name == "Filter";
        } else {
          v.sig_type = v.sig_type || (v.key == "Type" && (name == "Sig" || name == "DocTimeStamp"));
          v.key_next = true;
        }
      }
      i = stop;
    } else {
      // A number or keyword: the first token of a value completes it.
      if (!open.empty() && open.back().dict && !open.back().key_next) value_done();
      const int32_t stop = skip_regular(text, i, end);
      i = stop > i ? stop : i + 1;
    }
  }
  while (!open.empty()) close(); // dictionaries the text leaves open count as they stand
  std::sort(starts.begin(), starts.end());
  return starts;
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
  const std::vector<int32_t> in_clear = signature_contents_starts(text);
  auto next_clear = in_clear.begin();
  int32_t copied = 0; // text[copied, i) is still to be copied
  int32_t i = 0;
  while (i < end) {
    const lex_step step = lex_step_at(text, i, end);
    const bool hex = step.item == lex_item::hex_string;
    if (!hex && step.item != lex_item::literal_string) {
      i = step.next;
      continue;
    }
    while (next_clear != in_clear.end() && *next_clear < i) ++next_clear;
    if (next_clear != in_clear.end() && *next_clear == i) { // copied as it stands
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
