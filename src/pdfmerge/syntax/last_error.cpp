// The process-wide last-error text.
#include "pdfmerge/syntax/last_error.h"

#include <cstdarg>
#include <cstdio>

namespace pdfmerge {
namespace {
char g_err[1024];
}

void set_error(const char* fmt, ...) noexcept {
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(g_err, sizeof g_err, fmt, args);
  va_end(args);
}

void clear_error() noexcept {
  g_err[0] = '\0';
}

const char* error_text() noexcept {
  return g_err;
}

} // namespace pdfmerge
