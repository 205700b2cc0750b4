// Every text the drive commands show or write, in one place.
#pragma once

namespace drive::messages {

// List lines of the drive list. The NT line is "%d-%d-%d %C: %28.28s", its
// one character the drive letter; it is made in two parts around the
// device's name, so that a Linux device node can stand in place of the
// letter.
inline constexpr const char* kNtListAddressFormat = "%d-%d-%d ";
inline constexpr const char* kNtListIdentificationFormat = "%28.28s";
inline constexpr const char* kAspiListFormat = "HA#%d - ID#%d :  %28.28s";

// The failure report of a command and the failed opening at the start of a
// flash.
inline constexpr const char* kReport = "> Status: %02X, SenseCode: %02X %02X %02X";
// Added to a report line when the request never reached the drive.
inline constexpr const char* kSystemError = " (system error %u)";
// Added when the SCSI generic driver gave up on the request.
inline constexpr const char* kHostDriverStatus = " (host status %02X, driver status %02X)";
inline constexpr const char* kErrorOpening = "Error opening: ";
inline constexpr const char* kProbeFailed = "Error reading inquiry data information; error was %d";

// Step labels of the command failure report.
inline constexpr const char* kInquiry = "Inquiry";
inline constexpr const char* kWriteE2 = "Write E2";
inline constexpr const char* kWriteBuffer = "Write Buffer";
inline constexpr const char* kReadBuffer = "Read Buffer";
inline constexpr const char* kReadFlashId = "Read Flash ID";
inline constexpr const char* kWriteFlashProfile = "Write Flash Profile";
inline constexpr const char* kReadFlashProfile = "Read Flash Profile";
inline constexpr const char* kEntryCritical = "Entry critical";

// The 9x profile read-back report: three blanks and no comma after the
// status.
inline constexpr const char* kW9xReadFlashProfileFormat =
    "Read Flash Profile> Status: %02X   SenseCode: %02X %02X %02X";
// The ready check's report, without a label.
inline constexpr const char* kReadyCheckFormat =
    "Status: %02X, SenseCode: %02X %02X %02X";
// XCmd: an ASPI status that is neither complete nor error.
inline constexpr const char* kCommandErrorFormat = "Command Error: %02X";

// A disc is in the drive. Each member has its own wording for a drive that
// reports ready, and shows the other member's wording for a drive that
// answers with empty sense.
inline constexpr const char* kNtRemoveDiscReady =
    "Remove disc, before to do the flash task.";
inline constexpr const char* kW9xRemoveDiscReady =
    "Remove disc, befor to do the flash task.";
inline constexpr const char* kNtRemoveDiscEmptySense = kW9xRemoveDiscReady;
inline constexpr const char* kW9xRemoveDiscEmptySense = kNtRemoveDiscReady;

inline constexpr const char* kProfileMismatch = "Profile mismatch!";

// A package whose profile table promises more than the profile buffers
// hold, or more than its profile blocks carry, is refused before anything
// goes to the drive.
inline constexpr const char* kProfileTooLongFormat =
    "Flash profile %02X %02X is too long: a record of %u bytes does not fit "
    "the %u-byte profile buffer.";
inline constexpr const char* kProfileOutsideBlocksFormat =
    "Flash profile %02X %02X lies outside the package's profile blocks.";

}  // namespace drive::messages
