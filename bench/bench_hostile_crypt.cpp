// Crafted encrypted files at the sizes where they once took seconds (tests/support/
// crypt_shapes.h), and what a page count and a merge of each take now: wall time and peak
// memory of a child process that does both, and the output's size. The shapes:
//   refs      an /Encrypt record all of whose values are references, with a /CF entry per
//             crypt filter object; refused in the end (it does not open)
//   shared    every /CF entry naming one wide filter dictionary, /O written many times naming
//             one long string; refused in the end
//   filters   a file that opens (V 4, RC4), with many crypt filters in /CF and as many streams,
//             each naming its own /Crypt filter
// usage: bench_hostile_crypt [--write DIR]   (--write only writes the files, for other builds)
#include "crypt_shapes.h"
#include "kq_out_pdfmerge.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// The shape made about `bytes` long.
std::string sized(std::string (*make)(int), size_t bytes) {
  const size_t per = make(10000).size() / 10000;
  return make(static_cast<int>(bytes / per));
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A page count and a merge of `path` in a child process: wall seconds, peak memory, results.
void measure(const char* shape, const std::string& path, size_t size) {
  const std::string out = path + ".out.pdf";
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return;
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    close(pipe_fds[0]);
    char line[512];
    const int count = pdfmerge_page_count(path.c_str());
    std::string count_error = pdfmerge_last_error();
    const char* inputs[] = {path.c_str()};
    const int merged = pdfmerge_files(inputs, 1, out.c_str());
    std::snprintf(line, sizeof line, "%d|%d|%.120s", count, merged,
                  merged == 0 ? count_error.c_str() : pdfmerge_last_error());
    (void)!::write(pipe_fds[1], line, std::strlen(line));
    _exit(0);
  }
  close(pipe_fds[1]);
  char line[512] = {};
  (void)!::read(pipe_fds[0], line, sizeof line - 1);
  close(pipe_fds[0]);
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
  std::ifstream o(out, std::ios::binary | std::ios::ate);
  const long long out_size = o ? static_cast<long long>(o.tellg()) : 0;
  std::printf("%-8s %6.2f MB  count+merge %6.3f s  peak %6.1f MB  output %8lld bytes  %s\n", shape,
              static_cast<double>(size) / 1e6, took.count(),
              static_cast<double>(usage.ru_maxrss) / 1024.0, out_size, line);
  std::remove(out.c_str());
}

} // namespace

int main(int argc, char** argv) {
  const bool write_only = argc == 3 && std::strcmp(argv[1], "--write") == 0;
  const std::string dir = write_only ? argv[2] : "/tmp";
  struct shape {
    const char* name;
    std::string bytes;
  };
  const shape shapes[] = {
      {"refs", sized(fixtures::record_of_references, 5800000)},
      {"shared", sized(fixtures::record_of_shared_references, 5800000)},
      {"filters", sized(fixtures::crypt_filters_and_streams, 5500000)},
  };
  for (const shape& s : shapes) {
    const std::string path = dir + "/hostile_crypt_" + s.name + ".pdf";
    write_file(path, s.bytes);
    if (write_only) {
      std::printf("%s\n", path.c_str());
      continue;
    }
    measure(s.name, path, s.bytes.size());
    std::remove(path.c_str());
  }
  return 0;
}
