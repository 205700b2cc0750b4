#include "scsi/nt_passthrough.h"

#include <algorithm>
#include <string>

#include "scsi/bytes.h"
#include "scsi/record_layout.h"

namespace scsi {
namespace {

constexpr std::uint32_t kGenericReadWrite = 0xC0000000;  // GENERIC_READ | GENERIC_WRITE
constexpr std::uint32_t kShareRead = 1;                  // FILE_SHARE_READ
constexpr std::uint32_t kOpenExisting = 3;               // OPEN_EXISTING
constexpr std::uint32_t kErrorInvalidHandle = 6;         // ERROR_INVALID_HANDLE

// Fills the record shared by both forms; the field at offset 20 is the
// caller's.
void FillRecord(std::uint8_t* block, const ScsiRequest& request) {
  using namespace nt_record;
  PutLe16(block + kLength, kRecordLength);
  block[kPathId] = request.adapter;
  block[kTargetId] = request.target;
  block[kLun] = request.lun;
  block[kCdbLength] = request.cdbLength;
  block[kSenseInfoLength] = kSenseRequested;
  block[kDataIn] = request.direction == Direction::Out ? kDataToDrive : kDataFromDrive;
  PutLe32(block + kDataTransferLength, request.transferLength);
  PutLe32(block + kTimeOutValue, static_cast<std::uint32_t>(request.timeout.count()));
  PutLe32(block + kSenseInfoOffset, kSenseArea);
  std::copy_n(request.cdb.begin(), std::min<std::size_t>(request.cdbLength, kCdbCapacity),
              block + kCdb);
}

ScsiResult ReadResult(const std::uint8_t* block) {
  using namespace nt_record;
  ScsiResult result;
  result.status = block[kScsiStatus];
  result.senseByte2 = block[kSenseByte2];
  result.asc = block[kSenseAsc];
  result.ascq = block[kSenseAscq];
  result.returnedAdapter = block[kPathId];
  result.returnedTarget = block[kTargetId];
  result.returnedLun = block[kLun];
  return result;
}

}  // namespace

std::optional<platform::Handle> NtPassThrough::OpenDriveDevice(char letter) {
  char path[] = "\\\\.\\?:";
  path[4] = letter;
  return io_.Open(path, kGenericReadWrite, kShareRead, kOpenExisting, 0);
}

Opening NtPassThrough::OpenForFlash(char letter) {
  CloseDeviceHandle();
  Opening opening;
  deviceHandle_ = OpenDriveDevice(letter);
  if (!deviceHandle_) {
    opening.failure = Opening::Failure::Open;
    opening.systemError = io_.LastError();
    return opening;
  }
  std::array<std::uint8_t, nt_record::kProbeOutLength> answer{};
  lastCall_ = io_.Control(*deviceHandle_, kIoctlScsiGetInquiryData, nullptr, 0, answer.data(),
                          nt_record::kProbeOutLength);
  if (!lastCall_) {
    opening.failure = Opening::Failure::Probe;
    opening.systemError = io_.LastError();
  }
  return opening;
}

ScsiResult NtPassThrough::NTSendRequest(const ScsiRequest& request) {
  if (!deviceHandle_) {
    lastCall_ = false;
    return NotSent(request, kErrorInvalidHandle);
  }
  return NTSendRequest(request, *deviceHandle_);
}

ScsiResult NtPassThrough::NTSendRequest(const ScsiRequest& request, platform::Handle handle) {
  using namespace nt_record;
  const bool direct = request.ntForm == NtForm::Direct;
  std::uint8_t* block = direct ? direct_.data() : buffered_.data();
  std::fill_n(block, direct ? kDirectSize : kBufferedSize, std::uint8_t{0});
  FillRecord(block, request);
  if (direct) {
    io_.PutAddress(block + kDataBuffer, request.data);
  } else {
    PutLe32(block + kDataBuffer, kDataArea);
  }
  lastCall_ = io_.Control(handle, direct ? kIoctlScsiPassThroughDirect : kIoctlScsiPassThrough,
                          block, direct ? kDirectInLength : kBufferedInLength, block,
                          direct ? kDirectOutLength : kBufferedOutLength);
  ScsiResult result = ReadResult(block);
  if (!lastCall_) {
    result.delivered = false;
    result.systemError = io_.LastError();
  }
  return result;
}

void NtPassThrough::CloseDeviceHandle() {
  if (deviceHandle_) io_.Close(*deviceHandle_);
  deviceHandle_.reset();
}

}  // namespace scsi
