// The NT family's send operation over Linux SG_IO: what each drive command
// becomes in sg_io_hdr terms, and how the driver's answer is judged.
#include "scsi/sg_pass_through.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "drive/requests.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_ui.h"
#include "support/bytes.h"
#include "drive/report.h"

namespace {

using platform::SgCommand;
using platform::SgDirection;
using testsupport::Hex;
using testsupport::ToHex;

// A SCSI generic layer that records every SG_IO and answers from a script.
class FakeScsiGeneric final : public platform::ScsiGeneric {
 public:
  struct Reply {
    bool executed = true;
    std::uint32_t error = 0;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> sense;
    std::uint16_t hostStatus = 0;
    std::uint16_t driverStatus = 0;
  };

  std::optional<platform::Handle> Open(const std::string& node) override {
    opened.push_back(node);
    if (openError != 0) {
      lastError = openError;
      return std::nullopt;
    }
    return ++handles;
  }
  void Close(platform::Handle handle) override { closed.push_back(handle); }
  bool Execute(platform::Handle, SgCommand& command) override {
    sent.push_back(command);
    const Reply reply = replies.empty() ? Reply{} : replies.front();
    if (!replies.empty()) replies.pop_front();
    if (!reply.executed) {
      lastError = reply.error;
      return false;
    }
    command.status = reply.status;
    std::copy(reply.sense.begin(), reply.sense.end(), command.sense.begin());
    command.senseWritten = static_cast<std::uint8_t>(reply.sense.size());
    command.hostStatus = reply.hostStatus;
    command.driverStatus = reply.driverStatus;
    return true;
  }
  std::optional<int> VersionNumber(platform::Handle) override { return version; }
  std::optional<platform::ScsiAddress> Address(platform::Handle) override {
    return platform::ScsiAddress{3, 1, 2, 0};
  }
  bool IsBlockDevice(platform::Handle) override { return false; }
  std::uint32_t LastError() override { return lastError; }
  std::string ErrorText(std::uint32_t error) override {
    return error == 13 ? "Permission denied" : "error " + std::to_string(error);
  }
  std::optional<int> DeviceType(const std::string&) override { return 5; }
  std::string ShownName(const std::string& node) override { return node; }
  bool HasRawIo() override { return true; }
  std::vector<std::string> CdRomNodes() override { return {}; }

