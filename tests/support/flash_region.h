// The package region of a flash program as the flash tests, the fuzzer and
// the benchmarks use it: the built-in profile table, the header's texts and a
// pseudo-random image whose format signature and revision the virtual drive
// understands.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_region.h"
#include "support/pattern.h"
#include "support/region.h"
#include "vdrive/vdrive.h"

namespace testsupport {

struct FlashPackageSpec {
  bool newFormat = true;  // 327,680 bytes with a profile, else 262,144
  std::string note = "None";
  std::string fwRange = "1.00-1.09";
  std::string newRevision = "1.10.";
  std::string inquiry = "QUARVEL QRW-20410C";
  // The last two chunks of the image hold 0xFF, as a real image's unused
  // end does: two equal chunks in a row.
  bool blankEnd = false;
};

// The built-in table: DA C8 with 314 bytes, then BF B4 with 452.
inline constexpr std::uint8_t kFlashProfileTable[8] = {0xDA, 0xC8, 0x01, 0x3A,
                                                       0xBF, 0xB4, 0x01, 0xC4};
inline constexpr std::size_t kFlashChunk = 16384;

inline std::vector<std::uint8_t> FlashRegion(const FlashPackageSpec& spec) {
  Region region;
  std::uint8_t* blocks = region.At(package::kProfileBlocksOffset);
  for (std::size_t i = 0; i < package::kProfileBlocksSize; ++i)
    blocks[i] = static_cast<std::uint8_t>(i * 13 + 5);
  std::memcpy(region.At(package::kProfileTableOffset), kFlashProfileTable, sizeof kFlashProfileTable);
  region.Put(0, "QUARVEL-0800555");
  const auto text = [&](std::ptrdiff_t offset, const std::string& value) {
    region.Put(offset, value.substr(0, package::kTextFieldSize - 1));
  };
  text(package::kModelOffset, "QRW-20410C");
  text(package::kInquiryOffset, spec.inquiry);
  text(package::kFwRangeOffset, spec.fwRange);
  text(package::kVendorOffset, "Quarvel-IT");
  text(package::kNoteOffset, spec.note);
  region.Put(package::kNewRevisionOffset, spec.newRevision.substr(0, package::kNewRevisionSize));

  std::uint8_t* image = region.At(package::kImageAreaOffset);
  FillPattern(image, package::kImageAreaSize, 0x51525730u);
  if (spec.blankEnd) {
    const std::size_t end = spec.newFormat ? package::kImageAreaSize : 0x40000;
    std::memset(image + end - 2 * kFlashChunk, 0xFF, 2 * kFlashChunk);
  }
  const std::size_t signature = spec.newFormat ? 0x1100 : 0x4000;
  image[0x4000] = 0x04;  // no old-format signature unless asked for
  image[signature] = 0x05;
  image[signature + 1] = 0x80;
  // The virtual drive reports these four bytes as its revision once the
  // image is burnt.
  std::memcpy(image + vdrive::kImageRevisionOffset, spec.newRevision.data(), 4);
  return region.Bytes();
}

}  // namespace testsupport
