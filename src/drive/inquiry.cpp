#include "drive/inquiry.h"

#include "drive/messages.h"
#include "text/format.h"

namespace drive {

namespace {

constexpr std::size_t kIdentificationOffset = 8;
constexpr std::size_t kRevisionOffset = 32;

const char* At(const std::uint8_t* inquiry, std::size_t offset) {
  return reinterpret_cast<const char*>(inquiry + offset);
}

}  // namespace

std::string IdentificationText(const std::uint8_t* inquiry) {
  return text::Format("%24.24s", At(inquiry, kIdentificationOffset));
}

std::string RevisionText(const std::uint8_t* inquiry) {
  return text::Format("%4.4s", At(inquiry, kRevisionOffset));
}

std::string NtListText(const DriveEntry& entry, const std::uint8_t* inquiry) {
  return NtListText(entry, std::string(1, entry.DriveLetter), inquiry);
}

std::string NtListText(const DriveEntry& entry, const std::string& deviceName,
                       const std::uint8_t* inquiry) {
  return text::Format(messages::kNtListAddressFormat, entry.Adapter, entry.Target,
                      entry.LogicalUnit) +
         deviceName + ": " +
         text::Format(messages::kNtListIdentificationFormat, At(inquiry, kIdentificationOffset));
}

std::string AspiListText(const DriveEntry& entry, const std::uint8_t* inquiry) {
  return text::Format(messages::kAspiListFormat, entry.Adapter, entry.Target,
                      At(inquiry, kIdentificationOffset));
}

}  // namespace drive
