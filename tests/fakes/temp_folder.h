// A new folder under the system's temporary folder whose name no other test
// run has: two build trees, or two test processes, may test at once.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <process.h>
#endif

namespace fakes {

#ifdef _WIN32
// Windows has no mkdtemp: <temp>/<label>-<process id>-<n>, taking the first
// n whose folder the creation makes new.
inline std::filesystem::path UniqueTempFolder(const std::string& label) {
  const std::filesystem::path temp = std::filesystem::temp_directory_path();
  const std::string stem = label + "-" + std::to_string(_getpid()) + "-";
  for (int n = 0; n < 10000; ++n) {
    const std::filesystem::path folder = temp / (stem + std::to_string(n));
    std::error_code error;
    if (std::filesystem::create_directory(folder, error)) return folder;
  }
  throw std::runtime_error("no new temporary folder for " + label);
}
#else
// Makes <temp>/<label>-XXXXXX with mkdtemp and returns it.
inline std::filesystem::path UniqueTempFolder(const std::string& label) {
  const std::string pattern = (std::filesystem::temp_directory_path() / (label + "-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
  return std::filesystem::path(name.data());
}
#endif

}  // namespace fakes
