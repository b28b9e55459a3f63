// Optional content (layers) of the inputs, combined into one /OCProperties of the merged
// catalog so that every layer keeps the visibility its input gives it by default.
//
// Of each input's /OCProperties only /OCGs and the default configuration /D are read; of /D,
// the groups off by default (its /OFF, or with /BaseState /OFF every group not in its /ON),
// /Order, /RBGroups, /Locked, /AS, /Intent and /ListMode. The same reading serves twice: once
// while planning, to gather the objects it names (they join the input's copy list, so that a
// group also reached through the pages' resources is copied once), and once while writing,
// with the input's renumbering map. A reference to an object the input does not have is
// dropped, never written.
#include "pdfmerge/merge/merge.h"

#include <string>
#include <unordered_set>

namespace pdfmerge {
namespace {

// Nesting of arrays and dictionaries read inside one value; deeper values are dropped.
constexpr int max_depth = 32;

// One reading of an input's settings: with a map, references come out as output numbers;
// without, they keep their input numbers and are gathered in `refs`.
struct oc_reading {
  const doc& d;
  const renumber_map* map = nullptr;
  std::vector<int32_t>* refs = nullptr;
};

// The number to write for a reference to object `num`, or 0 when the reference is dropped.
int32_t kept_ref(const oc_reading& r, int32_t num) {
  // The catalog, the page tree and the like are never copied as settings' values.
  if (num <= 0 || !obj_lookup(r.d, num) || is_file_structure(r.d, num)) return 0;
  if (!r.map) {
    r.refs->push_back(num);
    return num;
  }
  const int32_t n = renumber_lookup(*r.map, num);
  return n > 0 ? n : 0;
}

std::string ref_text(int32_t num) {
  return std::to_string(num) + " 0 R";
}

// Past white space and comments.
int32_t skip_space(bytes t, int32_t i, int32_t end) {
  for (;;) {
    i = skip_ws(t, i, end);
    if (i >= end || byte_at(t, i) != '%') return i;
    i = comment_end(t, i, end);
  }
}

std::string text_of(bytes t, int32_t from, int32_t to) {
  return std::string(
      as_chars(t.subspan(static_cast<size_t>(from), static_cast<size_t>(to - from))));
}

int32_t put_value(const oc_reading& r, bytes t, int32_t i, int32_t end, int depth,
                  std::string& out);

// The elements of the array whose '[' is at `open`, each written by put_value and separated by
// one space, into `items`. Past the ']' (the end when none closes it).
int32_t put_items(const oc_reading& r, bytes t, int32_t open, int32_t end, int depth,
                  std::string& items) {
  int32_t k = open + 1;
  for (;;) {
    k = skip_space(t, k, end);
    if (k >= end) return end;
    if (byte_at(t, k) == ']') return k + 1;
    std::string one;
    const int32_t next = put_value(r, t, k, end, depth + 1, one);
    if (!one.empty()) {
      if (!items.empty()) items += ' ';
      items += one;
    }
    k = next > k ? next : k + 1; // a byte that starts no value is stepped over
  }
}

// The dictionary whose "<<" is at `open`: each entry whose value is kept. Past its ">>".
int32_t put_dict(const oc_reading& r, bytes t, int32_t open, int32_t end, int depth,
                 std::string& out) {
  std::string entries;
  int32_t k = open + 2;
  for (;;) {
    k = skip_space(t, k, end);
    if (k >= end) break;
    if (byte_at(t, k) == '>' && k + 1 < end && byte_at(t, k + 1) == '>') {
      k += 2;
      break;
    }
    if (byte_at(t, k) != '/') { // no key: the stray value is stepped over
      const int32_t next = value_end(t, k, end);
      k = next < 0 ? end : next > k ? next : k + 1;
      continue;
    }
    const int32_t key_end = skip_regular(t, k + 1, end);
    const int32_t v = skip_space(t, key_end, end);
    std::string value;
    const int32_t next = put_value(r, t, v, end, depth + 1, value);
    if (!value.empty()) entries += " " + text_of(t, k, key_end) + " " + value;
    k = next > v ? next : v;
  }
  out = "<<" + entries + " >>";
  return k;
}

// Writes the value that starts at i into `out` (left empty when the value is dropped) and
// returns the position past it; i itself when no value starts there.
int32_t put_value(const oc_reading& r, bytes t, int32_t i, int32_t end, int depth,
                  std::string& out) {
  if (i >= end) return i;
  const uint8_t c = byte_at(t, i);
  const bool opens = c == '[' || (c == '<' && i + 1 < end && byte_at(t, i + 1) == '<');
  if (opens && depth >= max_depth) {
    const int32_t next = value_end(t, i, end);
    return next < 0 ? end : next;
  }
  if (c == '[') {
    std::string items;
    const int32_t next = put_items(r, t, i, end, depth, items);
    out = "[" + items + "]";
    return next;
  }
  if (opens) return put_dict(r, t, i, end, depth, out);
  if (is_digit(c)) {
    const ref_match m = ref_at(t, i, end);
    if (m.found) {
      if (const int32_t n = kept_ref(r, m.num); n > 0) out = ref_text(n);
      return m.after;
    }
  }
  // A name, a string, a number or a keyword (true, false, null).
  const int32_t next = value_end(t, i, end);
  if (next < 0) return end; // a string that does not close is dropped
  if (next > i) out = text_of(t, i, next);
  return next;
}

// How a value of the settings leads on: a whole reference "N G R" to the body of the selected
// object, one reference at most.
constexpr resolve_rule settings_rule{
    definition::selected, reference_form::strict_whole, 1, true, target_text::whole_body, false};

// The value of the key `name` among the dictionary's own entries; a value that is a reference
// stands for the referenced object's value.
bytes entry_value(const doc& d, bytes dict, std::string_view name) {
  return resolve_value(d, own_value(dict, 0, size_of(dict), name), settings_rule);
}

bytes entry_dict(const doc& d, bytes dict, std::string_view name) {
  return dict_text_at(entry_value(d, dict, name), 0);
}

bool is_array(bytes v) {
  return !v.empty() && v[0] == '[';
}

// The objects that the array's own elements refer to and the input has, in order, each once.
std::vector<int32_t> array_refs(const doc& d, bytes arr) {
  std::vector<int32_t> nums;
  if (!is_array(arr)) return nums;
  std::unordered_set<int32_t> seen;
  const int32_t end = size_of(arr);
  for (int32_t k = skip_space(arr, 1, end); k < end && byte_at(arr, k) != ']';
       k = skip_space(arr, k, end)) {
    int32_t next = -1;
    if (is_digit(byte_at(arr, k))) {
      const ref_match m = ref_at(arr, k, end);
      if (m.found && obj_lookup(d, m.num) && seen.insert(m.num).second) nums.push_back(m.num);
      next = m.found ? m.after : m.digits_end;
    } else {
      next = value_end(arr, k, end);
    }
    if (next < 0) break;
    k = next > k ? next : k + 1;
  }
  return nums;
}

// The groups of one input that are off by default, in the input's numbers.
std::vector<int32_t> groups_off(const doc& d, bytes groups, bytes config) {
  const bytes base = entry_value(d, config, "BaseState");
  if (as_chars(base) != "/OFF") return array_refs(d, entry_value(d, config, "OFF"));
  const std::vector<int32_t> on = array_refs(d, entry_value(d, config, "ON"));
  const std::unordered_set<int32_t> on_set(on.begin(), on.end());
  std::vector<int32_t> off;
  for (int32_t g : array_refs(d, groups))
    if (!on_set.count(g)) off.push_back(g);
  return off;
}

// One input's settings as they are written (or, without a map, as they are gathered).
struct oc_settings {
  bool present = false;
  std::vector<int32_t> groups;
  std::vector<int32_t> off;
  // The elements of /Order, /RBGroups, /Locked and /AS, and whether the input has the entry.
  std::string lists[4];
  bool has_list[4] = {false, false, false, false};
  std::string intent;
  std::string list_mode;
};

constexpr std::string_view list_keys[4] = {"Order", "RBGroups", "Locked", "AS"};

// The catalog's /OCProperties dictionary; empty when it has none.
bytes oc_properties(const doc& d) {
  const bytes catalog =
      d.catalog_num > 0 ? dict_text_at(object_text(d, d.catalog_num, settings_rule), 0) : bytes{};
  return catalog.empty() ? bytes{} : entry_dict(d, catalog, "OCProperties");
}

oc_settings read_settings(const oc_reading& r) {
  oc_settings s;
  const bytes props = oc_properties(r.d);
  if (props.empty()) return s;
  s.present = true;
  const bytes groups = entry_value(r.d, props, "OCGs");
  const bytes config = entry_dict(r.d, props, "D");
  auto kept = [&](const std::vector<int32_t>& nums) {
    std::vector<int32_t> out;
    for (int32_t num : nums)
      if (const int32_t n = kept_ref(r, num); n > 0) out.push_back(n);
    return out;
  };
  s.groups = kept(array_refs(r.d, groups));
  if (config.empty()) return s;
  s.off = kept(groups_off(r.d, groups, config));
  for (size_t k = 0; k < 4; ++k) {
    const bytes list = entry_value(r.d, config, list_keys[k]);
    s.has_list[k] = is_array(list);
    if (s.has_list[k]) put_items(r, list, 0, size_of(list), 0, s.lists[k]);
  }
  const bytes intent = entry_value(r.d, config, "Intent");
  put_value(r, intent, 0, size_of(intent), 0, s.intent);
  const bytes mode = entry_value(r.d, config, "ListMode");
  put_value(r, mode, 0, size_of(mode), 0, s.list_mode);
  return s;
}

void append_refs(std::string& out, const std::vector<int32_t>& nums) {
  for (int32_t n : nums) {
    if (out.back() != '[') out += ' ';
    out += ref_text(n);
  }
}

// " /Key [a b]" with the items of every input joined.
void append_list(std::string& out, std::string_view key, const std::vector<std::string>& parts) {
  out += " /";
  out += key;
  out += " [";
  bool first = true;
  for (const std::string& p : parts) {
    if (p.empty()) continue;
    if (!first) out += ' ';
    out += p;
    first = false;
  }
  out += ']';
}

} // namespace

std::vector<int32_t> optional_content_refs(const doc& d) {
  std::vector<int32_t> refs;
  read_settings(oc_reading{d, nullptr, &refs});
  return refs;
}

std::string optional_content_entry(const std::vector<merge_input>& inputs) {
  std::string groups = "[";
  std::string off = "[";
  std::vector<std::string> lists[4];
  bool has_list[4] = {false, false, false, false};
  std::string intent;
  std::string list_mode;
  bool any = false;
  for (const merge_input& in : inputs) {
    oc_settings s = read_settings(oc_reading{in.d, &in.map, nullptr});
    if (!s.present) continue;
    any = true;
    append_refs(groups, s.groups);
    append_refs(off, s.off);
    for (size_t k = 0; k < 4; ++k) {
      has_list[k] = has_list[k] || s.has_list[k];
      lists[k].push_back(std::move(s.lists[k]));
    }
    if (intent.empty()) intent = std::move(s.intent);
    if (list_mode.empty()) list_mode = std::move(s.list_mode);
  }
  if (!any) return {};
  std::string text = " /OCProperties << /OCGs " + groups + "] /D << /BaseState /ON";
  if (off.size() > 1) text += " /OFF " + off + "]";
  for (size_t k = 0; k < 4; ++k)
    if (has_list[k]) append_list(text, list_keys[k], lists[k]);
  if (!intent.empty()) text += " /Intent " + intent;
  if (!list_mode.empty()) text += " /ListMode " + list_mode;
  text += " >> >>";
  make_reader_safe(text);
  return text;
}

} // namespace pdfmerge
