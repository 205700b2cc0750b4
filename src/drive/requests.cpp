#include "drive/requests.h"

#include "scsi/bytes.h"

namespace drive {

namespace {

constexpr std::uint8_t kModeDownloadAndSave = 0x05;
constexpr std::uint8_t kModeVendorRead = 0x01;
constexpr std::uint8_t kBufferId = 0x01;
constexpr std::uint8_t kSubCodeFlashId = 0x11;
constexpr std::uint8_t kCriticalControl = 0x7F;

constexpr std::uint8_t kAspiCdbLength = 12;

}  // namespace

Cdb InquiryCdb(std::uint8_t allocationLength) {
  Cdb cdb{};
  cdb[0] = kOpInquiry;
  cdb[4] = allocationLength;
  return cdb;
}

Cdb TestUnitReadyCdb() {
  Cdb cdb{};
  cdb[0] = kOpTestUnitReady;
  return cdb;
}

Cdb StartStopUnitCdb(std::uint8_t powerCondition) {
  Cdb cdb{};
  cdb[0] = kOpStartStopUnit;
  cdb[4] = powerCondition;  // bit 0 start, bit 1 load or eject
  return cdb;
}

Cdb WriteE2Cdb(std::uint8_t subCode, std::uint16_t address, std::uint8_t value) {
  Cdb cdb{};
  cdb[0] = kOpVendor;
  cdb[1] = subCode;
  scsi::PutBe16(&cdb[7], address);
  cdb[9] = value;
  return cdb;
}

Cdb WriteBufferCdb(std::uint32_t offset, std::uint32_t length, std::uint8_t control) {
  Cdb cdb{};
  cdb[0] = kOpWriteBuffer;
  cdb[1] = kModeDownloadAndSave;
  cdb[2] = kBufferId;
  scsi::PutBe24(&cdb[3], offset);
  scsi::PutBe24(&cdb[6], length);  // parameter list length
  cdb[9] = control;
  return cdb;
}

Cdb ReadBufferCdb(std::uint32_t offset, std::uint32_t length) {
  Cdb cdb{};
  cdb[0] = kOpReadBuffer;
  cdb[1] = kModeVendorRead;
  cdb[2] = kBufferId;
  scsi::PutBe24(&cdb[3], offset);
  scsi::PutBe24(&cdb[6], length);  // allocation length
  return cdb;
}

Cdb FlashIdReadCdb() {
  Cdb cdb{};
  cdb[0] = kOpVendor;
  cdb[1] = kSubCodeFlashId;
  return cdb;
}

Cdb CriticalEntryCdb() {
  return WriteBufferCdb(0, 0, kCriticalControl);
}

scsi::ScsiRequest NtRequest(const DriveEntry& entry, const Cdb& cdb,
                            std::uint8_t cdbLength, scsi::NtForm form,
                            Transfer transfer, std::chrono::seconds timeout) {
  scsi::ScsiRequest request;
  request.adapter = entry.Adapter;
  request.target = entry.Target;
  request.lun = entry.LogicalUnit;
  request.cdb = cdb;
  request.cdbLength = cdbLength;
  request.direction = transfer.direction;
  request.data = transfer.data;
  request.transferLength = transfer.length;
  request.timeout = timeout;
  request.ntForm = form;
  return request;
}

scsi::ScsiRequest AspiRequest(const DriveEntry& entry, const Cdb& cdb,
                              Transfer transfer) {
  scsi::ScsiRequest request;
  request.adapter = entry.Adapter;
  request.target = entry.Target;
  request.cdb = cdb;
  request.cdbLength = kAspiCdbLength;
  request.direction = transfer.direction;
  request.data = transfer.data;
  request.transferLength = transfer.length;
  return request;
}

}  // namespace drive
