// Shared pieces of the model file and builder tests: a scratch folder of
// real files, and synthetic templates laid out as the program's file is.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "fakes/temp_folder.h"
#include "package/builder.h"
#include "package/package_region.h"

namespace h6test {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// Given by the build: __FILE__ is relative when ccache rewrites paths
// against its base folder.
inline fs::path RepositoryFolder() { return fs::path(QRW_SOURCE_DIR); }
inline fs::path DataFolder() { return RepositoryFolder() / "tests" / "data" / "ini"; }
inline fs::path SampleModels() { return RepositoryFolder() / "data" / "QRWFLASH.INI"; }

// A fresh folder per test, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    path_ = fakes::UniqueTempFolder("qrw-builder");
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const fs::path& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  // The names of the files in the folder, sorted.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The key-word of the tests' templates: "T", a 13-character telephone text
// and a zero byte.
inline package::KeyWordBytes TestKeyWord() {
  package::KeyWordBytes keyWord{};
  const std::string text = std::string("T") + "0800" + "-555-" + "0139";
  std::memcpy(keyWord.data(), text.data(), text.size());
  return keyWord;
}

// The seal marker of the tests' templates.
inline package::SealMarker TestSealMarker() {
  return {'Q', 'R', 'W', 'S', 'E', 'A', 'L', '1'};
}

inline Bytes Pattern(std::size_t size, std::uint32_t seed) {
  Bytes bytes(size);
  for (auto& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return bytes;
}

inline void PutText(Bytes& bytes, std::size_t at, const std::string& text) {
  std::memcpy(bytes.data() + at, text.data(), text.size());
}

// A template shaped like the program's file: code before the package
// region, the region (profiles, table, key-word, an old header, the image
// area beginning with "VEKO") and program data after it, with an empty seal
// record inside that data (after holds at least 32 bytes).
struct SyntheticTemplate {
  Bytes bytes;
  std::size_t k = 0;       // offset of the key-word
  std::size_t sealAt = 0;  // offset of the seal record

  static SyntheticTemplate Make(std::size_t before = 5000, std::size_t after = 70000) {
    SyntheticTemplate t;
    t.bytes = Pattern(before, 1);
    // Code may hold a 'T' anywhere; none of its bytes may form the key-word.
    t.bytes.back() = 'T';
    const Bytes profiles = Pattern(package::kProfileBlocksSize + package::kProfileTableSize, 2);
    t.bytes.insert(t.bytes.end(), profiles.begin(), profiles.end());
    t.k = t.bytes.size();
    const auto keyWord = TestKeyWord();
    t.bytes.insert(t.bytes.end(), keyWord.begin(), keyWord.end());
    Bytes header(package::kRewrittenHeaderSize, 0);
    PutText(header, 0, "OLD-MODEL");
    PutText(header, 25, "OLD INQUIRY");
    t.bytes.insert(t.bytes.end(), header.begin(), header.end());
    Bytes area = Pattern(package::kImageAreaSize, 3);
    std::memcpy(area.data(), package::kTemplateMarker, 4);
    t.bytes.insert(t.bytes.end(), area.begin(), area.end());
    const Bytes rest = Pattern(after, 4);
    t.bytes.insert(t.bytes.end(), rest.begin(), rest.end());
    t.sealAt = t.k + package::kHeaderSize + package::kImageAreaSize + after / 2;
    const auto marker = TestSealMarker();
    std::copy(marker.begin(), marker.end(), t.bytes.begin() + static_cast<std::ptrdiff_t>(t.sealAt));
    std::fill_n(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.sealAt + marker.size()), 8, 0);
    return t;
  }
  std::size_t ImageArea() const { return k + package::kImageAreaOffset; }
  std::size_t RegionStart() const { return k - package::kKeyWordInRegion; }
  package::PackageView View() const {
    return package::PackageView(bytes.data() + RegionStart(), bytes.data() + sealAt);
  }
};

// What a build reported: captions, failures and the progress calls.
class RecordingObserver : public package::BuildObserver {
 public:
  std::vector<std::string> captions;
  std::vector<std::string> failures;
  std::vector<std::int32_t> starts;
  int steps = 0;
  int done = 0;
  void Status(const std::string& caption) override { captions.push_back(caption); }
  void ProgressStart(std::int32_t maximum) override { starts.push_back(maximum); }
  void ProgressStep() override { ++steps; }
  void ProgressDone() override { ++done; }
  void Failure(const std::string& message) override {
    failures.push_back(message);
    if (onFailure) onFailure();
  }
  std::function<void()> onFailure;  // runs while the message is "shown"
};

}  // namespace h6test
