// A small reader of PDF objects for tests: tokens, strings with escapes, dictionaries, arrays,
// references, and the objects of a file.
#include "pdf_values.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

namespace testpdf {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool is_delimiter(char c) {
  return is_space(c) || std::string_view("()<>[]{}/%").find(c) != std::string_view::npos;
}

void skip_space(std::string_view s, size_t& at) {
  while (at < s.size()) {
    if (is_space(s[at])) {
      ++at;
    } else if (s[at] == '%') {
      while (at < s.size() && s[at] != '\n' && s[at] != '\r') ++at;
    } else {
      break;
    }
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> literal_string(std::string_view s, size_t& at) {
  std::string out;
  int depth = 1;
  ++at;
  while (at < s.size()) {
    const char c = s[at++];
    if (c == '(') {
      ++depth;
    } else if (c == ')') {
      if (--depth == 0) return out;
    } else if (c == '\\' && at < s.size()) {
      const char e = s[at++];
      switch (e) {
      case 'n':
        out += '\n';
        continue;
      case 'r':
        out += '\r';
        continue;
      case 't':
        out += '\t';
        continue;
      case 'b':
        out += '\b';
        continue;
      case 'f':
        out += '\f';
        continue;
      case '\r':
        if (at < s.size() && s[at] == '\n') ++at;
        continue;
      case '\n':
        continue;
      default:
        break;
      }
      if (e >= '0' && e <= '7') {
        int v = e - '0';
        for (int i = 0; i < 2 && at < s.size() && s[at] >= '0' && s[at] <= '7'; ++i)
          v = v * 8 + (s[at++] - '0');
        out += static_cast<char>(v);
      } else {
        out += e;
      }
      continue;
    }
    out += c;
  }
  return std::nullopt;
}

std::optional<std::string> hex_string(std::string_view s, size_t& at) {
  std::string out;
  int high = -1;
  for (++at; at < s.size(); ++at) {
    if (s[at] == '>') {
      ++at;
      if (high >= 0) out += static_cast<char>(high << 4);
      return out;
    }
    const int v = hex_digit(s[at]);
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high << 4 | v);
      high = -1;
    }
  }
  return std::nullopt;
}

std::string name_token(std::string_view s, size_t& at) {
  std::string out;
  for (++at; at < s.size() && !is_delimiter(s[at]); ++at) {
    if (s[at] == '#' && at + 2 < s.size() && hex_digit(s[at + 1]) >= 0 &&
        hex_digit(s[at + 2]) >= 0) {
      out += static_cast<char>(hex_digit(s[at + 1]) << 4 | hex_digit(s[at + 2]));
      at += 2;
    } else {
      out += s[at];
    }
  }
  return out;
}

std::string bare_token(std::string_view s, size_t& at) {
  const size_t start = at;
  while (at < s.size() && !is_delimiter(s[at])) ++at;
  return std::string(s.substr(start, at - start));
}

bool is_integer(const std::string& t) {
  if (t.empty()) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(t[i])) &&
        !(i == 0 && (t[i] == '-' || t[i] == '+')))
      return false;
  }
  return true;
}

// After an integer: "gen R" makes it a reference.
void maybe_reference(std::string_view s, size_t& at, value& v) {
  size_t look = at;
  skip_space(s, look);
  const std::string gen = bare_token(s, look);
  if (!is_integer(gen)) return;
  skip_space(s, look);
  if (bare_token(s, look) != "R") return;
  v.k = value::kind::ref;
  v.num = std::atoi(v.text.c_str());
  v.gen = std::atoi(gen.c_str());
  at = look;
}

} // namespace

const value* value::get(std::string_view key) const {
  for (const auto& [name, v] : entries) {
    if (name == key) return &v;
  }
  return nullptr;
}

long long value::integer() const {
  return k == kind::number ? std::atoll(text.c_str()) : 0;
}

std::optional<value> parse_value(std::string_view s, size_t& at) {
  skip_space(s, at);
  if (at >= s.size()) return std::nullopt;
  value v;
  const char c = s[at];
  if (c == '<' && at + 1 < s.size() && s[at + 1] == '<') {
    v.k = value::kind::dict;
    at += 2;
    for (;;) {
      skip_space(s, at);
      if (at + 1 < s.size() && s[at] == '>' && s[at + 1] == '>') {
        at += 2;
        return v;
      }
      if (at >= s.size() || s[at] != '/') return std::nullopt;
      std::string key = name_token(s, at);
      auto item = parse_value(s, at);
      if (!item) return std::nullopt;
      v.entries.emplace_back(std::move(key), std::move(*item));
    }
  }
  if (c == '[') {
    v.k = value::kind::array;
    ++at;
    for (;;) {
      skip_space(s, at);
      if (at < s.size() && s[at] == ']') {
        ++at;
        return v;
      }
      auto item = parse_value(s, at);
      if (!item) return std::nullopt;
      v.items.push_back(std::move(*item));
    }
  }
  if (c == '(' || c == '<') {
    auto text = c == '(' ? literal_string(s, at) : hex_string(s, at);
    if (!text) return std::nullopt;
    v.k = value::kind::string;
    v.text = std::move(*text);
    return v;
  }
  if (c == '/') {
    v.k = value::kind::name;
    v.text = name_token(s, at);
    return v;
  }
  v.text = bare_token(s, at);
  if (v.text.empty()) return std::nullopt;
  if (v.text == "true" || v.text == "false") {
    v.k = value::kind::boolean;
  } else if (v.text == "null") {
    v.k = value::kind::null;
  } else if (std::isdigit(static_cast<unsigned char>(v.text[0])) || v.text[0] == '-' ||
             v.text[0] == '+' || v.text[0] == '.') {
    v.k = value::kind::number;
    if (is_integer(v.text)) maybe_reference(s, at, v);
  } else {
    return std::nullopt;
  }
  return v;
}

