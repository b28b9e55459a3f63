// Paths and files as the platform takes them. Callers give paths as bytes; on Linux those bytes
// are the path. On Windows a path that is valid UTF-8 holding a non-ASCII byte is read as UTF-8
// and used through the wide-character functions, so that any file name can be reached; every
// other path keeps its bytes and goes through the ANSI functions exactly as the C runtime's
// fopen would read it. A path too long for the ANSI functions (248 characters or more in full)
// also goes through the wide functions, decoded in the ANSI code page when it is not UTF-8, and
// long wide paths carry the \\?\ prefix that lifts the 260-character limit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace pdfmerge {

// True when `s` is well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF,
// no cut sequence) and holds at least one byte above 0x7F.
bool utf8_with_non_ascii(std::string_view s) noexcept;

struct native_path {
  std::string narrow; // the bytes as given (used when `wide` is empty)
#ifdef _WIN32
  std::wstring wide;
#endif
};

native_path native_path_of(const char* given);
// The file `name` (ASCII) in the folder of `p`.
native_path native_sibling(const native_path& p, std::string_view name);

// Opens an existing file for reading bytes; null when it cannot be opened.
std::FILE* native_open_read(const native_path& p);
// Creates a file that did not exist and opens it for writing bytes. Null otherwise, with errno
// EEXIST when the name is taken.
std::FILE* native_create_new(const native_path& p);
// Puts `from` in the place of `to` in one step, replacing an existing file.
bool native_replace(const native_path& from, const native_path& to);
void native_remove(const native_path& p);
// The size of an open regular file, or -1 when it is not one or its size cannot be told.
int64_t native_file_size(std::FILE* f);

// What a merge's output path names once links are followed.
enum class target_kind { missing, regular, not_regular, unknown };
struct output_target {
  native_path path; // the file to create or replace: the link's target for a link
  target_kind kind = target_kind::unknown;
};
// False when the path cannot be followed (a loop of links).
bool output_target_of(const char* given, output_target& out);
// Gives `tmp` the permission bits of the existing regular file `target` (nothing on Windows).
void native_copy_permissions(const native_path& target, const native_path& tmp);

} // namespace pdfmerge
