// The ASPI transport: the SRB_ExecSCSICmd it hands to the library, byte for
// byte, the completion wait, and the end of a request the wait gave up on.
#include "scsi/aspi_transport.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>

#include "support/bytes.h"
#include "scsi/nt_passthrough.h"
#include "drive/report.h"
#include "vdrive/inprocess.h"

namespace {

using scsi::Direction;
using testsupport::Hex;
using testsupport::Le32;
using testsupport::ToHex;

vdrive::Scenario AspiDrive(const std::string& extra = "") {
  auto parsed = vdrive::ParseScenario("[drive]\naspi = 1 0\n" + extra);
  EXPECT_TRUE(parsed.scenario) << parsed.error;
  return *parsed.scenario;
}

scsi::ScsiRequest Request(std::string_view cdb, std::uint8_t cdbLength, Direction direction,
                          std::uint8_t* data, std::uint32_t length) {
  scsi::ScsiRequest request;
  request.adapter = 1;
  request.target = 0;
  const auto bytes = Hex(cdb);
  std::copy(bytes.begin(), bytes.end(), request.cdb.begin());
  request.cdbLength = cdbLength;
  request.direction = direction;
  request.data = data;
  request.transferLength = length;
  return request;
}

// A library front that remembers the wait limit it was given.
class AspiLibraryRig : public vdrive::AspiFront {
 public:
  using AspiFront::AspiFront;
  std::vector<std::chrono::milliseconds> limits;
  platform::WaitResult Wait(platform::EventHandle event, std::chrono::milliseconds limit) override {
    limits.push_back(limit);
    return AspiFront::Wait(event, limit);
  }
};

class AspiTransport : public ::testing::Test {
 protected:
  explicit AspiTransport(const std::string& extra = "")
      : bus_(AspiDrive(extra)), library_(bus_), aspi_(library_, std::chrono::milliseconds(50)) {}

  const vdrive::AspiFront::Request& LastExec() {
    for (auto it = library_.Requests().rbegin(); it != library_.Requests().rend(); ++it) {
      if (it->block[0] == 0x02) return *it;
    }
    throw std::logic_error("no SRB_ExecSCSICmd sent");
  }
  vdrive::Drive& Drive() { return *bus_.ByAddress(1, 0); }

