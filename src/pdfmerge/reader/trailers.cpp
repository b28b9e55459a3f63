// What the trailers say: the catalog's object number (/Root) and whether the file is encrypted.
// Objects themselves are never located through the cross-reference data.
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
// one whose record is read (unless a newer cross-reference stream named one first).
void trailer_scan(doc& d, int32_t x, text_indexes& ix) {
  const bytes f = d.file();
  const int32_t len = d.len;
  const kw_hits& startxrefs = ix.keywords("startxref");
  const std::vector<int32_t> roots = usable_roots(f, ix);
  const name_hits& encrypts = ix.names("Encrypt");
  int32_t encrypt_named = -1;
  for (int32_t t = find_kw(f, past_kw(x, "xref"), "trailer"); t >= 0;
       t = find_kw(f, t + 1, "trailer")) {
    const int32_t q = skip_ws(f, past_kw(t, "trailer"), len);
    int32_t e = kw_hits_find(startxrefs, q);
    if (e < 0) e = len;
    if (q >= e || f[static_cast<size_t>(q)] != '<') continue;
    auto r = std::lower_bound(roots.begin(), roots.end(), q);
    if (r != roots.end() && past_name(*r, "Root") <= e)
      d.root_num = value_at(f, past_name(*r, "Root"));
    if (name_hits_find(encrypts, q, e) >= 0) {
      d.encrypted = 1;
      encrypt_named = q;
    }
  }
  if (d.encrypt_trailer < 0) d.encrypt_trailer = encrypt_named;
}

// One cross-reference stream object at q (its header's first digit): notes /Root and /Encrypt
// and returns its /Prev offset, or -1 when the chain ends here.
int32_t xref_stream_visit(doc& d, int32_t q) {
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
  if (d.root_num < 0) {
    if (int32_t r = find_name(f, dict, limit, "Root"); r >= 0) {
      const int32_t v = value_at(f, value_after_name(f, r, "Root", limit));
      if (v >= 0) d.root_num = v;
    }
  }
  if (find_name(f, dict, limit, "Encrypt") >= 0) {
    d.encrypted = 1;
    if (d.encrypt_trailer < 0) d.encrypt_trailer = dict; // the newest on the chain
  }
  return prev >= 0 && prev < len ? prev : -1;
}

} // namespace

void trailers_read(doc& d, text_indexes& ix) {
  const bytes f = d.file();
  const int32_t len = d.len;
  const kw_hits& startxrefs = ix.keywords("startxref");
  if (startxrefs.at.empty()) return;
  int32_t off = value_at(f, past_kw(startxrefs.at.back(), "startxref"));
  if (off < 0 || off >= len) return;
  for (int32_t hops = 0; off >= 0 && off < len && hops < max_xref_hops;) {
    const int32_t q = skip_ws(f, off, len);
    if (q >= len) return;
    if (kw_at(f, q, "xref")) {
      trailer_scan(d, q, ix);
      return;
    }
    if (!is_digit(f[static_cast<size_t>(q)])) return;
    ++hops;
    off = xref_stream_visit(d, q);
  }
}

} // namespace pdfmerge
