// Copies of the objects that the pages' resources reach, with their references renumbered.
#include "pdfmerge/decrypt/decrypt.h"
#include "pdfmerge/merge/merge.h"

namespace pdfmerge {
namespace {

// Past the value that starts at i, or the end of s when it runs to the end.
size_t value_end_in(std::string_view s, size_t i) {
  const int32_t stop = value_end(as_bytes(s), static_cast<int32_t>(i), size_of(as_bytes(s)));
  return stop < 0 ? s.size() : static_cast<size_t>(stop);
}

// Where the key /Length among the dictionary's own entries ends, or npos.
size_t length_key_end(std::string_view dict) {
  const int32_t key = find_own_key(as_bytes(dict), 0, size_of(as_bytes(dict)), "Length");
  return key < 0 ? std::string_view::npos : static_cast<size_t>(past_name(key, "Length"));
}

// Sets the dictionary's /Length to the number of data bytes written, replacing a direct or an
// indirect value, or adding the entry when there is none.
void set_stream_length(std::string& dict, uint64_t length) {
  const std::string value = std::to_string(length);
  const size_t key_end = length_key_end(dict);
  if (key_end != std::string::npos) {
    const auto v = static_cast<size_t>(
        skip_ws(as_bytes(dict), static_cast<int32_t>(key_end), size_of(as_bytes(dict))));
    dict.replace(key_end, value_end_in(dict, v) - key_end, " " + value);
    return;
  }
  const size_t close = dict.size() >= 2 ? dict.size() - 2 : dict.size();
  const bool spaced = close > 0 && is_pdf_ws(static_cast<uint8_t>(dict[close - 1]));
  dict.insert(close, (spaced ? "/Length " : " /Length ") + value + " ");
}

// The text with every comment outside strings taken out up to its line end, which stays: a
// comment such as "% 4 0 obj" at the start of a copied body would otherwise read as an object
// header in the output. A text without comments is returned as it is.
bytes without_comments(bytes text, std::string& storage) {
  const std::string_view s = as_chars(text);
  const int32_t end = size_of(text);
  size_t copied = 0; // s[copied, i) is still to be copied into storage
  bool changed = false;
  int32_t i = 0;
  while (i < end) {
    const lex_step step = lex_step_at(text, i, end);
    if (step.item == lex_item::comment) {
      storage.append(s.substr(copied, static_cast<size_t>(i) - copied));
      if (step.next == end) storage += '\n';
      copied = static_cast<size_t>(step.next);
      changed = true;
    }
    i = step.next;
  }
  if (!changed) return text;
  storage.append(s.substr(copied));
  return as_bytes(storage);
}

void write_text_object(out_file& f, int32_t num, std::string_view text) {
  out_begin_object(f, num);
  // An object whose body could not be read is still written as a valid object.
  out_put(f, text.empty() ? std::string_view("null") : text);
  out_put(f, "\nendobj\n");
}

// Data of object `e` of the input as a view into the file; empty when its extent is unknown.
bytes stream_data(const merge_input& in, const obj_entry& e) {
  const int64_t n = int64_t{e.data_end} - e.data_start;
  return n > 0 && e.data_start >= 0 && e.data_end <= in.d.len
             ? in.d.file().subspan(static_cast<size_t>(e.data_start), static_cast<size_t>(n))
             : bytes{};
}

// `dict` in output numbers; made reader-safe and given the data's length here.
void write_stream_data(out_file& f, int32_t num, std::string dict, bytes data) {
  make_reader_safe(dict);
  set_stream_length(dict, data.size());
  out_begin_object(f, num);
  out_put(f, dict);
  out_put(f, "\nstream\n");
  out_put_stream_data(f, data, true); // a view into the input file
  out_put(f, "\nendstream\nendobj\n");
}

void write_stream_object(out_file& f, const merge_input& in, const obj_entry& e, int32_t num) {
  std::string plain;
  std::string storage;
  const bytes dict = without_comments(
      strings_decrypted(in.d, e, dict_text_at(in.d.file(), e.dict_start), plain), storage);
  std::string text = dict.empty() ? std::string("<< >>") : renumbered_text(dict, in.map);
  write_stream_data(f, num, std::move(text), stream_data(in, e));
}

// The dictionary of a plain object, or for one without a dictionary (a number, an array, a
// name, a string) its own body text.
bytes plain_object_text(const doc& d, const obj_entry& e) {
  dict_span sp;
  if (e.dict_start >= 0 && dict_span_of(d.file(), e, sp)) {
    const bytes dict = dict_text_at(sp.text.first(static_cast<size_t>(sp.end)), e.dict_start);
    if (!dict.empty()) return dict;
  }
  return object_body(d.file(), e);
}

} // namespace

void write_copied_object(out_file& f, const merge_input& in, int32_t old_num, int32_t new_num) {
  const obj_entry* e = obj_lookup(in.d, old_num);
  if (!e) return; // referred to, but absent: its number stays a free line
  if (e->has_stream && !e->in_objstm) {
    write_stream_object(f, in, *e, new_num);
    return;
  }
  const bytes text = e->in_objstm ? object_body(in.d.file(), *e) : plain_object_text(in.d, *e);
  std::string plain;
  std::string storage;
  std::string copy =
      renumbered_text(without_comments(strings_decrypted(in.d, *e, text, plain), storage), in.map);
  make_reader_safe(copy);
  write_text_object(f, new_num, copy);
}

void write_edited_object(out_file& f, const merge_input& in, const obj_entry& e, int32_t num,
                         std::string text) {
  if (e.has_stream && !e.in_objstm) {
    write_stream_data(f, num, std::move(text), stream_data(in, e));
    return;
  }
  make_reader_safe(text);
  write_text_object(f, num, text);
}

} // namespace pdfmerge
