// The NT family's send operation carried by Linux SG_IO: the same requests
// (CDB, direction, length, time limit) on a SCSI generic or CD-ROM device
// node, judged by the same rules. The drives are named to the drive commands
// by letter, as on Windows: letter 'A' + i is the i-th node given.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/scsi_generic.h"
#include "scsi/pass_through.h"

namespace scsi {

// The sg driver's oldest version that takes sg_io_hdr.
inline constexpr int kSgMinimumVersion = 30000;
// driver_status when sense data came back with the status: the command ran.
inline constexpr std::uint16_t kDriverSense = 0x08;

class SgPassThrough final : public PassThrough {
 public:
  explicit SgPassThrough(platform::ScsiGeneric& sg) : sg_(sg) {}

  // At most 26 nodes: one letter each.
  void SetNodes(std::vector<std::string> nodes);
  const std::vector<std::string>& Nodes() const { return nodes_; }
  static char LetterOf(std::size_t index) { return static_cast<char>('A' + index); }

  std::optional<platform::Handle> OpenDriveDevice(char letter) override;
  void CloseDevice(platform::Handle handle) override;
  std::uint32_t LastError() override { return lastError_; }
  // Opens the node and asks SG_GET_VERSION_NUM: a node that does not answer
  // it (a disk image, a terminal) is no SCSI device. A failed open carries
  // the node and the system's words for its errno.
  Opening OpenForFlash(char letter) override;
  ScsiResult NTSendRequest(const ScsiRequest& request) override;
  ScsiResult NTSendRequest(const ScsiRequest& request, platform::Handle handle) override;
  void CloseDeviceHandle() override;
  // The node as the SCSI generic layer shows it.
  std::string DeviceName(char letter) const override;

  std::optional<platform::Handle> DeviceHandle() const { return deviceHandle_; }

 private:
  const std::string* NodeOf(char letter) const;

  platform::ScsiGeneric& sg_;
  std::vector<std::string> nodes_;
  std::optional<platform::Handle> deviceHandle_;
  std::uint32_t lastError_ = 0;
};

// The sg_io_hdr values of a request: a command that moves no bytes goes as
// SG_DXFER_NONE (the NT record marks it data-in), the time limit in
// milliseconds.
platform::SgCommand SgCommandOf(const ScsiRequest& request);
// The outcome in the NT family's terms: the status byte and the sense bytes
// 2, 12 and 13 as the NT record's sense area would hold them. A refused
// ioctl, a host_status or a driver_status other than "sense follows" make a
// command that never reached a verdict.
ScsiResult JudgeSgCommand(const platform::SgCommand& command, bool executed,
                          std::uint32_t systemError);

}  // namespace scsi
