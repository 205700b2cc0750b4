// The NT pass-through transport: the request records it hands to the
// driver, byte for byte, and the result it reads back.
#include "scsi/nt_passthrough.h"

#include <gtest/gtest.h>

#include <array>
#include <map>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_ui.h"
#include "support/bytes.h"
#include "drive/report.h"
#include "vdrive/inprocess.h"

namespace {

using scsi::Direction;
using scsi::NtForm;
using testsupport::Hex;
using testsupport::Le32;
using testsupport::ToHex;

vdrive::Scenario OneDrive(const std::string& extra = "") {
  auto parsed = vdrive::ParseScenario("[drive]\nletter = E\nnt-address = 1 0 0\n" + extra);
  EXPECT_TRUE(parsed.scenario) << parsed.error;
  return *parsed.scenario;
}

class NtTransport : public ::testing::Test {
 protected:
  explicit NtTransport(const std::string& extra = "")
      : bus_(OneDrive(extra)), io_(bus_), nt_(io_) {}

  const vdrive::DeviceIoFront::ControlCall& LastCall() { return io_.Calls().back(); }

  vdrive::Bus bus_;
  vdrive::DeviceIoFront io_;
  scsi::NtPassThrough nt_;
  fakes::FakeDialogs dialogs_;
};

scsi::ScsiRequest Request(std::string_view cdb, std::uint8_t cdbLength, Direction direction,
                          std::uint8_t* data, std::uint32_t length, std::uint32_t timeout,
                          NtForm form) {
  scsi::ScsiRequest request;
  request.adapter = 2;
  request.target = 1;
  request.lun = 0;
  const auto bytes = Hex(cdb);
  std::copy(bytes.begin(), bytes.end(), request.cdb.begin());
  request.cdbLength = cdbLength;
  request.direction = direction;
  request.data = data;
  request.transferLength = length;
  request.timeout = std::chrono::seconds(timeout);
  request.ntForm = form;
  return request;
}

// One row of the per-command table: the request as a command method fills
// it, and the record the driver must receive. "AD AD AD AD" stands for the
// direct form's buffer address, checked separately.
struct NtRow {
  const char* name;
  const char* cdb;
  std::uint8_t cdbLength;
  Direction direction;
  std::uint32_t length;
  std::uint32_t timeout;
  NtForm form;
  std::uint32_t code;
  std::uint32_t inLength;
  std::uint32_t outLength;
  const char* header;  // bytes 0 to 27
};

const NtRow kNtRows[] = {
    {"inquiry", "12 00 00 00 80 00", 6, Direction::In, 128, 3, NtForm::Direct, 0x4D014, 80, 80,
     "2C 00 00 02 01 00 06 18 01 00 00 00 80 00 00 00 03 00 00 00 AD AD AD AD 30 00 00 00"},
    {"test unit ready", "00 00 00 00 00 00", 6, Direction::None, 0, 3, NtForm::Buffered, 0x4D004,
     44, 80, "2C 00 00 02 01 00 06 18 01 00 00 00 00 00 00 00 03 00 00 00 50 00 00 00 30 00 00 00"},
    {"start stop unit", "1B 00 00 00 03 00", 6, Direction::None, 0, 9, NtForm::Buffered, 0x4D004,
     44, 80, "2C 00 00 02 01 00 06 18 01 00 00 00 00 00 00 00 09 00 00 00 50 00 00 00 30 00 00 00"},
    {"e2 write", "DF 0A 00 00 00 00 00 00 FF 5A 00 00", 12, Direction::None, 0, 3, NtForm::Buffered,
     0x4D004, 44, 80,
     "2C 00 00 02 01 00 0C 18 01 00 00 00 00 00 00 00 03 00 00 00 50 00 00 00 30 00 00 00"},
    {"write buffer chunk", "3B 05 01 00 40 00 00 40 00 00", 10, Direction::Out, 16384, 3,
     NtForm::Direct, 0x4D014, 80, 80,
     "2C 00 00 02 01 00 0A 18 00 00 00 00 00 40 00 00 03 00 00 00 AD AD AD AD 30 00 00 00"},
    {"write buffer final", "3B 05 01 00 00 C5 00 00 01 80", 10, Direction::Out, 0, 200,
     NtForm::Direct, 0x4D014, 80, 80,
     "2C 00 00 02 01 00 0A 18 00 00 00 00 00 00 00 00 C8 00 00 00 AD AD AD AD 30 00 00 00"},
    {"read buffer", "3C 01 01 01 00 00 00 40 00 00", 10, Direction::In, 16384, 3, NtForm::Direct,
     0x4D014, 80, 80,
     "2C 00 00 02 01 00 0A 18 01 00 00 00 00 40 00 00 03 00 00 00 AD AD AD AD 30 00 00 00"},
    {"flash id read", "DF 11 00 00 00 00 00 00 00 00", 10, Direction::In, 128, 8, NtForm::Direct,
     0x4D014, 80, 80,
     "2C 00 00 02 01 00 0A 18 01 00 00 00 80 00 00 00 08 00 00 00 AD AD AD AD 30 00 00 00"},
    {"profile write", "3B 05 01 08 00 00 00 01 C8 00", 12, Direction::Out, 456, 10, NtForm::Direct,
     0x4D014, 80, 80,
     "2C 00 00 02 01 00 0C 18 00 00 00 00 C8 01 00 00 0A 00 00 00 AD AD AD AD 30 00 00 00"},
    {"profile read-back", "3C 01 01 08 00 00 00 01 C8 00", 10, Direction::In, 456, 10,
     NtForm::Direct, 0x4D014, 80, 80,
     "2C 00 00 02 01 00 0A 18 01 00 00 00 C8 01 00 00 0A 00 00 00 AD AD AD AD 30 00 00 00"},
    {"critical entry", "3B 05 01 00 00 00 00 00 00 7F", 10, Direction::In, 0, 20, NtForm::Direct,
     0x4D014, 80, 80,
     "2C 00 00 02 01 00 0A 18 01 00 00 00 00 00 00 00 14 00 00 00 AD AD AD AD 30 00 00 00"},
};

TEST_F(NtTransport, EveryCommandOfTheTableGoesOutAsItsExactRecord) {
  ASSERT_TRUE(nt_.OpenForFlash('E').Opened());
  std::array<std::uint8_t, 16384> buffer{};
  for (const NtRow& row : kNtRows) {
    SCOPED_TRACE(row.name);
    nt_.NTSendRequest(Request(row.cdb, row.cdbLength, row.direction, buffer.data(), row.length,
                              row.timeout, row.form));
    const auto& call = LastCall();
    EXPECT_EQ(call.code, row.code);
    EXPECT_EQ(call.inLength, row.inLength);
    EXPECT_EQ(call.outLength, row.outLength);
    ASSERT_EQ(call.block.size(), row.inLength);

    std::string header = ToHex(call.block, 0, 28);
    if (row.form == NtForm::Direct) {
      EXPECT_EQ(io_.Resolve(Le32(call.block, 20)), buffer.data());
      header.replace(60, 11, "AD AD AD AD");
    }
    EXPECT_EQ(header, row.header);

    std::vector<std::uint8_t> cdb(16, 0);
    const auto sent = Hex(row.cdb);
    std::copy(sent.begin(), sent.end(), cdb.begin());
    EXPECT_EQ(ToHex(call.block, 28, 16), ToHex(cdb.data(), 16));
    EXPECT_TRUE(std::all_of(call.block.begin() + 44, call.block.end(),
                            [](std::uint8_t b) { return b == 0; }));
  }
}

TEST_F(NtTransport, OpensTheDeviceByItsSixCharacterPathForReadAndWriteSharedForRead) {
  const auto handle = nt_.OpenDriveDevice('E');
  ASSERT_TRUE(handle);
  const auto& open = io_.Opens().back();
  EXPECT_EQ(open.path, "\\\\.\\E:");
  EXPECT_EQ(open.path.size(), 6u);
  EXPECT_EQ(open.access, 0xC0000000u);
  EXPECT_EQ(open.share, 1u);
  EXPECT_EQ(open.creation, 3u);
  EXPECT_EQ(open.flags, 0u);
}

TEST_F(NtTransport, OpeningForAFlashProbesWithTheInquiryDataControlAndKeepsTheHandle) {
  ASSERT_TRUE(nt_.OpenForFlash('E').Opened());
  const auto& probe = LastCall();
  EXPECT_EQ(probe.code, 0x4100Cu);
  EXPECT_EQ(probe.inLength, 0u);
  EXPECT_EQ(probe.outLength, 130u);
  EXPECT_TRUE(nt_.LastCallSucceeded());
  EXPECT_EQ(io_.OpenHandles(), std::vector<platform::Handle>{*nt_.DeviceHandle()});
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(NtTransport, ANewFlashClosesTheHandleOfThePreviousOne) {
  ASSERT_TRUE(nt_.OpenForFlash('E').Opened());
  ASSERT_TRUE(nt_.OpenForFlash('E').Opened());
  EXPECT_EQ(io_.OpenHandles().size(), 1u);
  EXPECT_EQ(io_.BadCloses(), 0u);
  nt_.CloseDeviceHandle();
  EXPECT_TRUE(io_.OpenHandles().empty());
  EXPECT_FALSE(nt_.DeviceHandle());
}

struct OpeningFailure {
  const char* scenario;
  char letter;
  const char* message;
};

TEST(NtOpening, FailuresShowTheirMessageWithTheSystemErrorCode) {
  const OpeningFailure cases[] = {
      {"open-error = 5\n", 'E', "Error opening: 5"},
      {"", 'F', "Error opening: 2"},
      {"open-error = 4294967295\n", 'E', "Error opening: 4294967295"},
      {"probe-error = 50\n", 'E', "Error reading inquiry data information; error was 50"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    vdrive::Bus bus(OneDrive(c.scenario));
    vdrive::DeviceIoFront io(bus);
    scsi::NtPassThrough nt(io);
    const scsi::Opening opening = nt.OpenForFlash(c.letter);
    EXPECT_FALSE(opening.Opened());
    EXPECT_EQ(drive::OpeningText(opening), c.message);
  }
}

TEST_F(NtTransport, AChunkWriteOf16KUsesTheDirectFormDataOutAndThreeSeconds) {
  ASSERT_TRUE(nt_.OpenForFlash('E').Opened());
  std::vector<std::uint8_t> chunk(16384, 0x5A);
  const auto result = nt_.NTSendRequest(Request("3B 05 01 00 00 00 00 40 00 00", 10, Direction::Out,
                                                chunk.data(), 16384, 3, NtForm::Direct));
  EXPECT_TRUE(scsi::IsGood(result));
  const auto& block = LastCall().block;
  EXPECT_EQ(Le32(block, 12), 16384u);
  EXPECT_EQ(block[8], 0);
  EXPECT_EQ(Le32(block, 16), 3u);
  const auto& dram = bus_.ByLetter('E')->Dram();
  EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), dram.begin()));
}

