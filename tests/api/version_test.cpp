// The library a host loads carries the version its header names: on Linux in the file's name
// and SONAME (libkq_out_pdfmerge.so.MAJOR, a link to .so.MAJOR.MINOR.PATCH), on Windows in the
// DLL's version resource, read here as Explorer and installers read it.
#include "kq_out_pdfmerge.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <vector>
#include <windows.h>
#else
#include <climits>
#include <cstdlib>
#include <dlfcn.h>
#endif

namespace {

const std::string version = std::to_string(KQ_PDFMERGE_VERSION_MAJOR) + "." +
                            std::to_string(KQ_PDFMERGE_VERSION_MINOR) + "." +
                            std::to_string(KQ_PDFMERGE_VERSION_PATCH);

TEST(Version, MacrosAgree) {
  EXPECT_EQ(std::string(KQ_PDFMERGE_VERSION_STRING), version);
  EXPECT_EQ(KQ_PDFMERGE_VERSION, KQ_PDFMERGE_VERSION_MAJOR * 10000 +
                                     KQ_PDFMERGE_VERSION_MINOR * 100 + KQ_PDFMERGE_VERSION_PATCH);
}

#ifdef _WIN32
std::wstring loaded_dll() {
  HMODULE dll = GetModuleHandleW(L"kq_out_pdfmerge.dll");
  if (!dll) return {};
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(dll, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

std::string string_value(const std::vector<char>& info, const wchar_t* name) {
  void* value = nullptr;
  UINT len = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(info.data(), key.c_str(), &value, &len) || len == 0) return "(none)";
  const std::wstring w(static_cast<const wchar_t*>(value), len - 1);
  return std::string(w.begin(), w.end()); // the values are ASCII
}

TEST(Version, DllVersionResource) {
  const std::wstring dll = loaded_dll();
  ASSERT_FALSE(dll.empty());
  const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), nullptr);
  ASSERT_GT(size, 0u) << "no version resource";
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  ASSERT_GE(len, sizeof(VS_FIXEDFILEINFO));
  const DWORD ms = (KQ_PDFMERGE_VERSION_MAJOR << 16) | KQ_PDFMERGE_VERSION_MINOR;
  const DWORD ls = KQ_PDFMERGE_VERSION_PATCH << 16;
  EXPECT_EQ(fixed->dwFileVersionMS, ms);
  EXPECT_EQ(fixed->dwFileVersionLS, ls);
  EXPECT_EQ(fixed->dwProductVersionMS, ms);
  EXPECT_EQ(fixed->dwProductVersionLS, ls);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  EXPECT_EQ(string_value(info, L"FileVersion"), version);
  EXPECT_EQ(string_value(info, L"ProductVersion"), version);
  EXPECT_EQ(string_value(info, L"ProductName"), "kq_out_pdfmerge");
  EXPECT_EQ(string_value(info, L"OriginalFilename"), "kq_out_pdfmerge.dll");
  EXPECT_NE(string_value(info, L"FileDescription"), "(none)");
}
#else
bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Version, SharedLibraryNames) {
  Dl_info where{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&pdfmerge_page_count), &where), 0);
  const std::string loaded = where.dli_fname;
  // The program asked for the SONAME; the file behind it carries the whole version.
  EXPECT_TRUE(
      ends_with(loaded, "/libkq_out_pdfmerge.so." + std::to_string(KQ_PDFMERGE_VERSION_MAJOR)))
      << loaded;
  char real[PATH_MAX];
  ASSERT_NE(realpath(loaded.c_str(), real), nullptr) << loaded;
  EXPECT_TRUE(ends_with(real, "/libkq_out_pdfmerge.so." + version)) << real;
}
#endif

} // namespace
