#include "drive/inquiry.h"

#include <cstdio>

#include "drive/messages.h"

namespace drive {

namespace {

constexpr std::size_t kIdentificationOffset = 8;
constexpr std::size_t kRevisionOffset = 32;

const char* At(const std::uint8_t* inquiry, std::size_t offset) {
  return reinterpret_cast<const char*>(inquiry + offset);
}

// Wider than any line the formats can make (three 3-digit numbers, the
// letter and 28 characters), so nothing is ever cut.
using LineBuffer = char[128];

}  // namespace

std::string IdentificationText(const std::uint8_t* inquiry) {
  LineBuffer text;
  std::snprintf(text, sizeof text, "%24.24s", At(inquiry, kIdentificationOffset));
  return text;
}

std::string RevisionText(const std::uint8_t* inquiry) {
  LineBuffer text;
  std::snprintf(text, sizeof text, "%4.4s", At(inquiry, kRevisionOffset));
  return text;
}

std::string NtListText(const DriveEntry& entry, const std::uint8_t* inquiry) {
  return NtListText(entry, std::string(1, entry.DriveLetter), inquiry);
}

std::string NtListText(const DriveEntry& entry, const std::string& deviceName,
                       const std::uint8_t* inquiry) {
  LineBuffer address;
  std::snprintf(address, sizeof address, messages::kNtListAddressFormat, entry.Adapter,
                entry.Target, entry.LogicalUnit);
  LineBuffer identification;
  std::snprintf(identification, sizeof identification, messages::kNtListIdentificationFormat,
                At(inquiry, kIdentificationOffset));
  return address + deviceName + ": " + identification;
}

std::string AspiListText(const DriveEntry& entry, const std::uint8_t* inquiry) {
  LineBuffer text;
  std::snprintf(text, sizeof text, messages::kAspiListFormat, entry.Adapter,
                entry.Target, At(inquiry, kIdentificationOffset));
  return text;
}

}  // namespace drive
