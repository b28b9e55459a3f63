// The process-wide last-error text that every exported function leaves its message in.
#pragma once

namespace pdfmerge {

// Formats printf-style into the last-error text, cut at 1023 bytes.
void set_error(const char* fmt, ...) noexcept
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void clear_error() noexcept;
const char* error_text() noexcept;

} // namespace pdfmerge
