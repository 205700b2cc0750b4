// Every text the flash procedure shows: status captions, their failure
// suffixes and the procedure's own messages. Written once, used by name.
#pragma once

namespace flash {

// Status captions (GroupBox2). Each step caption ends in a blank so that a
// failure suffix follows it.
inline constexpr const char* kCaptionWriteProfile = "Write Flash profile to drive... ";
inline constexpr const char* kCaptionWriteBin = "Write BIN to drive's DRAM... ";
inline constexpr const char* kCaptionEntryCritical = "Drive entry critical... ";
inline constexpr const char* kCaptionVerifyProfile = "Verify Flash profile from drive... ";
inline constexpr const char* kCaptionReadBackNt = "Read back & verify DRAM from drive... ";
inline constexpr const char* kCaptionReadBack9x = "Read back and Verify drive's DRAM... ";
inline constexpr const char* kCaptionFlashing =
    "Don't turn off the system, Flash is in progress...";
inline constexpr const char* kCaptionCompleted = "Flash Completed.";
inline constexpr const char* kCaptionFlashFail = "Flash Fail.";

// Failure suffixes appended to the step caption.
inline constexpr const char* kSuffixFail = ", Fail!";
inline constexpr const char* kSuffixFailBlank = ", Fail! ";
inline constexpr const char* kSuffixProfileFail = ", Valid Profile Fail!";
inline constexpr const char* kSuffixReadFail = ", Read Fail!";
inline constexpr const char* kSuffixReadFailBlank = ", Read Fail! ";
inline constexpr const char* kSuffixVerifyNt = "Verify Fail!";
inline constexpr const char* kSuffixVerify9x = ", Verify Fail! ";

// Plain message box after a read-back that differs from the image.
inline constexpr const char* kMessageVerifyFail = "Verify fail!";

// Revision check.
inline constexpr const char* kRefusalHead = "\nWARNING:";
inline constexpr const char* kRefusalDrive = "\n\nYour drive FW:";
inline constexpr const char* kRefusalTail = " is aready the most updated ?";
inline constexpr const char* kConfirmHead = "\nUpdate FW:";
inline constexpr const char* kConfirmTo = " to FW:";
inline constexpr const char* kConfirmTail = " ?\n";

// Restart offers and the NT privilege errors.
inline constexpr const char* kRestartOfferNt =
    "\nYou have successfully completed installation!\n The new changes will "
    "not take effect until\n you reboot your system.\n\n Do you want to "
    "reboot your system now?\n";
inline constexpr const char* kRestartOffer9x =
    "The system needs to be restarted for the changes to take "
    "effect(inquiry stream) ?";
inline constexpr const char* kExitError = "Exit Error";
inline constexpr const char* kTitleOpenToken = "OpenProcessToken() failed";
inline constexpr const char* kTitleLookupPrivilege = "LookupPrivilegeValue() failed";
inline constexpr const char* kTitleAdjustPrivileges = "AdjustTokenPrivileges() failed";

}  // namespace flash
