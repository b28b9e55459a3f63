// Temporary files for tests: each test binary writes below one fresh folder.
#pragma once

#include <string>
#include <string_view>

namespace fixtures {

// Writes `bytes` to a new file named `name` in the test folder and returns its path.
std::string write_temp(std::string_view name, std::string_view bytes);
// A path in the test folder (the file is not created).
std::string temp_path(std::string_view name);
// The whole content of a file, or "" when it cannot be read.
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

} // namespace fixtures
