// One drive slot and the process's table of them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace drive {

inline constexpr std::size_t kListTextSize = 80;

// Fields in this order, no gaps: every drive command reads the address from
// the first four bytes.
struct DriveEntry {
  char DriveLetter = 'X';
  std::uint8_t Adapter = 0;
  std::uint8_t Target = 0;
  std::uint8_t LogicalUnit = 0;
  std::array<char, kListTextSize> ListText{};  // zero-terminated

  std::string Text() const;                  // ListText up to its zero
  void SetText(const std::string& text);     // cut to 79 characters
};
static_assert(sizeof(DriveEntry) == 84);

inline constexpr std::size_t kDriveSlots = 6;

// Six slots preset to the six ASPI addresses ever tried: adapters 0 to 2,
// targets 0 and 1.
using DriveTable = std::array<DriveEntry, kDriveSlots>;
DriveTable InitialDriveTable();

}  // namespace drive
