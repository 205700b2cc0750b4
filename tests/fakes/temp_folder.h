// A new folder under the system's temporary folder whose name no other test
// run has: two build trees, or two test processes, may test at once.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace fakes {

// Makes <temp>/<label>-XXXXXX with mkdtemp and returns it.
inline std::filesystem::path UniqueTempFolder(const std::string& label) {
  const std::string pattern = (std::filesystem::temp_directory_path() / (label + "-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
  return std::filesystem::path(name.data());
}

}  // namespace fakes