TEST_F(NtTransport, ResultIsReadFromTheRecordTheDriverReturned) {
  ASSERT_TRUE(nt_.OpenForFlash('E').Opened());
  const auto result = nt_.NTSendRequest(
      Request("00 00 00 00 00 00", 6, Direction::None, nullptr, 0, 3, NtForm::Buffered));
  EXPECT_TRUE(result.delivered);
  EXPECT_EQ(result.status, 0x02);
  EXPECT_EQ(result.senseByte2, 0x02);
  EXPECT_EQ(result.asc, 0x3A);
  EXPECT_EQ(result.ascq, 0x00);
  EXPECT_FALSE(scsi::IsGood(result));
}

TEST_F(NtTransport, TheAddressTheDriverWritesBackReplacesTheOneSent) {
  ASSERT_TRUE(nt_.OpenForFlash('E').Opened());
  std::array<std::uint8_t, 128> data{};
  auto request =
      Request("12 00 00 00 80 00", 6, Direction::In, data.data(), 128, 3, NtForm::Direct);
  request.adapter = 3;
  request.target = 4;
  request.lun = 5;
  const auto result = nt_.NTSendRequest(request);
  EXPECT_EQ(LastCall().block[3], 3);
  EXPECT_EQ(result.returnedAdapter, 1);
  EXPECT_EQ(result.returnedTarget, 0);
  EXPECT_EQ(result.returnedLun, 0);
  EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 16), "QUARVEL ");
}

