// Whole files read and written at once, and where the repository's own test
// data lies.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/bytes.h"

namespace testsupport {

namespace fs = std::filesystem;

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Given by the build: __FILE__ is relative when ccache rewrites paths
// against its base folder.
inline fs::path RepositoryFolder() { return fs::path(QRW_SOURCE_DIR); }
inline fs::path DataFolder() { return RepositoryFolder() / "tests" / "data" / "ini"; }
inline fs::path SampleModels() { return RepositoryFolder() / "data" / "QRWFLASH.INI"; }
}  // namespace testsupport