  vdrive::Bus bus_;
  AspiLibraryRig library_;
  scsi::AspiTransport aspi_;
};

// One row of the per-command table. "BP BP BP BP" stands for the buffer
// address and "EV EV EV EV" for the event, both checked separately.
struct AspiRow {
  const char* name;
  const char* cdb;
  std::uint8_t cdbLength;
  Direction direction;
  std::uint32_t length;
  bool hasBuffer;
  const char* header;  // bytes 0 to 27
};

const AspiRow kAspiRows[] = {
    {"inquiry", "12 00 00 00 24 00", 6, Direction::In, 36, true,
     "02 00 01 48 00 00 00 00 00 00 00 00 24 00 00 00 BP BP BP BP 0E 06 00 00 EV EV EV EV"},
    {"test unit ready", "00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, 0, false,
     "02 00 01 40 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0E 0C 00 00 EV EV EV EV"},
    {"start stop unit", "1B 00 00 00 03 00 00 00 00 00 00 00", 12, Direction::None, 0, false,
     "02 00 01 40 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0E 0C 00 00 EV EV EV EV"},
    {"e2 write", "DF 8A 00 00 00 00 00 01 00 5A 00 00", 12, Direction::None, 0, false,
     "02 00 01 40 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 0E 0C 00 00 EV EV EV EV"},
    {"write buffer chunk", "3B 05 01 00 40 00 00 40 00 00 00 00", 12, Direction::Out, 16384, true,
     "02 00 01 50 00 00 00 00 00 00 00 00 00 40 00 00 BP BP BP BP 0E 0C 00 00 EV EV EV EV"},
    {"write buffer final", "3B 05 01 00 00 C6 00 00 01 80 00 00", 12, Direction::Out, 1, true,
     "02 00 01 50 00 00 00 00 00 00 00 00 01 00 00 00 BP BP BP BP 0E 0C 00 00 EV EV EV EV"},
    {"read buffer", "3C 01 01 01 00 00 00 40 00 00 00 00", 12, Direction::In, 16384, true,
     "02 00 01 48 00 00 00 00 00 00 00 00 00 40 00 00 BP BP BP BP 0E 0C 00 00 EV EV EV EV"},
    {"flash id read", "DF 11 00 00 00 00 00 00 00 00 00 00", 12, Direction::In, 128, true,
     "02 00 01 48 00 00 00 00 00 00 00 00 80 00 00 00 BP BP BP BP 0E 0C 00 00 EV EV EV EV"},
    {"profile write", "3B 05 01 08 00 00 00 01 C8 00 00 00", 12, Direction::Out, 456, true,
     "02 00 01 50 00 00 00 00 00 00 00 00 C8 01 00 00 BP BP BP BP 0E 0C 00 00 EV EV EV EV"},
    {"profile read-back", "3C 01 01 08 00 00 00 01 C8 00 00 00", 12, Direction::In, 456, true,
     "02 00 01 48 00 00 00 00 00 00 00 00 C8 01 00 00 BP BP BP BP 0E 0C 00 00 EV EV EV EV"},
    {"critical entry", "3B 05 01 00 00 00 00 00 00 7F 00 00", 12, Direction::None, 0, true,
     "02 00 01 40 00 00 00 00 00 00 00 00 00 00 00 00 BP BP BP BP 0E 0C 00 00 EV EV EV EV"},
};

TEST_F(AspiTransport, EveryCommandOfTheTableGoesOutAsItsExactBlock) {
  std::array<std::uint8_t, 16384> buffer{};
  for (const AspiRow& row : kAspiRows) {
    SCOPED_TRACE(row.name);
    aspi_.W9xSendRequest(Request(row.cdb, row.cdbLength, row.direction,
                                 row.hasBuffer ? buffer.data() : nullptr, row.length));
    const auto& block = LastExec().block;
    ASSERT_EQ(block.size(), 80u);
    std::string header = ToHex(block, 0, 28);
    EXPECT_EQ(library_.Resolve(Le32(block, 16)), row.hasBuffer ? buffer.data() : nullptr);
    if (row.hasBuffer) header.replace(48, 11, "BP BP BP BP");
    EXPECT_NE(Le32(block, 24), 0u);
    header.replace(72, 11, "EV EV EV EV");
    EXPECT_EQ(header, row.header);

    std::vector<std::uint8_t> cdb(16, 0);
    const auto sent = Hex(row.cdb);
    std::copy(sent.begin(), sent.end(), cdb.begin());
    EXPECT_EQ(ToHex(block, 48, 16), ToHex(cdb.data(), 16));
    EXPECT_EQ(ToHex(block, 28, 20), ToHex(std::vector<std::uint8_t>(20, 0), 0, 20));
    EXPECT_EQ(ToHex(block, 64, 16), ToHex(std::vector<std::uint8_t>(16, 0), 0, 16));
  }
  EXPECT_EQ(library_.OpenEvents(), 0u);
}

TEST_F(AspiTransport, TheLogicalUnitOfTheEntryNeverReachesTheBlock) {
  auto request = Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0);
  request.lun = 7;
  const auto result = aspi_.W9xSendRequest(request);
  const auto& block = LastExec().block;
  EXPECT_EQ(block[2], 1);  // SRB_HaId
  EXPECT_EQ(block[8], 0);  // SRB_Target
  EXPECT_EQ(block[9], 0);  // SRB_Lun
  EXPECT_EQ(result.status, 0x04);
  EXPECT_EQ(result.senseByte2, 0x02);
  EXPECT_EQ(result.asc, 0x3A);
}

