// The send operation the drive commands' NT members use, whatever carries
// it: the NT pass-through ioctls on Windows, SG_IO on Linux. Both judge a
// command by the same rules (the SCSI status and the sense key), so the
// command methods, their CDBs, lengths and time limits are the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/device_io.h"
#include "platform/ui.h"
#include "scsi/request.h"

namespace scsi {

class PassThrough {
 public:
  virtual ~PassThrough() = default;

  // Opens the device of the drive named by `letter` for a command of its
  // own (the drive check); no handle on failure, LastError() says why.
  virtual std::optional<platform::Handle> OpenDriveDevice(char letter) = 0;
  virtual void CloseDevice(platform::Handle handle) = 0;
  virtual std::uint32_t LastError() = 0;

  // The opening at the start of a flash: closes DeviceHandle, opens the
  // drive's device and probes it. On failure shows why and returns false.
  virtual bool OpenForFlash(char letter, platform::Dialogs& dialogs) = 0;

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
