// Storing the finished output: written to a temporary file beside the output and renamed over
// it only once complete, so that a failure never leaves a partial or damaged output behind.
#include "pdfmerge/pdfmerge_internal.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace pdfmerge {
namespace {

namespace fs = std::filesystem;

// The folder part of a path as given, its separator included ("" for a bare name). Kept as the
// caller's bytes: on Windows a round trip through std::filesystem would turn them into UTF-8,
// which the C runtime would then read in the ANSI code page.
std::string folder_of(const std::string& path) {
#ifdef _WIN32
  const size_t cut = path.find_last_of("/\\:");
#else
  const size_t cut = path.rfind('/');
#endif
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

// A name for the temporary file in the output's folder. Names are drawn until one can be
// created exclusively, so no existing file is ever opened.
std::string temp_name(const std::string& out, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const auto ticks =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  char name[80];
  std::snprintf(name, sizeof name, ".kq-pdfmerge.%llx.%x.%x.part", ticks, counter++, attempt);
  return folder_of(out) + name;
}

// Opens a file that did not exist before for writing bytes; null (errno set) otherwise.
std::FILE* create_new(const std::string& name) {
#ifdef _WIN32
  int fd = -1;
  errno = _sopen_s(&fd, name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _SH_DENYNO,
                   _S_IREAD | _S_IWRITE);
  if (errno != 0) return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
  return f;
#else
  return std::fopen(name.c_str(), "wbx");
#endif
}

// Creates and opens a new temporary file; null when none can be created.
std::FILE* open_temp(const std::string& out, std::string& name) {
  for (unsigned attempt = 0; attempt < 64; ++attempt) {
    name = temp_name(out, attempt);
    errno = 0;
    if (std::FILE* f = create_new(name)) return f;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

void remove_quietly(const std::string& name) {
  std::remove(name.c_str());
}

// An output that already exists keeps its permission bits.
void keep_permissions(const std::string& out, const std::string& tmp) {
#ifdef _WIN32
  // Windows has no permission bits beyond read-only, which MoveFileEx refuses to replace anyway.
  static_cast<void>(out);
  static_cast<void>(tmp);
#else
  std::error_code ec;
  const fs::file_status st = fs::status(out, ec);
  if (ec || !fs::is_regular_file(st)) return;
  fs::permissions(tmp, st.permissions(), fs::perm_options::replace, ec);
#endif
}

// Puts tmp in the place of out, replacing an existing file.
bool replace_file(const std::string& tmp, const std::string& out) {
#ifdef _WIN32
  return MoveFileExA(tmp.c_str(), out.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  return std::rename(tmp.c_str(), out.c_str()) == 0;
#endif
}

} // namespace

int32_t store_output(const char* out_path, bytes data) {
  const std::string out(out_path);
  std::string tmp;
  std::FILE* f = open_temp(out, tmp);
  if (!f) {
    set_error("cannot write %s", out_path);
    return -1;
  }
  const size_t written = data.empty() ? 0 : std::fwrite(data.data(), 1, data.size(), f);
  if (written != data.size()) {
    std::fclose(f);
    remove_quietly(tmp);
    set_error("short write to %s", out_path);
    return -1;
  }
  if (std::fclose(f) != 0) {
    remove_quietly(tmp);
    set_error("close error on %s", out_path);
    return -1;
  }
  keep_permissions(out, tmp);
  if (!replace_file(tmp, out)) {
    remove_quietly(tmp);
    set_error("cannot write %s", out_path);
    return -1;
  }
  return 0;
}

} // namespace pdfmerge
