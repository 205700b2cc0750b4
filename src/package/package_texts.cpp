#include "package/package_texts.h"

#include <cstring>

namespace package {

namespace {

// printf-style "%<width>.<width>s" (right-aligned) or "%-<w>.<w>s".
std::string Fixed(const std::string& text, std::size_t width, bool leftAlign) {
  std::string cut = text.substr(0, width);
  std::string pad(width - cut.size(), ' ');
  return leftAlign ? cut + pad : pad + cut;
}

}  // namespace

PackageTexts FormPackageTexts(const PackageView& package) {
  const std::string range = package.FwRange();
  PackageTexts t;
  t.VendorText = package.Vendor();
  t.ModelText = package.Model();
  t.InquiryText = Fixed(package.Inquiry(), 24, true);
  t.RangeText = Fixed(range, 9, false);
  t.RangeLow = Fixed(range, 4, false);
  t.RangeHigh = Fixed(range.size() > 5 ? range.substr(5) : std::string(), 4, false);
  t.NewRevision = Fixed(package.NewRevision(), 4, false);
  return t;
}

// Read from the text, not the raw field: the bytes after the zero byte carry
// no meaning, so "-" followed by a zero never makes a wildcard by chance.
bool IsRangeWildcard(const PackageView& package) {
  const std::string range = package.FwRange();
  return range.size() > 5 && range[0] == '-' && range[5] == '-';
}

bool IsInquiryWildcard(const PackageView& package) {
  const std::uint8_t* inquiry = package.At(kInquiryOffset);
  return inquiry[0] == '-' && inquiry[1] == '-';
}

bool IsFlashAll(const PackageView& package) {
  return std::memcmp(package.At(kNoteOffset), "FLASH-ALL", 9) == 0;
}

bool IsTemplate(const PackageView& package) {
  return std::memcmp(package.ImageArea(), kTemplateMarker, 4) == 0;
}

ImageFormat CheckNewFormatBIN(const std::uint8_t* imageArea) {
  ImageFormat format;
  if (imageArea[0x4000] == 0x05 && imageArea[0x4001] == 0x80) {
    format.signatureFound = true;
  } else if (imageArea[0x1100] == 0x05 && imageArea[0x1101] == 0x80) {
    format.signatureFound = true;
    format.ImageLength = kNewImageLength;
    format.NeedsFlashProfile = true;
  }
  return format;
}

}  // namespace package
