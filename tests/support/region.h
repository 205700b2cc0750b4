// A package region of a test's own: zero-filled, its fields written by their
// offset from the key-word, as the program's own reader finds them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "package/package_region.h"

namespace testsupport {

class Region {
 public:
  Region() : bytes_(package::kRegionSize, 0) {}

  std::uint8_t* At(std::ptrdiff_t offsetFromK) {
    return bytes_.data() + package::kKeyWordInRegion + offsetFromK;
  }
  // Raw bytes at an offset from the key-word; no terminator added.
  Region& Put(std::ptrdiff_t offsetFromK, const std::string& raw) {
    std::memcpy(At(offsetFromK), raw.data(), raw.size());
    return *this;
  }
  Region& Put(std::ptrdiff_t offsetFromK, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), At(offsetFromK));
    return *this;
  }
  // A text field: the text, then zero bytes to the end of the field.
  Region& Text(std::ptrdiff_t offset, const std::string& text) {
    std::memset(At(offset), 0, package::kTextFieldSize);
    return Put(offset, text);
  }
  // One entry of the profile table: maker and device byte, then the
  // profile's length big-endian.
  Region& Profile(std::size_t entry, std::uint8_t maker, std::uint8_t device,
                  std::uint16_t length) {
    std::uint8_t* e = At(package::kProfileTableOffset) + entry * 4;
    e[0] = maker;
    e[1] = device;
    e[2] = static_cast<std::uint8_t>(length >> 8);
    e[3] = static_cast<std::uint8_t>(length);
    return *this;
  }

  const std::uint8_t* Blocks() const { return View().ProfileBlocks(); }
  package::PackageView View() const { return package::PackageView(bytes_.data()); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace testsupport
