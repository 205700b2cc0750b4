// Values derived from the built-in package at start-up.
#pragma once

#include <cstdint>
#include <string>

#include "package/package_region.h"

namespace package {

struct PackageTexts {
  std::string VendorText;   // Vendor, "%s"
  std::string ModelText;    // Model, "%s"
  std::string InquiryText;  // Inquiry, "%-24.24s"
  std::string RangeText;    // FWRange, "%9.9s"
  std::string RangeLow;     // FWRange, "%4.4s"
  std::string RangeHigh;    // FWRange from its sixth character, "%4.4s"
  std::string NewRevision;  // NewRevision, "%4.4s"
};

PackageTexts FormPackageTexts(const PackageView& package);

// FWRange's first and sixth characters are both '-': every revision.
bool IsRangeWildcard(const PackageView& package);
// Inquiry's first two characters are both '-': every drive.
bool IsInquiryWildcard(const PackageView& package);
// Note's first nine bytes are "FLASH-ALL" (case-sensitive).
bool IsFlashAll(const PackageView& package);

// Builder mode: the image area begins with the template marker.
bool IsTemplate(const PackageView& package);

inline constexpr std::uint32_t kOldImageLength = 0x40000;  // 262,144
inline constexpr std::uint32_t kNewImageLength = 0x50000;  // 327,680

struct ImageFormat {
  bool signatureFound = false;  // CheckNewFormatBIN's result
  std::uint32_t ImageLength = kOldImageLength;
  bool NeedsFlashProfile = false;
};

// The old-format signature (05 80 at 0x4000) wins over the new one (05 80 at
// 0x1100); an image with neither is taken as old format.
ImageFormat CheckNewFormatBIN(const std::uint8_t* imageArea);

}  // namespace package
