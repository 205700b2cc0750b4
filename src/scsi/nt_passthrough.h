// The NT family's SCSI pass-through transport: the CD-ROM device opened by
// drive letter, one DeviceIoControl per command.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "platform/device_io.h"
#include "scsi/pass_through.h"
#include "scsi/request.h"

namespace scsi {

inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x4D004;
inline constexpr std::uint32_t kIoctlScsiPassThroughDirect = 0x4D014;
inline constexpr std::uint32_t kIoctlScsiGetInquiryData = 0x4100C;

class NtPassThrough final : public PassThrough {
 public:
  explicit NtPassThrough(platform::DeviceIo& io) : io_(io) {}

  // CreateFileA("\\.\<letter>:", GENERIC_READ | GENERIC_WRITE,
  // FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL).
  std::optional<platform::Handle> OpenDriveDevice(char letter) override;
  void CloseDevice(platform::Handle handle) override { io_.Close(handle); }
  std::uint32_t LastError() override { return io_.LastError(); }

  // The opening at the start of a flash: closes DeviceHandle, opens the
  // device, probes it with IOCTL_SCSI_GET_INQUIRY_DATA; a failure carries
  // the step and its GetLastError code.
  Opening OpenForFlash(char letter) override;

  // Sends on DeviceHandle (or, for the drive check, on a handle of its own).
  // A DeviceIoControl call that fails comes back with delivered = false and
  // its GetLastError code; so does a send without an open DeviceHandle.
  ScsiResult NTSendRequest(const ScsiRequest& request) override;
  ScsiResult NTSendRequest(const ScsiRequest& request, platform::Handle handle) override;

  void CloseDeviceHandle() override;  // FormDestroy
  std::string DeviceName(char letter) const override { return std::string(1, letter); }
  std::optional<platform::Handle> DeviceHandle() const { return deviceHandle_; }
  bool LastCallSucceeded() const { return lastCall_; }
  platform::DeviceIo& Io() { return io_; }

 private:
  platform::DeviceIo& io_;
  std::optional<platform::Handle> deviceHandle_;
  bool lastCall_ = false;
  // The two shared request blocks, rebuilt from zero by every command.
  std::array<std::uint8_t, 592> buffered_{};
  std::array<std::uint8_t, 80> direct_{};
};

}  // namespace scsi
