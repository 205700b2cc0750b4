#include "drive/drive_entry.h"

#include <algorithm>
#include <cstring>

namespace drive {

std::string DriveEntry::Text() const {
  const auto end = std::find(ListText.begin(), ListText.end(), '\0');
  return std::string(ListText.begin(), end);
}

void DriveEntry::SetText(const std::string& text) {
  ListText.fill('\0');
  std::memcpy(ListText.data(), text.data(), std::min(text.size(), kListTextSize - 1));
}

DriveTable InitialDriveTable() {
  DriveTable table;
  for (std::size_t slot = 0; slot < kAspiSlots; ++slot) {
    table[slot].Adapter = static_cast<std::uint8_t>(slot / 2);
    table[slot].Target = static_cast<std::uint8_t>(slot % 2);
  }
  return table;
}

}  // namespace drive
