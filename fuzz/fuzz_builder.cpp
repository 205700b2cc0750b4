// Fuzz target: the builder's inputs (template bytes, image size and bytes,
// image file name). Whatever it is given, a build either writes exactly the
// template with the new header and image, or reports one failure and leaves
// the folder as it was.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/builder.h"
#include "package/seal.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class CountingObserver : public package::BuildObserver {
 public:
  int failures = 0;
  void Status(const std::string&) override {}
  void ProgressStart(std::int32_t) override {}
  void ProgressStep() override {}
  void ProgressDone() override {}
  void Failure(const std::string&) override { ++failures; }
};

package::KeyWordBytes KeyWord() {
  package::KeyWordBytes keyWord{};
  const std::string text = std::string("T") + "0800" + "-555-" + "0139";
  std::memcpy(keyWord.data(), text.data(), text.size());
  return keyWord;
}

package::SealMarker SealMarker() { return {'Q', 'R', 'W', 'S', 'E', 'A', 'L', '1'}; }

void Write(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t FileCount(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Input layout: byte 0 picks the image (empty, old size, new size, or the
// raw rest), byte 1 where the key-word goes (or none), byte 2 the name, the
// rest is the template's body (and the raw image).
struct Case {
  Bytes templateBytes;
  Bytes image;
  std::string name;
};

Case Decode(const std::uint8_t* data, std::size_t size) {
  Case c;
  if (size < 3) return c;
  const std::uint8_t imageKind = data[0] % 4;
  const std::uint8_t keyWordAt = data[1];
  static const char* const kNames[] = {"1.10.BIN", "ab.bin", "a", "", "../x.bin", "C:x.bin", "abcdefgh"};
  c.name = kNames[data[2] % 7];
  Bytes body(data + 3, data + size);
  if (imageKind == 1) c.image.assign(0x40000, 0x5A);
  if (imageKind == 2) c.image.assign(0x50000, 0xA5);
  if (imageKind == 3) c.image = body;
  if (keyWordAt != 0xFF) {
    const auto keyWord = KeyWord();
    const std::size_t at = std::min<std::size_t>(keyWordAt, body.size());
    body.insert(body.begin() + static_cast<std::ptrdiff_t>(at), keyWord.begin(), keyWord.end());
    // Room for the whole region, marked as a template, and an empty seal
    // record after it, when asked.
    if (keyWordAt % 2 == 0) {
      body.insert(body.begin(), package::kKeyWordInRegion, 0);
      const std::size_t k = at + package::kKeyWordInRegion;
      const std::size_t area = k + package::kKeyWordSize + package::kRewrittenHeaderSize;
      if (body.size() < area + package::kImageAreaSize) body.resize(area + package::kImageAreaSize);
      std::memcpy(body.data() + area, package::kTemplateMarker, 4);
      const auto marker = SealMarker();
      body.insert(body.end(), marker.begin(), marker.end());
      body.insert(body.end(), 8, 0);
    }
  }
  c.templateBytes = body;
  return c;
}

void Check(const Case& c, const fs::path& folder, bool built, int failures) {
  const fs::path output = folder / package::OutputName(c.name);
  if (!built) {
    if (failures != 1 || FileCount(folder) != 2) std::abort();
    return;
  }
  if (failures != 0 || FileCount(folder) != 3) std::abort();
  const Bytes out = Read(output);
  if (out.size() != c.templateBytes.size()) std::abort();
  const std::size_t k = package::FindKeyWord(c.templateBytes.data(), c.templateBytes.size(), KeyWord());
  if (k == std::string::npos) std::abort();
  const auto header = package::NewHeader({"M", "I", "R", "V", "N"}, c.name);
  if (!std::equal(header.begin(), header.end(), out.begin() + static_cast<std::ptrdiff_t>(k + 15))) std::abort();
  const std::size_t image = k + package::kImageAreaOffset;
  if (!std::equal(c.image.begin(), c.image.end(), out.begin() + static_cast<std::ptrdiff_t>(image))) std::abort();
  if (!std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(k + 15), c.templateBytes.begin())) std::abort();
  // The rest is the template's but for the seal's values, which must hold.
  const std::size_t rest = image + c.image.size();
  const auto marker = SealMarker();
  const auto seals = package::Occurrences(out.data(), out.size(), marker.data(), marker.size());
  if (seals.size() != 1) std::abort();
  const std::size_t sealValues = seals[0] + package::kSealCrcOffset;
  Bytes expectedRest(c.templateBytes.begin() + static_cast<std::ptrdiff_t>(rest), c.templateBytes.end());
  if (sealValues >= rest)
    std::copy_n(out.begin() + static_cast<std::ptrdiff_t>(sealValues), 8,
                expectedRest.begin() + static_cast<std::ptrdiff_t>(sealValues - rest));
  if (!std::equal(out.begin() + static_cast<std::ptrdiff_t>(rest), out.end(), expectedRest.begin()))
    std::abort();
  const package::PackageView view(out.data() + k - package::kKeyWordInRegion, out.data() + seals[0]);
  if (package::CheckSeal(view).state != package::SealState::Intact) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Case c = Decode(data, size);
  if (c.templateBytes.empty()) return 0;
  const fs::path folder = fs::temp_directory_path() / ("qrw-fuzz-builder-" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder / "work");
  const fs::path work = folder / "work";
  const std::string imageName = c.name.empty() || c.name.find('/') != std::string::npos ? "image" : c.name;
  Write(work / imageName, c.image);
  Write(work / "TEMPLATE.EXE", c.templateBytes);
  package::BuildRequest request;
  request.imagePath = (work / imageName).string();
  request.binFileName = c.name;
  request.templatePath = (work / "TEMPLATE.EXE").string();
  request.outputFolder = work.string();
  request.model = {"M", "I", "R", "V", "N"};
  request.keyWord = KeyWord();
  request.sealMarker = SealMarker();
  CountingObserver observer;
  const bool built = package::BuildFlashProgram(request, observer);
  Check(c, work, built, observer.failures);
  fs::remove_all(folder);
  return 0;
}