  std::vector<std::string> opened;
  std::vector<platform::Handle> closed;
  std::vector<SgCommand> sent;
  std::deque<Reply> replies;
  std::uint32_t openError = 0;
  std::uint32_t lastError = 0;
  std::optional<int> version = 30536;
  platform::Handle handles = 40;
};

std::string DirectionName(SgDirection d) {
  return d == SgDirection::None ? "none" : d == SgDirection::ToDevice ? "to-device" : "from-device";
}

// What the NT command methods hand the transport, and what SG_IO must carry:
// the same CDB bytes and length, the data only where bytes move, the time
// limit in milliseconds.
struct CommandCase {
  const char* name;
  scsi::ScsiRequest request;
  const char* cdb;
  const char* direction;
  std::uint32_t length;
  std::uint32_t timeoutMs;
};

std::uint8_t chunk[16384];
std::uint8_t answer[128];

drive::DriveEntry At(std::uint8_t path, std::uint8_t target) {
  drive::DriveEntry entry;
  entry.Adapter = path;
  entry.Target = target;
  return entry;
}

const CommandCase kCommands[] = {
    {"inquiry",
     drive::NtRequest(At(0, 0), drive::InquiryCdb(128), 6, scsi::NtForm::Direct,
                      {scsi::Direction::In, answer, 128}, std::chrono::seconds(3)),
     "12 00 00 00 80 00", "from-device", 128, 3000},
    // The NT record marks a command without data "data-in" with no length.
    {"test unit ready",
     drive::NtRequest(At(0, 0), drive::TestUnitReadyCdb(), 6, scsi::NtForm::Buffered,
                      {scsi::Direction::In, nullptr, 0}, std::chrono::seconds(3)),
     "00 00 00 00 00 00", "none", 0, 3000},
    {"start stop unit",
     drive::NtRequest(At(0, 0), drive::StartStopUnitCdb(0x03), 6, scsi::NtForm::Buffered,
                      {scsi::Direction::In, nullptr, 0}, std::chrono::seconds(9)),
     "1B 00 00 00 03 00", "none", 0, 9000},
    {"write buffer chunk",
     drive::NtRequest(At(0, 0), drive::WriteBufferCdb(0x4000, 0x4000, 0x00), 10,
                      scsi::NtForm::Direct, {scsi::Direction::Out, chunk, 16384}, std::chrono::seconds(20)),
     "3B 05 01 00 40 00 00 40 00 00", "to-device", 16384, 20000},
    {"read buffer chunk",
     drive::NtRequest(At(0, 0), drive::ReadBufferCdb(0x8000, 0x4000), 10,
                      scsi::NtForm::Direct, {scsi::Direction::In, chunk, 16384}, std::chrono::seconds(20)),
     "3C 01 01 00 80 00 00 40 00 00", "from-device", 16384, 20000},
};

class SgCommandOfTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(SgCommandOfTest, CarriesTheNtRequestUnchanged) {
  const CommandCase& c = GetParam();
  const SgCommand command = scsi::SgCommandOf(c.request);
  EXPECT_EQ(ToHex(command.cdb.data(), command.cdbLength), c.cdb);
  EXPECT_EQ(DirectionName(command.direction), c.direction);
  EXPECT_EQ(command.length, c.length);
  EXPECT_EQ(command.timeout.count(), c.timeoutMs);
  EXPECT_EQ(command.data, c.length ? c.request.data : nullptr);
}

INSTANTIATE_TEST_SUITE_P(NtCommands, SgCommandOfTest, ::testing::ValuesIn(kCommands),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& ch : name)
                             if (ch == ' ') ch = '_';
                           return name;
                         });

// The sg driver's answers and the verdict the NT rules give them.
struct JudgeCase {
  const char* name;
  FakeScsiGeneric::Reply reply;
  bool delivered;
  bool good;
  const char* report;
};

const JudgeCase kJudgements[] = {
    {"good", {}, true, true, "Write Buffer> Status: 00, SenseCode: 00 00 00"},
    {"check condition, medium not present",
     {true, 0, 0x02, Hex("70 00 02 00 00 00 00 0A 00 00 00 00 3A 00"), 0, 0x08},
     true, false, "Write Buffer> Status: 02, SenseCode: 02 3A 00"},
    // The sense key byte is taken whole, as the NT record holds it.
    {"sense byte 2 with flag bits",
     {true, 0, 0x02, Hex("70 00 25 00 00 00 00 0A 00 00 00 00 24 01"), 0, 0x08},
     true, false, "Write Buffer> Status: 02, SenseCode: 25 24 01"},
    // Only the bytes the driver wrote count: a short sense has no ASC.
    {"short sense",
     {true, 0, 0x02, Hex("70 00 05 00 00 00 00 00"), 0, 0x08},
     true, false, "Write Buffer> Status: 02, SenseCode: 05 00 00"},
    {"ioctl refused",
     {false, 5, 0, {}, 0, 0}, false, false, "Write Buffer> Status: 00, SenseCode: 00 00 00 (system error 5)"},
    {"host status DID_ERROR",
     {true, 0, 0x00, {}, 0x07, 0x00}, false, false,
     "Write Buffer> Status: 00, SenseCode: 00 00 00 (host status 07, driver status 00)"},
    {"host status DID_NO_CONNECT (device gone)",
     {true, 0, 0x00, {}, 0x01, 0x00}, false, false,
     "Write Buffer> Status: 00, SenseCode: 00 00 00 (host status 01, driver status 00)"},
    {"driver status DRIVER_TIMEOUT",
     {true, 0, 0x00, {}, 0x00, 0x06}, false, false,
     "Write Buffer> Status: 00, SenseCode: 00 00 00 (host status 00, driver status 06)"},
    // DRIVER_SENSE with a suggestion bit is more than "sense follows".
    {"driver status sense with retry suggestion",
     {true, 0, 0x00, {}, 0x00, 0x18}, false, false,
     "Write Buffer> Status: 00, SenseCode: 00 00 00 (host status 00, driver status 18)"},
};

