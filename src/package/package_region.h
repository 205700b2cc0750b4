// The firmware package built into every copy of the program, as it lies in
// the executable's initialised data and, byte for byte, in its file. Offsets
// are counted from K, the first byte of the key-word.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace package {

inline constexpr std::size_t kProfileBlocksSize = 766;
inline constexpr std::size_t kProfileTableSize = 8;   // 2 entries of 4 bytes
inline constexpr std::size_t kProfileEntries = 2;
inline constexpr std::size_t kKeyWordSize = 15;
inline constexpr std::size_t kTextFieldSize = 25;     // 24 characters + zero
inline constexpr std::size_t kNewRevisionSize = 5;
inline constexpr std::size_t kHeaderSize = 148;
inline constexpr std::size_t kImageAreaSize = 0x50000;  // 327,680
inline constexpr std::size_t kRewrittenHeaderSize = 133;  // K+15 .. K+147

// Offsets from K.
inline constexpr std::ptrdiff_t kProfileBlocksOffset = -774;
inline constexpr std::ptrdiff_t kProfileTableOffset = -8;
inline constexpr std::ptrdiff_t kModelOffset = 15;
inline constexpr std::ptrdiff_t kInquiryOffset = 40;
inline constexpr std::ptrdiff_t kFwRangeOffset = 65;
inline constexpr std::ptrdiff_t kVendorOffset = 90;
inline constexpr std::ptrdiff_t kNoteOffset = 115;
inline constexpr std::ptrdiff_t kNewRevisionOffset = 140;
inline constexpr std::ptrdiff_t kReservedOffset = 145;
inline constexpr std::ptrdiff_t kImageAreaOffset = 148;

// The whole region: profile blocks, table, header, image area.
inline constexpr std::size_t kRegionSize =
    kProfileBlocksSize + kProfileTableSize + kHeaderSize + kImageAreaSize;
static_assert(kRegionSize == 328602);
// Where K lies inside the region.
inline constexpr std::size_t kKeyWordInRegion =
    kProfileBlocksSize + kProfileTableSize;

// A file of size bytes holds the whole region around the key-word it holds
// at k.
constexpr bool RegionFits(std::size_t size, std::size_t k) {
  return k >= kKeyWordInRegion && size - k >= kHeaderSize + kImageAreaSize;
}

using KeyWordBytes = std::array<std::uint8_t, kKeyWordSize>;

// The marker at the start of an empty template's image area, held apart from
// the package so that the mode test does not compare the area with itself.
inline constexpr char kTemplateMarker[4] = {'V', 'E', 'K', 'O'};

// Read-only view of a package region (kRegionSize bytes) and, where the
// program has them, its seal record (package/seal.h) and its signature
// record (package/signature_record.h), which lie apart from the region.
class PackageView {
 public:
  explicit PackageView(const std::uint8_t* region, const std::uint8_t* seal = nullptr,
                       const std::uint8_t* signature = nullptr)
      : region_(region), seal_(seal), signature_(signature) {}

  const std::uint8_t* Region() const { return region_; }
  // The seal record, or nullptr for a region that comes without one.
  const std::uint8_t* Seal() const { return seal_; }
  // The signature record, or nullptr for a program from before signatures.
  const std::uint8_t* Signature() const { return signature_; }
  const std::uint8_t* At(std::ptrdiff_t offsetFromK) const {
    return region_ + kKeyWordInRegion + offsetFromK;
  }
  const std::uint8_t* KeyWord() const { return At(0); }
  const std::uint8_t* ImageArea() const { return At(kImageAreaOffset); }
  const std::uint8_t* ProfileTable() const { return At(kProfileTableOffset); }
  const std::uint8_t* ProfileBlocks() const { return At(kProfileBlocksOffset); }

  // A text field read up to its zero byte, at most 24 characters.
  std::string Model() const { return Text(kModelOffset); }
  std::string Inquiry() const { return Text(kInquiryOffset); }
  std::string FwRange() const { return Text(kFwRangeOffset); }
  std::string Vendor() const { return Text(kVendorOffset); }
  std::string Note() const { return Text(kNoteOffset); }
  // NewRevision: up to 5 characters, ending early at a zero byte.
  std::string NewRevision() const { return Text(kNewRevisionOffset, kNewRevisionSize); }

 private:
  std::string Text(std::ptrdiff_t offset, std::size_t max = kTextFieldSize - 1) const {
    const char* p = reinterpret_cast<const char*>(At(offset));
    std::size_t n = 0;
    while (n < max && p[n] != '\0') ++n;
    return std::string(p, n);
  }
  const std::uint8_t* region_;
  const std::uint8_t* seal_;
  const std::uint8_t* signature_;
};

}  // namespace package