TEST_F(NtTransport, TheCheckHandleIsUsedInsteadOfTheDeviceHandle) {
  const auto own = nt_.OpenDriveDevice('E');
  ASSERT_TRUE(own);
  const auto result = nt_.NTSendRequest(
      Request("00 00 00 00 00 00", 6, Direction::None, nullptr, 0, 3, NtForm::Buffered), *own);
  EXPECT_EQ(LastCall().handle, *own);
  EXPECT_TRUE(result.delivered);
  EXPECT_TRUE(nt_.LastCallSucceeded());
}

// A DeviceIoControl that fails leaves the cleared record as it was: status
// and sense 00, which must not pass for success.
class NtCallFailure : public NtTransport {
 protected:
  NtCallFailure() : NtTransport("call-error = write-chunk 1 31\n") {}
};

TEST_F(NtCallFailure, AFailedCallIsAFailedCommandWithItsSystemError) {
  ASSERT_TRUE(nt_.OpenForFlash('E').Opened());
  std::vector<std::uint8_t> chunk(16384, 1);
  const auto result = nt_.NTSendRequest(Request("3B 05 01 00 00 00 00 40 00 00", 10, Direction::Out,
                                                chunk.data(), 16384, 3, NtForm::Direct));
  EXPECT_FALSE(nt_.LastCallSucceeded());
  EXPECT_FALSE(result.delivered);
  EXPECT_EQ(result.systemError, 31u);
  EXPECT_FALSE(scsi::IsGood(result));
  EXPECT_EQ(drive::FormatReport("Write Buffer", result),
            "Write Buffer> Status: 00, SenseCode: 00 00 00 (system error 31)");
}

