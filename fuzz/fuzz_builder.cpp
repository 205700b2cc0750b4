// Fuzz target: the builder's inputs (template bytes, image size and bytes,
// image file name, a PE file around the template with a certificate table
// and a security directory entry of any values) and the faults of the disk
// it writes to, all in memory. Whatever it is given, a build either writes
// exactly the template with the new header and image in place of any
// earlier output (a signed template's without the certificate table that
// ended it, the entry and checksum zero), or reports one failure and leaves
// the folder as it was, the earlier output included.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "fakes/memory_files.h"
#include "package/builder.h"
#include "package/seal.h"
#include "support/pe_image.h"

// ---- big blocks ----------------------------------------------------------------

// A whole build moves a template, an image and an output of a few hundred
// kilobytes each. The sanitizer's allocator maps every block that large
// afresh and unmaps it once freed, and those page faults were a third of a
// run. Blocks of 64 KB and more are kept instead for the next request of the
// same rounded size: poisoned while they wait, and past the size asked for
// while in use, so that a use after free or a read past the end is still
// reported (as a use of poisoned memory).
namespace {

constexpr std::size_t kBigBlock = 64 * 1024;

struct BigBlock {
  void* block = nullptr;
  std::size_t capacity = 0;
};

BigBlock liveBlocks[16];
BigBlock waitingBlocks[8];

BigBlock* FindSlot(BigBlock* slots, std::size_t count, void* block) {
  for (std::size_t i = 0; i < count; ++i)
    if (slots[i].block == block) return &slots[i];
  return nullptr;
}

void* NewBigBlock(std::size_t size) {
  const std::size_t capacity = (size + kBigBlock - 1) / kBigBlock * kBigBlock;
  BigBlock* live = FindSlot(liveBlocks, std::size(liveBlocks), nullptr);
  if (live == nullptr) std::abort();  // more large blocks alive than a build ever holds
  BigBlock* waiting = nullptr;
  for (BigBlock& w : waitingBlocks)
    if (w.block != nullptr && w.capacity == capacity) waiting = &w;
  if (waiting != nullptr) {
    *live = *waiting;
    *waiting = {};
  } else {
    live->block = std::malloc(capacity);
    if (live->block == nullptr) throw std::bad_alloc();
    live->capacity = capacity;
  }
  auto* bytes = static_cast<std::uint8_t*>(live->block);
  ASAN_UNPOISON_MEMORY_REGION(bytes, size);
  ASAN_POISON_MEMORY_REGION(bytes + size, capacity - size);
  return bytes;
}

void DeleteBigBlock(BigBlock& live) {
  ASAN_POISON_MEMORY_REGION(live.block, live.capacity);
  BigBlock* waiting = FindSlot(waitingBlocks, std::size(waitingBlocks), nullptr);
  if (waiting == nullptr) {
    waiting = &waitingBlocks[0];
    ASAN_UNPOISON_MEMORY_REGION(waiting->block, waiting->capacity);
    std::free(waiting->block);
  }
  *waiting = live;
  live = {};
}

}  // namespace

void* operator new(std::size_t size) {
  if (size >= kBigBlock) return NewBigBlock(size);
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

// libFuzzer reads its corpus into blocks of this form; they are freed by the
// operator delete below, so they come from the same place.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (size >= kBigBlock) return NewBigBlock(size);
  return std::malloc(size == 0 ? 1 : size);
}

void operator delete(void* block) noexcept {
  if (block == nullptr) return;
  if (BigBlock* live = FindSlot(liveBlocks, std::size(liveBlocks), block)) {
    DeleteBigBlock(*live);
    return;
  }
  std::free(block);
}

