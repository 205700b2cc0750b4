// The drive commands' CDBs and how each transport carries them. CDB fields
// wider than a byte are most significant byte first.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "drive/drive_entry.h"
#include "scsi/request.h"

namespace drive {

using Cdb = std::array<std::uint8_t, 16>;

// The operation codes (CDB byte 0) of the commands.
inline constexpr std::uint8_t kOpTestUnitReady = 0x00;
inline constexpr std::uint8_t kOpInquiry = 0x12;
inline constexpr std::uint8_t kOpStartStopUnit = 0x1B;
inline constexpr std::uint8_t kOpWriteBuffer = 0x3B;
inline constexpr std::uint8_t kOpReadBuffer = 0x3C;
inline constexpr std::uint8_t kOpVendor = 0xDF;

// Command blocks; every byte not set is zero.
Cdb InquiryCdb(std::uint8_t allocationLength);
Cdb TestUnitReadyCdb();
Cdb StartStopUnitCdb(std::uint8_t powerCondition);
Cdb WriteE2Cdb(std::uint8_t subCode, std::uint16_t address, std::uint8_t value);
Cdb WriteBufferCdb(std::uint32_t offset, std::uint32_t length, std::uint8_t control);
Cdb ReadBufferCdb(std::uint32_t offset, std::uint32_t length);
Cdb FlashIdReadCdb();
Cdb CriticalEntryCdb();

// What a command moves: direction, buffer and byte count.
struct Transfer {
  scsi::Direction direction = scsi::Direction::None;
  std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
};

// NT: the entry's path, target and LUN, the command's own CDB length, form
// and time limit.
scsi::ScsiRequest NtRequest(const DriveEntry& entry, const Cdb& cdb,
                            std::uint8_t cdbLength, scsi::NtForm form,
                            Transfer transfer, std::chrono::seconds timeout);

// ASPI: adapter and target of the entry, LUN 0, and CDB length 12 whatever
// the command's own length (the bytes after it are zero).
scsi::ScsiRequest AspiRequest(const DriveEntry& entry, const Cdb& cdb,
                              Transfer transfer);

}  // namespace drive
