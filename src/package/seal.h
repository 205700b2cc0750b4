// The package seal: a 16-byte record in the program's initialised data,
// outside the package region, that says which region the program was built
// with. A program damaged on its way to the user (a bad download, a tired
// floppy) would otherwise download and verify its own wrong image against
// itself and burn it.
//
//   0..7    the marker, eight ASCII bytes; it occurs once in a program file
//   8..11   CRC-32 of the whole region (package/crc32.h), little-endian
//   12..15  its bitwise complement, little-endian
//
// An empty seal (bytes 8..15 zero) seals nothing: the template carries one,
// and so does a program made by a tool that writes only the region.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "package/package_region.h"

namespace package {

inline constexpr std::size_t kSealMarkerSize = 8;
inline constexpr std::size_t kSealCrcOffset = 8;
inline constexpr std::size_t kSealComplementOffset = 12;
inline constexpr std::size_t kSealSize = 16;

using SealMarker = std::array<std::uint8_t, kSealMarkerSize>;

// A seal record at 'at' shares no byte with the region that starts at
// regionStart: the seal covers every byte of the region.
constexpr bool SealOutsideRegion(std::size_t at, std::size_t regionStart) {
  return at + kSealSize <= regionStart || at >= regionStart + kRegionSize;
}

enum class SealState { Empty, Intact, Broken };

struct SealCheck {
  SealState state = SealState::Empty;
  std::uint32_t stored = 0;    // the CRC-32 the record holds
  std::uint32_t computed = 0;  // the CRC-32 of the region as it is now
  bool operator==(const SealCheck&) const = default;
};

// The CRC-32 of the whole region.
std::uint32_t RegionCrc(const PackageView& package);

// Judges the package's seal record against its region: empty, intact (CRC
// and complement both agree) or broken (anything else). A view without a
// seal record is judged empty.
SealCheck CheckSeal(const PackageView& package);

// Seals a region: writes its CRC-32 and the complement into the seal record
// at sealRecord, whose marker is already in place.
void WriteSeal(std::uint8_t* sealRecord, const PackageView& region);

// The marker at the start of a seal record.
SealMarker MarkerOf(const std::uint8_t* sealRecord);

// What the user is told when a flash program's seal is broken.
std::string DamagedProgramText(const SealCheck& check);

// Eight upper-case hex digits.
std::string Hex32(std::uint32_t value);

}  // namespace package
