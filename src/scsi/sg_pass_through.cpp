#include "scsi/sg_pass_through.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>


namespace scsi {

namespace {

constexpr std::size_t kSenseByte2 = 2;
constexpr std::size_t kSenseAsc = 12;
constexpr std::size_t kSenseAscq = 13;

std::uint8_t SenseByte(const platform::SgCommand& command, std::size_t at) {
  return at < command.senseWritten ? command.sense[at] : 0;
}

}  // namespace

platform::SgCommand SgCommandOf(const ScsiRequest& request) {
  platform::SgCommand command;
  command.cdbLength = std::min<std::uint8_t>(request.cdbLength, command.cdb.size());
  std::copy_n(request.cdb.begin(), command.cdbLength, command.cdb.begin());
  if (request.transferLength > 0 && request.direction != Direction::None) {
    command.direction = request.direction == Direction::Out ? platform::SgDirection::ToDevice
                                                            : platform::SgDirection::FromDevice;
    command.data = request.data;
    command.length = request.transferLength;
  }
  command.timeout = request.timeout;
  return command;
}

ScsiResult JudgeSgCommand(const platform::SgCommand& command, bool executed,
                          std::uint32_t systemError) {
  ScsiResult result;
  if (!executed) {
    result.delivered = false;
    result.systemError = systemError;
    return result;
  }
  result.status = command.status;
  result.senseByte2 = SenseByte(command, kSenseByte2);
  result.asc = SenseByte(command, kSenseAsc);
  result.ascq = SenseByte(command, kSenseAscq);
  result.hostStatus = command.hostStatus;
  result.driverStatus = command.driverStatus;
  if (command.hostStatus != 0 || (command.driverStatus & ~kDriverSense) != 0)
    result.delivered = false;
  return result;
}

void SgPassThrough::SetNodes(std::vector<std::string> nodes) {
  CloseDeviceHandle();
  nodes_ = std::move(nodes);
  if (nodes_.size() > 26) nodes_.resize(26);
}

const std::string* SgPassThrough::NodeOf(char letter) const {
  const int index = letter - 'A';
  if (index < 0 || index >= static_cast<int>(nodes_.size())) return nullptr;
  return &nodes_[static_cast<std::size_t>(index)];
}

std::string SgPassThrough::DeviceName(char letter) const {
  const std::string* node = NodeOf(letter);
  return node ? sg_.ShownName(*node) : std::string(1, letter);
}

std::optional<platform::Handle> SgPassThrough::OpenDriveDevice(char letter) {
  const std::string* node = NodeOf(letter);
  if (!node) {
    lastError_ = ENODEV;
    return std::nullopt;
  }
  const std::optional<platform::Handle> handle = sg_.Open(*node);
  if (!handle) lastError_ = sg_.LastError();
  return handle;
}

void SgPassThrough::CloseDevice(platform::Handle handle) { sg_.Close(handle); }

Opening SgPassThrough::OpenForFlash(char letter) {
  CloseDeviceHandle();
  Opening opening;
  deviceHandle_ = OpenDriveDevice(letter);
  if (!deviceHandle_) {
    opening.failure = Opening::Failure::Open;
    opening.systemError = lastError_;
    opening.device = DeviceName(letter);
    opening.systemText = sg_.ErrorText(lastError_);
    return opening;
  }
  const std::optional<int> version = sg_.VersionNumber(*deviceHandle_);
  if (!version || *version < kSgMinimumVersion) {
    lastError_ = version ? ENODEV : sg_.LastError();
    opening.failure = Opening::Failure::Probe;
    opening.systemError = lastError_;
    CloseDeviceHandle();
  }
  return opening;
}

ScsiResult SgPassThrough::NTSendRequest(const ScsiRequest& request) {
  if (!deviceHandle_) return NotSent(request, EBADF);
  return NTSendRequest(request, *deviceHandle_);
}

// The pass-through record comes back with the driver's address of the
// device; SCSI_IOCTL_GET_IDLUN gives the same: channel, target and LUN.
ScsiResult SgPassThrough::NTSendRequest(const ScsiRequest& request, platform::Handle handle) {
  platform::SgCommand command = SgCommandOf(request);
  const bool executed = sg_.Execute(handle, command);
  ScsiResult result = JudgeSgCommand(command, executed, executed ? 0 : sg_.LastError());
  result.returnedAdapter = request.adapter;
  result.returnedTarget = request.target;
  result.returnedLun = request.lun;
  if (const std::optional<platform::ScsiAddress> address = sg_.Address(handle)) {
    result.returnedAdapter = address->channel;
    result.returnedTarget = address->target;
    result.returnedLun = address->lun;
  }
  return result;
}

void SgPassThrough::CloseDeviceHandle() {
  if (deviceHandle_) sg_.Close(*deviceHandle_);
  deviceHandle_.reset();
}

}  // namespace scsi
