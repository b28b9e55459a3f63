// Where each stream's data ends: at its /Length when "endstream" follows there, else at the
// next "endstream" less the end of line before it, or at an "endobj" that comes first.
#include "pdfmerge/reader/phases.h"

#include <cstring>
#include <unordered_map>

namespace pdfmerge {
namespace {

bool endstream_at(bytes f, int64_t e) {
  const int64_t len = static_cast<int64_t>(f.size());
  return e >= 0 && e + 8 < len && std::memcmp(f.data() + e, "endstream", 9) == 0;
}

// The /Length of a stream entry, direct or through its indirect object; -1 when unresolved.
// Entries whose dictionaries share a tail (nested or overlapping headers) share the answer,
// so each distinct (first /Length, stop) pair is read once.
class length_reader {
public:
  length_reader(const doc& d, text_indexes& ix) : d_(d), lengths_(ix.names("Length")) {
    obj_index_build(index_, d.objects);
  }

  int32_t length_of(const obj_entry& e) {
    const int32_t first = name_hits_find(lengths_, e.dict_start, e.stream_kw);
    if (first < 0) return -1;
    const uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(first)) << 32) |
                         static_cast<uint32_t>(e.stream_kw);
    auto [it, fresh] = memo_.try_emplace(key, -1);
    if (fresh) it->second = read(first, e.stream_kw);
    return it->second;
  }

private:
  int32_t read(int32_t from, int32_t stop) {
    int32_t direct = -1;
    int32_t ref = -1;
    parse_length(d_.file(), from, stop, direct, ref);
    if (direct >= 0) return direct;
    if (ref >= 0) return resolve_length_ref(d_.file(), d_.objects, index_, ref);
    return -1;
  }

  const doc& d_;
  const name_hits& lengths_;
  obj_index index_; // over the table as headers_scan left it
  std::unordered_map<uint64_t, int32_t> memo_;
};

// The byte before a keyword at k, less the LF, CR LF or CR that ends the data's last line.
int32_t less_line_end(bytes f, int32_t data_start, int32_t k) {
  auto at = [&](int32_t i) { return f[static_cast<size_t>(i)]; };
  if (k > data_start && at(k - 1) == '\n') {
    if (k - 1 > data_start && at(k - 2) == '\r') return k - 2;
    return k - 1;
  }
  if (k > data_start && at(k - 1) == '\r') return k - 1;
  return k;
}

struct searched {
  int32_t data_end = -1;
  int32_t endobj = -1; // set when an "endobj" before any "endstream" closed the object
};

// The data end found by searching: the next whole-word "endstream" after the data's first byte,
// less the line end before it; the file's end when there is none. When an "endobj" comes first,
// a damaged or missing "endstream" is the likelier story: the data ends at the length when one
// is known and reaches no further than that endobj, else before that endobj, which closes the
// object.
searched searched_end(bytes f, const kw_hits& endstreams, const kw_hits& endobjs,
                      int32_t data_start, int32_t length) {
  const int32_t k = kw_hits_find(endstreams, data_start + 1);
  const int32_t o = kw_hits_find(endobjs, data_start + 1);
  if (o >= 0 && (k < 0 || o < k)) {
    const int64_t stop = int64_t{data_start} + length;
    if (length >= 0 && stop <= o) return {static_cast<int32_t>(stop), o};
    return {less_line_end(f, data_start, o), o};
  }
  if (k < 0) return {static_cast<int32_t>(f.size()), -1};
  return {less_line_end(f, data_start, k), -1};
}

} // namespace

void stream_ends_settle(doc& d, text_indexes& ix) {
  const bytes f = d.file();
  const int32_t len = d.len;
  const kw_hits& endobjs = ix.keywords("endobj");
  const kw_hits& endstreams = ix.keywords("endstream");
  length_reader lengths(d, ix);
  run_skipper spaces(f, is_c_space);
  for (obj_entry& e : d.objects) {
    if (!e.has_stream) continue;
    // Without a readable length the extent is still searched for; such a range is marked so
    // that it hides no other object headers.
    const int32_t length = lengths.length_of(e);
    e.length_unknown = length < 0 ? 1 : 0;
    int32_t data_end = -1;
    if (length >= 0) {
      const int64_t stop = static_cast<int64_t>(e.data_start) + length;
      if (stop <= INT32_MAX) {
        if (endstream_at(f, stop)) {
          data_end = static_cast<int32_t>(stop);
        } else if (stop <= len) {
          const int32_t q = spaces.skip(static_cast<int32_t>(stop), len);
          if (endstream_at(f, q)) data_end = static_cast<int32_t>(stop);
        }
      }
    }
    int32_t endobj = -1;
    if (data_end < 0) {
      const searched s = searched_end(f, endstreams, endobjs, e.data_start, length);
      data_end = s.data_end;
      endobj = s.endobj;
    }
    if (data_end < e.data_start) data_end = e.data_start;
    e.data_end = data_end;
    e.endobj = endobj >= 0 ? endobj : kw_hits_find(endobjs, data_end + 1);
    if (e.endobj >= 0) e.end = e.endobj + 6;
  }
}

} // namespace pdfmerge
