// Objects of identical content found among the held objects of an output, so that each set of
// them is written once. Objects are first grouped by their own content (hashed, then compared
// byte for byte), then the groups are split until every two objects of a group have their
// references lead into the same groups, place by place.
#include "pdfmerge/merge/compact.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace pdfmerge {
namespace {

// How many different objects of one hash value are compared with a new one. Past that (only
// crafted input gets there) a new object of that hash is simply not shared, so that the cost
// stays linear.
constexpr size_t max_compared = 8;

std::span<const int32_t> cuts_of(const object_graph& g, size_t i) {
  const auto b = static_cast<size_t>(g.edge_begin[i]);
  const auto e = static_cast<size_t>(g.edge_begin[i + 1]);
  return std::span<const int32_t>(g.cuts).subspan(b, e - b);
}

// What identity compares of object i besides its data and edges: its literal, for a stream
// without the /Length entry (equal data have equal lengths, however each was spelled), kept in
// `storage` when it has to be put together. `shift` moves an edge's place to match.
struct own_text {
  std::string_view text;
  int32_t at = 0;      // where the /Length entry was
  int32_t removed = 0; // and its size
  int32_t place(int32_t cut) const { return cut <= at ? cut : cut - removed; }
};

own_text own_text_of(const object_graph& g, size_t i, std::string& storage) {
  const std::string_view literal = literal_of(g, i);
  const auto [b, e] = g.length_entry[i];
  if (e <= b) return {literal};
  storage.assign(literal.substr(0, static_cast<size_t>(b)));
  storage.append(literal.substr(static_cast<size_t>(e)));
  return {storage, b, e - b};
}

// A hash of what identity compares of object i but its stream data; for a stream, its data's
// size is taken in instead.
uint64_t shape_hash(const held_output& h, const object_graph& g, size_t i) {
  const held_object& o = h.objects[i];
  std::string storage;
  const own_text t = own_text_of(g, i, storage);
  uint64_t v = content_hash(as_bytes(t.text), o.stream ? 1 : 2);
  for (int32_t cut : cuts_of(g, i))
    v = (v ^ static_cast<uint32_t>(t.place(cut))) * 0x100000001B3ULL;
  return o.stream ? (v ^ o.data.size()) * 0x100000001B3ULL : v;
}

// The same content apart from where the references lead.
bool same_own_content(const held_output& h, const object_graph& g, size_t a, size_t b) {
  const held_object& x = h.objects[a];
  const held_object& y = h.objects[b];
  std::string sa;
  std::string sb;
  const own_text ta = own_text_of(g, a, sa);
  const own_text tb = own_text_of(g, b, sb);
  if (x.stream != y.stream || ta.text != tb.text) return false;
  const std::span<const int32_t> ca = cuts_of(g, a);
  const std::span<const int32_t> cb = cuts_of(g, b);
  if (ca.size() != cb.size()) return false;
  for (size_t k = 0; k < ca.size(); ++k)
    if (ta.place(ca[k]) != tb.place(cb[k])) return false;
  return !x.stream ||
         (x.data.size() == y.data.size() &&
          (x.data.empty() || std::memcmp(x.data.data(), y.data.data(), x.data.size()) == 0));
}

// An object that is written under its number (not one written again under the same number).
bool current(const held_output& h, const object_graph& g, size_t i) {
  const int32_t num = h.objects[i].num;
  return num > 0 && g.index_of[static_cast<size_t>(num)] == static_cast<int32_t>(i);
}

} // namespace

std::vector<uint8_t> pinned_objects(const held_output& h, const object_graph& g,
                                    int32_t total_pages) {
  std::vector<uint8_t> pinned(h.objects.size(), 0);
  const int64_t last = int64_t{total_pages} + 2;
  for (int64_t num = 1; num <= last && num < static_cast<int64_t>(g.index_of.size()); ++num)
    if (const int32_t i = g.index_of[static_cast<size_t>(num)]; i >= 0)
      pinned[static_cast<size_t>(i)] = 1;
  if (g.index_of.size() < 2 || g.index_of[1] < 0) return pinned;
  const bytes catalog = as_bytes(h.objects[static_cast<size_t>(g.index_of[1])].text);
  const bytes props = own_value(catalog, 0, size_of(catalog), "OCProperties");
  if (props.empty()) return pinned;
  const bytes groups = own_value(props, 0, size_of(props), "OCGs");
  std::vector<int32_t> refs;
  collect_refs(groups, 0, size_of(groups), refs);
  for (int32_t r : refs)
    if (r > 0 && static_cast<size_t>(r) < g.index_of.size())
      if (const int32_t i = g.index_of[static_cast<size_t>(r)]; i >= 0)
        pinned[static_cast<size_t>(i)] = 1;
  return pinned;
}

std::vector<int32_t> shared_representatives(const held_output& h, const object_graph& g,
                                            std::span<const uint8_t> pinned) {
  const size_t n = h.objects.size();
  std::vector<int32_t> initial(n);
  int32_t classes = 0;
  // Objects whose shape (all but a stream's data bytes) no other object has are alone at once;
  // only the data of streams that share their shape is read, so a stream that cannot match any
  // other costs nothing here.
  std::vector<uint64_t> shape(n, 0);
  std::unordered_map<uint64_t, int32_t> shapes;
  for (size_t i = 0; i < n; ++i)
    if (!pinned[i] && current(h, g, i)) ++shapes[shape[i] = shape_hash(h, g, i)];
  std::unordered_map<uint64_t, std::vector<int32_t>> firsts; // hash: first object of each class
  std::vector<graph_edge> edges;
  edges.reserve(g.heads.size());
  for (size_t i = 0; i < n; ++i) {
    if (pinned[i] || !current(h, g, i)) {
      initial[i] = classes++;
      continue;
    }
    int32_t cls = -1;
    if (shapes[shape[i]] > 1) {
      const held_object& o = h.objects[i];
      std::vector<int32_t>& seen = firsts[o.stream ? content_hash(o.data, shape[i]) : shape[i]];
      for (size_t k = 0; k < seen.size() && cls < 0; ++k)
        if (same_own_content(h, g, static_cast<size_t>(seen[k]), i))
          cls = initial[static_cast<size_t>(seen[k])];
      if (cls < 0 && seen.size() < max_compared) seen.push_back(static_cast<int32_t>(i));
    }
    initial[i] = cls < 0 ? classes++ : cls;
    // A pinned object forms a block of its own whatever it refers to: its edges are left out.
    for (int32_t e = g.edge_begin[i]; e < g.edge_begin[i + 1]; ++e)
      edges.push_back(
          {static_cast<int32_t>(i), e - g.edge_begin[i], g.heads[static_cast<size_t>(e)]});
  }
  const std::vector<int32_t> block =
      stable_partition(static_cast<int32_t>(n), initial, classes, edges);
  // Each block's first object in number order stands for it.
  std::vector<int32_t> first(n, -1);
  for (size_t i = 0; i < n; ++i) {
    int32_t& f = first[static_cast<size_t>(block[i])];
    if (f < 0 || h.objects[i].num < h.objects[static_cast<size_t>(f)].num)
      f = static_cast<int32_t>(i);
  }
  std::vector<int32_t> rep(n);
  for (size_t i = 0; i < n; ++i) rep[i] = first[static_cast<size_t>(block[i])];
  return rep;
}

} // namespace pdfmerge