void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace {

using Bytes = std::vector<std::uint8_t>;
using fakes::MemoryFiles;

constexpr const char* kFolder = "C:\\WORK";

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

std::string InFolder(const std::string& name) { return std::string(kFolder) + "\\" + name; }

package::SealMarker SealMarker() { return {'Q', 'R', 'W', 'S', 'E', 'A', 'L', '1'}; }

// The disk's state and its one fault, from one input byte.
struct Disk {
  MemoryFiles::Family family = MemoryFiles::Family::Nt;
  bool earlierOutput = false;
  std::uint8_t fault = 0;  // 0 none; see Arrange
  std::uint8_t detail = 0;
};

// Input layout: byte 0 picks the image (empty, old size, new size, or the
// raw rest), byte 1 where the key-word goes (or none), byte 2 the name,
// bytes 3 and 4 the disk and the PE file around the template, bytes 5 to 12
// a security directory entry, the rest is the template's body (and the raw
// image).
struct Case {
  Bytes templateBytes;
  Bytes image;
  std::string name;
  Disk disk;
  bool pe = false;              // the template is a PE file (support/pe_image.h)
  std::size_t soundTableAt = 0;  // where a sound certificate table begins, or 0
};

using testsupport::PeImage;

// Bits 5-7 of the disk byte: below 4 the template is no PE file (its first
// byte never 'M'); from 4 a PE file around it with a certificate table of
// 8 to 256 bytes, named by its entry as a signer names it (4), by the
// entry's eight bytes taken from the input (5), with bytes after it (6), or
// from an 8-byte boundary anywhere in the file to its end (7).
void Sign(Case& c, std::uint8_t kind, const std::uint8_t* entryBytes) {
  Bytes& file = c.templateBytes;
  if (kind < 4) {
    if (!file.empty() && file[0] == 'M') file[0] = 'm';
    return;
  }
  c.pe = true;
  file = PeImage::Around(file);
  const std::size_t tableAt = file.size();
  PeImage::Sign(file, Bytes(8 * (1 + entryBytes[0] % 32), 0x30), 0x00ABCDEF);
  if (kind == 4) c.soundTableAt = tableAt;
  if (kind == 5) std::copy_n(entryBytes, 8, file.begin() + PeImage::kSecurityEntryAt);
  if (kind == 6) file.insert(file.end(), 8 * (1 + entryBytes[1] % 4), 0x31);
  if (kind == 7) {
    const std::size_t at = (static_cast<std::size_t>(entryBytes[2]) << 8 | entryBytes[3]) *
                           file.size() / 65536 / 8 * 8;
    testsupport::PutLe32(file, PeImage::kSecurityEntryAt, static_cast<std::uint32_t>(at));
    testsupport::PutLe32(file, PeImage::kSecurityEntryAt + 4, static_cast<std::uint32_t>(file.size() - at));
  }
}

Case Decode(const std::uint8_t* data, std::size_t size) {
  Case c;
  if (size < 13) return c;
  const std::uint8_t imageKind = data[0] % 4;
  const std::uint8_t keyWordAt = data[1];
  static const char* const kNames[] = {"1.10.BIN", "ab.bin", "a", "", "../x.bin", "C:x.bin", "abcdefgh"};
  c.name = kNames[data[2] % 7];
  c.disk.family = data[3] & 1 ? MemoryFiles::Family::Windows9x : MemoryFiles::Family::Nt;
  c.disk.earlierOutput = (data[3] & 2) != 0;
  c.disk.fault = static_cast<std::uint8_t>((data[3] >> 2) % 8);
  c.disk.detail = data[4];
  Bytes body(data + 13, data + size);
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
      const std::size_t k = at + package::kKeyWordInRegion;
      const std::size_t area = k + package::kKeyWordSize + package::kRewrittenHeaderSize;
      Bytes whole;
      whole.reserve(std::max(area + package::kImageAreaSize, body.size() + package::kKeyWordInRegion) +
                    package::kSealSize);
      whole.assign(package::kKeyWordInRegion, 0);
      whole.insert(whole.end(), body.begin(), body.end());
      if (whole.size() < area + package::kImageAreaSize) whole.resize(area + package::kImageAreaSize);
      std::memcpy(whole.data() + area, package::kTemplateMarker, 4);
      const auto marker = SealMarker();
      whole.insert(whole.end(), marker.begin(), marker.end());
      whole.insert(whole.end(), 8, 0);
      body = std::move(whole);
    }
  }
  c.templateBytes = std::move(body);
  Sign(c, static_cast<std::uint8_t>(data[3] >> 5), data + 5);
  return c;
}

// One fault at most: a disk that fills up, a close or a move that fails, a
// read-only folder, a locked output, the temporary names taken.
void Arrange(MemoryFiles& files, const Case& c, const std::string& output) {
  switch (c.disk.fault) {
    case 1: files.spaceLeft = std::uint64_t{c.disk.detail} << 11; break;
    case 2: files.closeFails = true; break;
    case 3: files.failingMoves = {1 + c.disk.detail % 3}; break;
    case 4: files.readOnlyFolders = {kFolder}; break;
    case 5: files.lockedFiles = {output}; break;
    case 6:
      for (std::uint32_t n = 0; n <= c.disk.detail % 20u; ++n)
        files.Put(InFolder(platform::TaggedName(package::OutputName(c.name), ".part",
                                                files.nextSeed + n)),
                  {});
      break;
    default: break;
  }
}

