// TEST UNIT READY in its two modes, START STOP UNIT and the E2 byte write,
// as each transport carries them.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "drive/drive_rig.h"

namespace drive {
namespace {

using testrig::Rig;

const std::string kBefore = "Remove disc, before to do the flash task.";
const std::string kBefor = "Remove disc, befor to do the flash task.";

struct TrayCase {
  const char* name;
  bool aspi;
  vdrive::Medium medium;
  std::optional<vdrive::CommandFailure> failure;  // on the first TUR
  bool result;
  std::vector<std::string> messages;
  std::uint8_t counter;  // ReadyWaitCounter afterwards
};

vdrive::CommandFailure TurAnswer(std::uint8_t status, vdrive::Sense sense,
                                 std::optional<std::uint8_t> aspiStatus = std::nullopt) {
  return {vdrive::Kind::TestUnitReady, 1, status, sense, aspiStatus};
}

class NoDiscCheckTest : public testing::TestWithParam<TrayCase> {};

TEST_P(NoDiscCheckTest, Outcome) {
  const TrayCase& c = GetParam();
  vdrive::DriveSpec spec = c.aspi ? testrig::AspiDrive(0, 0) : testrig::NtDrive('E');
  spec.medium = c.medium;
  spec.becomingReadyPolls = 5;
  if (c.failure) spec.failures.push_back(*c.failure);
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  if (!c.aspi) rig.OpenNt('E');
  const bool result = c.aspi ? rig.Commands().XCmd(entry, 0) : rig.Commands().NTXCmd(entry, 0);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(rig.Dialogs().Texts(), c.messages);
  EXPECT_EQ(rig.Commands().ReadyWaitCounter, c.counter);
}

using vdrive::Medium;

INSTANTIATE_TEST_SUITE_P(
    Cases, NoDiscCheckTest,
    testing::Values(
        TrayCase{"NtEmptyDrive", false, Medium::None, {}, true, {}, 144},
        TrayCase{"NtDiscLoaded", false, Medium::Loaded, {}, false, {kBefore}, 1},
        TrayCase{"NtBecomingReady", false, Medium::BecomingReady, {}, false, {}, 144},
        TrayCase{"NtErrorWithEmptySense", false, Medium::None, TurAnswer(0x02, {}), false, {kBefor}, 1},
        // Sense byte 2 is taken whole: 0x22 is not sense key 2.
        TrayCase{"NtFlaggedSenseKeyIsNotEmptyDrive", false, Medium::None,
                 TurAnswer(0x02, {0x22, 0x3A, 0x00}), false, {}, 144},
        TrayCase{"AspiEmptyDrive", true, Medium::None, {}, true, {}, 144},
        TrayCase{"AspiDiscLoaded", true, Medium::Loaded, {}, false, {kBefor}, 1},
        TrayCase{"AspiBecomingReady", true, Medium::BecomingReady, {}, false, {}, 144},
        TrayCase{"AspiErrorWithEmptySense", true, Medium::None, TurAnswer(0x02, {}), false, {kBefore}, 1},
        TrayCase{"AspiStatus82", true, Medium::Loaded, TurAnswer(0x02, {}, 0x82), false,
                 {"Command Error: 82"}, 144}),
    [](const auto& info) { return info.param.name; });

class ReadyCheckTest : public testing::TestWithParam<TrayCase> {};

TEST_P(ReadyCheckTest, Outcome) {
  const TrayCase& c = GetParam();
  vdrive::DriveSpec spec = c.aspi ? testrig::AspiDrive(0, 0) : testrig::NtDrive('E');
  spec.medium = c.medium;
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  if (!c.aspi) rig.OpenNt('E');
  const bool result = c.aspi ? rig.Commands().XCmd(entry, 1) : rig.Commands().NTXCmd(entry, 1);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(rig.Dialogs().Texts(), c.messages);
  EXPECT_EQ(rig.Commands().ReadyWaitCounter, c.counter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadyCheckTest,
    testing::Values(
        TrayCase{"NtReady", false, Medium::Loaded, {}, true, {}, 144},
        TrayCase{"NtNotReady", false, Medium::None, {}, false,
                 {"Status: 02, SenseCode: 02 3A 00"}, 144},
        TrayCase{"AspiReady", true, Medium::Loaded, {}, true, {}, 144},
        TrayCase{"AspiNotReady", true, Medium::None, {}, false,
                 {"Status: 04, SenseCode: 02 3A 00"}, 144}),
    [](const auto& info) { return info.param.name; });

TEST(TestUnitReadyTest, NtUsesTheBufferedRecordWithSixCdbBytesDataInAndThreeSeconds) {
  Rig rig({testrig::NtDrive('E')});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  rig.Commands().NTXCmd(entry, 0);
  const testrig::NtRecord r = rig.LastNtRecord();
  EXPECT_EQ(r.code, 0x4D004u);
  EXPECT_EQ(r.inLength, 44u);
  EXPECT_EQ(r.outLength, 80u);
  EXPECT_EQ(r.cdbLength, 6);
  EXPECT_EQ(r.senseLength, 24);
  EXPECT_EQ(r.dataIn, 1);
  EXPECT_EQ(r.transferLength, 0u);
  EXPECT_EQ(r.timeout, 3u);
  EXPECT_EQ(r.cdb, "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
}

TEST(TestUnitReadyTest, AspiSendsTwelveZeroCdbBytesWithoutDirection) {
  Rig rig({testrig::AspiDrive(0, 1)});
  DriveEntry entry;
  entry.Target = 1;
  entry.LogicalUnit = 4;
  rig.Commands().XCmd(entry, 0);
  EXPECT_EQ(rig.LastSrb(), (testrig::Srb{0x02, 0, 0x40, 1, 0, 0, false, 14, 12,
                                          "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"}));
  EXPECT_EQ(rig.TraceText(), "0:1 00 00 00 00 00 00 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00\n");
}

// A pass-through call that fails outright leaves status and sense at zero;
// that is not a drive reporting a disc.
TEST(TestUnitReadyTest, NtCallThatNeverReachedTheDriveIsNoDiscMessage) {
  vdrive::DriveSpec spec = testrig::NtDrive('E');
  spec.medium = Medium::None;
  spec.callFailures.push_back({vdrive::Kind::TestUnitReady, 1, 31});
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  EXPECT_FALSE(rig.Commands().NTXCmd(entry, 0));
  EXPECT_TRUE(rig.Dialogs().shown.empty());
  EXPECT_EQ(rig.Commands().ReadyWaitCounter, 144);
}

// A request still pending when the completion wait ends reads SS_PENDING.
TEST(TestUnitReadyTest, AspiRequestStillPendingShowsCommandError00) {
  vdrive::DriveSpec spec = testrig::AspiDrive(0, 0);
  spec.holds.push_back({vdrive::Kind::TestUnitReady, 1, vdrive::Delivery::Never});
  Rig rig({spec});
  DriveEntry entry;
  EXPECT_FALSE(rig.Commands().XCmd(entry, 0));
  EXPECT_EQ(rig.Dialogs().Texts(), std::vector<std::string>{"Command Error: 00"});
  EXPECT_EQ(rig.Commands().ReadyWaitCounter, 144);
}

TEST(StartStopUnitTest, BothTransportsSendThePowerConditionSilently) {
  Rig nt({testrig::NtDrive('E')});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  nt.OpenNt('E');
  nt.Commands().NTStartStopUnit(entry, 0x03);
  const testrig::NtRecord r = nt.LastNtRecord();
  EXPECT_EQ(r.code, 0x4D004u);
  EXPECT_EQ(r.cdbLength, 6);
  EXPECT_EQ(r.dataIn, 1);
  EXPECT_EQ(r.timeout, 9u);
  EXPECT_EQ(nt.Cdbs(), std::vector<std::string>{"1B 00 00 00 03 00"});

  vdrive::DriveSpec failing = testrig::AspiDrive(0, 0);
  failing.failures.push_back({vdrive::Kind::StartStopUnit, 0, 0x02, {0x05, 0x24, 0x00}, {}});
  Rig aspi({failing});
  aspi.Commands().StartStopUnit(entry, 0x03);
  aspi.Commands().StartStopUnit(entry, 0x00);
  EXPECT_EQ(aspi.Cdbs(), (std::vector<std::string>{"1B 00 00 00 03 00 00 00 00 00 00 00",
                                                   "1B 00 00 00 00 00 00 00 00 00 00 00"}));
  EXPECT_EQ(aspi.LastSrb().flags, 0x40);
  EXPECT_TRUE(aspi.Dialogs().shown.empty());
}

const std::uint8_t kE2Bytes[] = {0x11, 0x22, 0x33};

TEST(WriteE2Test, NtWritesThreeBytesFromFFAtConsecutiveAddresses) {
  Rig rig({testrig::NtDrive('E')});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  EXPECT_TRUE(rig.Commands().NTWriteE2(entry, kE2Bytes, 3, 0x00FF));
  EXPECT_EQ(rig.Cdbs(), (std::vector<std::string>{"DF 0A 00 00 00 00 00 00 FF 11 00 00",
                                                  "DF 0A 00 00 00 00 00 01 00 22 00 00",
                                                  "DF 0A 00 00 00 00 00 01 01 33 00 00"}));
  const testrig::NtRecord r = rig.LastNtRecord();
  EXPECT_EQ(r.code, 0x4D004u);
  EXPECT_EQ(r.cdbLength, 12);
  EXPECT_EQ(r.dataIn, 1);
  EXPECT_EQ(r.timeout, 3u);
  EXPECT_EQ(rig.DriveAt(0).E2(0x00FF), 0x11);
  EXPECT_EQ(rig.DriveAt(0).E2(0x0101), 0x33);
}

TEST(WriteE2Test, AspiUsesSubCode8A) {
  Rig rig({testrig::AspiDrive(0, 0)});
  DriveEntry entry;
  EXPECT_TRUE(rig.Commands().WriteE2(entry, kE2Bytes, 3, 0x00FF));
  EXPECT_EQ(rig.Cdbs(), (std::vector<std::string>{"DF 8A 00 00 00 00 00 00 FF 11 00 00",
                                                  "DF 8A 00 00 00 00 00 01 00 22 00 00",
                                                  "DF 8A 00 00 00 00 00 01 01 33 00 00"}));
  EXPECT_EQ(rig.LastSrb().flags, 0x40);
  EXPECT_EQ(rig.LastSrb().bufLen, 0u);
}

TEST(WriteE2Test, CountZeroSendsNothing) {
  Rig rig({testrig::NtDrive('E')});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  EXPECT_TRUE(rig.Commands().NTWriteE2(entry, kE2Bytes, 0, 0x10));
  EXPECT_TRUE(rig.Commands().WriteE2(entry, kE2Bytes, 0, 0x10));
  EXPECT_TRUE(rig.Cdbs().empty());
}

struct E2StopCase {
  const char* name;
  bool aspi;
  vdrive::CommandFailure failure;  // on the second byte
  bool result;
  std::size_t sent;
  std::vector<std::string> messages;
};

class WriteE2StopTest : public testing::TestWithParam<E2StopCase> {};

TEST_P(WriteE2StopTest, StopsOnlyWhereTheStatusSays) {
  const E2StopCase& c = GetParam();
  vdrive::DriveSpec spec = c.aspi ? testrig::AspiDrive(0, 0) : testrig::NtDrive('E');
  spec.failures.push_back(c.failure);
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  if (!c.aspi) rig.OpenNt('E');
  const bool result = c.aspi ? rig.Commands().WriteE2(entry, kE2Bytes, 3, 0x00FF)
                             : rig.Commands().NTWriteE2(entry, kE2Bytes, 3, 0x00FF);
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(rig.Cdbs().size(), c.sent);
  EXPECT_EQ(rig.Dialogs().Texts(), c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteE2StopTest,
    testing::Values(
        E2StopCase{"NtErrorStatusStops", false,
                   {vdrive::Kind::WriteE2, 2, 0x02, {0x05, 0x24, 0x00}, {}}, false, 2,
                   {"Write E2> Status: 02, SenseCode: 05 24 00"}},
        E2StopCase{"AspiErrorStatusStops", true,
                   {vdrive::Kind::WriteE2, 2, 0x02, {0x05, 0x24, 0x00}, {}}, false, 2,
                   {"Write E2> Status: 04, SenseCode: 05 24 00"}},
        E2StopCase{"AspiOtherStatusGoesOn", true,
                   {vdrive::Kind::WriteE2, 2, 0x02, {0x05, 0x24, 0x00}, 0x82}, true, 3, {}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace drive
