// Helpers of the tests of merges that keep annotations and bookmarks: reading the merged
// objects back, and comparing renders.
#pragma once

#include "kq_out_pdfmerge.h"
#include "merge_tools.h"

#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace keep_tools {

// pdfmerge_files_opt over a list of paths.
inline int merge_opt(const std::vector<std::string>& inputs, const std::string& out, int options) {
  std::vector<const char*> paths;
  for (const std::string& p : inputs) paths.push_back(p.c_str());
  return pdfmerge_files_opt(paths.data(), static_cast<int>(paths.size()), out.c_str(), options);
}

// The references "N 0 R" in a text, in order.
inline std::vector<int> refs_in(const std::string& text) {
  std::vector<int> out;
  const auto digit = [&](size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  for (size_t i = 0; i < text.size(); ++i) {
    if (!digit(i) || (i > 0 && digit(i - 1))) continue;
    size_t end = i;
    while (digit(end)) ++end;
    if (text.compare(end, 4, " 0 R") == 0 &&
        (end + 4 == text.size() || !std::isalnum(static_cast<unsigned char>(text[end + 4]))))
      out.push_back(std::stoi(text.substr(i, end - i)));
    i = end;
  }
  return out;
}

// The numbers of the objects the merged file holds (its in-use cross-reference lines).
inline std::set<int> objects_in(const std::string& pdf) {
  std::set<int> in_use;
  const std::vector<std::string> lines = merge_tools::xref_lines(pdf);
  for (size_t n = 0; n < lines.size(); ++n)
    if (lines[n].substr(17, 1) == "n") in_use.insert(static_cast<int>(n));
  return in_use;
}

// References to numbers the file does not hold, outside stream data (which the tests' streams
// keep free of reference-like text).
inline std::vector<int> dangling_refs(const std::string& pdf) {
  const std::set<int> in_use = objects_in(pdf);
  std::vector<int> out;
  for (int r : refs_in(pdf.substr(0, pdf.rfind("xref\n0 "))))
    if (!in_use.count(r)) out.push_back(r);
  return out;
}

// The text of the value after /key in an object's text, up to the next " /" at the same level
// for simple values, or the whole bracketed value or string (without escaped parentheses);
// "" when the key is absent.
inline std::string value_of(const std::string& object, const std::string& key) {
  const size_t at = object.find("/" + key + " ");
  if (at == std::string::npos) return {};
  size_t i = at + key.size() + 2;
  const char open = object[i];
  if (open == '[' || open == '<' || open == '(') {
    const char close = open == '[' ? ']' : open == '<' ? '>' : ')';
    int depth = 0;
    for (size_t j = i; j < object.size(); ++j) {
      if (object[j] == open) ++depth;
      if (object[j] == close && --depth == 0) return object.substr(i, j + 1 - i);
    }
    return {};
  }
  size_t end = i;
  while (end < object.size() && object[end] != '/' && object[end] != '>' && object[end] != '\n')
    ++end;
  if (end > i && object.compare(end - 1, 1, " ") == 0) --end;
  return object.substr(i, end - i);
}

// The annotations of output page `page` (its object number).
inline std::vector<int> annots_of(const std::string& pdf, int page) {
  return refs_in(value_of(merge_tools::object_text(pdf, page), "Annots"));
}

// The first page of `path` rendered by pdftoppm at 50 dpi with annotations shown, as PPM bytes;
// "" when pdftoppm is absent or fails.
inline std::string render(const std::string& path, int page) {
  if (!merge_tools::have_tool("pdftoppm")) return {};
  const std::string out = path + ".p" + std::to_string(page);
  const merge_tools::command_result r = merge_tools::run(
      "pdftoppm -r 50 -f " + std::to_string(page) + " -l " + std::to_string(page) +
      " -singlefile " + merge_tools::quoted(path) + " " + merge_tools::quoted(out));
  return r.status == 0 ? fixtures::read_file(out + ".ppm") : std::string();
}

// What `python` (reading qpdf's JSON of `path`, limited to `key`, from standard input) prints,
// line by line. Empty when qpdf or python3 is absent.
inline std::vector<std::string> qpdf_json_lines(const std::string& path, const std::string& key,
                                                const std::string& python) {
  if (!merge_tools::have_tool("qpdf") || !merge_tools::have_tool("python3")) return {};
  const std::string script = fixtures::write_temp("json_" + key + ".py", python);
  const merge_tools::command_result r =
      merge_tools::run("qpdf --json --json-key=" + key + " " + merge_tools::quoted(path) +
                       " | python3 " + merge_tools::quoted(script));
  std::vector<std::string> lines;
  size_t at = 0;
  for (size_t nl; (nl = r.output.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(r.output.substr(at, nl - at));
  return lines;
}

// The outline of `path` as qpdf reads it, one line per item in reading order: two spaces per
// level, the title, the 1-based page its destination names (or "-"), and "open" or "closed".
inline std::vector<std::string> outline_lines(const std::string& path) {
  return qpdf_json_lines(path, "outlines",
                         "import json,sys\n"
                         "def walk(items, depth):\n"
                         "  for o in items:\n"
                         "    page = o['destpageposfrom1']\n"
                         "    print('  ' * depth + o['title'], page if page else '-',\n"
                         "          'open' if o['open'] else 'closed')\n"
                         "    walk(o['kids'], depth + 1)\n"
                         "walk(json.load(sys.stdin)['outlines'], 0)\n");
}

// The form fields of `path` as qpdf reads them, one line per field with a widget: its fully
// qualified name, its value and its 1-based page; then "needappearances" when that is set.
inline std::vector<std::string> field_lines(const std::string& path) {
  return qpdf_json_lines(path, "acroform",
                         "import json,sys\n"
                         "form = json.load(sys.stdin)['acroform']\n"
                         "for f in form['fields']:\n"
                         "  print(f['fullname'], f['value'], f['pageposfrom1'])\n"
                         "if form['needappearances']: print('needappearances')\n");
}

} // namespace keep_tools
