// The request records the transports hand to the platform, as explicit
// offsets: the 32-bit SCSI_PASS_THROUGH / SCSI_PASS_THROUGH_DIRECT record
// with its sense area, and the ASPI SRB_ExecSCSICmd and SRB_Abort blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace scsi {

namespace nt_record {
inline constexpr std::size_t kRecordLength = 44;
inline constexpr std::size_t kBufferedSize = 592;
inline constexpr std::size_t kDirectSize = 80;

inline constexpr std::size_t kLength = 0;  // 2 bytes
inline constexpr std::size_t kScsiStatus = 2;
inline constexpr std::size_t kPathId = 3;
inline constexpr std::size_t kTargetId = 4;
inline constexpr std::size_t kLun = 5;
inline constexpr std::size_t kCdbLength = 6;
inline constexpr std::size_t kSenseInfoLength = 7;
inline constexpr std::size_t kDataIn = 8;
inline constexpr std::size_t kDataTransferLength = 12;  // 4 bytes
inline constexpr std::size_t kTimeOutValue = 16;        // 4 bytes
inline constexpr std::size_t kDataBuffer = 20;          // offset (buffered) or address (direct)
inline constexpr std::size_t kSenseInfoOffset = 24;     // 4 bytes
inline constexpr std::size_t kCdb = 28;                 // 16 bytes
inline constexpr std::size_t kCdbCapacity = 16;
inline constexpr std::size_t kSenseArea = 48;
inline constexpr std::size_t kDataArea = 80;  // buffered form only

// Sense bytes as they land in the sense area.
inline constexpr std::size_t kSenseByte2 = kSenseArea + 2;  // 50
inline constexpr std::size_t kSenseAsc = kSenseArea + 12;   // 60
inline constexpr std::size_t kSenseAscq = kSenseArea + 13;  // 61

inline constexpr std::uint8_t kSenseRequested = 24;
inline constexpr std::uint8_t kDataFromDrive = 1;  // also for commands without data
inline constexpr std::uint8_t kDataToDrive = 0;

inline constexpr std::uint32_t kBufferedInLength = 44;
inline constexpr std::uint32_t kBufferedOutLength = 80;
inline constexpr std::uint32_t kDirectInLength = 80;
inline constexpr std::uint32_t kDirectOutLength = 80;
inline constexpr std::uint32_t kProbeOutLength = 130;
}  // namespace nt_record

namespace aspi_srb {
inline constexpr std::size_t kExecSize = 80;
inline constexpr std::size_t kAbortSize = 12;

inline constexpr std::size_t kCmd = 0;
inline constexpr std::size_t kStatus = 1;
inline constexpr std::size_t kHaId = 2;
inline constexpr std::size_t kFlags = 3;
inline constexpr std::size_t kTarget = 8;
inline constexpr std::size_t kLun = 9;
inline constexpr std::size_t kBufLen = 12;      // 4 bytes
inline constexpr std::size_t kBufPointer = 16;  // 4 bytes
inline constexpr std::size_t kSenseLen = 20;
inline constexpr std::size_t kCdbLen = 21;
inline constexpr std::size_t kPostProc = 24;  // 4 bytes
inline constexpr std::size_t kCdb = 48;       // 16 bytes
inline constexpr std::size_t kCdbCapacity = 16;
inline constexpr std::size_t kSenseArea = 64;
inline constexpr std::size_t kToAbort = 8;  // SRB_Abort: the block to end

inline constexpr std::size_t kSenseByte2 = kSenseArea + 2;  // 66
inline constexpr std::size_t kSenseAsc = kSenseArea + 12;   // 76
inline constexpr std::size_t kSenseAscq = kSenseArea + 13;  // 77

inline constexpr std::uint8_t kExecScsiCommand = 0x02;  // SC_EXEC_SCSI_CMD
inline constexpr std::uint8_t kAbortRequest = 0x03;     // SC_ABORT_SRB
inline constexpr std::uint8_t kDirIn = 0x08;            // SRB_DIR_IN
inline constexpr std::uint8_t kDirOut = 0x10;           // SRB_DIR_OUT
inline constexpr std::uint8_t kEventNotify = 0x40;      // SRB_EVENT_NOTIFY
inline constexpr std::uint8_t kSenseLength = 14;
inline constexpr std::uint8_t kStatusPending = 0x00;  // SS_PENDING
}  // namespace aspi_srb

}  // namespace scsi