TEST_F(AspiTransport, TestUnitReadyGoesOutWithTwelveZeroCdbBytes) {
  aspi_.W9xSendRequest(
      Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0));
  const auto& block = LastExec().block;
  EXPECT_EQ(block[21], 12);
  EXPECT_EQ(ToHex(block, 48, 12), "00 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(bus_.SessionTrace().Entries().back().cdb, std::vector<std::uint8_t>(12, 0));
}

TEST_F(AspiTransport, ARequestCompletedInsideTheSendIsNotWaitedFor) {
  const auto result = aspi_.W9xSendRequest(
      Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0));
  EXPECT_EQ(library_.Waits(), 0u);
  EXPECT_EQ(library_.Resets(), 0u);
  EXPECT_TRUE(result.delivered);
  EXPECT_EQ(library_.OpenEvents(), 0u);
}

TEST_F(AspiTransport, ReadsTheDataAndACleanCompletion) {
  std::array<std::uint8_t, 36> data{};
  const auto result =
      aspi_.W9xSendRequest(Request("12 00 00 00 24 00", 6, Direction::In, data.data(), 36));
  EXPECT_TRUE(scsi::IsCompleteAndClean(result));
  EXPECT_EQ(std::string(data.begin() + 16, data.begin() + 32), "QRW-20410C      ");
}

class AspiCompletingAtWait : public AspiTransport {
 protected:
  AspiCompletingAtWait() : AspiTransport("hold = tur 1 at-wait\n") {}
};

TEST_F(AspiCompletingAtWait, APendingRequestIsWaitedForWithTheGivenLimitAndTheEventReset) {
  const auto result = aspi_.W9xSendRequest(
      Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0));
  EXPECT_EQ(library_.limits, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(50)});
  EXPECT_EQ(library_.Resets(), 1u);
  EXPECT_TRUE(result.delivered);
  EXPECT_EQ(result.status, 0x04);
  EXPECT_EQ(library_.OpenEvents(), 0u);
}

TEST(AspiWaitLimit, DefaultsTo180000Milliseconds) {
  vdrive::Bus bus(AspiDrive("hold = tur 1 at-wait\n"));
  AspiLibraryRig library(bus);
  scsi::AspiTransport aspi(library);
  aspi.W9xSendRequest(
      Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0));
  EXPECT_EQ(library.limits,
            std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(180000)});
}

// A request the wait gave up on still belongs to the library: it is failed
// and ended with SC_ABORT_SRB before the block is filled again.
class AspiNeverCompleting : public AspiTransport {
 protected:
  AspiNeverCompleting() : AspiTransport("hold = read-chunk 1 never\n") {}
};

TEST_F(AspiNeverCompleting, ThePendingRequestFailsAndIsAbortedByItsBlockAddress) {
  std::vector<std::uint8_t> chunk(16384, 0);
  const auto result = aspi_.W9xSendRequest(
      Request("3C 01 01 00 00 00 00 40 00 00 00 00", 12, Direction::In, chunk.data(), 16384));
  EXPECT_FALSE(result.delivered);
  EXPECT_EQ(result.status, 0x00);
  EXPECT_FALSE(scsi::IsComplete(result));
  EXPECT_EQ(drive::FormatReport("Read Buffer", result),
            "Read Buffer> Status: 00, SenseCode: 00 00 00");

  const auto& requests = library_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  const auto& abort = requests[1].block;
  EXPECT_EQ(ToHex(abort, 0, 8), "03 00 01 00 00 00 00 00");
  EXPECT_EQ(library_.Resolve(Le32(abort, 8)), requests[0].address);
  EXPECT_EQ(requests[1].returned, 0x01u);
  EXPECT_EQ(library_.Outstanding(), 0u);
  EXPECT_EQ(library_.OpenEvents(), 0u);
}

class AspiCompletingLate : public AspiTransport {
 protected:
  AspiCompletingLate() : AspiTransport("hold = read-chunk 1 after-wait\n") {}
};

