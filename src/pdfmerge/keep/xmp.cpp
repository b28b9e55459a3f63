// An XMP packet without its PDF/A and PDF/UA identification. A merged file conforms to neither
// standard whatever its inputs did, so the claim (pdfaid:part, pdfaid:conformance, pdfuaid:part
// and the like, as elements or as attributes) is taken out; the rest of the packet is copied
// byte for byte. The packet is read as XML just far enough for that: tags, attributes,
// comments, processing instructions and CDATA sections.
#include "pdfmerge/keep/keep.h"

#include <algorithm>
#include <array>
#include <vector>

namespace pdfmerge {
namespace {

constexpr std::array<std::string_view, 2> conformance_namespaces = {
    "http://www.aiim.org/pdfa/ns/id/", "http://www.aiim.org/pdfua/ns/id/"};

bool xml_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool name_char(char c) {
  return !xml_space(c) && c != '=' && c != '>' && c != '/' && c != '<' && c != '"' && c != '\'';
}

// The prefixes bound to the conformance namespaces anywhere in the packet, and the usual ones.
std::vector<std::string> conformance_prefixes(std::string_view xmp) {
  std::vector<std::string> prefixes = {"pdfaid", "pdfuaid"};
  for (size_t at = xmp.find("xmlns:"); at != std::string_view::npos;
       at = xmp.find("xmlns:", at + 1)) {
    size_t end = at + 6;
    while (end < xmp.size() && name_char(xmp[end])) ++end;
    const std::string_view prefix = xmp.substr(at + 6, end - at - 6);
    size_t v = end;
    while (v < xmp.size() && (xml_space(xmp[v]) || xmp[v] == '=')) ++v;
    if (v >= xmp.size() || (xmp[v] != '"' && xmp[v] != '\'')) continue;
    const size_t close = xmp.find(xmp[v], v + 1);
    if (close == std::string_view::npos) continue;
    const std::string_view uri = xmp.substr(v + 1, close - v - 1);
    if (std::find(conformance_namespaces.begin(), conformance_namespaces.end(), uri) !=
        conformance_namespaces.end())
      prefixes.emplace_back(prefix);
  }
  return prefixes;
}

// True for a qualified name "prefix:local" with one of the prefixes, and for the declaration
// "xmlns:prefix" of one.
bool conformance_name(std::string_view name, const std::vector<std::string>& prefixes) {
  if (name.starts_with("xmlns:"))
    name.remove_prefix(6);
  else if (const size_t colon = name.find(':'); colon != std::string_view::npos)
    name = name.substr(0, colon);
  else
    return false;
  return std::find(prefixes.begin(), prefixes.end(), name) != prefixes.end();
}

struct xmp_editor {
  std::string_view in;
  const std::vector<std::string>& prefixes;
  std::string out{};
  size_t at = 0;

  // Copies the construct from `at` through the first `close` after it; false when it does not
  // close.
  bool copy_through(std::string_view close) {
    const size_t end = in.find(close, at);
    if (end == std::string_view::npos) return false;
    out.append(in.substr(at, end + close.size() - at));
    at = end + close.size();
    return true;
  }

  // The start tag at `at` ('<' and a name), copied without the conformance attributes. Sets
  // `empty` for a tag that closes itself. False when the tag does not close.
  bool copy_start_tag(bool& empty) {
    size_t i = at + 1;
    while (i < in.size() && name_char(in[i])) ++i;
    std::string tag(in.substr(at, i - at));
    while (true) {
      const size_t space = i;
      while (i < in.size() && xml_space(in[i])) ++i;
      if (i >= in.size()) return false;
      if (in[i] == '>' || in.substr(i, 2) == "/>") {
        empty = in[i] == '/';
        tag.append(in.substr(space, i - space));
        tag += empty ? "/>" : ">";
        out += tag;
        at = i + (empty ? 2 : 1);
        return true;
      }
      const size_t name_start = i;
      while (i < in.size() && name_char(in[i])) ++i;
      const std::string_view name = in.substr(name_start, i - name_start);
      while (i < in.size() && (xml_space(in[i]) || in[i] == '=')) ++i;
      if (i >= in.size() || (in[i] != '"' && in[i] != '\'')) return false;
      const size_t close = in.find(in[i], i + 1);
      if (close == std::string_view::npos || name.empty()) return false;
      i = close + 1;
      if (!conformance_name(name, prefixes)) tag.append(in.substr(space, i - space));
    }
  }

  // Skips the element whose start tag is at `at` and named `name`, through its end tag; false
  // when it does not end.
  bool skip_element(std::string_view name) {
    int depth = 0;
    while (at < in.size()) {
      const size_t lt = in.find('<', at);
      if (lt == std::string_view::npos) return false;
      const size_t gt = in.find('>', lt);
      if (gt == std::string_view::npos) return false;
      const std::string_view tag = in.substr(lt, gt + 1 - lt);
      at = gt + 1;
      const bool closing = tag.starts_with("</");
      const std::string_view tag_name = tag.substr(closing ? 2 : 1);
      const bool same = tag_name.starts_with(name) && tag_name.size() > name.size() &&
                        !name_char(tag_name[name.size()]);
      if (!same) continue;
      if (closing) {
        if (--depth == 0) return true;
      } else if (!tag.ends_with("/>")) {
        ++depth;
      } else if (depth == 0) {
        return true;
      }
    }
    return false;
  }

  bool run() {
    while (at < in.size()) {
      const size_t lt = in.find('<', at);
      if (lt == std::string_view::npos) break;
      out.append(in.substr(at, lt - at));
      at = lt;
      const std::string_view rest = in.substr(at);
      if (rest.starts_with("<!--")) {
        if (!copy_through("-->")) return false;
      } else if (rest.starts_with("<![CDATA[")) {
        if (!copy_through("]]>")) return false;
      } else if (rest.starts_with("<?")) {
        if (!copy_through("?>")) return false;
      } else if (rest.starts_with("<!") || rest.starts_with("</")) {
        if (!copy_through(">")) return false;
      } else {
        size_t i = 1;
        while (i < rest.size() && name_char(rest[i])) ++i;
        const std::string_view name = rest.substr(1, i - 1);
        if (conformance_name(name, prefixes)) {
          if (!skip_element(name)) return false;
          continue;
        }
        bool empty = false;
        if (!copy_start_tag(empty)) return false;
      }
    }
    out.append(in.substr(at));
    return true;
  }
};

} // namespace

std::optional<std::string> xmp_without_conformance(std::string_view xmp) {
  // Packets in UTF-16 or UTF-32 hold NUL bytes; they are not edited, so not kept.
  if (xmp.find('\0') != std::string_view::npos) return std::nullopt;
  const std::vector<std::string> prefixes = conformance_prefixes(xmp);
  xmp_editor editor{xmp, prefixes};
  if (!editor.run()) return std::nullopt;
  return std::move(editor.out);
}

} // namespace pdfmerge
