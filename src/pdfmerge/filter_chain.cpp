// The /Filter chain of a stream read from its dictionary and run stage by stage.
#include "pdfmerge/pdfmerge_internal.h"

#include <new>
#include <string_view>

namespace pdfmerge {
namespace {

enum class filter_kind { flate, lzw, ascii_hex, ascii85, run_length, other };

filter_kind kind_of(std::string_view name) {
  if (name == "FlateDecode" || name == "Fl") return filter_kind::flate;
  if (name == "LZWDecode" || name == "LZW") return filter_kind::lzw;
  if (name == "ASCIIHexDecode" || name == "AHx") return filter_kind::ascii_hex;
  if (name == "ASCII85Decode" || name == "A85") return filter_kind::ascii85;
  if (name == "RunLengthDecode" || name == "RL") return filter_kind::run_length;
  return filter_kind::other;
}

// The names of a /Filter value: one name, or the names inside an array.
std::vector<filter_kind> filter_list(bytes value) {
  std::vector<filter_kind> kinds;
  const std::string_view v = as_chars(value);
  size_t i = v.empty() || v[0] != '[' ? 0 : 1;
  if (!v.empty() && v[0] != '/' && v[0] != '[') return kinds;
  while ((i = v.find('/', i)) != std::string_view::npos) {
    size_t end = i + 1;
    while (end < v.size() && is_alnum(static_cast<uint8_t>(v[end]))) ++end;
    kinds.push_back(kind_of(v.substr(i + 1, end - i - 1)));
    i = end;
  }
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
// with i moved past it. Only a dictionary element is returned.
bytes parms_element(bytes parms, size_t& i) {
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
      return {};
    }
  }
  ++i;
  while (i < parms.size() && is_alnum(parms[i])) ++i;
  return {};
}

// The parameters dictionary of stage k: a dictionary stands for the first stage, an array
// holds one element (a dictionary or null) per stage.
bytes parms_dict(bytes parms, size_t k) {
  if (parms.empty()) return {};
  if (parms[0] == '<') return k == 0 ? parms : bytes{};
  if (parms[0] != '[') return {};
  size_t i = 1;
  for (size_t n = 0; i < parms.size() && parms[i] != ']';) {
    if (is_pdf_ws(parms[i])) {
      ++i;
      continue;
    }
    const bytes element = parms_element(parms, i);
    if (n++ == k) return element;
  }
  return {};
}

predictor_parms parms_of(bytes parms, size_t k) {
  predictor_parms p;
  const bytes dict = parms_dict(parms, k);
  if (dict.empty()) return p;
  p.predictor = int_entry(dict, "Predictor", 1);
  p.colors = int_entry(dict, "Colors", 1);
  p.bits = int_entry(dict, "BitsPerComponent", 8);
  p.columns = int_entry(dict, "Columns", 1);
  p.early_change = int_entry(dict, "EarlyChange", 1);
  return p;
}

bool run_stage(filter_kind kind, const predictor_parms& p, bytes in, std::vector<uint8_t>& out) {
  switch (kind) {
  case filter_kind::flate:
    if (!flate_decode(in, out)) return false;
    apply_predictor(p, out);
    return true;
  case filter_kind::lzw:
    if (!lzw_decode(in, p.early_change, out)) return false;
    apply_predictor(p, out);
    return true;
  case filter_kind::ascii_hex:
    return ascii_hex_decode(in, out);
  case filter_kind::ascii85:
    return ascii85_decode(in, out);
  case filter_kind::run_length:
    return run_length_decode(in, out);
  case filter_kind::other:
    break;
  }
  return false;
}

bool has_predictor(const predictor_parms& p) {
  return p.predictor == 2 || (p.predictor >= 10 && p.predictor <= 15);
}

std::optional<bytes> run_chain(const std::vector<filter_kind>& kinds, bytes parms, bytes data,
                               buf& out) {
  try {
    std::vector<uint8_t> cur;
    std::vector<uint8_t> next;
    bytes in = data;
    for (size_t k = 0; k < kinds.size(); ++k) {
      next.clear();
      if (!run_stage(kinds[k], parms_of(parms, k), in, next)) return std::nullopt;
      cur.swap(next);
      in = bytes(cur.data(), cur.size());
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

stream_result decode_stream_chain(const obj_entry& e, bytes text, buf& out) noexcept {
  stream_result r;
  if (!e.has_stream) return r;
  const int64_t n = int64_t{e.data_end} - e.data_start;
  if (n <= 0 || e.data_start < 0 || e.data_end > static_cast<int64_t>(text.size())) return r;
  const bytes data = text.subspan(static_cast<size_t>(e.data_start), static_cast<size_t>(n));
  r.data = data;
  if (e.dict_start < 0) return r;
  const int32_t dict_end = e.stream_kw > 0 ? e.stream_kw : e.endobj > 0 ? e.endobj : size_of(text);
  const bytes filter = own_value(text, e.dict_start, dict_end, "Filter");
  std::vector<filter_kind> kinds;
  try {
    kinds = filter_list(filter);
  } catch (const std::bad_alloc&) {
    r.data = std::nullopt;
    return r;
  }
  if (kinds.empty()) return r;
  const bytes parms = own_value(text, e.dict_start, dict_end, "DecodeParms");
  for (const filter_kind k : kinds) {
    if (k != filter_kind::other) continue;
    r.kept_filter = true;
    r.filter = filter;
    r.parms = parms;
    return r;
  }
  if (kinds.size() == 1 && kinds[0] == filter_kind::flate && !has_predictor(parms_of(parms, 0)))
    r.data = inflate_stream(data, out);
  else
    r.data = run_chain(kinds, parms, data, out);
  return r;
}

} // namespace pdfmerge