TEST_F(AspiCompletingLate, ALateCompletionNeverWritesIntoTheBufferOnceTheRequestFailed) {
  std::vector<std::uint8_t> image(16384, 0xA5);
  aspi_.W9xSendRequest(
      Request("3B 05 01 00 00 00 00 40 00 00 00 00", 12, Direction::Out, image.data(), 16384));
  std::vector<std::uint8_t> chunk(16384, 0);
  const auto failed = aspi_.W9xSendRequest(
      Request("3C 01 01 00 00 00 00 40 00 00 00 00", 12, Direction::In, chunk.data(), 16384));
  EXPECT_FALSE(failed.delivered);

  const auto next = aspi_.W9xSendRequest(
      Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0));
  EXPECT_TRUE(next.delivered);
  EXPECT_EQ(next.status, 0x04);
  EXPECT_EQ(next.asc, 0x3A);
  EXPECT_TRUE(std::all_of(chunk.begin(), chunk.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(AspiTransport, NoEventMeansNoRequestAndAFailedResult) {
  library_.FailEvents(true);
  const auto result = aspi_.W9xSendRequest(
      Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0));
  EXPECT_FALSE(result.delivered);
  EXPECT_FALSE(scsi::IsComplete(result));
  EXPECT_TRUE(library_.Requests().empty());
}

class AspiHostAdapterFault : public AspiTransport {
 protected:
  AspiHostAdapterFault()
      : AspiTransport("fail = write-chunk 1 status 02 sense 22 3A 00 aspi-status 82\n") {}
};

TEST_F(AspiHostAdapterFault, AnyStatusIsCarriedUnchangedWithTheWholeSenseByte) {
  std::vector<std::uint8_t> chunk(16384, 1);
  const auto result = aspi_.W9xSendRequest(
      Request("3B 05 01 00 00 00 00 40 00 00 00 00", 12, Direction::Out, chunk.data(), 16384));
  EXPECT_EQ(result.status, 0x82);
  EXPECT_EQ(result.senseByte2, 0x22);
  EXPECT_TRUE(result.delivered);
  EXPECT_FALSE(scsi::IsComplete(result));
  EXPECT_EQ(drive::FormatReport("Write Buffer", result),
            "Write Buffer> Status: 82, SenseCode: 22 3A 00");
}

// A library whose answers are written by the test: the sense bytes are read
// from the block's own offsets, whatever else the block holds.
class ScriptedAspi : public platform::AspiLibrary {
 public:
  std::array<std::uint8_t, 80> reply{};
  int aborts = 0;
  bool Load(const std::string&) override { return true; }
  bool Loaded() const override { return true; }
  void Unload() override {}
  bool LookUp(const std::string&) override { return true; }
  std::uint32_t GetSupportInfo() override { return 0x0101; }
  std::uint32_t SendCommand(std::uint8_t* srb) override {
    if (srb[0] == 0x03) return ++aborts, 0x01;
    std::copy(reply.begin(), reply.end(), srb);
    return srb[1];
  }
  void PutAddress(std::uint8_t* field, void*) override { std::fill_n(field, 4, 0); }
  void PutEvent(std::uint8_t* field, platform::EventHandle) override { std::fill_n(field, 4, 0); }
  platform::EventHandle CreateEvent() override { return 1; }
  platform::WaitResult Wait(platform::EventHandle, std::chrono::milliseconds) override {
    return platform::WaitResult::Failed;
  }
  void ResetEvent(platform::EventHandle) override {}
  void CloseEvent(platform::EventHandle) override {}
};

TEST(AspiResult, StatusAndSenseComeFromBytes1_66_76_77) {
  ScriptedAspi library;
  library.reply.fill(0xEE);
  library.reply[1] = 0x04;
  library.reply[66] = 0x22;
  library.reply[76] = 0x3A;
  library.reply[77] = 0x01;
  scsi::AspiTransport aspi(library);
  const auto result = aspi.W9xSendRequest(
      Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0));
  EXPECT_EQ(result.status, 0x04);
  EXPECT_EQ(result.senseByte2, 0x22);
  EXPECT_EQ(result.asc, 0x3A);
  EXPECT_EQ(result.ascq, 0x01);
  EXPECT_TRUE(result.delivered);
}

