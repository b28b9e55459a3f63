// Paths and files on POSIX systems, where a path is its bytes.
#ifndef _WIN32
#include "pdfmerge/platform/native_path.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace pdfmerge {
namespace {

namespace fs = std::filesystem;

// Links followed before giving up, as the kernel does (its limit is 40).
constexpr int max_links = 40;

std::string folder_of(const std::string& path) {
  const size_t cut = path.rfind('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

} // namespace

native_path native_path_of(const char* given) {
  return {given};
}

native_path native_sibling(const native_path& p, std::string_view name) {
  return {folder_of(p.narrow) + std::string(name)};
}

std::FILE* native_open_read(const native_path& p) {
  return std::fopen(p.narrow.c_str(), "rb");
}

std::FILE* native_create_new(const native_path& p) {
  return std::fopen(p.narrow.c_str(), "wbx");
}

bool native_replace(const native_path& from, const native_path& to) {
  return std::rename(from.narrow.c_str(), to.narrow.c_str()) == 0;
}

void native_remove(const native_path& p) {
  std::remove(p.narrow.c_str());
}

int64_t native_file_size(std::FILE* f) {
  struct stat st {};
  if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool output_target_of(const char* given, output_target& out) {
  std::string path = given;
  for (int links = 0; links <= max_links; ++links) {
    struct stat st {};
    out.path.narrow = path;
    if (lstat(path.c_str(), &st) != 0) {
      out.kind = errno == ENOENT ? target_kind::missing : target_kind::unknown;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      out.kind = S_ISREG(st.st_mode) ? target_kind::regular : target_kind::not_regular;
      return true;
    }
    std::error_code ec;
    const std::string link = fs::read_symlink(path, ec).native();
    if (ec || link.empty()) {
      out.kind = target_kind::unknown;
      return true;
    }
    path = link.front() == '/' ? link : folder_of(path) + link;
  }
  return false;
}

void native_copy_permissions(const native_path& target, const native_path& tmp) {
  std::error_code ec;
  const fs::file_status st = fs::status(target.narrow, ec);
  if (ec || !fs::is_regular_file(st)) return;
  fs::permissions(tmp.narrow, st.permissions(), fs::perm_options::replace, ec);
}

} // namespace pdfmerge
#endif
