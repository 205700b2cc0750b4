// The texts taken from standard INQUIRY data: vendor identification at
// bytes 8 to 15, product identification at 16 to 31, product revision level
// at 32 to 35. Each text ends at a zero byte and is right-aligned in its
// width when shorter, as printf's "%N.Ns" reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "drive/drive_entry.h"

namespace drive {

// The data areas the two transports ask for; both hold the 36 bytes read.
inline constexpr std::size_t kNtInquiryLength = 128;
inline constexpr std::size_t kAspiInquiryLength = 36;

// "%24.24s" of bytes 8 to 31.
std::string IdentificationText(const std::uint8_t* inquiry);
// "%4.4s" of bytes 32 to 35.
std::string RevisionText(const std::uint8_t* inquiry);

// "%d-%d-%d %C: %28.28s": the entry's address and letter, then bytes 8 to 35.
std::string NtListText(const DriveEntry& entry, const std::uint8_t* inquiry);
// The same line with deviceName (a Linux device node, say) in place of the
// letter: "%d-%d-%d <name>: %28.28s".
std::string NtListText(const DriveEntry& entry, const std::string& deviceName,
                       const std::uint8_t* inquiry);
// "HA#%d - ID#%d :  %28.28s": adapter and target, then bytes 8 to 35.
std::string AspiListText(const DriveEntry& entry, const std::uint8_t* inquiry);

}  // namespace drive
