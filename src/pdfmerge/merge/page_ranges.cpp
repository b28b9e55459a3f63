// Page ranges: which pages of an input a merge takes, and in what order. A range is a list of
// items separated by commas, each a page or two pages joined by "-" (from the first to the
// second, backwards when the second comes first). A page is a number counted from 1, "z" for
// the last page, or "rN" for the N-th page counted back from the last (r1 is z). White space
// may stand around every item and page.
#include "pdfmerge/merge/merge.h"

#include <climits>

namespace pdfmerge {
namespace {

bool host_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && host_space(s.front())) s.remove_prefix(1);
  while (!s.empty() && host_space(s.back())) s.remove_suffix(1);
  return s;
}

bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// The digits' value, held at INT32_MAX: no input has that many pages.
int32_t digits_value(std::string_view s) {
  int64_t v = 0;
  for (char c : s) v = std::min<int64_t>(v * 10 + (c - '0'), INT32_MAX);
  return static_cast<int32_t>(v);
}

bool parse_mark(std::string_view text, page_mark& out, std::string& why) {
  out.text = std::string(text);
  if (text == "z") {
    out.n = 1;
    out.from_end = true;
    return true;
  }
  if (text.size() >= 2 && text[0] == 'r' && all_digits(text.substr(1))) {
    out.n = digits_value(text.substr(1));
    out.from_end = true;
    return true;
  }
  if (all_digits(text)) {
    out.n = digits_value(text);
    out.from_end = false;
    return true;
  }
  why = "\"" + page_range_quoted(text) + "\" is not a page number";
  return false;
}

bool parse_item(std::string_view item, size_t number, page_span& out, std::string& why) {
  item = trimmed(item);
  if (item.empty()) {
    why = "item " + std::to_string(number) + " is empty";
    return false;
  }
  const size_t dash = item.find('-');
  if (dash == std::string_view::npos) {
    if (!parse_mark(item, out.first, why)) return false;
    out.last = out.first;
    return true;
  }
  const std::string_view first = trimmed(item.substr(0, dash));
  const std::string_view last = trimmed(item.substr(dash + 1));
  if (first.empty()) {
    why = "item " + std::to_string(number) + " lacks a page before \"-\"";
    return false;
  }
  if (last.empty()) {
    why = "item " + std::to_string(number) + " lacks a page after \"-\"";
    return false;
  }
  return parse_mark(first, out.first, why) && parse_mark(last, out.last, why);
}

// The 0-based index of the page a mark names, or -1 with `why` set.
int32_t mark_index(const page_mark& m, int32_t page_count, std::string& why) {
  if (m.n < 1) {
    why = "page " + page_range_quoted(m.text) +
          " does not exist: " + (m.from_end ? "r1 is the last page" : "pages count from 1");
    return -1;
  }
  if (m.n > page_count) {
    why = "page " + page_range_quoted(m.text) + " does not exist: the input has " +
          std::to_string(page_count) + (page_count == 1 ? " page" : " pages");
    return -1;
  }
  return m.from_end ? page_count - m.n : m.n - 1;
}

} // namespace

std::string page_range_quoted(std::string_view text) {
  constexpr size_t shown = 200;
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (out.size() >= shown) {
      out += "...";
      break;
    }
    const auto c = static_cast<uint8_t>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (c >= 0x80) {
      const size_t len = utf8_sequence_length(text, i);
      if (len > 0) {
        out.append(text.substr(i, len));
        i += len;
        continue;
      }
    }
    // Line ends, other control bytes and broken UTF-8 are shown escaped: the message stays one
    // line of UTF-8.
    static constexpr char hex[] = "0123456789abcdef";
    out += c == '\n'   ? std::string("\\n")
           : c == '\r' ? std::string("\\r")
           : c == '\t' ? std::string("\\t")
                       : std::string{'\\', 'x', hex[c >> 4], hex[c & 15]};
    ++i;
  }
  return out;
}

bool page_range_parse(std::string_view text, page_range& out, std::string& why) {
  out.clear();
  if (trimmed(text).empty()) {
    why = "selects no page";
    return false;
  }
  size_t number = 1;
  for (size_t at = 0;; ++number) {
    const size_t comma = text.find(',', at);
    page_span span;
    if (!parse_item(text.substr(at, comma == std::string_view::npos ? text.npos : comma - at),
                    number, span, why))
      return false;
    out.push_back(std::move(span));
    if (comma == std::string_view::npos) return true;
    at = comma + 1;
  }
}

bool page_range_select(const page_range& range, int32_t page_count, size_t room,
                       std::vector<int32_t>& out, std::string& why) {
  for (const page_span& span : range) {
    const int32_t first = mark_index(span.first, page_count, why);
    if (first < 0) return false;
    const int32_t last = mark_index(span.last, page_count, why);
    if (last < 0) return false;
    const size_t n = static_cast<size_t>(first <= last ? last - first : first - last) + 1;
    if (n > room || out.size() > room - n) {
      why = "selects more pages than one output can hold";
      return false;
    }
    const int32_t step = first <= last ? 1 : -1;
    for (int32_t p = first;; p += step) {
      out.push_back(p);
      if (p == last) break;
    }
  }
  return true;
}

} // namespace pdfmerge
