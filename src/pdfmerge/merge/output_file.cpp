// Storing the finished output: written to a temporary file beside the output and renamed over
// it only once complete, so that a failure never leaves a partial or damaged output behind.
// A link is followed and the file it leads to replaced (the link stays); a name that leads to
// something other than a regular file (a folder, a device, a pipe) is refused and left alone.
#include "pdfmerge/merge/merge.h"
#include "pdfmerge/platform/platform.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace pdfmerge {
namespace {

// A name for the temporary file in the output's folder. Names are drawn until one can be
// created exclusively, so no existing file is ever opened.
native_path temp_name(const native_path& out, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const auto ticks =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  char name[80];
  std::snprintf(name, sizeof name, ".kq-pdfmerge.%llx.%x.%x.part", ticks, counter++, attempt);
  return native_sibling(out, name);
}

// Creates and opens a new temporary file; null when none can be created.
std::FILE* open_temp(const native_path& out, native_path& name) {
  for (unsigned attempt = 0; attempt < 64; ++attempt) {
    name = temp_name(out, attempt);
    errno = 0;
    if (std::FILE* f = native_create_new(name)) return f;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

} // namespace

struct pending_output::state {
  output_target target;
  native_path tmp;
};

pending_output::pending_output() = default;

pending_output::~pending_output() {
  if (!file_) return;
  std::fclose(file_);
  native_remove(state_->tmp);
}

int32_t pending_output::open(const char* out_path) {
  out_path_ = out_path;
  state_ = std::make_unique<state>();
  if (!output_target_of(out_path, state_->target)) {
    set_error("cannot write %s", out_path);
    return -1;
  }
  if (state_->target.kind == target_kind::not_regular) {
    set_error("output is not a regular file: %s", out_path);
    return -1;
  }
  file_ = open_temp(state_->target.path, state_->tmp);
  if (!file_) {
    set_error("cannot write %s", out_path);
    return -1;
  }
  return 0;
}

int32_t pending_output::commit() {
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) {
    native_remove(state_->tmp);
    set_error("close error on %s", out_path_);
    return -1;
  }
  const output_target& target = state_->target;
  if (target.kind == target_kind::regular) native_copy_permissions(target.path, state_->tmp);
  if (!native_replace(state_->tmp, target.path)) {
    native_remove(state_->tmp);
    set_error("cannot write %s", out_path_);
    return -1;
  }
  return 0;
}

} // namespace pdfmerge