void Check(const Case& c, const Bytes& templateBytes, const Bytes& image, const MemoryFiles& files,
           const std::vector<std::string>& namesBefore, const Bytes& earlier, bool built,
           int failures) {
  const std::string output = InFolder(package::OutputName(c.name));
  std::vector<std::string> names = files.Names(kFolder);
  if (!built) {
    if (failures != 1 || names != namesBefore) std::abort();
    if (c.disk.earlierOutput && files.Get(output) != earlier) std::abort();
    return;
  }
  if (failures != 0) std::abort();
  std::vector<std::string> expectedNames = namesBefore;
  expectedNames.push_back(package::OutputName(c.name));
  std::sort(expectedNames.begin(), expectedNames.end());
  expectedNames.erase(std::unique(expectedNames.begin(), expectedNames.end()), expectedNames.end());
  if (names != expectedNames) std::abort();
  const Bytes& out = files.Get(output);
  // A copy shorter than the template left out exactly the certificate table
  // its entry named at the end, and cleared the entry and the checksum.
  Bytes expected = templateBytes;
  if (out.size() > templateBytes.size()) std::abort();
  if (c.soundTableAt != 0 && out.size() != c.soundTableAt) std::abort();
  if (out.size() < templateBytes.size()) {
    if (!c.pe) std::abort();
    if (testsupport::Le32(templateBytes, PeImage::kSecurityEntryAt) != out.size() ||
        testsupport::Le32(templateBytes, PeImage::kSecurityEntryAt + 4) != templateBytes.size() - out.size())
      std::abort();
    expected.resize(out.size());
    std::fill_n(expected.begin() + PeImage::kSecurityEntryAt, 8, 0);
    std::fill_n(expected.begin() + PeImage::kChecksumAt, 4, 0);
  }
  const std::size_t k = package::FindKeyWord(templateBytes.data(), templateBytes.size(), KeyWord());
  if (k == std::string::npos) std::abort();
  const auto header = package::NewHeader({"M", "I", "R", "V", "N"}, c.name);
  if (!std::equal(header.begin(), header.end(), out.begin() + static_cast<std::ptrdiff_t>(k + 15))) std::abort();
  const std::size_t imageAt = k + package::kImageAreaOffset;
  if (!std::equal(image.begin(), image.end(), out.begin() + static_cast<std::ptrdiff_t>(imageAt))) std::abort();
  if (!std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(k + 15), expected.begin())) std::abort();
  // The rest is the template's but for the seal's values, which must hold.
  const std::size_t rest = imageAt + image.size();
  const auto marker = SealMarker();
  const auto seals = package::Occurrences(out.data(), out.size(), marker.data(), marker.size());
  if (seals.size() != 1) std::abort();
  const std::size_t sealValues = seals[0] + package::kSealCrcOffset;
  if (rest > expected.size()) std::abort();
  Bytes expectedRest(expected.begin() + static_cast<std::ptrdiff_t>(rest), expected.end());
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
  Case c = Decode(data, size);
  if (c.templateBytes.empty()) return 0;
  MemoryFiles files(c.disk.family);
  files.AddFolder(kFolder);
  const std::string imageName =
      c.name.empty() || c.name.find_first_of("\\/:") != std::string::npos ? "image" : c.name;
  // The disk takes the inputs over; the check sees them there, as the
  // builder left them (it only reads them).
  files.Put(InFolder(imageName), std::move(c.image));
  files.Put(InFolder("TEMPLATE.EXE"), std::move(c.templateBytes));
  const std::string output = InFolder(package::OutputName(c.name));
  if (c.disk.earlierOutput) files.Put(output, {'e', 'a', 'r', 'l', 'i', 'e', 'r'});
  Arrange(files, c, output);
  const std::vector<std::string> namesBefore = files.Names(kFolder);
  const Bytes earlierBytes = files.Get(output);

  package::BuildRequest request;
  request.imagePath = InFolder(imageName);
  request.binFileName = c.name;
  request.templatePath = InFolder("TEMPLATE.EXE");
  request.outputFolder = kFolder;
  request.model = {"M", "I", "R", "V", "N"};
  request.keyWord = KeyWord();
  request.sealMarker = SealMarker();
  CountingObserver observer;
  const bool built = package::BuildFlashProgram(request, observer, files);
  Check(c, files.Get(request.templatePath), files.Get(request.imagePath), files, namesBefore,
        earlierBytes, built, observer.failures);
  return 0;
}
