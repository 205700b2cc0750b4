// A package region of a test's own, zero-filled, with its header fields and
// profile table written by name.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "package/package_region.h"

namespace testpkg {

class Package {
 public:
  Package() : bytes_(package::kRegionSize, 0) {
    Text(package::kModelOffset, "QRW-20410C");
    Text(package::kInquiryOffset, "QUARVEL QRW-20410C");
    Text(package::kFwRangeOffset, "1.00-1.20");
    Text(package::kVendorOffset, "Quarvel-IT");
    Text(package::kNoteOffset, "None");
    // The built-in table: DA C8 with 314 bytes, then BF B4 with 452.
    Profile(0, 0xDA, 0xC8, 314);
    Profile(1, 0xBF, 0xB4, 452);
    for (std::size_t i = 0; i < package::kProfileBlocksSize; ++i) {
      At(package::kProfileBlocksOffset)[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
  }

  // A text field: the text, then zero bytes to the end of the field.
  Package& Text(std::ptrdiff_t offset, const std::string& text) {
    std::memset(At(offset), 0, package::kTextFieldSize);
    std::memcpy(At(offset), text.data(), text.size());
    return *this;
  }
  Package& Profile(std::size_t entry, std::uint8_t maker, std::uint8_t device,
                   std::uint16_t length) {
    std::uint8_t* e = At(package::kProfileTableOffset) + entry * 4;
    e[0] = maker;
    e[1] = device;
    e[2] = static_cast<std::uint8_t>(length >> 8);
    e[3] = static_cast<std::uint8_t>(length);
    return *this;
  }

  const std::uint8_t* Blocks() const {
    return bytes_.data() + package::kKeyWordInRegion + package::kProfileBlocksOffset;
  }
  package::PackageView View() const { return package::PackageView(bytes_.data()); }

 private:
  std::uint8_t* At(std::ptrdiff_t offset) {
    return bytes_.data() + package::kKeyWordInRegion + offset;
  }
  std::vector<std::uint8_t> bytes_;
};

}  // namespace testpkg
