// The package as it lies in the built programs' files: found by its key-word
// exactly once, every field at its offset from K, and the whole region equal
// to what the firmware generator produced; the seal record found by its
// marker exactly once, outside the region, empty in the template and the
// region's own in the flash program. The template and the flash program
// differ in nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "harness.h"
#include "package/package_region.h"
#include "package/signature_record.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace package;

// The key-word of this build: "T", the fictitious support line, a zero.
const std::string kKeyWord("T0800-555-0139\0", 15);
// The seal marker of this build.
const std::string kSealMarker("QRWSEAL1");

std::vector<std::size_t> FindAll(const Bytes& file, const std::string& pattern) {
  std::vector<std::size_t> found;
  auto at = file.begin();
  while ((at = std::search(at, file.end(), pattern.begin(), pattern.end())) != file.end()) {
    found.push_back(static_cast<std::size_t>(at - file.begin()));
    ++at;
  }
  return found;
}

std::string Field(const Bytes& file, std::size_t k, std::ptrdiff_t offset, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(&file[k + offset]), size);
}

// A text field: the text, its zero byte, zero filler to 25 bytes.
std::string TextField(const std::string& text) {
  return text + std::string(kTextFieldSize - text.size(), '\0');
}

struct Program {
  const char* exe;
  const char* region;  // the generator's raw region
  const char* sealed;  // the same followed by its seal record
};

class PackageInFile : public testing::TestWithParam<Program> {
 protected:
  void SetUp() override {
    file = e2e::ReadWholeFile(e2e::ProgramPath(GetParam().exe));
    expected = e2e::ReadWholeFile(e2e::FirmwarePath(GetParam().region));
    ASSERT_FALSE(file.empty()) << GetParam().exe;
    ASSERT_EQ(expected.size(), kRegionSize);
    const auto keys = FindAll(file, kKeyWord);
    ASSERT_EQ(keys.size(), 1u) << "the key-word must occur exactly once";
    k = keys[0];
    ASSERT_GE(k, kKeyWordInRegion);
    ASSERT_LE(k + kRegionSize - kKeyWordInRegion, file.size());
    const auto seals = FindAll(file, kSealMarker);
    ASSERT_EQ(seals.size(), 1u) << "the seal marker must occur exactly once";
    sealAt = seals[0];
    ASSERT_LE(sealAt + 16, file.size());
  }
  Bytes file;
  Bytes expected;
  std::size_t k = 0;
  std::size_t sealAt = 0;
};

TEST_P(PackageInFile, HeaderFieldsLieAtTheirOffsetsFromK) {
  EXPECT_EQ(Field(file, k, kModelOffset, 25), TextField("QRW-20410C"));
  EXPECT_EQ(Field(file, k, kInquiryOffset, 25), TextField("QUARVEL QRW-20410C      "));
  EXPECT_EQ(Field(file, k, kFwRangeOffset, 25), TextField("1.00-1.09"));
  EXPECT_EQ(Field(file, k, kVendorOffset, 25), TextField("Quarvel-IT"));
  EXPECT_EQ(Field(file, k, kNoteOffset, 25), TextField("None"));
  EXPECT_EQ(Field(file, k, kNewRevisionOffset, 5), "1.10.");
  EXPECT_EQ(Field(file, k, kReservedOffset, 3), std::string(3, '\0'));
}

TEST_P(PackageInFile, ProfileTableAndBlocksPrecedeTheKeyWord) {
  const Bytes table(file.begin() + k - 8, file.begin() + k);
  EXPECT_EQ(table, (Bytes{0xDA, 0xC8, 0x01, 0x3A, 0xBF, 0xB4, 0x01, 0xC4}));
  const std::size_t blocks = k - 774;
  EXPECT_TRUE(std::equal(file.begin() + blocks, file.begin() + blocks + 314, expected.begin()));
  EXPECT_TRUE(std::equal(file.begin() + blocks + 314, file.begin() + blocks + 766,
                         expected.begin() + 314));
}

TEST_P(PackageInFile, WholeRegionIsTheGeneratorsOutput) {
  const auto start = file.begin() + static_cast<std::ptrdiff_t>(k - kKeyWordInRegion);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), start));
}

// The records lie outside the region and hold what the generator wrote
// after it: an empty seal for the template, the region's for the program,
// and an empty signature record in both.
TEST_P(PackageInFile, SealRecordIsTheGeneratorsOutsideTheRegion) {
  const std::size_t regionStart = k - kKeyWordInRegion;
  EXPECT_TRUE(sealAt + 16 <= regionStart || sealAt >= regionStart + kRegionSize);
  const Bytes sealed = e2e::ReadWholeFile(e2e::FirmwarePath(GetParam().sealed));
  ASSERT_EQ(sealed.size(), kRegionSize + 16 + package::kSignatureRecordSize);
  EXPECT_EQ(Bytes(file.begin() + sealAt, file.begin() + sealAt + 16),
            Bytes(sealed.begin() + kRegionSize, sealed.begin() + kRegionSize + 16));
  const Bytes record(sealed.end() - package::kSignatureRecordSize, sealed.end());
  const auto recordAt = std::search(file.begin(), file.end(), record.begin(),
                                    record.begin() + package::kSignatureMarkerSize);
  ASSERT_NE(recordAt, file.end());
  EXPECT_EQ(Bytes(recordAt, recordAt + package::kSignatureRecordSize), record);
  const bool isTemplate = GetParam().exe[0] == 'Q';
  EXPECT_EQ(Bytes(file.begin() + sealAt + 8, file.begin() + sealAt + 16) == Bytes(8, 0),
            isTemplate);
}

INSTANTIATE_TEST_SUITE_P(Programs, PackageInFile,
                         testing::Values(Program{"QRWFLASH.EXE", "QRWFLASH.region", "QRWFLASH.sealed"},
                                         Program{"1.10.EXE", "1.10.region", "1.10.sealed"}),
                         [](const auto& info) {
                           return std::string(info.param.exe[0] == 'Q' ? "Template" : "Flash");
                         });

TEST(PackageImage, TemplateStartsWithTheMarkerAndTheFlashProgramCarriesTheImage) {
  const Bytes templ = e2e::ReadWholeFile(e2e::ProgramPath("QRWFLASH.EXE"));
  const Bytes flash = e2e::ReadWholeFile(e2e::ProgramPath("1.10.EXE"));
  const Bytes image = e2e::ReadWholeFile(e2e::FirmwarePath("1.10.BIN"));
  ASSERT_EQ(image.size(), kImageAreaSize);
  const auto kt = FindAll(templ, kKeyWord);
  const auto kf = FindAll(flash, kKeyWord);
  ASSERT_EQ(kt.size(), 1u);
  ASSERT_EQ(kf.size(), 1u);
  EXPECT_EQ(Field(templ, kt[0], kImageAreaOffset, 4), "VEKO");
  const std::size_t area = kf[0] + kImageAreaOffset;
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + area));
  // New format only: 05 80 at 0x1100, not at 0x4000; the revision the drive
  // reports once the image is burnt lies at 0x20.
  EXPECT_EQ(image[0x1100], 0x05);
  EXPECT_EQ(image[0x1101], 0x80);
  EXPECT_FALSE(image[0x4000] == 0x05 && image[0x4001] == 0x80);
  EXPECT_EQ(std::string(image.begin() + 0x20, image.begin() + 0x24), "1.10");
}

// The flash program is the template with another package: same size, the
// region at the same place, and no other byte different but the seal's
// values. Programs keep no PE checksum (0), so nothing in the header depends
// on the package.
TEST(PackageImage, FlashProgramDiffersFromTheTemplateOnlyInThePackage) {
  const Bytes templ = e2e::ReadWholeFile(e2e::ProgramPath("QRWFLASH.EXE"));
  const Bytes flash = e2e::ReadWholeFile(e2e::ProgramPath("1.10.EXE"));
  ASSERT_EQ(templ.size(), flash.size());
  const std::size_t k = FindAll(templ, kKeyWord).at(0);
  ASSERT_EQ(FindAll(flash, kKeyWord).at(0), k);
  std::uint32_t peHeader = 0;
  std::memcpy(&peHeader, &templ[0x3C], 4);
  const std::size_t checksum = peHeader + 4 + 20 + 64;
  for (const Bytes* program : {&templ, &flash}) {
    EXPECT_EQ(Bytes(program->begin() + checksum, program->begin() + checksum + 4), Bytes(4, 0));
  }
  const std::size_t regionStart = k - kKeyWordInRegion;
  const std::size_t regionEnd = regionStart + kRegionSize;
  const std::size_t sealValues = FindAll(templ, kSealMarker).at(0) + 8;
  ASSERT_EQ(FindAll(flash, kSealMarker).at(0) + 8, sealValues);
  std::vector<std::size_t> outside;
  for (std::size_t i = 0; i < templ.size(); ++i) {
    if (templ[i] == flash[i]) continue;
    if (i >= regionStart && i < regionEnd) continue;
    if (i >= sealValues && i < sealValues + 8) continue;
    outside.push_back(i);
  }
  EXPECT_TRUE(outside.empty()) << outside.size() << " bytes differ outside the package, first at "
                               << (outside.empty() ? 0 : outside[0]);
}

}  // namespace
