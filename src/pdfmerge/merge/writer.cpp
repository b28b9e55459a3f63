// The merged file, streamed into its temporary file (or assembled in memory, or held object by
// object for a compact output, see compact.h): header, catalog, page tree, page objects, content
// streams, copied objects, cross-reference table and trailer.
#include "pdfmerge/merge/compact.h"
#include "pdfmerge/merge/merge.h"
#include "pdfmerge/pages/pages.h"

#include "deflate/deflate.h"

#include <algorithm>
#include <cstdio>

namespace pdfmerge {
namespace {

std::string num_text(int64_t v) {
  return std::to_string(v);
}

// Pieces of text collected and appended in blocks, so that long lists cost few appends and
// little memory.
class text_sink {
public:
  explicit text_sink(out_file& f) : f_(f) {}
  ~text_sink() { flush(); }
  text_sink(const text_sink&) = delete;
  text_sink& operator=(const text_sink&) = delete;

  text_sink& operator<<(std::string_view s) {
    pending_ += s;
    if (pending_.size() >= 65536) flush();
    return *this;
  }
  text_sink& operator<<(int64_t v) { return *this << std::string_view(num_text(v)); }
  void flush() {
    out_put(f_, pending_);
    pending_.clear();
  }

private:
  out_file& f_;
  std::string pending_;
};

void write_head(out_file& f, int32_t total_pages, std::string_view catalog_extra) {
  out_put(f, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
  out_begin_object(f, 1);
  out_put(f, "<< /Type /Catalog /Pages 2 0 R");
  out_put(f, catalog_extra);
  out_put(f, " >>\nendobj\n");
  out_begin_object(f, 2);
  text_sink tree(f);
  tree << "<< /Type /Pages /Count " << int64_t{total_pages} << " /Kids [";
  for (int32_t k = 3; k <= total_pages + 2; ++k) {
    tree << int64_t{k} << " 0 R";
    if (k < total_pages + 2) tree << " ";
  }
  tree << "]\n>>\nendobj\n";
}

// A stream written raw because its filters are not decoded keeps them: `filter` and `parms`
// are the values to copy (their references renumbered), empty otherwise.
void write_content_stream(out_file& f, const merge_input& in, int32_t n, bytes content,
                          bytes filter, bytes parms) {
  out_begin_object(f, n);
  std::string dict = "<< /Length " + num_text(static_cast<int64_t>(content.size()));
  if (!filter.empty()) dict += " /Filter " + renumbered_text(filter, in.map);
  if (!parms.empty()) dict += " /DecodeParms " + renumbered_text(parms, in.map);
  make_reader_safe(dict);
  out_put(f, dict + " >>\nstream\n");
  out_put_stream_data(f, content, false);
  out_put(f, "\nendstream\nendobj\n");
}

// The content last written, kept while its bytes stay in the working buffers.
struct last_content {
  const obj_entry* stream = nullptr; // the single stream it came from, if it did
  bytes data;
  bytes filter;
  bytes parms;
};

// The name every compressed content stream is written with.
constexpr std::string_view flate_name = "/FlateDecode";

// Content as it is written: compressed when asked, unless it is empty or kept raw with its own
// filters. Content inflated from one clean Flate stream is written as that stream's bytes;
// other content is encoded anew into `packed`, reused from page to page. The whole stream is
// encoded before it is written because its /Length comes first, and the decoded content it is
// made from is held whole anyway, so this takes no more than that content's size again.
// False when the encoder runs out of memory.
struct content_packer {
  bool compress = false;
  deflate::deflate_encoder encoder;
  std::vector<uint8_t> packed;

  bool pack(bytes& data, bytes& filter, const flate_source& source) {
    if (!compress || data.empty() || !filter.empty()) return true;
    filter = as_bytes(flate_name);
    const bytes stored = clean_zlib(source, data);
    if (!stored.empty()) {
      data = stored;
      return true;
    }
    packed.clear();
    if (!encoder.add(data, packed) || !encoder.finish(packed)) return false;
    data = bytes(packed.data(), packed.size());
    return true;
  }
};

// False when the page contents could not be gathered or compressed for want of memory. Stops
// at the first failure of the output, so that a merge that cannot succeed decodes nothing more.
bool write_content_streams(out_file& f, const std::vector<merge_input>& inputs, int32_t total_pages,
                           bool compress) {
  buf content;
  buf scratch;
  last_content last;
  content_packer packer;
  packer.compress = compress;
  int32_t n = 3;
  for (const merge_input& in : inputs) {
    for (const pageinfo& page : in.d.pages) {
      if (f.failed) return true;
      const int32_t num = n++ + total_pages;
      // Pages in a row often share one content stream (blank pages, a repeated form): its
      // bytes are decoded (and compressed) once and written again.
      const obj_entry* single = single_content_stream(in.d, page.num);
      if (single && single == last.stream) {
        write_content_stream(f, in, num, last.data, last.filter, last.parms);
        continue;
      }
      last = {};
      bytes filter;
      bytes parms;
      flate_source source;
      // Decoded content can take no more than the room left in the output: what needs more
      // could never be written, so it fails the output at once instead of being decoded. (Past
      // the decoders' own limit, with more room than that, a page is written empty as before.)
      // Compressed content may be far smaller than its decoded bytes, so only the decoders'
      // limit bounds it; the output's own limit still stops what does not fit.
      const uint64_t left = compress ? filter_output_limit : f.limit - out_offset(f);
      content_room room{static_cast<size_t>(std::min<uint64_t>(left, filter_output_limit))};
      bytes data = page_content(in.d, page.num, content, scratch, filter, parms, &room, &source);
      if (content.failed || scratch.failed) return false;
      if (room.exceeded && room.limit < filter_output_limit) {
        f.failed = true;
        return true;
      }
      if (!packer.pack(data, filter, source)) return false;
      if (!room.exceeded) last = {single, data, filter, parms};
      write_content_stream(f, in, num, data, filter, parms);
    }
    if (in.blank_after && !f.failed) write_content_stream(f, in, n++ + total_pages, {}, {}, {});
  }
  return true;
}

} // namespace

// One 20-byte line per number. A free line carries the offset of the object just before it.
void write_xref(out_file& f, int32_t size, std::string_view trailer_extra) {
  const auto table = static_cast<int64_t>(out_offset(f));
  text_sink text(f);
  text << "xref\n0 " << int64_t{size} << "\n0000000000 65535 f \n";
  char line[32];
  for (int32_t n = 1; n < size; ++n) {
    const int32_t off = f.xref_offsets[static_cast<size_t>(n)];
    const int32_t before = n > 1 ? f.xref_offsets[static_cast<size_t>(n - 1)] : -1;
    const long field = off >= 0 ? off : before >= 0 ? before : 0;
    std::snprintf(line, sizeof line, "%010ld %s \n", field, off >= 0 ? "00000 n" : "65535 f");
    text << line;
  }
  text << "trailer\n<< /Size " << int64_t{size} << " /Root 1 0 R" << trailer_extra
       << " >>\nstartxref " << table << "\n%%EOF\n";
}

void out_flush(out_file& f) noexcept {
  if (!f.sink || f.out.len == 0 || f.write_failed) return;
  const size_t n = static_cast<size_t>(f.out.len);
  if (std::fwrite(f.out.data.get(), 1, n, f.sink) != n) {
    f.failed = f.write_failed = true;
    return;
  }
  f.flushed += n;
  f.out.len = 0;
}

void out_put(out_file& f, bytes piece) noexcept {
  if (f.failed) return;
  if (f.hold) {
    hold_put(f, piece);
    return;
  }
  if (out_offset(f) + piece.size() >= f.limit) {
    f.failed = true;
    return;
  }
  if (f.sink && f.out.len + piece.size() > out_block) {
    out_flush(f);
    if (f.failed) return;
    if (piece.size() >= out_block) { // stream data and the like: straight to the file
      if (std::fwrite(piece.data(), 1, piece.size(), f.sink) != piece.size()) {
        f.failed = f.write_failed = true;
        return;
      }
      f.flushed += piece.size();
      return;
    }
  }
  buf_append(f.out, piece.data(), piece.size());
  if (!f.out.data) f.failed = true;
}

void out_put_stream_data(out_file& f, bytes data, bool lasting) noexcept {
  if (f.hold) {
    if (!f.failed) hold_stream_data(f, data, lasting);
    return;
  }
  out_put(f, data);
}

void out_begin_object(out_file& f, int32_t n) noexcept {
  if (f.failed) return;
  if (f.hold) {
    hold_begin(f, n);
    return;
  }
  f.xref_offsets[static_cast<size_t>(n)] = static_cast<int32_t>(out_offset(f));
  char line[32];
  const int len = std::snprintf(line, sizeof line, "%ld 0 obj\n", static_cast<long>(n));
  out_put(f, std::string_view(line, static_cast<size_t>(len)));
}

int32_t write_output(out_file& f, const std::vector<merge_input>& inputs, int32_t total_pages,
                     int32_t size, const output_extras* extras, bool compress_content) {
  buf_reserve(f.out, 0);
  if (!f.out.data) {
    set_error("out of memory");
    return -1;
  }
  f.xref_offsets.assign(static_cast<size_t>(size), -1);
  std::string catalog_more = optional_content_entry(inputs);
  if (extras) catalog_more += extras->catalog_entries;
  write_head(f, total_pages, catalog_more);
  int32_t n = 3;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const merge_input& in = inputs[i];
    for (size_t k = 0; k < in.d.pages.size(); ++k) {
      const std::string extra = extras ? extras->page_entries(i, k) : std::string();
      if (write_page_object(f, in, in.d.pages[k], n++, total_pages, extra) != 0) return -1;
    }
    if (in.blank_after && write_blank_page(f, in, in.d.pages.back(), n++, total_pages) != 0)
      return -1;
  }
  if (!write_content_streams(f, inputs, total_pages, compress_content)) {
    set_error("out of memory");
    return -1;
  }
  for (const merge_input& in : inputs)
    for (size_t k = 0; k < in.map.old_nums.size() && !f.failed; ++k)
      write_copied_object(f, in, in.map.old_nums[k], in.map.new_nums[k]);
  if (extras && !f.failed) extras->write_objects(f);
  if (!f.failed && !f.hold)
    write_xref(f, size, extras ? std::string_view(extras->trailer_entries) : std::string_view());
  if (f.hold) hold_close(*f.hold);
  out_flush(f);
  if (f.out.failed || (f.hold && f.hold->out_of_memory)) {
    set_error("out of memory");
    return -1;
  }
  if (f.failed) {
    set_error("failed to build output");
    return -1;
  }
  return 0;
}

} // namespace pdfmerge
