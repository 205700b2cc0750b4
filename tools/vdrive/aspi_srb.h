// The ASPI for Win32 request blocks as the library reads them: the published
// layouts, as explicit little-endian offsets. Shared by the virtual drive's
// two ASPI fronts (in-process and WNASPI32.DLL), never by the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vdrive/bytes.h"
#include "vdrive/vdrive.h"

namespace vdrive::aspi {

// SRB_Cmd values.
inline constexpr std::uint8_t kHostAdapterInquiry = 0x00;  // SC_HA_INQUIRY
inline constexpr std::uint8_t kGetDeviceType = 0x01;       // SC_GET_DEV_TYPE
inline constexpr std::uint8_t kExecScsiCommand = 0x02;     // SC_EXEC_SCSI_CMD
inline constexpr std::uint8_t kAbortSrb = 0x03;            // SC_ABORT_SRB

// SRB_Status values.
inline constexpr std::uint8_t kPending = 0x00;         // SS_PENDING
inline constexpr std::uint8_t kComplete = 0x01;        // SS_COMP
inline constexpr std::uint8_t kAborted = 0x02;         // SS_ABORTED
inline constexpr std::uint8_t kAbortFailed = 0x03;     // SS_ABORT_FAIL
inline constexpr std::uint8_t kError = 0x04;           // SS_ERR
inline constexpr std::uint8_t kInvalidAdapter = 0x81;  // SS_INVALID_HA
inline constexpr std::uint8_t kNoDevice = 0x82;        // SS_NO_DEVICE
inline constexpr std::uint8_t kInvalidSrb = 0xE0;      // SS_INVALID_SRB
inline constexpr std::uint8_t kFailedInit = 0xE4;      // SS_FAILED_INIT

// SRB_HaStat when the target did not answer its selection.
inline constexpr std::uint8_t kHostSelectionTimeout = 0x11;  // HASTAT_SEL_TO

// The header every block starts with.
namespace header {
inline constexpr std::size_t kCmd = 0;
inline constexpr std::size_t kStatus = 1;
inline constexpr std::size_t kHaId = 2;
inline constexpr std::size_t kFlags = 3;
inline constexpr std::size_t kSize = 8;
}  // namespace header

// SRB_ExecSCSICmd, 80 bytes.
namespace exec {
inline constexpr std::size_t kTarget = 8;
inline constexpr std::size_t kLun = 9;
inline constexpr std::size_t kBufLen = 12;
inline constexpr std::size_t kBufPointer = 16;
inline constexpr std::size_t kSenseLen = 20;
inline constexpr std::size_t kCdbLen = 21;
inline constexpr std::size_t kHaStat = 22;
inline constexpr std::size_t kTargStat = 23;
inline constexpr std::size_t kPostProc = 24;
inline constexpr std::size_t kCdb = 48;
inline constexpr std::size_t kCdbCapacity = 16;
inline constexpr std::size_t kSenseArea = 64;
inline constexpr std::size_t kSenseCapacity = 16;  // SENSE_LEN + 2
inline constexpr std::size_t kSize = 80;
inline constexpr std::uint8_t kDirIn = 0x08;        // SRB_DIR_IN
inline constexpr std::uint8_t kDirOut = 0x10;       // SRB_DIR_OUT
inline constexpr std::uint8_t kEventNotify = 0x40;  // SRB_EVENT_NOTIFY
}  // namespace exec

// SRB_HAInquiry, 60 bytes.
namespace hainquiry {
inline constexpr std::size_t kCount = 8;
inline constexpr std::size_t kScsiId = 9;
inline constexpr std::size_t kManagerId = 10;
inline constexpr std::size_t kIdentifier = 26;
inline constexpr std::size_t kTextWidth = 16;
inline constexpr std::size_t kSize = 60;
}  // namespace hainquiry

// SRB_GDEVBlock, 12 bytes.
namespace devtype {
inline constexpr std::size_t kTarget = 8;
inline constexpr std::size_t kLun = 9;
inline constexpr std::size_t kDeviceType = 10;
inline constexpr std::uint8_t kCdRom = 0x05;
inline constexpr std::uint8_t kNoDevice = 0x1F;
inline constexpr std::size_t kSize = 12;
}  // namespace devtype

// SRB_Abort, 12 bytes.
namespace abort {
inline constexpr std::size_t kToAbort = 8;
inline constexpr std::size_t kSize = 12;
}  // namespace abort

// Size of a block by its SRB_Cmd; an unknown command has only the header.
std::size_t BlockSize(std::uint8_t command);

// Writes an executed command's outcome into its SRB_ExecSCSICmd as the
// library completes it: the data read into the caller's buffer, the host
// and target status, the sense data (at most SRB_SenseLen bytes, never past
// the block) and last SRB_Status, which is returned.
std::uint8_t CompleteExec(std::uint8_t* srb, const Answer& answer,
                          const std::vector<std::uint8_t>& dataIn, std::uint8_t* buffer);

}  // namespace vdrive::aspi
