// Temporary folders whose names no other test run has: two build trees, or
// two test processes, may test at once.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <process.h>
#endif

namespace testsupport {

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

// A fresh folder of its own for one test, removed with everything in it
// afterwards.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& label = "qrw-scratch") : path_(UniqueTempFolder(label)) {}
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  // The names of the files in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport
