// The synthetic package this build ships, as the firmware generator wrote
// it: the two regions and the raw image.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "package/package_region.h"
#include "package/package_texts.h"

namespace package {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadGenerated(const std::string& name) {
  std::ifstream file(std::string(QRW_FIRMWARE_DIR) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

class GeneratedPackage : public testing::Test {
 protected:
  Bytes templ = ReadGenerated("QRWFLASH.region");
  Bytes flash = ReadGenerated("1.10.region");
  Bytes image = ReadGenerated("1.10.BIN");
};

// The flash program's region carries the generated image, byte for byte, in
// its image area.
TEST_F(GeneratedPackage, FlashRegionHoldsTheImageInItsImageArea) {
  ASSERT_EQ(flash.size(), kRegionSize);
  ASSERT_EQ(image.size(), kImageAreaSize);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + kKeyWordInRegion + kImageAreaOffset));
}

TEST_F(GeneratedPackage, KeyWordIsTAndThirteenDigitsOrHyphensAndOccursOnce) {
  ASSERT_EQ(flash.size(), kRegionSize);
  const PackageView view(flash.data());
  const std::string keyWord(reinterpret_cast<const char*>(view.KeyWord()), kKeyWordSize);
  EXPECT_EQ(keyWord[0], 'T');
  EXPECT_EQ(keyWord[14], '\0');
  EXPECT_TRUE(std::all_of(keyWord.begin() + 1, keyWord.begin() + 14,
                          [](char c) { return (c >= '0' && c <= '9') || c == '-'; }))
      << keyWord;
  for (const Bytes* region : {&templ, &flash}) {
    const auto first = std::search(region->begin(), region->end(), keyWord.begin(), keyWord.end());
    ASSERT_NE(first, region->end());
    EXPECT_EQ(static_cast<std::size_t>(first - region->begin()), kKeyWordInRegion);
    EXPECT_EQ(std::search(first + 1, region->end(), keyWord.begin(), keyWord.end()),
              region->end());
  }
}

// Each region followed by its seal record: the marker once, right after the
// region; eight zero bytes in the template, zlib's CRC-32 of the region and
// its complement, little-endian, in the flash program.
TEST_F(GeneratedPackage, SealRecordsAreEmptyForTheTemplateAndTheRegionsForTheFlashProgram) {
  const Bytes sealedTemplate = ReadGenerated("QRWFLASH.sealed");
  const Bytes sealedFlash = ReadGenerated("1.10.sealed");
  ASSERT_EQ(sealedTemplate.size(), kRegionSize + 16 + 112);
  ASSERT_EQ(sealedFlash.size(), kRegionSize + 16 + 112);
  const std::string marker = "QRWSEAL1";
  const std::string signatureMarker = "QRWSIGN1";
  for (const Bytes* file : {&sealedTemplate, &sealedFlash}) {
    const auto first = std::search(file->begin(), file->end(), marker.begin(), marker.end());
    ASSERT_NE(first, file->end());
    EXPECT_EQ(static_cast<std::size_t>(first - file->begin()), kRegionSize);
    EXPECT_EQ(std::search(first + 1, file->end(), marker.begin(), marker.end()), file->end());
    // The empty signature record follows the seal record.
    const auto signature =
        std::search(file->begin(), file->end(), signatureMarker.begin(), signatureMarker.end());
    EXPECT_EQ(static_cast<std::size_t>(signature - file->begin()), kRegionSize + 16);
    EXPECT_EQ(Bytes(file->end() - 104, file->end()), Bytes(104, 0));
  }
  EXPECT_TRUE(std::equal(templ.begin(), templ.end(), sealedTemplate.begin()));
  EXPECT_EQ(Bytes(sealedTemplate.begin() + kRegionSize + 8, sealedTemplate.begin() + kRegionSize + 16),
            Bytes(8, 0));
  EXPECT_TRUE(std::equal(flash.begin(), flash.end(), sealedFlash.begin()));
  const auto crc = static_cast<std::uint32_t>(::crc32(0, flash.data(), static_cast<uInt>(flash.size())));
  Bytes values;
  for (std::uint32_t v : {crc, ~crc})
    for (int i = 0; i < 4; ++i) values.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  EXPECT_EQ(Bytes(sealedFlash.begin() + kRegionSize + 8, sealedFlash.begin() + kRegionSize + 16), values);
}

TEST_F(GeneratedPackage, FlashRegionIsANewFormatImageWithItsProfiles) {
  ASSERT_EQ(flash.size(), kRegionSize);
  const PackageView view(flash.data());
  EXPECT_FALSE(IsTemplate(view));
  const ImageFormat format = CheckNewFormatBIN(view.ImageArea());
  EXPECT_TRUE(format.signatureFound);
  EXPECT_EQ(format.ImageLength, kNewImageLength);
  EXPECT_TRUE(format.NeedsFlashProfile);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), view.ImageArea()));
  const Bytes table(view.ProfileTable(), view.ProfileTable() + kProfileTableSize);
  EXPECT_EQ(table, (Bytes{0xDA, 0xC8, 0x01, 0x3A, 0xBF, 0xB4, 0x01, 0xC4}));
  const PackageTexts texts = FormPackageTexts(view);
  EXPECT_EQ(texts.ModelText, "QRW-20410C");
  EXPECT_EQ(texts.InquiryText, "QUARVEL QRW-20410C      ");
  EXPECT_EQ(texts.VendorText, "Quarvel-IT");
  EXPECT_EQ(texts.RangeLow, "1.00");
  EXPECT_EQ(texts.RangeHigh, "1.09");
  EXPECT_EQ(texts.NewRevision, "1.10");
  EXPECT_EQ(view.NewRevision(), "1.10.");
  EXPECT_EQ(view.Note(), "None");
  EXPECT_FALSE(IsRangeWildcard(view));
  EXPECT_FALSE(IsInquiryWildcard(view));
  EXPECT_FALSE(IsFlashAll(view));
}

TEST_F(GeneratedPackage, TemplateIsTheSamePackageWithTheMarkerForAnImage) {
  ASSERT_EQ(templ.size(), kRegionSize);
  ASSERT_EQ(flash.size(), kRegionSize);
  EXPECT_TRUE(IsTemplate(PackageView(templ.data())));
  const std::size_t imageStart = kKeyWordInRegion + kImageAreaOffset;
  EXPECT_TRUE(std::equal(templ.begin(), templ.begin() + imageStart, flash.begin()));
  EXPECT_TRUE(std::all_of(templ.begin() + imageStart + 4, templ.end(),
                          [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace package
