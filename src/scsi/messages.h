// Texts the drive-access layer shows.
#pragma once

namespace scsi::messages {

inline constexpr const char* kErrorOpening = "Error opening: ";
inline constexpr const char* kProbeFailed = "Error reading inquiry data information; error was %d";
inline constexpr const char* kReport = "> Status: %02X, SenseCode: %02X %02X %02X";
// Added to a report line when the request never reached the drive.
inline constexpr const char* kSystemError = " (system error %u)";
// Added when the SCSI generic driver gave up on the request.
inline constexpr const char* kHostDriverStatus = " (host status %02X, driver status %02X)";

}  // namespace scsi::messages
