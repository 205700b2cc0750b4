// One SCSI command and its outcome, independent of the transport that
// carries it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

namespace scsi {

enum class Direction : std::uint8_t { None, In, Out };

// Which of the two NT pass-through records carries the command.
enum class NtForm : std::uint8_t { Buffered, Direct };

struct ScsiRequest {
  std::uint8_t adapter = 0;  // NT path id, or ASPI host adapter
  std::uint8_t target = 0;
  std::uint8_t lun = 0;      // NT only; ASPI always sends LUN 0
  std::array<std::uint8_t, 16> cdb{};
  std::uint8_t cdbLength = 0;
  Direction direction = Direction::None;
  std::uint8_t* data = nullptr;  // owned by the calling command method
  std::uint32_t transferLength = 0;
  std::chrono::seconds timeout{0};  // NT only
  NtForm ntForm = NtForm::Direct;    // NT only
};

struct ScsiResult {
  // NT: the SCSI status byte. ASPI: SRB_Status (0 pending, 1 complete,
  // 4 error, others host adapter faults). Carried unchanged.
  std::uint8_t status = 0;
  std::uint8_t senseByte2 = 0;  // taken whole: key plus flag bits
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  // False when the request never reached a verdict: the DeviceIoControl
  // call itself failed (NT), or the request was still pending when the
  // completion wait ended (ASPI). Such a result never counts as success.
  bool delivered = true;
  std::uint32_t systemError = 0;  // NT: GetLastError; Linux: errno of a failed call
  // Linux: the SCSI generic driver's own verdict (sg_io_hdr host_status and
  // driver_status). Either one set means the command's outcome is unknown.
  std::uint16_t hostStatus = 0;
  std::uint16_t driverStatus = 0;
  // NT: the address as the returned record holds it (the write-back).
  std::uint8_t returnedAdapter = 0;
  std::uint8_t returnedTarget = 0;
  std::uint8_t returnedLun = 0;
};

// The result of a request that never left the host: no verdict, the reason
// in systemError, and the address read back as the request gave it.
inline ScsiResult NotSent(const ScsiRequest& request, std::uint32_t systemError) {
  ScsiResult result;
  result.delivered = false;
  result.systemError = systemError;
  result.returnedAdapter = request.adapter;
  result.returnedTarget = request.target;
  result.returnedLun = request.lun;
  return result;
}

// Success rules of the command methods.
inline bool IsGood(const ScsiResult& r) {  // NT
  return r.delivered && r.status == 0x00 && r.senseByte2 == 0x00;
}
inline bool IsComplete(const ScsiResult& r) {  // ASPI
  return r.delivered && r.status == 0x01;
}
inline bool IsCompleteAndClean(const ScsiResult& r) {  // ASPI
  return IsComplete(r) && r.senseByte2 == 0x00;
}

}  // namespace scsi