std::vector<object_at> objects_in(std::string_view file) {
  std::vector<object_at> out;
  size_t at = 0;
  while (at < file.size()) {
    const bool line_start = at == 0 || file[at - 1] == '\n' || file[at - 1] == '\r';
    if (!line_start || !std::isdigit(static_cast<unsigned char>(file[at]))) {
      ++at;
      continue;
    }
    size_t p = at;
    const std::string num = bare_token(file, p);
    skip_space(file, p);
    const std::string gen = bare_token(file, p);
    skip_space(file, p);
    if (!is_integer(num) || !is_integer(gen) || bare_token(file, p) != "obj") {
      ++at;
      continue;
    }
    auto body = parse_value(file, p);
    if (!body) {
      ++at;
      continue;
    }
    object_at o{std::atoi(num.c_str()), std::atoi(gen.c_str()), std::move(*body), false, {}};
    size_t q = p;
    skip_space(file, q);
    if (file.substr(q, 6) == "stream" && o.body.k == value::kind::dict) {
      q += 6;
      if (q < file.size() && file[q] == '\r') ++q;
      if (q < file.size() && file[q] == '\n') ++q;
      const value* len = o.body.get("Length");
      const size_t n = len ? static_cast<size_t>(len->integer()) : 0;
      if (q + n <= file.size()) {
        o.is_stream = true;
        o.data = std::string(file.substr(q, n));
        p = q + n;
      }
    }
    out.push_back(std::move(o));
    at = p;
  }
  return out;
}

namespace {

using object_map = std::map<int, const object_at*>; // the last definition of each number

const value* deref(const object_map& objects, const value* v) {
  if (v == nullptr || v->k != value::kind::ref) return v;
  const auto it = objects.find(v->num);
  return it == objects.end() ? nullptr : &it->second->body;
}

// A value written out with its references followed; a reference back into the path that led
// to it is written as "cycle". Dictionary keys are sorted, strings are written in hex.
std::string written(const object_map& objects, const value& v, std::set<int>& path) {
  switch (v.k) {
  case value::kind::null:
    return "null";
  case value::kind::boolean:
  case value::kind::number:
    return v.text;
  case value::kind::name:
    return "/" + v.text;
  case value::kind::string: {
    std::string hex = "<";
    for (const char c : v.text) {
      static constexpr char digits[] = "0123456789abcdef";
      hex += digits[static_cast<unsigned char>(c) >> 4];
      hex += digits[static_cast<unsigned char>(c) & 15];
    }
    return hex + ">";
  }
  case value::kind::array: {
    std::string out = "[";
    for (const value& item : v.items) out += written(objects, item, path) + " ";
    return out + "]";
  }
  case value::kind::dict: {
    std::vector<std::pair<std::string, const value*>> sorted;
    for (const auto& [key, item] : v.entries) sorted.emplace_back(key, &item);
    std::sort(sorted.begin(), sorted.end());
    std::string out = "<<";
    for (const auto& [key, item] : sorted)
      out += "/" + key + " " + written(objects, *item, path) + " ";
    return out + ">>";
  }
  case value::kind::ref:
    break;
  }
  const auto it = objects.find(v.num);
  if (it == objects.end()) return "null";
  if (!path.insert(v.num).second) return "cycle";
  std::string out = written(objects, it->second->body, path);
  if (it->second->is_stream) out += " stream " + it->second->data;
  path.erase(v.num);
  return out;
}

std::string stream_data(const object_map& objects, const value& v) {
  if (v.k != value::kind::ref) return {};
  const auto it = objects.find(v.num);
  return it == objects.end() || !it->second->is_stream ? std::string() : it->second->data;
}

std::string contents_of(const object_map& objects, const value* contents) {
  if (contents == nullptr) return {};
  const value* array = deref(objects, contents);
  if (contents->k == value::kind::ref && array != nullptr && array->k != value::kind::array)
    return stream_data(objects, *contents);
  if (array == nullptr || array->k != value::kind::array) return {};
  std::string out;
  for (const value& part : array->items) {
    const std::string data = stream_data(objects, part);
    if (data.empty()) continue;
    if (!out.empty()) out += "\n";
    out += data;
  }
  return out;
}

void walk(const object_map& objects, const value* node, const value* resources, int depth,
          std::vector<page_view>& pages) {
  if (node == nullptr || node->k != value::kind::dict || depth > 32) return;
  if (const value* own = node->get("Resources")) resources = own;
  const value* type = node->get("Type");
  if (type != nullptr && type->text == "Page") {
    std::set<int> path;
    pages.push_back({contents_of(objects, node->get("Contents")),
                     resources ? written(objects, *resources, path) : std::string()});
    return;
  }
  if (const value* kids = deref(objects, node->get("Kids")); kids != nullptr)
    for (const value& kid : kids->items)
      walk(objects, deref(objects, &kid), resources, depth + 1, pages);
}

} // namespace

std::vector<page_view> pages_of(std::string_view file) {
  const std::vector<object_at> all = objects_in(file);
  object_map objects;
  for (const object_at& o : all) objects[o.num] = &o;
  std::vector<page_view> pages;
  const size_t trailer = file.rfind("trailer");
  if (trailer == std::string_view::npos) return pages;
  size_t at = trailer + 7;
  const std::optional<value> t = parse_value(file, at);
  if (!t) return pages;
  const value* catalog = deref(objects, t->get("Root"));
  if (catalog == nullptr) return pages;
  walk(objects, deref(objects, catalog->get("Pages")), nullptr, 0, pages);
  return pages;
}

} // namespace testpdf
