// The SCSI generic access of Linux: open(2), ioctl(2) SG_IO,
// SG_GET_VERSION_NUM and SCSI_IOCTL_GET_IDLUN, the capability set from
// /proc/self/status and the CD-ROM nodes from sysfs.
#pragma once

#include <string>

#include "platform/scsi_generic.h"

namespace platform::linux_sg {

class LinuxScsiGeneric final : public ScsiGeneric {
 public:
  // root is put before /sys and /dev when looking for CD-ROM nodes (empty:
  // the system's own), so that a test can lay out a tree of its own.
  explicit LinuxScsiGeneric(std::string root = "") : root_(std::move(root)) {}

  std::optional<Handle> Open(const std::string& node) override;
  void Close(Handle handle) override;
  bool Execute(Handle handle, SgCommand& command) override;
  std::optional<int> VersionNumber(Handle handle) override;
  std::optional<ScsiAddress> Address(Handle handle) override;
  bool IsBlockDevice(Handle handle) override;
  std::uint32_t LastError() override { return lastError_; }
  std::string ErrorText(std::uint32_t error) override;
  std::optional<int> DeviceType(const std::string& node) override;
  std::string ShownName(const std::string& node) override;
  bool HasRawIo() override;
  std::vector<std::string> CdRomNodes() override;

 private:
  std::string root_;
  std::uint32_t lastError_ = 0;
};

}  // namespace platform::linux_sg
