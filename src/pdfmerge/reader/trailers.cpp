// What the trailers say: the catalog's object number (/Root) and whether the file is encrypted.
// Objects themselves are never located through the cross-reference data. The trailers are found
// through startxref; when that leads to none (an offset a few bytes off, the last lines cut),
// every trailer dictionary and cross-reference stream of the file is read instead, so that an
// encrypted file is never taken for a plain one.
#include "pdfmerge/reader/phases.h"

#include <algorithm>

namespace pdfmerge {
namespace {

constexpr int32_t max_xref_hops = 32;

// The integer after a name, read from `pos` on (white space skipped), or -1.
int32_t value_at(bytes f, int32_t pos) {
  if (pos >= size_of(f)) return -1;
  return parse_int_at(f, pos);
}

// Positions of the /Root names whose value reads as a number of 0 or more. The value does not
// depend on the region searched, so it is read once per name.
std::vector<int32_t> usable_roots(bytes f, text_indexes& ix) {
  std::vector<int32_t> roots;
  for (int32_t r : ix.names("Root").at)
    if (value_at(f, past_name(r, "Root")) >= 0) roots.push_back(r);
  return roots;
}

// Reads every trailer dictionary after the classic table at x: the last one naming a catalog
// decides root_num; any of them naming /Encrypt marks the file, and the last of those is the
// one whose record is read (unless a newer cross-reference stream named one first). True when
// there was a trailer dictionary to read.
bool trailer_scan(doc& d, int32_t x, text_indexes& ix) {
  const bytes f = d.file();
  const int32_t len = d.len;
  const kw_hits& startxrefs = ix.keywords("startxref");
  const std::vector<int32_t> roots = usable_roots(f, ix);
  const name_hits& encrypts = ix.names("Encrypt");
  int32_t encrypt_named = -1;
  bool read = false;
  for (int32_t t = find_kw(f, past_kw(x, "xref"), "trailer"); t >= 0;
       t = find_kw(f, t + 1, "trailer")) {
    const int32_t q = skip_ws(f, past_kw(t, "trailer"), len);
    int32_t e = kw_hits_find(startxrefs, q);
    if (e < 0) e = len;
    if (q >= e || f[static_cast<size_t>(q)] != '<') continue;
    read = true;
    auto r = std::lower_bound(roots.begin(), roots.end(), q);
    if (r != roots.end() && past_name(*r, "Root") <= e)
      d.root_num = value_at(f, past_name(*r, "Root"));
    if (name_hits_find(encrypts, q, e) >= 0) {
      d.encrypted = 1;
      encrypt_named = q;
    }
  }
  if (d.encrypt_trailer < 0) d.encrypt_trailer = encrypt_named;
  return read;
}

// One cross-reference stream object at q (its header's first digit): notes /Root and /Encrypt
// and returns its /Prev offset, or -1 when the chain ends here. `read` is set when the object
// is one: its own /Type is /XRef, or it names a catalog or /Encrypt.
int32_t xref_stream_visit(doc& d, int32_t q, bool& read) {
  const bytes f = d.file();
  const int32_t len = d.len;
  int32_t i = q;
  (void)read_digits(f, i, len);
  i = skip_generation(f, i, len);
  if (!kw_at(f, i, "obj")) return -1;
  const int32_t dict = skip_ws(f, i + 3, len);
  int32_t limit = len;
  if (dict < len && f[static_cast<size_t>(dict)] == '<') {
    const int32_t kw = dict_stream_kw(f, dict);
    if (kw >= 1) limit = kw;
  }
  int32_t prev = -1;
  if (int32_t r = find_name(f, dict, limit, "Prev"); r >= 0)
    prev = value_at(f, value_after_name(f, r, "Prev", limit));
  if (int32_t r = find_name(f, dict, limit, "Root"); r >= 0) {
    read = true;
    const int32_t v = value_at(f, value_after_name(f, r, "Root", limit));
    if (d.root_num < 0 && v >= 0) d.root_num = v;
  }
  if (find_name(f, dict, limit, "Encrypt") >= 0) {
    read = true;
    d.encrypted = 1;
    if (d.encrypt_trailer < 0) d.encrypt_trailer = dict; // the newest on the chain
  }
  if (!read && as_chars(own_value(f, dict, limit, "Type")) == "/XRef") read = true;
  return prev >= 0 && prev < len ? prev : -1;
}

// Follows startxref to the trailers. True when it led to at least one trailer dictionary or
// cross-reference stream.
bool startxref_chain_read(doc& d, text_indexes& ix) {
  const bytes f = d.file();
  const int32_t len = d.len;
  const kw_hits& startxrefs = ix.keywords("startxref");
  if (startxrefs.at.empty()) return false;
  int32_t off = value_at(f, past_kw(startxrefs.at.back(), "startxref"));
  if (off < 0 || off >= len) return false;
  bool read = false;
  for (int32_t hops = 0; off >= 0 && off < len && hops < max_xref_hops;) {
    const int32_t q = skip_ws(f, off, len);
    if (q >= len) return read;
    if (kw_at(f, q, "xref")) return trailer_scan(d, q, ix) || read;
    if (!is_digit(f[static_cast<size_t>(q)])) return read;
    ++hops;
    off = xref_stream_visit(d, q, read);
  }
  return read;
}

// ---------------------------------------------------------------- the scan for trailers

// One trailer-like dictionary found by the scan: where it opens, the catalog it names (-1 for
// none) and whether it names /Encrypt.
struct trailer_found {
  int32_t at = -1;
  int32_t root = -1;
  bool encrypt = false;
};

class trailer_reader {
public:
  trailer_reader(bytes f, text_indexes& ix)
      : f_(f), roots_(usable_roots(f, ix)), encrypts_(ix.names("Encrypt")) {}

