// A stream object's whole /Filter chain, as a merge decodes page content. The input is the
// object's body, a dictionary then "stream", an end of line and the data; it is framed as
// "1 0 obj\n<input>\nendstream\nendobj". The decoded bytes must not depend on what the
// output buffer already holds, a kept filter gives the raw data, and decoded bytes sit at the
// end of the output buffer, NUL-terminated.
#include "doc_fixture.h"
#include "fuzz_check.h"
#include "pdfmerge/filters/filters.h"

#include <algorithm>
#include <string>

using namespace pdfmerge;

namespace {

struct chain_run {
  stream_result r;
  buf out;
  uint64_t start = 0;
};

void decode_into(const doc& d, const obj_entry& e, size_t prefix, chain_run& run) {
  if (prefix > 0) {
    const std::string filler(prefix, 'p');
    buf_str(run.out, filler);
    FUZZ_CHECK(run.out.data != nullptr, "no room for %zu bytes", prefix);
  }
  run.start = run.out.len;
  run.r = decode_stream_chain(d, e, run.out);
}

bool inside(bytes part, const uint8_t* from, uint64_t len) {
  return part.data() >= from && part.data() + part.size() <= from + len;
}

void check_run(const obj_entry& e, bytes text, const chain_run& run) {
  const stream_result& r = run.r;
  if (!r.data) return;
  FUZZ_CHECK(r.data->size() <= filter_output_limit, "%zu decoded bytes", r.data->size());
  const bytes raw = text.subspan(static_cast<size_t>(e.data_start),
                                 static_cast<size_t>(e.data_end - e.data_start));
  if (r.kept_filter) {
    FUZZ_CHECK(r.data->data() == raw.data() && r.data->size() == raw.size(),
               "a kept filter did not give the raw data");
    return;
  }
  if (inside(*r.data, text.data(), text.size())) return; // nothing to decode
  FUZZ_CHECK(run.out.data && inside(*r.data, run.out.data.get(), run.out.len),
             "decoded bytes lie neither in the file nor in the output buffer");
  FUZZ_CHECK(r.data->data() == run.out.data.get() + run.start &&
                 run.start + r.data->size() == run.out.len,
             "decoded bytes are not the end of the output buffer");
  FUZZ_CHECK(run.out.data.get()[run.out.len] == 0, "the output buffer is not NUL-terminated");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text = "1 0 obj\n";
  text.append(reinterpret_cast<const char*>(data), size);
  text += "\nendstream\nendobj";
  const doc d = testdoc::make_doc({text});
  const obj_entry& e = d.objects[0];
  const bytes file = d.file();

  chain_run empty;
  decode_into(d, e, 0, empty);
  check_run(e, file, empty);
  chain_run filled;
  decode_into(d, e, 1 + size % 61, filled);
  check_run(e, file, filled);

  FUZZ_CHECK(empty.r.data.has_value() == filled.r.data.has_value() &&
                 empty.r.kept_filter == filled.r.kept_filter,
             "the bytes already in the output changed the outcome");
  if (empty.r.data)
    FUZZ_CHECK(empty.r.data->size() == filled.r.data->size() &&
                   std::equal(empty.r.data->begin(), empty.r.data->end(), filled.r.data->begin()),
               "the bytes already in the output changed the decoded bytes");
  return 0;
}
