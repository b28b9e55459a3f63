// The stream filters of page content: each decoder of the /Filter chain, the predictors of
// /DecodeParms, and the chain that joins them. Private to the library.
#pragma once

#include "inflate/inflate.h"
#include "pdfmerge/document/document.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pdfmerge {

// No decoder produces more than this (the inflater's own limit).
inline constexpr size_t filter_output_limit = inflate::max_capacity;

// ---------------------------------------------------------------- inflating data of unknown size

enum class inflated { ok, unusable, too_large, no_memory };

// One attempt into `cap` bytes of the room: unusable when the data does not fit or inflate.
// `end`, when given, receives how a successful attempt ended.
template <class Room>
inflated inflate_attempt(bytes src, size_t cap, Room& room, inflate::inflate_end* end = nullptr) {
  uint8_t* at = room.take(cap);
  if (!at) return inflated::no_memory;
  size_t produced = 0;
  if (inflate::inflate_decompress(src.data(), src.size(), at, cap, &produced, end) == 0) {
    room.keep(produced);
    return inflated::ok;
  }
  room.drop();
  return inflated::unusable;
}

// The one rule for inflating data whose size is not known in advance. The first attempt gets
// `guess` bytes of room, which most data fits; when it does not, the exact size is counted
// without storing anything, and data that inflates within `limit` is inflated once more into
// exactly that much room. So data that does not inflate, or inflates past the limit, is never
// given room beyond the guess. `room.take(n)` gives n writable bytes or null,
// `room.keep(produced)` ends the successful attempt and `room.drop()` a failed one. `end`, when
// given, receives how the successful attempt ended.
template <class Room>
inflated inflate_sized(bytes src, uint64_t guess, uint64_t limit, Room& room,
                       inflate::inflate_end* end = nullptr) {
  limit = std::min<uint64_t>(limit, inflate::max_capacity);
  if (guess <= limit) {
    const inflated first = inflate_attempt(src, static_cast<size_t>(guess), room, end);
    if (first != inflated::unusable) return first;
  }
  const inflate::measured m =
      inflate::inflate_measure(src.data(), src.size(), static_cast<size_t>(limit));
  if (m.result == inflate::measure::too_large) return inflated::too_large;
  if (m.result == inflate::measure::unusable) return inflated::unusable;
  return inflate_attempt(src, std::max<size_t>(m.size, 1), room, end);
}

// The first guess for data of page content and other streams: most inflate within twenty to one.
inline uint64_t content_guess(bytes src) {
  return src.size() * uint64_t{20} + 4096;
}

// Every decoder appends what it decodes to `out`. Corrupt input is no failure: the bytes
// decoded before the fault are kept. False only when the output would pass `limit`. Flate says
// which of its outcomes it met: ok, too_large past the limit, unusable when the data does not
// inflate at all (a bad header, data cut short).
inflated flate_decode(bytes src, std::vector<uint8_t>& out, size_t limit = filter_output_limit);
bool lzw_decode(bytes src, int32_t early_change, std::vector<uint8_t>& out,
                size_t limit = filter_output_limit);
bool ascii_hex_decode(bytes src, std::vector<uint8_t>& out);
bool ascii85_decode(bytes src, std::vector<uint8_t>& out); // 'z' can pass the limit
bool run_length_decode(bytes src, std::vector<uint8_t>& out, size_t limit = filter_output_limit);

// /DecodeParms of Flate and LZW. Predictor 2 is TIFF; 10 to 15 are PNG (the per-row tag
// decides); any other value leaves the data alone.
struct predictor_parms {
  int32_t predictor = 1;
  int32_t colors = 1;
  int32_t bits = 8; // /BitsPerComponent
  int32_t columns = 1;
  int32_t early_change = 1; // LZW only
};

// Undoes the predictor in `data`. Unusable parameters leave nothing; a bad PNG row tag ends
// the data before that row; a short last row is restored as far as it goes.
void apply_predictor(const predictor_parms& p, std::vector<uint8_t>& data);

// ---------------------------------------------------------------- stream chains

// Inflates src onto the end of `out` in one piece (the single-Flate path); nullopt when it
// does not inflate, or (with too_large set) not within `limit` bytes. `end`, when given,
// receives how the inflater ended.
std::optional<bytes> inflate_stream(bytes src, buf& out, size_t limit, bool& too_large,
                                    inflate::inflate_end* end = nullptr);

// The data of a stream whose only filter is Flate without predictor, and how the inflater
// ended it: what a writer needs to tell whether the data can be written again as it is.
struct flate_source {
  bytes data; // the stream's data as stored (decrypted): empty for any other stream
  inflate::inflate_end end;
};

struct stream_result {
  std::optional<bytes> data; // decoded bytes, or the raw bytes when `kept_filter`
  bool kept_filter = false;  // the chain holds a filter this library does not decode
  bytes filter;              // the /Filter and /DecodeParms values, for a raw stream
  bytes parms;
  bool too_large = false; // not decoded because the data would pass the limit
  flate_source flate;     // set when `data` was inflated from one Flate stream alone
};

enum class filter_kind { flate, lzw, ascii_hex, ascii85, run_length, other };

// A stream's /Filter and /DecodeParms values, each resolved when indirect, and
// the filters they name. A /Filter reference that leads to no name or array names `other`.
struct stream_filters {
  bytes filter;
  bytes parms;
  std::vector<filter_kind> kinds;
  bool kept = false; // a filter this library does not decode: the data is copied raw
};
// Throws std::bad_alloc when memory runs out.
stream_filters filters_of(const doc& d, const obj_entry& e);

// The data of a stream object of `d` with its whole /Filter chain decoded onto the end of
// `out` (a single Flate stream without predictor inflates in place as it always has). A chain
// that holds a filter this library does not decode, or one that cannot be known, gives the
// raw bytes with kept_filter set and the values to write with them.
// Every stage stays within `limit` bytes; data that needs more gives nothing, with too_large.
stream_result decode_stream_chain(const doc& d, const obj_entry& e, buf& out,
                                  size_t limit = filter_output_limit) noexcept;

} // namespace pdfmerge
