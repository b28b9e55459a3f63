// The document information: the trailer's /Info of each input, the title an input's bookmark
// takes, and the output's /Info, XMP metadata and /Lang taken from the first inputs.
#include "pdfmerge/filters/filters.h"
#include "pdfmerge/keep/keep.h"

#include <algorithm>
#include <array>

namespace pdfmerge {
namespace {

// The entries of /Info that are carried over, in the order they are written.
constexpr std::array<std::string_view, 6> info_keys = {"Title",    "Author",  "Subject",
                                                       "Keywords", "Creator", "CreationDate"};

// An XMP packet decoded to more than this is left behind.
constexpr size_t max_xmp_size = size_t{16} << 20;

// Trailers are looked for from the end of the file, at most this many of them; the dictionary
// of each within this many bytes. So a file full of broken trailers costs little.
constexpr int32_t max_trailers_read = 32;
constexpr size_t max_trailer_size = size_t{1} << 20;

// The /Info value of the dictionary `text` (a trailer's or a cross-reference stream's), when it
// names one.
std::optional<pdf_value> info_named_in(edit_ctx& ctx, bytes text) {
  if (text.empty() || find_name(text, 0, size_of(text), "Info") < 0) return std::nullopt;
  std::optional<pdf_value> dict = parse_value(text);
  const pdf_value* info = dict ? dict->get("Info") : nullptr;
  if (!info) return std::nullopt;
  if (info->is(pdf_value::kind::ref)) {
    const pdf_value* target = object_tree(ctx, info->num);
    return target ? std::optional<pdf_value>(*target) : std::nullopt;
  }
  // Written inside the trailer, against the format; trailers are never encrypted.
  if (info->is(pdf_value::kind::dict)) return *info;
  return std::nullopt;
}

// The last classic trailer dictionary that names /Info, and where it stands.
std::optional<pdf_value> last_trailer_info(edit_ctx& ctx, int32_t& at) {
  const doc& d = ctx.d;
  const bytes f = d.file();
  const std::string_view text = as_chars(f);
  int32_t read = 0;
  for (size_t pos = text.size(); pos > 0 && read < max_trailers_read;) {
    pos = text.rfind("trailer", pos - 1);
    if (pos == std::string_view::npos) break;
    const auto t = static_cast<int32_t>(pos);
    if (!kw_at(f, t, "trailer")) continue;
    const int32_t q = skip_ws(f, past_kw(t, "trailer"), d.len);
    if (q + 1 >= d.len || byte_at(f, q) != '<' || byte_at(f, q + 1) != '<') continue;
    ++read;
    const bytes window = f.subspan(static_cast<size_t>(q))
                             .first(std::min(max_trailer_size, f.size() - static_cast<size_t>(q)));
    if (std::optional<pdf_value> info = info_named_in(ctx, dict_text_at(window, 0))) {
      at = t;
      return info;
    }
  }
  return std::nullopt;
}

// The last cross-reference stream after `after` that names /Info. Each stream's dictionary is
// read within its span (up to its keyword stream), so the search reads the file about once.
std::optional<pdf_value> last_xref_stream_info(edit_ctx& ctx, int32_t after) {
  const doc& d = ctx.d;
  const obj_entry* best = nullptr;
  bytes best_dict;
  for (const obj_entry& e : d.objects) {
    if (!e.has_stream || e.in_objstm || e.start <= after || (best && e.start <= best->start))
      continue;
    dict_span sp;
    if (!dict_span_of(d.file(), e, sp) || sp.end <= sp.start) continue;
    const bytes dict =
        sp.text.subspan(static_cast<size_t>(sp.start), static_cast<size_t>(sp.end - sp.start));
    if (find_name(dict, 0, size_of(dict), "XRef") < 0 ||
        find_name(dict, 0, size_of(dict), "Info") < 0)
      continue;
    const std::optional<pdf_value> v = parse_value(dict);
    const pdf_value* type = v ? v->get("Type") : nullptr;
    if (type && type->is_atom("/XRef") && v->get("Info")) {
      best = &e;
      best_dict = dict;
    }
  }
  return best ? info_named_in(ctx, best_dict) : std::nullopt;
}

// The file name of a path: after its last folder separator, without its extension.
std::string_view file_stem(std::string_view path) {
#ifdef _WIN32
  const size_t slash = path.find_last_of("/\\:");
#else
  const size_t slash = path.rfind('/');
#endif
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  const size_t dot = path.rfind('.');
  if (dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
  return path;
}

// The decoded data of the catalog's /Metadata stream of `d`, or none.
std::optional<std::string> catalog_xmp(const doc& d, const pdf_value& catalog) {
  const pdf_value* ref = catalog.get("Metadata");
  if (!ref || !ref->is(pdf_value::kind::ref)) return std::nullopt;
  const obj_entry* e = obj_lookup(d, ref->num);
  if (!e || !e->has_stream || e->in_objstm) return std::nullopt;
  buf out;
  const stream_result r = decode_stream_chain(d, *e, out, max_xmp_size);
  if (!r.data || r.kept_filter || out.failed) return std::nullopt;
  return std::string(as_chars(*r.data));
}

// The value of /key of the information dictionary as a string token, or empty.
std::string info_entry(edit_ctx& ctx, const pdf_value& info, std::string_view key) {
  const std::optional<std::string> s = string_of(ctx, info.get(key));
  if (!s || s->empty()) return {};
  return " /" + std::string(key) + " " + bytes_string_token(*s);
}

} // namespace

std::optional<pdf_value> document_info(edit_ctx& ctx) {
  int32_t trailer_at = -1;
  std::optional<pdf_value> info = last_trailer_info(ctx, trailer_at);
  if (std::optional<pdf_value> newer = last_xref_stream_info(ctx, trailer_at)) info = newer;
  if (info && !info->is(pdf_value::kind::dict)) return std::nullopt;
  return info;
}

std::optional<std::string> string_of(edit_ctx& ctx, const pdf_value* v) {
  const pdf_value* target = resolved_tree(ctx, v);
  return target ? string_bytes(*target) : std::nullopt;
}

std::string input_title(edit_ctx& ctx, const char* given, const char* path) {
  if (given) {
    std::string title = utf8_lenient(given);
    if (!blank_text(title)) return title;
  }
  if (const std::optional<pdf_value> info = document_info(ctx))
    if (const std::optional<std::string> s = string_of(ctx, info->get("Title"))) {
      std::string title = text_string_utf8(*s);
      if (!blank_text(title)) return title;
    }
  return utf8_lenient(file_stem(path ? path : ""));
}

bool plan_doc_info(const std::vector<merge_input>& inputs, std::vector<input_keep>& keeps,
                   const std::string& producer, info_plan& plan, int64_t& next, int64_t max_size) {
  if (next + 2 > max_size) return false;
  plan.info = static_cast<int32_t>(next++);
  plan.info_text = "<<";
  for (size_t i = 0; i < inputs.size(); ++i) {
    edit_ctx ctx{inputs[i].d, keeps[i]};
    const std::optional<pdf_value> info = document_info(ctx);
    if (!info) continue;
    std::string entries;
    for (std::string_view key : info_keys) entries += info_entry(ctx, *info, key);
    if (entries.empty()) continue;
    plan.info_text += entries;
    break;
  }
  plan.info_text += " /Producer " + text_string_token(producer) + " >>";
  make_reader_safe(plan.info_text);

  edit_ctx first{inputs.front().d, keeps.front()};
  const pdf_value* catalog = object_tree(first, first.d.catalog_num);
  if (!catalog) return true;
  if (const std::optional<std::string> xmp = catalog_xmp(first.d, *catalog))
    if (std::optional<std::string> plain = xmp_without_conformance(*xmp)) {
      plan.metadata = static_cast<int32_t>(next++);
      plan.xmp = std::move(*plain);
    }
  if (const std::optional<std::string> lang = string_of(first, catalog->get("Lang"))) {
    plan.lang = bytes_string_token(*lang);
    make_reader_safe(plan.lang);
  }
  return true;
}

void write_doc_info(out_file& f, const info_plan& plan) {
  out_begin_object(f, plan.info);
  out_put(f, plan.info_text);
  out_put(f, "\nendobj\n");
  if (plan.metadata <= 0) return;
  out_begin_object(f, plan.metadata);
  out_put(f, "<< /Type /Metadata /Subtype /XML /Length " + std::to_string(plan.xmp.size()) +
                 " >>\nstream\n");
  out_put(f, plan.xmp);
  out_put(f, "\nendstream\nendobj\n");
}

} // namespace pdfmerge
