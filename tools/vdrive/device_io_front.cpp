// The NT CD-ROM class driver's side of SCSI pass-through, as it reads the
// 32-bit SCSI_PASS_THROUGH and SCSI_PASS_THROUGH_DIRECT records.
#include <algorithm>
#include <cstring>

#include "vdrive/bytes.h"
#include "vdrive/inprocess.h"

namespace vdrive {
namespace {

// I/O control codes the driver answers.
constexpr std::uint32_t kIoctlPassThrough = 0x0004D004;
constexpr std::uint32_t kIoctlPassThroughDirect = 0x0004D014;
constexpr std::uint32_t kIoctlGetInquiryData = 0x0004100C;

// The 32-bit pass-through record, as the driver reads it.
namespace record {
constexpr std::size_t kSize = 44;
constexpr std::size_t kLength = 0;           // USHORT
constexpr std::size_t kScsiStatus = 2;       // UCHAR
constexpr std::size_t kPathId = 3;           // UCHAR
constexpr std::size_t kTargetId = 4;         // UCHAR
constexpr std::size_t kLun = 5;              // UCHAR
constexpr std::size_t kCdbLength = 6;        // UCHAR
constexpr std::size_t kSenseInfoLength = 7;  // UCHAR
constexpr std::size_t kDataIn = 8;           // UCHAR
constexpr std::size_t kTransferLength = 12;  // ULONG
// 16: TimeOutValue, ULONG: the virtual drive always answers in time.
constexpr std::size_t kDataBuffer = 20;       // ULONG offset or 32-bit PVOID
constexpr std::size_t kSenseInfoOffset = 24;  // ULONG
constexpr std::size_t kCdb = 28;              // UCHAR[16]
constexpr std::size_t kCdbCapacity = 16;
}  // namespace record

constexpr std::uint8_t kDataOut = 0;  // SCSI_IOCTL_DATA_OUT; 1 is DATA_IN
constexpr std::uint8_t kDataUnspecified = 2;

// SCSI_ADAPTER_BUS_INFO with one bus holding one SCSI_INQUIRY_DATA.
namespace businfo {
constexpr std::size_t kNumberOfBuses = 0;
constexpr std::size_t kBusLogicalUnits = 4;
constexpr std::size_t kBusInitiatorId = 5;
constexpr std::size_t kBusInquiryDataOffset = 8;
constexpr std::size_t kUnit = 12;  // PathId, TargetId, Lun, DeviceClaimed
constexpr std::size_t kUnitInquiryLength = 16;
constexpr std::size_t kUnitNextOffset = 20;
constexpr std::size_t kUnitInquiry = 24;
constexpr std::size_t kInquiryLength = 36;
constexpr std::size_t kSize = kUnitInquiry + kInquiryLength;
}  // namespace businfo

// System error codes the driver and the I/O manager give.
constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorInvalidHandle = 6;
constexpr std::uint32_t kErrorInvalidFunction = 1;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorSemTimeout = 121;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;
constexpr std::uint32_t kErrorNoAccess = 998;

Bytes Copy(const void* from, std::uint32_t length) {
  if (from == nullptr) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(from);
  return Bytes(bytes, bytes + length);
}

std::optional<PassThroughFields> DecodeRecord(const std::uint8_t* in, std::uint32_t inLength,
                                              const std::uint8_t* out, std::uint32_t outLength) {
  if (in == nullptr || inLength < record::kSize || out == nullptr || outLength < record::kSize ||
      GetLe16(in, record::kLength) != record::kSize) {
    return std::nullopt;
  }
  PassThroughFields fields;
  fields.cdbLength = in[record::kCdbLength];
  fields.senseLength = in[record::kSenseInfoLength];
  fields.length = GetLe32(in, record::kTransferLength);
  fields.senseOffset = GetLe32(in, record::kSenseInfoOffset);
  fields.bufferField = GetLe32(in, record::kDataBuffer);
  const std::uint8_t dataIn = in[record::kDataIn];
  if (fields.cdbLength == 0 || fields.cdbLength > record::kCdbCapacity ||
      dataIn > kDataUnspecified) {
    return std::nullopt;
  }
  if (fields.senseLength > 0 &&
      (fields.senseOffset < record::kSize || fields.senseOffset > outLength ||
       fields.senseLength > outLength - fields.senseOffset)) {
    return std::nullopt;
  }
  fields.direction = fields.length == 0   ? Direction::None
                     : dataIn == kDataOut ? Direction::Out
                                          : Direction::In;
  return fields;
}

// What the driver writes back: status, the device's address, the bytes
// moved and, after CHECK CONDITION, as much sense as was asked for.
void WriteReply(const DriveSpec& spec, const PassThroughFields& fields, const Answer& answer,
                Bytes& reply) {
  reply[record::kScsiStatus] = answer.status;
  reply[record::kPathId] = spec.ntPath;
  reply[record::kTargetId] = spec.ntTarget;
  reply[record::kLun] = spec.ntLun;
  SetLe32(reply.data(), record::kTransferLength, answer.moved);
  std::uint8_t senseReturned = 0;
  if (answer.status == kStatusCheckCondition && fields.senseLength > 0) {
    const auto sense = FixedSenseData(answer.sense);
    senseReturned =
        static_cast<std::uint8_t>(std::min<std::size_t>(fields.senseLength, sense.size()));
    std::copy_n(sense.begin(), senseReturned, reply.begin() + fields.senseOffset);
  }
  reply[record::kSenseInfoLength] = senseReturned;
}

// "\\.\E:" names drive E; anything else names no drive.
std::optional<char> DriveLetterOf(const char* path) {
  if (path == nullptr || std::strlen(path) != 6) return std::nullopt;
  if (std::strncmp(path, "\\\\.\\", 4) != 0 || path[5] != ':') return std::nullopt;
  return path[4];
}

}  // namespace

std::optional<platform::Handle> DeviceIoFront::Open(const char* path, std::uint32_t access,
                                                    std::uint32_t share, std::uint32_t creation,
                                                    std::uint32_t flags) {
  OpenCall call{path ? path : "", access, share, creation, flags, std::nullopt};
  const std::optional<char> letter = DriveLetterOf(path);
  Drive* drive = letter ? bus_.ByLetter(*letter) : nullptr;
  if (drive == nullptr) {
    Fail(kErrorFileNotFound);
  } else if (drive->Spec().openError) {
    Fail(*drive->Spec().openError);
  } else {
    call.handle = nextHandle_;
    nextHandle_ += 4;
    handles_[*call.handle] = drive;
  }
  opens_.push_back(call);
  return call.handle;
}

void DeviceIoFront::Close(platform::Handle handle) {
  if (handles_.erase(handle) == 0) ++badCloses_;
}

std::vector<platform::Handle> DeviceIoFront::OpenHandles() const {
  std::vector<platform::Handle> open;
  for (const auto& entry : handles_) open.push_back(entry.first);
  return open;
}

void DeviceIoFront::PutAddress(std::uint8_t* field, void* buffer) {
  SetLe32(field, 0, addresses_.TokenFor(buffer));
}

bool DeviceIoFront::Fail(std::uint32_t error) {
  lastError_ = error;
  return false;
}

bool DeviceIoFront::Control(platform::Handle handle, std::uint32_t code, void* in,
                            std::uint32_t inLength, void* out, std::uint32_t outLength) {
  ControlCall call{handle, code, inLength, outLength, Copy(in, inLength), {}, false};
  const auto open = handles_.find(handle);
  auto* inBytes = static_cast<std::uint8_t*>(in);
  auto* outBytes = static_cast<std::uint8_t*>(out);
  if (open == handles_.end()) {
    call.result = Fail(kErrorInvalidHandle);
  } else if (code == kIoctlPassThrough || code == kIoctlPassThroughDirect) {
    call.result = PassThrough(*open->second, code == kIoctlPassThroughDirect, inBytes, inLength,
                              outBytes, outLength);
  } else if (code == kIoctlGetInquiryData) {
    call.result = InquiryData(*open->second, outBytes, outLength);
  } else {
    call.result = Fail(kErrorInvalidFunction);
  }
  call.returned = Copy(out, outLength);
  calls_.push_back(std::move(call));
  return calls_.back().result;
}

bool DeviceIoFront::PassThrough(Drive& drive, bool direct, std::uint8_t* in, std::uint32_t inLength,
                                std::uint8_t* out, std::uint32_t outLength) {
  const std::optional<PassThroughFields> fields = DecodeRecord(in, inLength, out, outLength);
  if (!fields) return Fail(kErrorInvalidParameter);
  Bytes scratch;
  std::span<std::uint8_t> data;
  if (const auto error = LocateData(*fields, direct, in, inLength, outLength, scratch, data)) {
    return Fail(*error);
  }
  Bytes reply(std::max(inLength, outLength), 0);
  std::copy_n(in, inLength, reply.begin());
  const Answer answer =
      drive.Execute({in + record::kCdb, fields->cdbLength}, fields->direction, data);
  if (answer.callError) return Fail(*answer.callError);
  // A request the drive does not finish within its time limit is ended by
  // the driver; one finished late but in time is simply a slow call.
  if (answer.delivery == Delivery::AfterWait || answer.delivery == Delivery::Never) {
    return Fail(kErrorSemTimeout);
  }

  WriteReply(drive.Spec(), *fields, answer, reply);
  if (!direct && fields->direction == Direction::In) {
    std::copy_n(scratch.begin(), answer.moved, reply.begin() + fields->bufferField);
  }
  std::copy_n(reply.begin(), outLength, out);
  return true;
}

// The buffered form carries the data inside the record's own buffers, the
// direct form at the address in the record.
std::optional<std::uint32_t> DeviceIoFront::LocateData(const PassThroughFields& fields, bool direct,
                                                       const std::uint8_t* in,
                                                       std::uint32_t inLength,
                                                       std::uint32_t outLength, Bytes& scratch,
                                                       std::span<std::uint8_t>& data) {
  if (fields.length == 0) return std::nullopt;
  if (direct) {
    auto* buffer = static_cast<std::uint8_t*>(addresses_.PointerFor(fields.bufferField));
    if (buffer == nullptr) return kErrorNoAccess;
    data = {buffer, fields.length};
    return std::nullopt;
  }
  const std::uint32_t limit = fields.direction == Direction::Out ? inLength : outLength;
  if (fields.bufferField < record::kSize || fields.bufferField > limit ||
      fields.length > limit - fields.bufferField) {
    return kErrorInvalidParameter;
  }
  scratch.assign(fields.length, 0);
  if (fields.direction == Direction::Out) {
    std::copy_n(in + fields.bufferField, fields.length, scratch.begin());
  }
  data = scratch;
  return std::nullopt;
}

bool DeviceIoFront::InquiryData(Drive& drive, std::uint8_t* out, std::uint32_t outLength) {
  if (drive.Spec().probeError) return Fail(*drive.Spec().probeError);
  if (out == nullptr || outLength < businfo::kSize) return Fail(kErrorInsufficientBuffer);
  std::fill_n(out, outLength, std::uint8_t{0});
  out[businfo::kNumberOfBuses] = 1;
  out[businfo::kBusLogicalUnits] = 1;
  out[businfo::kBusInitiatorId] = 7;
  SetLe32(out, businfo::kBusInquiryDataOffset, businfo::kUnit);
  out[businfo::kUnit + 0] = drive.Spec().ntPath;
  out[businfo::kUnit + 1] = drive.Spec().ntTarget;
  out[businfo::kUnit + 2] = drive.Spec().ntLun;
  out[businfo::kUnit + 3] = 1;  // claimed by the CD-ROM class driver
  SetLe32(out, businfo::kUnitInquiryLength, businfo::kInquiryLength);
  SetLe32(out, businfo::kUnitNextOffset, 0);
  const Bytes inquiry = drive.InquiryData(businfo::kInquiryLength);
  std::copy(inquiry.begin(), inquiry.end(), out + businfo::kUnitInquiry);
  return true;
}

}  // namespace vdrive
