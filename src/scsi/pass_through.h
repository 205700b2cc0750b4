// The send operation the drive commands' NT members use, whatever carries
// it: the NT pass-through ioctls on Windows, SG_IO on Linux. Both judge a
// command by the same rules (the SCSI status and the sense key), so the
// command methods, their CDBs, lengths and time limits are the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/device_io.h"
#include "scsi/request.h"

namespace scsi {

// How the opening at the start of a flash went. The transport only says
// what happened; the words a person reads are made above it.
struct Opening {
  enum class Failure { None, Open, Probe };
  Failure failure = Failure::None;
  // The system's error code of the failing step.
  std::uint32_t systemError = 0;
  // Linux only: the node as shown and the system's words for the error of
  // a failed open; empty on Windows.
  std::string device;
  std::string systemText;

  bool Opened() const { return failure == Failure::None; }
};

class PassThrough {
 public:
  virtual ~PassThrough() = default;

  // Opens the device of the drive named by `letter` for a command of its
  // own (the drive check); no handle on failure, LastError() says why.
  virtual std::optional<platform::Handle> OpenDriveDevice(char letter) = 0;
  virtual void CloseDevice(platform::Handle handle) = 0;
  virtual std::uint32_t LastError() = 0;

  // The opening at the start of a flash: closes DeviceHandle, opens the
  // drive's device and probes it.
  virtual Opening OpenForFlash(char letter) = 0;

  // Sends on DeviceHandle, or on a handle of the caller's. A call that never
  // reached a verdict comes back with delivered = false.
  virtual ScsiResult NTSendRequest(const ScsiRequest& request) = 0;
  virtual ScsiResult NTSendRequest(const ScsiRequest& request, platform::Handle handle) = 0;

  virtual void CloseDeviceHandle() = 0;

  // What a list line names the drive's device by: its letter on Windows, its
  // device node on Linux.
  virtual std::string DeviceName(char letter) const = 0;
};

}  // namespace scsi