TEST_F(NtTransport, SendingWithoutAnOpenDeviceFailsWithoutACall) {
  const auto result = nt_.NTSendRequest(
      Request("00 00 00 00 00 00", 6, Direction::None, nullptr, 0, 3, NtForm::Buffered));
  EXPECT_FALSE(result.delivered);
  EXPECT_FALSE(scsi::IsGood(result));
  EXPECT_EQ(result.systemError, 6u);
  EXPECT_EQ(result.returnedAdapter, 2);  // the entry keeps its address
  EXPECT_EQ(result.returnedTarget, 1);
  EXPECT_TRUE(io_.Calls().empty());
}

// A driver whose answers are written by the test, to check the offsets the
// result is read from and that nothing is read or written past the lengths.
class ScriptedDeviceIo : public platform::DeviceIo {
 public:
  std::map<std::size_t, std::uint8_t> answer;  // offset -> byte
  std::uint8_t fill = 0xEE;
  bool succeed = true;
  std::uint32_t error = 0;
  std::uint32_t seenIn = 0;
  std::uint32_t seenOut = 0;

  std::optional<platform::Handle> Open(const char*, std::uint32_t, std::uint32_t, std::uint32_t,
                                       std::uint32_t) override {
    return 7;
  }
  bool Control(platform::Handle, std::uint32_t, void*, std::uint32_t inLength, void* out,
               std::uint32_t outLength) override {
    seenIn = inLength;
    seenOut = outLength;
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::fill_n(bytes, outLength, fill);
    for (const auto& [offset, value] : answer) {
      if (offset < outLength) bytes[offset] = value;
    }
    return succeed;
  }
  void Close(platform::Handle) override {}
  std::uint32_t LastError() override { return error; }
  void PutAddress(std::uint8_t* field, void*) override { std::fill_n(field, 4, 0); }
};

TEST(NtResult, StatusSenseAndAddressComeFromTheirOwnOffsets) {
  ScriptedDeviceIo io;
  io.answer = {{2, 0x02}, {3, 7}, {4, 8}, {5, 9}, {50, 0x22}, {60, 0x3A}, {61, 0x01}};
  scsi::NtPassThrough nt(io);
  fakes::FakeDialogs dialogs;
  ASSERT_TRUE(nt.OpenForFlash('E').Opened());
  for (NtForm form : {NtForm::Buffered, NtForm::Direct}) {
    const auto result =
        nt.NTSendRequest(Request("00 00 00 00 00 00", 6, Direction::None, nullptr, 0, 3, form));
    EXPECT_EQ(result.status, 0x02);
    EXPECT_EQ(result.senseByte2, 0x22);
    EXPECT_EQ(result.asc, 0x3A);
    EXPECT_EQ(result.ascq, 0x01);
    EXPECT_EQ(result.returnedAdapter, 7);
    EXPECT_EQ(result.returnedTarget, 8);
    EXPECT_EQ(result.returnedLun, 9);
    EXPECT_TRUE(result.delivered);
  }
}

TEST(NtResult, TheBufferedFormPasses44InAnd80OutSoOnlyTheSenseAreaComesBack) {
  ScriptedDeviceIo io;
  scsi::NtPassThrough nt(io);
  fakes::FakeDialogs dialogs;
  ASSERT_TRUE(nt.OpenForFlash('E').Opened());
  nt.NTSendRequest(
      Request("00 00 00 00 00 00", 6, Direction::None, nullptr, 0, 3, NtForm::Buffered));
  EXPECT_EQ(io.seenIn, 44u);
  EXPECT_EQ(io.seenOut, 80u);
}

TEST(NtResult, GarbledAnswersAreCarriedAsTheyStandAndNeverCountAsGood) {
  ScriptedDeviceIo io;
  io.fill = 0xFF;
  scsi::NtPassThrough nt(io);
  fakes::FakeDialogs dialogs;
  ASSERT_TRUE(nt.OpenForFlash('E').Opened());
  const auto result = nt.NTSendRequest(
      Request("00 00 00 00 00 00", 6, Direction::None, nullptr, 0, 3, NtForm::Direct));
  EXPECT_EQ(result.status, 0xFF);
  EXPECT_FALSE(scsi::IsGood(result));
  EXPECT_EQ(drive::FormatReport("Read Buffer", result),
            "Read Buffer> Status: FF, SenseCode: FF FF FF");
}

TEST(NtResult, AFailedProbeCallShowsItsErrorAndStopsTheOpening) {
  ScriptedDeviceIo io;
  io.succeed = false;
  io.error = 1167;
  scsi::NtPassThrough nt(io);
  const scsi::Opening opening = nt.OpenForFlash('E');
  EXPECT_FALSE(opening.Opened());
  EXPECT_FALSE(nt.LastCallSucceeded());
  EXPECT_EQ(drive::OpeningText(opening), "Error reading inquiry data information; error was 1167");
}

}  // namespace
