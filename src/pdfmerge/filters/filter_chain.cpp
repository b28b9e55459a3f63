// The /Filter chain of a stream read from its dictionary and run stage by stage.
#include "pdfmerge/filters/filters.h"

#include <algorithm>
#include <new>
#include <string_view>

namespace pdfmerge {
namespace {

filter_kind kind_of(std::string_view name) {
  if (name == "FlateDecode" || name == "Fl") return filter_kind::flate;
  if (name == "LZWDecode" || name == "LZW") return filter_kind::lzw;
  if (name == "ASCIIHexDecode" || name == "AHx") return filter_kind::ascii_hex;
  if (name == "ASCII85Decode" || name == "A85") return filter_kind::ascii85;
  if (name == "RunLengthDecode" || name == "RL") return filter_kind::run_length;
  return filter_kind::other;
}

// How a filter value leads on to the value it stands for: a whole reference in any form, to the
// first value of the selected object, never to a stream, three references at most (a reference
// to a reference is rare, and a loop must end).
constexpr resolve_rule filter_value_rule{
    definition::selected, reference_form::loose_whole, 3, false, target_text::first_value, true};

// The name that starts at i (its '/'), with i moved past it.
std::string_view name_at(bytes v, size_t& i) {
  const size_t from = ++i;
  while (i < v.size() && is_alnum(v[i])) ++i;
  return as_chars(v.subspan(from, i - from));
}

// The kind of one element of a /Filter array at i, with i moved past it: a name, or a
// reference to a name. Nothing for other tokens, which are stepped over.
std::optional<filter_kind> filter_element(const doc& d, bytes v, size_t& i) {
  if (v[i] == '/') return kind_of(name_at(v, i));
  if (is_digit(v[i])) {
    const ref_match m = ref_at(v, static_cast<int32_t>(i), size_of(v));
    if (m.found) {
      i = static_cast<size_t>(m.after);
      const bytes named = object_text(d, m.num, filter_value_rule);
      size_t at = 0;
      if (named.empty() || named[0] != '/') return filter_kind::other; // cannot be known
      return kind_of(name_at(named, at));
    }
  }
  ++i;
  return std::nullopt;
}

// The filters of a resolved /Filter value: one name, or the elements of
// an array. Any other value names no filter.
std::vector<filter_kind> filter_list(const doc& d, bytes v) {
  std::vector<filter_kind> kinds;
  if (v.empty()) return kinds;
  size_t i = 0;
  if (v[0] == '/') {
    kinds.push_back(kind_of(name_at(v, i)));
    return kinds;
  }
  if (v[0] != '[') return kinds;
  for (i = 1; i < v.size() && v[i] != ']';)
    if (const auto kind = filter_element(d, v, i)) kinds.push_back(*kind);
  return kinds;
}

int32_t int_entry(bytes dict, std::string_view name, int32_t fallback) {
  const int32_t end = size_of(dict);
  const int32_t key = find_own_key(dict, 0, end, name);
  if (key < 0) return fallback;
  int32_t pos = past_name(key, name);
  const int32_t v = skip_ws(dict, pos, end);
  if (v >= end || !is_digit(byte_at(dict, v))) return fallback;
  return parse_int_at(dict, pos);
}

// The element of a /DecodeParms array that starts at i (a dictionary, a reference, null),
// with i moved past it. A dictionary, or the dictionary a reference names, is returned.
bytes parms_element(const doc& d, bytes parms, size_t& i) {
  const auto at = static_cast<int32_t>(i);
  const auto end = static_cast<int32_t>(parms.size());
  if (parms[i] == '<') {
    const bytes dict = dict_text_at(parms, at);
    i += dict.empty() ? 1 : dict.size();
    return dict;
  }
  if (is_digit(parms[i])) {
    const ref_match m = ref_at(parms, at, end);
    if (m.found) {
      i = static_cast<size_t>(m.after);
      const bytes named = object_text(d, m.num, filter_value_rule);
      return !named.empty() && named[0] == '<' ? named : bytes{};
    }
  }
  ++i;
  while (i < parms.size() && is_alnum(parms[i])) ++i;
  return {};
}

// The parameters dictionary of stage k: a dictionary stands for the first stage, an array
// holds one element (a dictionary or null) per stage.
bytes parms_dict(const doc& d, bytes parms, size_t k) {
  if (parms.empty()) return {};
  if (parms[0] == '<') return k == 0 ? parms : bytes{};
  if (parms[0] != '[') return {};
  size_t i = 1;
  for (size_t n = 0; i < parms.size() && parms[i] != ']';) {
    if (is_pdf_ws(parms[i])) {
      ++i;
      continue;
    }
    const bytes element = parms_element(d, parms, i);
    if (n++ == k) return element;
  }
  return {};
}

predictor_parms parms_of(const doc& d, bytes parms, size_t k) {
  predictor_parms p;
  const bytes dict = parms_dict(d, parms, k);
  if (dict.empty()) return p;
  p.predictor = int_entry(dict, "Predictor", 1);
  p.colors = int_entry(dict, "Colors", 1);
  p.bits = int_entry(dict, "BitsPerComponent", 8);
  p.columns = int_entry(dict, "Columns", 1);
  p.early_change = int_entry(dict, "EarlyChange", 1);
  return p;
}

// One stage decoded into `out`, which must stay within `limit` bytes.
inflated run_stage(filter_kind kind, const predictor_parms& p, bytes in, std::vector<uint8_t>& out,
                   size_t limit) {
  switch (kind) {
  case filter_kind::flate: {
    const inflated got = flate_decode(in, out, limit);
    if (got == inflated::ok) apply_predictor(p, out);
    return got;
  }
  case filter_kind::lzw:
    // LZW and RunLength fail only when their output would pass the limit.
    if (!lzw_decode(in, p.early_change, out, limit)) return inflated::too_large;
    apply_predictor(p, out);
    return inflated::ok;
  case filter_kind::ascii_hex:
    return ascii_hex_decode(in, out) ? inflated::ok : inflated::unusable;
  case filter_kind::ascii85:
    return ascii85_decode(in, out) ? inflated::ok : inflated::unusable;
  case filter_kind::run_length:
    return run_length_decode(in, out, limit) ? inflated::ok : inflated::too_large;
  case filter_kind::other:
    break;
  }
  return inflated::unusable;
}

bool has_predictor(const predictor_parms& p) {
  return p.predictor == 2 || (p.predictor >= 10 && p.predictor <= 15);
}

// Every stage within `limit`: a stage that needs more sets too_large.
std::optional<bytes> run_chain(const doc& d, const std::vector<filter_kind>& kinds, bytes parms,
                               bytes data, buf& out, size_t limit, bool& too_large) {
  try {
    std::vector<uint8_t> cur;
    std::vector<uint8_t> next;
    bytes in = data;
    for (size_t k = 0; k < kinds.size(); ++k) {
      // A last Flate stage without predictor inflates straight into `out`, so the largest
      // stage is never held twice.
      if (k + 1 == kinds.size() && k > 0 && kinds[k] == filter_kind::flate &&
          !has_predictor(parms_of(d, parms, k)))
        return inflate_stream(in, out, limit, too_large);
      next.clear();
      const inflated got = run_stage(kinds[k], parms_of(d, parms, k), in, next, limit);
      if (got == inflated::too_large) too_large = true;
      if (got != inflated::ok) return std::nullopt;
      cur.swap(next);
      in = bytes(cur.data(), cur.size());
    }
    if (cur.size() > limit) { // a stage without a limit of its own
      too_large = true;
      return std::nullopt;
    }
    const uint64_t start = out.len;
    buf_reserve(out, cur.size() + 1);
    if (!out.data) return std::nullopt;
    buf_append(out, cur.data(), cur.size());
    if (!out.data) return std::nullopt;
    return bytes(out.data.get() + start, cur.size());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

} // namespace

stream_filters filters_of(const doc& d, const obj_entry& e) {
  stream_filters f;
  if (!e.has_stream || e.dict_start < 0) return f;
  const bytes text = d.file();
  const int32_t dict_end = e.stream_kw > 0 ? e.stream_kw : e.endobj > 0 ? e.endobj : size_of(text);
  f.filter = own_value(text, e.dict_start, dict_end, "Filter");
  f.parms = own_value(text, e.dict_start, dict_end, "DecodeParms");
  bool unknown = false;
  if (reference_of(f.filter, reference_form::loose_whole) >= 0) {
    // An indirect filter that leads to no name or array cannot be known: the data is kept
    // as it is, with the reference.
    const bytes filter = resolve_value(d, f.filter, filter_value_rule);
    if (!filter.empty() && (filter[0] == '/' || filter[0] == '['))
      f.filter = filter;
    else
      unknown = true;
  }
  const bytes parms = resolve_value(d, f.parms, filter_value_rule);
  if (!parms.empty()) f.parms = parms;
  if (unknown)
    f.kinds.push_back(filter_kind::other);
  else
    f.kinds = filter_list(d, f.filter);
  f.kept = std::find(f.kinds.begin(), f.kinds.end(), filter_kind::other) != f.kinds.end();
  return f;
}

stream_result decode_stream_chain(const doc& d, const obj_entry& e, buf& out,
                                  size_t limit) noexcept {
  stream_result r;
  const bytes text = d.file();
  if (!e.has_stream) return r;
  const int64_t n = int64_t{e.data_end} - e.data_start;
  if (n <= 0 || e.data_start < 0 || e.data_end > static_cast<int64_t>(text.size())) return r;
  const bytes data = text.subspan(static_cast<size_t>(e.data_start), static_cast<size_t>(n));
  r.data = data;
  stream_filters f;
  try {
    f = filters_of(d, e);
  } catch (const std::bad_alloc&) {
    r.data = std::nullopt;
    return r;
  }
  if (f.kinds.empty()) return r;
  if (f.kept) {
    r.kept_filter = true;
    r.filter = f.filter;
    r.parms = f.parms;
    return r;
  }
  if (f.kinds.size() == 1 && f.kinds[0] == filter_kind::flate &&
      !has_predictor(parms_of(d, f.parms, 0))) {
    r.data = inflate_stream(data, out, limit, r.too_large, &r.flate.end);
    if (r.data) r.flate.data = data;
  } else
    r.data = run_chain(d, f.kinds, f.parms, data, out, limit, r.too_large);
  return r;
}

} // namespace pdfmerge