TEST(AspiResult, AFailedWaitOnAPendingRequestStillEndsIt) {
  ScriptedAspi library;  // leaves SRB_Status 00 and the wait fails
  scsi::AspiTransport aspi(library);
  const auto result = aspi.W9xSendRequest(
      Request("00 00 00 00 00 00 00 00 00 00 00 00", 12, Direction::None, nullptr, 0));
  EXPECT_FALSE(result.delivered);
  EXPECT_EQ(library.aborts, 1);
  EXPECT_EQ(drive::FormatReport("Entry critical", result),
            "Entry critical> Status: 00, SenseCode: 00 00 00");
}

}  // namespace

namespace {

class AspiReadCompletingAtWait : public AspiTransport {
 protected:
  AspiReadCompletingAtWait() : AspiTransport("hold = inquiry 1 at-wait\n") {}
};

TEST_F(AspiReadCompletingAtWait, DataArrivesWithTheCompletionSignalledDuringTheWait) {
  std::array<std::uint8_t, 36> data{};
  const auto result =
      aspi_.W9xSendRequest(Request("12 00 00 00 24 00", 6, Direction::In, data.data(), 36));
  EXPECT_TRUE(scsi::IsCompleteAndClean(result));
  EXPECT_EQ(library_.Waits(), 1u);
  EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 15), "QUARVEL");
}

// The same three commands through both transports, as the drive saw them.
TEST(TransportSessions, BothTransportsLeaveTheirOwnExactTrace) {
  auto parsed = vdrive::ParseScenario("[drive]\nletter = E\naspi = 0 1\nmedium = loaded\n");
  ASSERT_TRUE(parsed.scenario);
  vdrive::Bus bus(*parsed.scenario);
  vdrive::DeviceIoFront io(bus);
  vdrive::AspiFront library(bus);
  scsi::NtPassThrough nt(io);
  scsi::AspiTransport aspi(library);
  const auto handle = nt.OpenDriveDevice('E');
  ASSERT_TRUE(handle);

  std::array<std::uint8_t, 4> chunk = {1, 2, 3, 4};
  auto tur = Request("00 00 00 00 00 00", 6, Direction::None, nullptr, 0);
  auto write = Request("3B 05 01 00 00 00 00 00 04 00", 10, Direction::Out, chunk.data(), 4);
  auto critical = Request("3B 05 01 00 00 00 00 00 00 7F", 10, Direction::In, nullptr, 0);
  tur.ntForm = scsi::NtForm::Buffered;
  for (auto* request : {&tur, &write, &critical}) {
    request->target = 1;
    request->adapter = 0;
    nt.NTSendRequest(*request, *handle);
    request->cdbLength = 12;
    aspi.W9xSendRequest(*request);
  }
  EXPECT_EQ(bus.SessionTrace().Text(),
            "E 00 00 00 00 00 00 / none 0 - -> 00 00 00 00\n"
            "E 00 00 00 00 00 00 00 00 00 00 00 00 / none 0 - -> 00 00 00 00\n"
            "E 3B 05 01 00 00 00 00 00 04 00 / out 4 5734A87D -> 00 00 00 00\n"
            "E 3B 05 01 00 00 00 00 00 04 00 00 00 / out 4 5734A87D -> 00 00 00 00\n"
            "E 3B 05 01 00 00 00 00 00 00 7F / none 0 - -> 00 00 00 00\n"
            "E 3B 05 01 00 00 00 00 00 00 7F 00 00 / none 0 - -> 00 00 00 00\n");
}

}  // namespace
