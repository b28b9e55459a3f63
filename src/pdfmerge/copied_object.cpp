// Copies of the objects that the pages' resources reach, with their references renumbered.
#include "pdfmerge/pdfmerge_internal.h"

namespace pdfmerge {
namespace {

bool is_delimiter(char c) {
  switch (c) {
  case '(':
  case ')':
  case '<':
  case '>':
  case '[':
  case ']':
  case '{':
  case '}':
  case '/':
  case '%':
    return true;
  default:
    return false;
  }
}

bool is_regular(char c) {
  return !is_pdf_ws(static_cast<uint8_t>(c)) && !is_delimiter(c);
}

size_t skip_regular(std::string_view s, size_t i) {
  while (i < s.size() && is_regular(s[i])) ++i;
  return i;
}

// Past the literal string whose '(' is at i (or the end of s).
size_t skip_string(std::string_view s, size_t i) {
  int depth = 0;
  for (; i < s.size(); ++i) {
    if (s[i] == '\\')
      ++i;
    else if (s[i] == '(')
      ++depth;
    else if (s[i] == ')' && --depth == 0)
      return i + 1;
  }
  return s.size();
}

// Past the bracketed object opened at i: an array or a dictionary, with what they hold.
size_t skip_nested(std::string_view s, size_t i) {
  int depth = 0;
  while (i < s.size()) {
    const char c = s[i];
    const bool doubled = i + 1 < s.size() && s[i + 1] == c;
    if (c == '(') {
      i = skip_string(s, i);
    } else if (c == '<' && !doubled) { // a hexadecimal string
      const size_t close = s.find('>', i);
      i = close == std::string_view::npos ? s.size() : close + 1;
    } else {
      if (c == '[' || (c == '<' && doubled)) ++depth;
      if (c == ']' || (c == '>' && doubled)) --depth;
      i += (c == '<' || c == '>') && doubled ? 2 : 1;
    }
    if (depth == 0) return i;
  }
  return s.size();
}

// Past the value that starts at i: a reference, a number, a name, a string, an array or a
// dictionary. i itself when nothing stands there.
size_t value_end(std::string_view s, size_t i) {
  if (i >= s.size()) return i;
  const char c = s[i];
  if (is_digit(static_cast<uint8_t>(c))) {
    const ref_match m =
        ref_at(as_bytes(s), static_cast<int32_t>(i), static_cast<int32_t>(s.size()));
    return m.found ? static_cast<size_t>(m.after) : skip_regular(s, i);
  }
  if (c == '/') return skip_regular(s, i + 1);
  if (c == '(') return skip_string(s, i);
  if (c == '[' || (c == '<' && i + 1 < s.size() && s[i + 1] == '<')) return skip_nested(s, i);
  if (c == '<') {
    const size_t close = s.find('>', i);
    return close == std::string_view::npos ? s.size() : close + 1;
  }
  return c == '>' || c == ']' || c == ')' ? i : skip_regular(s, i);
}

// Where the key /Length of the dictionary's own level ends, or npos. Nested dictionaries,
// arrays, strings and comments are stepped over.
size_t length_key_end(std::string_view dict) {
  int depth = 0;
  size_t i = 0;
  while (i < dict.size()) {
    const char c = dict[i];
    if (c == '<' && i + 1 < dict.size() && dict[i + 1] == '<') {
      if (++depth > 1) {
        i = skip_nested(dict, i);
        --depth;
      } else {
        i += 2;
      }
    } else if (c == '[' || c == '(' || c == '<') {
      i = value_end(dict, i);
    } else if (c == '%') {
      while (i < dict.size() && dict[i] != '\r' && dict[i] != '\n') ++i;
    } else if (c == '/') {
      const size_t end = skip_regular(dict, i + 1);
      if (depth == 1 && dict.substr(i, end - i) == "/Length") return end;
      i = end;
    } else {
      ++i;
    }
  }
  return std::string_view::npos;
}

// Sets the dictionary's /Length to the number of data bytes written, replacing a direct or an
// indirect value, or adding the entry when there is none.
void set_stream_length(std::string& dict, uint64_t length) {
  const std::string value = std::to_string(length);
  const size_t key_end = length_key_end(dict);
  if (key_end != std::string::npos) {
    size_t v = key_end;
    while (v < dict.size() && is_pdf_ws(static_cast<uint8_t>(dict[v]))) ++v;
    dict.replace(key_end, value_end(dict, v) - key_end, " " + value);
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
  const std::string_view s(reinterpret_cast<const char*>(text.data()), text.size());
  size_t copied = 0; // s[copied, i) is still to be copied into storage
  bool changed = false;
  size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '(') {
      i = skip_string(s, i);
    } else if (c == '<' && i + 1 < s.size() && s[i + 1] == '<') {
      i += 2;
    } else if (c == '<') {
      const size_t close = s.find('>', i);
      i = close == std::string_view::npos ? s.size() : close + 1;
    } else if (c == '%') {
      size_t end = i;
      while (end < s.size() && s[end] != '\r' && s[end] != '\n') ++end;
      storage.append(s.substr(copied, i - copied));
      if (end == s.size()) storage += '\n';
      copied = i = end;
      changed = true;
    } else {
      ++i;
    }
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

void write_stream_object(out_file& f, const merge_input& in, const obj_entry& e, int32_t num) {
  const bytes file = in.d.file();
  const int64_t n = int64_t{e.data_end} - e.data_start;
  const bytes data = n > 0 && e.data_start >= 0 && e.data_end <= in.d.len
                         ? file.subspan(static_cast<size_t>(e.data_start), static_cast<size_t>(n))
                         : bytes{};
  std::string storage;
  const bytes dict = without_comments(dict_text_at(file, e.dict_start), storage);
  std::string text = dict.empty() ? std::string("<< >>") : remap_res_text(dict, in.map);
  set_stream_length(text, data.size());
  out_begin_object(f, num);
  out_put(f, text);
  out_put(f, "\nstream\n");
  out_put(f, data);
  out_put(f, "\nendstream\nendobj\n");
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

bytes object_body(bytes file, const obj_entry& e) noexcept {
  if (e.in_objstm) return {e.text, static_cast<size_t>(e.text_len)};
  const int32_t len = static_cast<int32_t>(file.size());
  if (e.start < 0 || e.endobj < 0 || e.endobj > len) return {};
  // The header: number, white space, generation, white space, "obj".
  int32_t i = e.start;
  while (i < len && is_digit(file[static_cast<size_t>(i)])) ++i;
  while (i < len && is_c_space(file[static_cast<size_t>(i)])) ++i;
  while (i < len && is_digit(file[static_cast<size_t>(i)])) ++i;
  while (i < len && is_c_space(file[static_cast<size_t>(i)])) ++i;
  if (!kw_at(file, i, "obj")) return {};
  int32_t from = skip_ws(file, i + 3, e.endobj);
  int32_t to = e.endobj;
  while (to > from && is_pdf_ws(file[static_cast<size_t>(to - 1)])) --to;
  return file.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from));
}

void write_copied_object(out_file& f, const merge_input& in, int32_t old_num, int32_t new_num) {
  const obj_entry* e = obj_lookup(in.d, old_num);
  if (!e) return; // referred to, but absent: its number stays a free line
  if (e->has_stream && !e->in_objstm) {
    write_stream_object(f, in, *e, new_num);
    return;
  }
  const bytes text = e->in_objstm ? object_body(in.d.file(), *e) : plain_object_text(in.d, *e);
  std::string storage;
  write_text_object(f, new_num, remap_res_text(without_comments(text, storage), in.map));
}

} // namespace pdfmerge