  // The dictionary at `at`, ending before `end`.
  trailer_found read(int32_t at, int32_t end) const {
    trailer_found t{at, -1, name_hits_find(encrypts_, at, end) >= 0};
    auto r = std::lower_bound(roots_.begin(), roots_.end(), at);
    if (r != roots_.end() && past_name(*r, "Root") <= end)
      t.root = value_at(f_, past_name(*r, "Root"));
    return t;
  }

private:
  bytes f_;
  std::vector<int32_t> roots_;
  const name_hits& encrypts_;
};

bool dict_opens_at(bytes f, int32_t at) {
  return at + 1 < size_of(f) && f[static_cast<size_t>(at)] == '<' &&
         f[static_cast<size_t>(at) + 1] == '<';
}

// Where the dictionary at `at` ends: past its closing ">>", or at `bound` when it does not
// close before it (a dictionary cut with the file's tail).
int32_t dict_end_before(bytes f, int32_t at, int32_t bound) {
  const int32_t close = skip_nested(f, at, bound);
  return close > at ? close : bound;
}

// Every "trailer" followed by a dictionary. A dictionary is read up to where it closes, at most
// up to the next "trailer" or "startxref", so that the dictionaries are read once in all.
void classic_trailers_find(bytes f, text_indexes& ix, const trailer_reader& reader,
                           std::vector<trailer_found>& out) {
  const int32_t len = size_of(f);
  const auto& trailers = ix.keywords("trailer").at;
  const kw_hits& startxrefs = ix.keywords("startxref");
  for (size_t k = 0; k < trailers.size(); ++k) {
    const int32_t q = skip_ws(f, past_kw(trailers[k], "trailer"), len);
    if (!dict_opens_at(f, q)) continue;
    int32_t bound = k + 1 < trailers.size() ? trailers[k + 1] : len;
    if (const int32_t s = kw_hits_find(startxrefs, q); s >= 0 && s < bound) bound = s;
    out.push_back(reader.read(q, dict_end_before(f, q, bound)));
  }
}

// Whether the name `name` (with its '/') is written at v, ended there.
bool name_value_at(bytes f, int32_t v, std::string_view name) {
  const auto n = static_cast<int32_t>(name.size());
  return v + n <= size_of(f) && as_chars(f.subspan(static_cast<size_t>(v), name.size())) == name &&
         (v + n == size_of(f) || !is_regular(f[static_cast<size_t>(v + n)]));
}

// The object dictionaries in which a key has a given name as its value (/Type /XRef, /Filter
// /Standard), in file order: for each such key, the dictionary right after the last "obj"
// before it, when the key lies inside that dictionary. A dictionary is read up to where it
// closes, at most up to the next "obj", and once however many such keys it holds. `visit` gets
// its start and end.
template <class Visit>
void object_dicts_with(bytes f, text_indexes& ix, std::string_view key, std::string_view value,
                       Visit visit) {
  const int32_t len = size_of(f);
  const auto& objs = ix.keywords("obj").at;
  int32_t dict = -1; // the last dictionary met, where it ends, and whether it was visited
  int32_t dict_end = -1;
  bool visited = false;
  for (const int32_t r : ix.names(key).at) {
    if (!name_value_at(f, skip_ws(f, past_name(r, key), len), value)) continue;
    const auto next_obj = std::upper_bound(objs.begin(), objs.end(), r);
    if (next_obj == objs.begin()) continue;
    const int32_t at = skip_ws(f, *std::prev(next_obj) + 3, len);
    if (at >= r || !dict_opens_at(f, at)) continue;
    if (at != dict) {
      dict = at;
      dict_end = dict_end_before(f, at, next_obj != objs.end() ? *next_obj : len);
      visited = false;
    }
    if (r < dict_end && !visited) {
      visited = true;
      visit(at, dict_end);
    }
  }
}

// Reads every trailer-like dictionary of the file (the trailers of classic tables and the
// dictionaries of cross-reference streams): the last one (in file order) naming a catalog
// decides root_num; any one naming /Encrypt marks the file, and the last of those is the one
// whose record is read. A file whose tail was cut may have lost its only trailer: when none
// names /Encrypt but an object is a standard security handler's dictionary (/Filter
// /Standard), the file is marked encrypted without a record, and so refused rather than read
// as plain.
void trailers_scan(doc& d, text_indexes& ix) {
  const bytes f = d.file();
  const trailer_reader reader(f, ix);
  std::vector<trailer_found> found;
  classic_trailers_find(f, ix, reader, found);
  object_dicts_with(f, ix, "Type", "/XRef",
                    [&](int32_t at, int32_t end) { found.push_back(reader.read(at, end)); });
  std::sort(found.begin(), found.end(),
            [](const trailer_found& a, const trailer_found& b) { return a.at < b.at; });
  for (const trailer_found& t : found) {
    if (t.root >= 0) d.root_num = t.root;
    if (t.encrypt) {
      d.encrypted = 1;
      d.encrypt_trailer = t.at;
    }
  }
  if (!d.encrypted)
    object_dicts_with(f, ix, "Filter", "/Standard", [&](int32_t, int32_t) { d.encrypted = 1; });
}

} // namespace

void trailers_read(doc& d, text_indexes& ix) {
  if (!startxref_chain_read(d, ix)) trailers_scan(d, ix);
}

} // namespace pdfmerge
