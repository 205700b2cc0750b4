#include "package/seal.h"

#include <algorithm>

#include "package/crc32.h"
#include "package/little_endian.h"
#include "text/format.h"

namespace package {

std::uint32_t RegionCrc(const PackageView& package) {
  return Crc32(package.Region(), kRegionSize);
}

SealCheck CheckSeal(const PackageView& package) {
  SealCheck check;
  check.computed = RegionCrc(package);
  const std::uint8_t* record = package.Seal();
  if (record == nullptr) return check;
  const std::uint8_t* values = record + kSealCrcOffset;
  check.stored = GetLe32(record + kSealCrcOffset);
  const std::uint32_t complement = GetLe32(record + kSealComplementOffset);
  if (std::all_of(values, record + kSealSize, [](std::uint8_t b) { return b == 0; }))
    check.state = SealState::Empty;
  else if (check.stored == check.computed && complement == ~check.stored)
    check.state = SealState::Intact;
  else
    check.state = SealState::Broken;
  return check;
}

void WriteSeal(std::uint8_t* sealRecord, const PackageView& region) {
  const std::uint32_t crc = RegionCrc(region);
  PutLe32(sealRecord + kSealCrcOffset, crc);
  PutLe32(sealRecord + kSealComplementOffset, ~crc);
}

SealMarker MarkerOf(const std::uint8_t* sealRecord) {
  SealMarker marker;
  std::copy_n(sealRecord, marker.size(), marker.begin());
  return marker;
}

std::string Hex32(std::uint32_t value) { return text::Format("%08X", value); }

std::string DamagedProgramText(const SealCheck& check) {
  return "This flash program is damaged: its firmware package does not match its seal "
         "(CRC-32 sealed " +
         Hex32(check.stored) + ", found " + Hex32(check.computed) +
         ").\n\nNo drive has been touched. Please get a fresh copy of this flash program.";
}

}  // namespace package