class SgJudgeTest : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(SgJudgeTest, JudgesByTheNtRules) {
  const JudgeCase& c = GetParam();
  FakeScsiGeneric sg;
  sg.replies.push_back(c.reply);
  scsi::SgPassThrough pass(sg);
  pass.SetNodes({"/dev/sg1"});
  fakes::FakeDialogs dialogs;
  ASSERT_TRUE(pass.OpenForFlash('A').Opened());
  const scsi::ScsiResult result = pass.NTSendRequest(kCommands[3].request);
  EXPECT_EQ(result.delivered, c.delivered);
  EXPECT_EQ(scsi::IsGood(result), c.good);
  EXPECT_EQ(drive::FormatReport("Write Buffer", result), c.report);
  ASSERT_EQ(sg.sent.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Answers, SgJudgeTest, ::testing::ValuesIn(kJudgements),
                         [](const auto& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

TEST(SgPassThrough, ReturnsTheDevicesChannelTargetAndLunAsTheNtRecordWould) {
  FakeScsiGeneric sg;
  scsi::SgPassThrough pass(sg);
  pass.SetNodes({"/dev/sg0", "/dev/sg1"});
  const std::optional<platform::Handle> handle = pass.OpenDriveDevice('B');
  ASSERT_TRUE(handle);
  EXPECT_EQ(sg.opened, std::vector<std::string>{"/dev/sg1"});
  const scsi::ScsiResult result = pass.NTSendRequest(kCommands[0].request, *handle);
  EXPECT_EQ(result.returnedAdapter, 1);
  EXPECT_EQ(result.returnedTarget, 2);
  EXPECT_EQ(result.returnedLun, 0);
  EXPECT_EQ(pass.DeviceName('B'), "/dev/sg1");
}

TEST(SgPassThrough, ALetterBeyondTheNodesOpensNothing) {
  FakeScsiGeneric sg;
  scsi::SgPassThrough pass(sg);
  pass.SetNodes({"/dev/sg0"});
  EXPECT_FALSE(pass.OpenDriveDevice('B'));
  EXPECT_TRUE(sg.opened.empty());
}

TEST(SgPassThrough, AFailedOpenSaysWhichNodeAndWhy) {
  FakeScsiGeneric sg;
  sg.openError = 13;
  scsi::SgPassThrough pass(sg);
  pass.SetNodes({"/dev/sr0"});
  const scsi::Opening opening = pass.OpenForFlash('A');
  EXPECT_FALSE(opening.Opened());
  EXPECT_EQ(drive::OpeningText(opening), "Error opening: 13 (/dev/sr0: Permission denied)");
}

TEST(SgPassThrough, ANodeWithoutSgIoIsRefusedAndClosedBeforeAnyCommand) {
  FakeScsiGeneric sg;
  sg.version = 20000;
  scsi::SgPassThrough pass(sg);
  pass.SetNodes({"/dev/sg0"});
  const scsi::Opening opening = pass.OpenForFlash('A');
  EXPECT_FALSE(opening.Opened());
  EXPECT_EQ(drive::OpeningText(opening), "Error reading inquiry data information; error was 19");
  EXPECT_EQ(sg.closed.size(), 1u);
  const scsi::ScsiResult result = pass.NTSendRequest(kCommands[1].request);
  EXPECT_FALSE(result.delivered);
  EXPECT_TRUE(sg.sent.empty());
}

}  // namespace
