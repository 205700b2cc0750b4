#include "vdrive/sg/sg_device.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>

namespace vdrive::sg {
namespace {

// driver_status when sense data came back with the status.
constexpr unsigned short kDriverSense = 0x08;
constexpr unsigned kMaxCdbLength = 16;

struct ErrnoMapping {
  std::uint32_t systemError;
  int error;
};

// Wine: errno -> NTSTATUS -> Windows error, read backwards.
constexpr ErrnoMapping kErrnoMappings[] = {
    {2, ENOENT},    {3, ENOTDIR}, {5, EACCES},    {6, EBADF},
    {21, EIO},      {32, EAGAIN}, {50, ENOTTY},   {87, EINVAL},
    {112, ENOSPC},  {170, EBUSY}, {233, EPIPE},
    {1, ESPIPE},    {121, ETIME}, {998, EFAULT},
};
// Not in Wine's table: STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE (31).
constexpr int kGeneralFailureErrno = EPROTO;

std::optional<Direction> DirectionOf(int sgDirection) {
  switch (sgDirection) {
    case SG_DXFER_NONE:
      return Direction::None;
    case SG_DXFER_TO_DEV:
      return Direction::Out;
    case SG_DXFER_FROM_DEV:
    case SG_DXFER_TO_FROM_DEV:
      return Direction::In;
    default:
      return std::nullopt;
  }
}

// Wine's IOCTL_SCSI_GET_INQUIRY_DATA: after SG_GET_VERSION_NUM it sends
// INQUIRY 12 00 00 00 24 00 for 36 bytes. A Windows driver answers that probe
// from the inquiry data it keeps, without a command reaching the drive.
constexpr std::uint8_t kProbeCdb[] = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
constexpr std::uint32_t kProbeLength = 36;

std::uint32_t TransferLength(const sg_io_hdr_t& request) {
  return request.dxfer_direction == SG_DXFER_NONE ? 0 : request.dxfer_len;
}

bool IsWineProbe(const sg_io_hdr_t& request) {
  return request.cmd_len == sizeof kProbeCdb &&
         std::memcmp(request.cmdp, kProbeCdb, sizeof kProbeCdb) == 0 &&
         request.dxfer_direction == SG_DXFER_FROM_DEV && request.dxfer_len == kProbeLength &&
         request.dxferp;
}

void WriteSense(sg_io_hdr_t& request, const Answer& answer) {
  const auto sense = FixedSenseData(answer.sense);
  const std::size_t length =
      std::min<std::size_t>(request.mx_sb_len, sense.size());
  if (request.sbp && length > 0) std::memcpy(request.sbp, sense.data(), length);
  request.sb_len_wr = static_cast<unsigned char>(request.sbp ? length : 0);
  request.driver_status = kDriverSense;
}

// The errno the sg driver refuses a malformed request with, or 0.
int Refusal(const sg_io_hdr_t& request) {
  if (request.interface_id != 'S') return ENOSYS;
  if (request.iovec_count != 0) return EINVAL;
  if (request.cmd_len == 0 || request.cmd_len > kMaxCdbLength || !request.cmdp) return EINVAL;
  if (!DirectionOf(request.dxfer_direction)) return EINVAL;
  if (TransferLength(request) > 0 && !request.dxferp) return EFAULT;
  return 0;
}

void WriteOutcome(sg_io_hdr_t& request, const Answer& answer, std::uint32_t length) {
  request.status = answer.status;
  request.masked_status = static_cast<unsigned char>((answer.status >> 1) & 0x7F);
  request.resid = static_cast<int>(length - std::min(length, answer.moved));
  if (answer.status == kStatusCheckCondition) {
    WriteSense(request, answer);
    request.info = SG_INFO_CHECK;
  }
  if (answer.hostStatus) request.host_status = *answer.hostStatus;
  if (answer.driverStatus) request.driver_status = *answer.driverStatus;
  if (answer.hostStatus || answer.driverStatus) request.info |= SG_INFO_CHECK;
}

void ClearOutcome(sg_io_hdr_t& request) {
  request.status = 0;
  request.masked_status = 0;
  request.msg_status = 0;
  request.sb_len_wr = 0;
  request.host_status = 0;
  request.driver_status = 0;
  request.resid = 0;
  request.duration = 0;
  request.info = SG_INFO_OK;
}

}  // namespace

int ErrnoForSystemError(std::uint32_t systemError) {
  for (const ErrnoMapping& mapping : kErrnoMappings) {
    if (mapping.systemError == systemError) return mapping.error;
  }
  return kGeneralFailureErrno;
}

int SgDevice::Io(sg_io_hdr_t& request, bool* heldForCaller) {
  if (const int refusal = Refusal(request); refusal != 0) return -refusal;
  ClearOutcome(request);
  const bool probe = probeArmed_ && IsWineProbe(request);
  probeArmed_ = false;
  if (probe) return AnswerProbe(request);

  const std::uint32_t length = TransferLength(request);
  // A transfer of nothing is a command without data, whatever the
  // direction says (Wine maps DataIn 1 with no length to "from device").
  const Direction direction = length == 0 ? Direction::None : *DirectionOf(request.dxfer_direction);
  const Answer answer = session_.Execute(
      drive_, std::span<const std::uint8_t>(request.cmdp, request.cmd_len), direction,
      std::span<std::uint8_t>(static_cast<std::uint8_t*>(request.dxferp), length));
  if (answer.callError) return -ErrnoForSystemError(*answer.callError);
  // A request the drive never finishes in time is ended by the driver;
  // Wine reports ETIME as ERROR_SEM_TIMEOUT.
  if (slowAtWait_ && answer.delivery == Delivery::AtWait) {
    if (heldForCaller) {
      *heldForCaller = true;
    } else {
      WaitWhileHeld();
    }
  } else if (answer.delivery != Delivery::Now) {
    return -ETIME;
  }
  WriteOutcome(request, answer, length);
  return 0;
}

void SgDevice::WaitWhileHeld() const {
  if (session_.HoldsUntilReleased()) {
    session_.AwaitRelease();
  } else {
    std::this_thread::sleep_for(kSlowRequest);
  }
}

int SgDevice::AnswerProbe(sg_io_hdr_t& request) {
  const Bytes inquiry = drive_.InquiryData(kProbeLength);
  std::memcpy(request.dxferp, inquiry.data(), std::min<std::size_t>(inquiry.size(), kProbeLength));
  return 0;
}

int SgDevice::VersionNum(int* version) {
  const std::optional<std::uint32_t>& probeError = drive_.Spec().probeError;
  if (probeError && *probeError != kErrorNotSupported) return -ENOTTY;
  *version = probeError ? kSgTooOldVersion : kSgVersion;
  probeArmed_ = true;
  return 0;
}

int SgDevice::IdLun(std::uint32_t* idlun) {
  const DriveSpec& spec = drive_.Spec();
  idlun[0] = static_cast<std::uint32_t>(spec.ntTarget) |
             static_cast<std::uint32_t>(spec.ntLun) << 8 |
             static_cast<std::uint32_t>(spec.ntPath) << 24;
  idlun[1] = spec.ntPath;
  return 0;
}

}  // namespace vdrive::sg
