// A held output written out: as a PDF 1.4 file with a classic table, or as a PDF 1.5 file whose
// objects that are not streams sit, compressed, in object streams, found through a compressed
// cross-reference stream.
#include "pdfmerge/merge/compact.h"

#include "deflate/deflate.h"

#include <algorithm>

namespace pdfmerge {
namespace {

void write_object(out_file& f, const held_object& o, int32_t num, std::string_view text) {
  out_begin_object(f, num);
  out_put(f, text);
  if (!o.stream) {
    out_put(f, "\nendobj\n");
    return;
  }
  out_put(f, "\nstream\n");
  out_put(f, o.data);
  out_put(f, "\nendstream\nendobj\n");
}

// The members of one object stream: held objects, in order.
struct objstm_group {
  std::vector<int32_t> members;
  size_t text_size = 0;
};

// The objects that are not streams, in packing order, cut into object streams.
std::vector<objstm_group> objstm_groups(const held_output& h, std::span<const int32_t> order) {
  std::vector<objstm_group> groups;
  for (int32_t i : order) {
    const held_object& o = h.objects[static_cast<size_t>(i)];
    if (o.stream) continue;
    if (groups.empty() || groups.back().members.size() >= objstm_max_members ||
        (groups.back().text_size > 0 && groups.back().text_size + o.text.size() > objstm_max_text))
      groups.emplace_back();
    groups.back().members.push_back(i);
    groups.back().text_size += o.text.size();
  }
  return groups;
}

std::string num_text(int64_t v) {
  return std::to_string(v);
}

// Appends `v` as `width` bytes, most significant first.
void put_field(std::vector<uint8_t>& row, uint64_t v, int width) {
  for (int k = width - 1; k >= 0; --k) row.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

int width_of(uint64_t v) {
  int w = 1;
  while (w < 8 && (v >> (8 * w)) != 0) ++w;
  return w;
}

// Where each number stands: in the file (type 1, its offset), in an object stream (type 2, the
// stream's number and the place in it), or nowhere (type 0).
struct xref_entry {
  uint8_t type = 0;
  uint64_t field = 0;
  uint32_t index = 0;
};

// The cross-reference stream's rows, each with the PNG "Up" predictor (the difference from the
// row above), which leaves the slowly growing offsets mostly zeros for the encoder.
std::vector<uint8_t> xref_rows(const std::vector<xref_entry>& entries, int w2) {
  const size_t width = 1 + static_cast<size_t>(w2) + 2;
  std::vector<uint8_t> out;
  out.reserve(entries.size() * (width + 1));
  std::vector<uint8_t> prev(width, 0);
  std::vector<uint8_t> row;
  for (const xref_entry& e : entries) {
    row.clear();
    row.push_back(e.type);
    put_field(row, e.field, w2);
    put_field(row, e.index, 2);
    out.push_back(2);
    for (size_t k = 0; k < width; ++k) out.push_back(static_cast<uint8_t>(row[k] - prev[k]));
    prev.swap(row);
  }
  return out;
}

bool compress(deflate::deflate_encoder& encoder, std::span<const uint8_t> in,
              std::vector<uint8_t>& out) {
  out.clear();
  return encoder.add(in, out) && encoder.finish(out);
}

} // namespace

std::string held_trailer_entries(const object_graph& g, const held_plan& plan,
                                 std::span<const int32_t> representative,
                                 std::string_view entries) {
  std::vector<int32_t> found;
  collect_refs(as_bytes(entries), 0, static_cast<int32_t>(entries.size()), found);
  renumber_map map;
  for (int32_t n : found) {
    const int32_t i = n >= 0 && static_cast<size_t>(n) < g.index_of.size()
                          ? g.index_of[static_cast<size_t>(n)]
                          : -1;
    if (i >= 0)
      map.new_of.emplace(n,
                         plan.out_num[static_cast<size_t>(representative[static_cast<size_t>(i)])]);
  }
  return renumbered_text(as_bytes(entries), map);
}

bool write_held_classic(out_file& f, const held_output& h, const object_graph& g,
                        const held_plan& plan, std::span<const int32_t> representative,
                        std::string_view trailer_extra) {
  out_put(f, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  f.xref_offsets.assign(static_cast<size_t>(plan.size), -1);
  std::string text; // reused from object to object
  for (size_t i = 0; i < h.objects.size() && !f.failed; ++i)
    if (plan.out_num[i] > 0) {
      text.clear();
      append_held_text(text, h, g, plan, i, representative);
      write_object(f, h.objects[i], plan.out_num[i], text);
    }
  if (!f.failed)
    write_xref(f, plan.size, held_trailer_entries(g, plan, representative, trailer_extra));
  return true;
}

bool write_held_packed(out_file& f, const held_output& h, const object_graph& g,
                       const held_plan& plan, std::span<const int32_t> representative,
                       int32_t total_pages, std::string_view trailer_extra) {
  const std::vector<int32_t> order = page_order(h, g, plan, representative, total_pages);
  const std::vector<objstm_group> groups = objstm_groups(h, order);
  const int64_t xref_num = int64_t{plan.size} + static_cast<int64_t>(groups.size());
  if (xref_num >= INT32_MAX) {
    f.failed = true;
    return true;
  }
  const auto size = static_cast<size_t>(xref_num) + 1;
  f.xref_offsets.assign(size, -1);
  std::vector<xref_entry> entries(size);
  entries[0].index = 65535;

  out_put(f, "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  deflate::deflate_encoder encoder;
  std::string body;
  std::string head;
  std::vector<uint8_t> packed;
  for (size_t k = 0; k < groups.size() && !f.failed; ++k) {
    const int32_t stm = plan.size + static_cast<int32_t>(k);
    body.clear();
    head.clear();
    uint32_t index = 0;
    for (int32_t i : groups[k].members) {
      const int32_t num = plan.out_num[static_cast<size_t>(i)];
      head += num_text(num) + " " + num_text(static_cast<int64_t>(body.size())) + " ";
      append_held_text(body, h, g, plan, static_cast<size_t>(i), representative);
      body += '\n';
      entries[static_cast<size_t>(num)] = {2, static_cast<uint64_t>(stm), index++};
    }
    head.back() = '\n';
    if (!compress(encoder, as_bytes(head + body), packed)) return false;
    out_begin_object(f, stm);
    out_put(f, "<< /Type /ObjStm /N " + num_text(static_cast<int64_t>(groups[k].members.size())) +
                   " /First " + num_text(static_cast<int64_t>(head.size())) +
                   " /Filter /FlateDecode /Length " +
                   num_text(static_cast<int64_t>(packed.size())) + " >>\nstream\n");
    out_put(f, bytes(packed.data(), packed.size()));
    out_put(f, "\nendstream\nendobj\n");
  }
  std::string text; // reused from object to object
  for (int32_t i : order)
    if (h.objects[static_cast<size_t>(i)].stream && !f.failed) {
      text.clear();
      append_held_text(text, h, g, plan, static_cast<size_t>(i), representative);
      write_object(f, h.objects[static_cast<size_t>(i)], plan.out_num[static_cast<size_t>(i)],
                   text);
    }
  if (f.failed) return true;

  const auto xref_at = static_cast<int64_t>(out_offset(f));
  f.xref_offsets[size - 1] = static_cast<int32_t>(xref_at);
  uint64_t largest = static_cast<uint64_t>(xref_num);
  for (size_t n = 1; n < size; ++n)
    if (f.xref_offsets[n] >= 0) {
      entries[n] = {1, static_cast<uint64_t>(f.xref_offsets[n]), 0};
      largest = std::max<uint64_t>(largest, entries[n].field);
    }
  const int w2 = width_of(largest);
  if (!compress(encoder, xref_rows(entries, w2), packed)) return false;
  out_begin_object(f, static_cast<int32_t>(xref_num));
  out_put(f, "<< /Type /XRef /Size " + num_text(static_cast<int64_t>(size)) + " /W [1 " +
                 num_text(w2) + " 2] /Root 1 0 R" +
                 held_trailer_entries(g, plan, representative, trailer_extra) +
                 " /Filter /FlateDecode /DecodeParms << /Columns " + num_text(w2 + 3) +
                 " /Predictor 12 >> /Length " + num_text(static_cast<int64_t>(packed.size())) +
                 " >>\nstream\n");
  out_put(f, bytes(packed.data(), packed.size()));
  out_put(f, "\nendstream\nendobj\nstartxref\n" + num_text(xref_at) + "\n%%EOF\n");
  return true;
}

} // namespace pdfmerge
