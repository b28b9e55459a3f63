// Prints the time, peak memory and output size of merges of crafted files whose objects are
// referenced many times (tests/support/crafted_shapes.h), at the sizes where they once took tens
// of seconds or ran out of memory. Each merge runs in a child process, so that its peak resident
// size is its own, with a time limit. A library path given as the first argument is loaded
// instead of the one built here (to compare builds).
//
//   bench_crafted_shapes [LIBRARY.so]
#include "crafted_shapes.h"
#include "kq_out_pdfmerge.h"
#include "test_files.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using files_opt_fn = int (*)(const char* const*, int, const char*, int);
using last_error_fn = const char* (*)();

files_opt_fn g_merge = pdfmerge_files_opt;
last_error_fn g_error = pdfmerge_last_error;

constexpr int time_limit_seconds = 120;

// The smallest n (doubling, then bisecting) whose file reaches `bytes`.
int size_for(const fixtures::crafted_shape& shape, size_t bytes) {
  int lo = 1, hi = 1;
  while (shape.make(hi).size() < bytes) lo = hi, hi *= 2;
  while (lo + 1 < hi) {
    const int mid = lo + (hi - lo) / 2;
    (shape.make(mid).size() < bytes ? lo : hi) = mid;
  }
  return hi;
}

void run(const fixtures::crafted_shape& shape, size_t target) {
  const int n = size_for(shape, target);
  const std::string bytes = shape.make(n);
  const std::string in = fixtures::write_temp(std::string("crafted-") + shape.name + ".pdf", bytes);
  const std::string out = fixtures::temp_path(std::string("crafted-") + shape.name + "-out.pdf");
  std::remove(out.c_str());
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    alarm(time_limit_seconds);
    const char* const paths[2] = {in.c_str(), in.c_str()};
    const int rc = g_merge(paths, shape.twice ? 2 : 1, out.c_str(), shape.options);
    if (rc != 0) std::fprintf(stderr, "%s: %s\n", shape.name, g_error());
    _exit(rc == 0 ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const char* how = WIFEXITED(status) && WEXITSTATUS(status) == 0        ? "ok"
                    : WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM ? "time limit"
                                                                         : "failed";
  std::FILE* f = std::fopen(out.c_str(), "rb");
  long out_size = 0;
  if (f) {
    std::fseek(f, 0, SEEK_END);
    out_size = std::ftell(f);
    std::fclose(f);
  }
  std::printf("%-30s %7.0f KB in (n=%6d)  %8.2f s  peak %7.1f MB  out %9.0f KB = %5.1fx  %s\n",
              shape.name, bytes.size() / 1024.0, n, s, usage.ru_maxrss / 1024.0, out_size / 1024.0,
              bytes.empty() ? 0.0 : double(out_size) / double(bytes.size()), how);
  std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
      std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
      return 1;
    }
    g_merge = reinterpret_cast<files_opt_fn>(dlsym(lib, "pdfmerge_files_opt"));
    g_error = reinterpret_cast<last_error_fn>(dlsym(lib, "pdfmerge_last_error"));
    if (!g_merge || !g_error) return 1;
  }
  // The sizes at which each shape was measured before (kilobytes).
  const struct {
    const char* shape;
    size_t kb;
  } sizes[] = {
      {"shared-goto-action", 264},
      {"shared-goto-action", 530},
      {"big-dict-many-refs", 960},
      {"field-listed-many-times", 401},
      {"repeated-font-key", 200},
      {"fields-of-one-name", 2300},
      {"long-dest-many-bookmarks", 200},
      {"long-dest-many-bookmarks", 400},
      {"long-named-dest-many-bookmarks", 400},
      {"long-title-many-bookmarks", 818},
      {"annots-shared-by-pages", 874},
      {"annots-shared-by-pages", 1800},
  };
  for (const auto& want : sizes)
    for (const fixtures::crafted_shape& shape : fixtures::crafted_shapes())
      if (std::string(shape.name) == want.shape) run(shape, want.kb * 1024);
  return 0;
}
