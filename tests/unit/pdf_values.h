// A small reader of PDF objects for tests that check encrypted files: values as qpdf prints
// them or as they stand in a file, and the top-level objects and streams of a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testpdf {

struct value {
  enum class kind { null, boolean, number, name, string, array, dict, ref };
  kind k = kind::null;
  std::string text; // number as written, name without its slash, decoded string, true/false
  int num = 0;      // a reference's object number and generation
  int gen = 0;
  std::vector<value> items;                           // array
  std::vector<std::pair<std::string, value>> entries; // dictionary

  const value* get(std::string_view key) const;
  long long integer() const; // a number's value, 0 for anything else
};

// The value starting at `at` (white space and comments skipped); `at` ends past it. Nullopt
// when the text there is no value.
std::optional<value> parse_value(std::string_view s, size_t& at);

struct object_at {
  int num = 0;
  int gen = 0;
  value body;
  bool is_stream = false;
  std::string data; // raw stream data (/Length bytes after the stream keyword)
};

// The top-level objects of a file in file order ("num gen obj" at a line start), with their
// stream data skipped over by /Length.
std::vector<object_at> objects_in(std::string_view file);

// What a reader sees of one page: its content (the parts of a /Contents array joined by a line
// feed) and its resources, inherited ones included, written out with every reference replaced
// by what it refers to, so that two files that number their objects differently compare.
struct page_view {
  std::string contents;
  std::string resources;
};

// The pages of a file whose objects all stand at the top level (no object streams) with their
// stream data unfiltered, in page-tree order; the catalog is the last trailer's /Root.
std::vector<page_view> pages_of(std::string_view file);

} // namespace testpdf
