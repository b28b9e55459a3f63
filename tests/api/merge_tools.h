// Helpers of the merge tests: independent PDF tools as oracles, and reading the merged bytes.
#pragma once

#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace merge_tools {

struct command_result {
  int status = -1;
  std::string output;
};

inline std::string quoted(const std::string& path) {
  std::string q = "'";
  for (char c : path) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a shell command and gathers what it prints (standard output and error).
inline command_result run(const std::string& command) {
  command_result r;
#ifdef _WIN32
  std::FILE* p = _popen((command + " 2>&1").c_str(), "r");
#else
  std::FILE* p = popen((command + " 2>&1").c_str(), "r");
#endif
  if (!p) return r;
  char chunk[4096];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, p)) > 0) r.output.append(chunk, n);
#ifdef _WIN32
  r.status = _pclose(p);
#else
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
#endif
  return r;
}

inline bool have_tool(const std::string& name) {
#ifdef _WIN32
  // The oracle command lines quote paths for a Unix shell, and wine's `where` finds anything:
  // the oracles run in the Linux tests only.
  static_cast<void>(name);
  return false;
#else
  return run("command -v " + name).status == 0;
#endif
}

// qpdf --check must accept the file (exit 0: no errors, no warnings). Skips the test with a
// message when qpdf is not installed; call it after the test's other checks.
#define EXPECT_QPDF_ACCEPTS(path)                                                                  \
  do {                                                                                             \
    if (!merge_tools::have_tool("qpdf")) GTEST_SKIP() << "qpdf is not installed: check skipped";   \
    const merge_tools::command_result qpdf_ =                                                      \
        merge_tools::run("qpdf --check " + merge_tools::quoted(path));                             \
    EXPECT_EQ(qpdf_.status, 0) << "qpdf --check " << (path) << ":\n" << qpdf_.output;              \
  } while (0)

// The page count pdfinfo reports, or -1 when pdfinfo is absent or fails.
inline int pdfinfo_pages(const std::string& path) {
  if (!have_tool("pdfinfo")) return -1;
  const command_result r = run("pdfinfo " + quoted(path));
  const size_t at = r.output.find("Pages:");
  if (r.status != 0 || at == std::string::npos) return -1;
  return std::atoi(r.output.c_str() + at + 6);
}

// The text pdftotext extracts, or nothing when it is absent.
inline std::string pdftotext(const std::string& path) {
  if (!have_tool("pdftotext")) return {};
  return run("pdftotext -q " + quoted(path) + " -").output;
}

// The text of object `num` from "num 0 obj\n" through "endobj\n", or "" when it is not there.
inline std::string object_text(const std::string& pdf, int num) {
  const std::string head = std::to_string(num) + " 0 obj\n";
  size_t at = pdf.rfind("\n" + head);
  if (at == std::string::npos) return {};
  ++at;
  const size_t end = pdf.find("endobj\n", at);
  return end == std::string::npos ? std::string() : pdf.substr(at, end + 7 - at);
}

// The lines of the cross-reference table after its "0 N" line.
inline std::vector<std::string> xref_lines(const std::string& pdf) {
  std::vector<std::string> lines;
  size_t at = pdf.rfind("xref\n0 ");
  if (at == std::string::npos) return lines;
  at = pdf.find('\n', at + 5) + 1;
  const size_t end = pdf.find("trailer\n", at);
  for (; at + 20 <= end; at += 20) lines.push_back(pdf.substr(at, 20));
  return lines;
}

// Files in a folder, by name.
inline std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A new empty folder inside the test folder.
inline std::string fresh_dir(const std::string& name) {
  const std::string dir = fixtures::temp_path(name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

} // namespace merge_tools
