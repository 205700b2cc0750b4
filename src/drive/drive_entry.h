// One drive slot and the process's table of them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace drive {

inline constexpr std::size_t kListTextSize = 80;

struct DriveEntry {
  char DriveLetter = 'X';
  std::uint8_t Adapter = 0;
  std::uint8_t Target = 0;
  std::uint8_t LogicalUnit = 0;
  std::array<char, kListTextSize> ListText{};  // zero-terminated

  std::string Text() const;                  // ListText up to its zero
  void SetText(const std::string& text);     // cut to 79 characters
};

// Through ASPI only six addresses are ever tried: adapters 0 to 2, targets
// 0 and 1, the first six slots.
inline constexpr std::size_t kAspiSlots = 6;
// The NT family lists every matching CD-ROM drive, and a drive letter names
// each one, so the table has a slot for every letter: a seventh matching
// drive never runs past the table.
inline constexpr std::size_t kDriveSlots = 26;

// Slots 0 to 5 preset to the six ASPI addresses; the rest wait for NT
// discovery, which writes every slot's letter before it uses it.
using DriveTable = std::array<DriveEntry, kDriveSlots>;
DriveTable InitialDriveTable();

}  // namespace drive
