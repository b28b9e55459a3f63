// Paths and files on Windows: UTF-8 and long paths through the wide-character functions, every
// other path through the ANSI functions as the caller's C runtime would read it.
#ifdef _WIN32
#include "pdfmerge/platform/native_path.h"

#include <cerrno>
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

namespace pdfmerge {
namespace {

// From this length on a full path may not fit the ANSI functions' 260 characters once a file
// name is put in its folder (a folder name must leave 12 characters for an 8.3 name).
constexpr size_t long_path = 248;

std::wstring decode(std::string_view s, UINT code_page) {
  if (s.empty() || s.size() > INT32_MAX) return {};
  const int len = static_cast<int>(s.size());
  const int n = MultiByteToWideChar(code_page, 0, s.data(), len, nullptr, 0);
  if (n <= 0) return {};
  std::wstring w(static_cast<size_t>(n), L'\0');
  if (MultiByteToWideChar(code_page, 0, s.data(), len, w.data(), n) != n) return {};
  return w;
}

bool starts_with(const std::wstring& w, std::wstring_view head) {
  return w.compare(0, head.size(), head) == 0;
}

std::wstring full_path(const std::wstring& w) {
  const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return w;
  full.resize(got);
  return full;
}

// A path whose full form is long is given as \\?\C:\... or \\?\UNC\server\share\..., which the
// wide functions take past 260 characters. That form is taken literally, so it is built from the
// full path, where slashes are turned round and "." and ".." are resolved.
std::wstring lift_length_limit(const std::wstring& w) {
  if (starts_with(w, L"\\\\?\\") || starts_with(w, L"\\\\.\\")) return w;
  const std::wstring full = full_path(w);
  if (full.size() < long_path) return w;
  if (starts_with(full, L"\\\\?\\") || starts_with(full, L"\\\\.\\")) return full;
  if (starts_with(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// True when an ANSI path's full form may be too long for the ANSI functions.
bool long_ansi_path(const std::string& s) {
  if (s.size() >= long_path) return true;
  const DWORD n = GetFullPathNameA(s.c_str(), 0, nullptr, nullptr);
  return n == 0 || n > long_path;
}

// The wide form of a path, whichever form it has.
std::wstring wide_of(const native_path& p) {
  return p.wide.empty() ? decode(p.narrow, CP_ACP) : p.wide;
}

native_path from_narrow(std::string narrow) {
  native_path p{std::move(narrow), {}};
  if (utf8_with_non_ascii(p.narrow))
    p.wide = lift_length_limit(decode(p.narrow, CP_UTF8));
  else if (!p.narrow.empty() && long_ansi_path(p.narrow))
    p.wide = lift_length_limit(decode(p.narrow, CP_ACP));
  return p;
}

template <class Char> size_t folder_end(const std::basic_string<Char>& path) {
  const Char seps[] = {Char('/'), Char('\\'), Char(':'), Char(0)};
  const size_t cut = path.find_last_of(seps);
  return cut == std::basic_string<Char>::npos ? 0 : cut + 1;
}

HANDLE open_existing(const native_path& p) {
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  // No access asked: only what the name leads to is wanted. Folders open with backup semantics.
  if (!p.wide.empty())
    return CreateFileW(p.wide.c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
  return CreateFileA(p.narrow.c_str(), 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                     nullptr);
}

DWORD attributes_of(const native_path& p) {
  return p.wide.empty() ? GetFileAttributesA(p.narrow.c_str()) : GetFileAttributesW(p.wide.c_str());
}

// Names such as NUL, CON or COM1 (in any folder, with Windows before 11 also NUL.pdf and the
// like) lead to devices: their full path is \\.\NAME. Some of them (CON) cannot be opened
// without asking for access, so they are told by name.
bool device_name(const native_path& p) {
  const std::wstring full = full_path(wide_of(p));
  return starts_with(full, L"\\\\.\\") && full.find_first_of(L"\\/", 4) == std::wstring::npos;
}

// The path of the file an open handle leads to, in the \\?\ form; empty when it cannot be told.
std::wstring final_path(HANDLE h) {
  const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
  const DWORD n = GetFinalPathNameByHandleW(h, nullptr, 0, flags);
  if (n == 0) return {};
  std::wstring path(n, L'\0');
  const DWORD got = GetFinalPathNameByHandleW(h, path.data(), n, flags);
  if (got == 0 || got >= n) return {};
  path.resize(got);
  return path;
}

} // namespace

native_path native_path_of(const char* given) {
  return from_narrow(given);
}

native_path native_sibling(const native_path& p, std::string_view name) {
  if (p.wide.empty())
    return from_narrow(p.narrow.substr(0, folder_end(p.narrow)) + std::string(name));
  native_path sibling;
  sibling.wide = p.wide.substr(0, folder_end(p.wide)) + decode(name, CP_ACP);
  return sibling;
}

std::FILE* native_open_read(const native_path& p) {
  if (!p.wide.empty()) return _wfopen(p.wide.c_str(), L"rb");
  return std::fopen(p.narrow.c_str(), "rb");
}

std::FILE* native_create_new(const native_path& p) {
  const int flags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;
  int fd = -1;
  errno = p.wide.empty() ? _sopen_s(&fd, p.narrow.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE)
                         : _wsopen_s(&fd, p.wide.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
  if (errno != 0) return nullptr;
  std::FILE* f = _fdopen(fd, "wb");
  if (!f) _close(fd);
  return f;
}

bool native_replace(const native_path& from, const native_path& to) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
  if (from.wide.empty() && to.wide.empty())
    return MoveFileExA(from.narrow.c_str(), to.narrow.c_str(), flags) != 0;
  return MoveFileExW(wide_of(from).c_str(), wide_of(to).c_str(), flags) != 0;
}

void native_remove(const native_path& p) {
  if (p.wide.empty())
    DeleteFileA(p.narrow.c_str());
  else
    DeleteFileW(p.wide.c_str());
}

int64_t native_file_size(std::FILE* f) {
  const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  LARGE_INTEGER size{};
  if (h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK || !GetFileSizeEx(h, &size))
    return -1;
  return size.QuadPart;
}

// Devices (NUL, CON, COM1, pipes) and folders are not regular files. A name that is a link
// (a reparse point) leads to the file to replace, which is named by its final path.
bool output_target_of(const char* given, output_target& out) {
  out.path = native_path_of(given);
  if (device_name(out.path)) {
    out.kind = target_kind::not_regular;
    return true;
  }
  const HANDLE h = open_existing(out.path);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    out.kind = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? target_kind::missing
                                                                      : target_kind::unknown;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    out.kind = target_kind::not_regular;
  } else {
    out.kind = target_kind::regular;
    const DWORD attributes = attributes_of(out.path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      std::wstring target = final_path(h);
      if (!target.empty()) out.path = native_path{{}, std::move(target)};
    }
  }
  CloseHandle(h);
  return true;
}

void native_copy_permissions(const native_path&, const native_path&) {
  // Windows has no permission bits beyond read-only, which MoveFileEx refuses to replace anyway.
}

} // namespace pdfmerge
#endif
