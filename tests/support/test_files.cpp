#include "test_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fixtures {
namespace {

// The folder lives as long as the test program and is removed with everything in it.
struct temp_folder {
  std::filesystem::path path;
  temp_folder() {
    std::random_device rd;
    path = std::filesystem::temp_directory_path() /
           ("kq_pdfmerge_test_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path);
  }
  ~temp_folder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

const std::filesystem::path& folder() {
  static const temp_folder dir;
  return dir.path;
}

} // namespace

std::string temp_path(std::string_view name) {
  return (folder() / std::string(name)).string();
}

std::string write_temp(std::string_view name, std::string_view bytes) {
  std::string path = temp_path(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) {
  return std::filesystem::exists(path);
}

} // namespace fixtures
