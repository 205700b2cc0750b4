// Linux SCSI generic access: a CD-ROM device node (/dev/sg*, /dev/sr*)
// opened read-write and non-blocking, one SG_IO ioctl per command. The
// request is carried as plain values; the Linux layer (platform/linux/) fills
// the kernel's sg_io_hdr from them, so the core stays portable.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/device_io.h"

namespace platform {

enum class SgDirection : std::uint8_t { None, ToDevice, FromDevice };

inline constexpr std::size_t kSgSenseLength = 24;

// One sg_io_hdr's worth: what goes in and what the driver wrote back.
struct SgCommand {
  std::array<std::uint8_t, 16> cdb{};
  std::uint8_t cdbLength = 0;
  SgDirection direction = SgDirection::None;
  std::uint8_t* data = nullptr;
  std::uint32_t length = 0;
  std::chrono::milliseconds timeout{0};

  std::uint8_t status = 0;  // the SCSI status byte
  std::uint8_t senseWritten = 0;
  std::array<std::uint8_t, kSgSenseLength> sense{};
  std::uint16_t hostStatus = 0;
  std::uint16_t driverStatus = 0;
};

// SCSI_IOCTL_GET_IDLUN: where the device sits.
struct ScsiAddress {
  std::uint8_t host = 0;
  std::uint8_t channel = 0;
  std::uint8_t target = 0;
  std::uint8_t lun = 0;
};

class ScsiGeneric {
 public:
  virtual ~ScsiGeneric() = default;

  // open(node, O_RDWR | O_NONBLOCK): non-blocking so that a drive without a
  // disc opens. No handle on failure; LastError() gives errno.
  virtual std::optional<Handle> Open(const std::string& node) = 0;
  virtual void Close(Handle handle) = 0;
  // ioctl(SG_IO). False when the kernel refused the call (LastError() gives
  // errno); true when it ran, whatever the command's outcome.
  virtual bool Execute(Handle handle, SgCommand& command) = 0;
  // ioctl(SG_GET_VERSION_NUM): a node that answers it takes SG_IO.
  virtual std::optional<int> VersionNumber(Handle handle) = 0;
  virtual std::optional<ScsiAddress> Address(Handle handle) = 0;
  // A block device (/dev/sr*): the kernel lets only a caller with
  // CAP_SYS_RAWIO send it vendor and WRITE BUFFER commands.
  virtual bool IsBlockDevice(Handle handle) = 0;
  virtual std::uint32_t LastError() = 0;
  // strerror of an errno.
  virtual std::string ErrorText(std::uint32_t error) = 0;

  // The SCSI peripheral device type sysfs gives for a node (5: CD-ROM), by
  // the name the node (its symbolic links followed) has under /dev; none for
  // a node that is no SCSI device.
  virtual std::optional<int> DeviceType(const std::string& node) = 0;
  // How list lines name a node: its path, seen from the system's root (a
  // test's tree of its own is left out of it).
  virtual std::string ShownName(const std::string& node) = 0;
  // The process holds CAP_SYS_RAWIO in its effective set.
  virtual bool HasRawIo() = 0;
  // The CD-ROM device nodes, in order: the scsi_generic nodes whose device
  // type is 5, or, where the sg driver lists none, /dev/sr*.
  virtual std::vector<std::string> CdRomNodes() = 0;
};

}  // namespace platform
