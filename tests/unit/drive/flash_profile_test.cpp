// The flash profile: identification read, table look-up, the record written
// to the drive, its read-back and the critical entry.
#include <gtest/gtest.h>

#include <vector>

#include "drive/drive_rig.h"

namespace drive {
namespace {

using testrig::Rig;

struct ProfileCase {
  const char* name;
  bool aspi;
  std::uint8_t maker, device;        // the drive's flash chip
  std::uint16_t length0, length1;    // table entry lengths (DA C8, BF B4)
  std::string writeCdb;              // ten significant bytes
  std::vector<std::uint8_t> head;    // the record's first four bytes
  std::size_t blocksFrom, profileLength;  // the profile inside the blocks
  bool matched;
};

vdrive::DriveSpec WithChip(bool aspi, std::uint8_t maker, std::uint8_t device) {
  vdrive::DriveSpec spec = aspi ? testrig::AspiDrive(0, 0) : testrig::NtDrive('E');
  spec.flashMaker = maker;
  spec.flashDevice = device;
  return spec;
}

class ProfileSetupTest : public testing::TestWithParam<ProfileCase> {};

TEST_P(ProfileSetupTest, WritesTheMatchedRecord) {
  const ProfileCase& c = GetParam();
  Rig rig({WithChip(c.aspi, c.maker, c.device)});
  rig.Package().Profile(0, 0xDA, 0xC8, c.length0).Profile(1, 0xBF, 0xB4, c.length1);
  DriveEntry entry;
  entry.DriveLetter = 'E';
  if (!c.aspi) rig.OpenNt('E');
  ASSERT_TRUE(c.aspi ? rig.Commands().SetupFlashProfile(entry)
                     : rig.Commands().NTSetupFlashProfile(entry));

  std::vector<std::uint8_t> record = c.head;
  const std::uint8_t* blocks = rig.Package().Blocks();
  record.insert(record.end(), blocks + c.blocksFrom, blocks + c.blocksFrom + c.profileLength);
  if (record.size() % 2) record.push_back(0x00);

  // The drive gets twelve CDB bytes for the profile write on both
  // transports; the flash identification read is ten on NT.
  EXPECT_EQ(rig.Cdbs(), (std::vector<std::string>{
                            c.aspi ? "DF 11 00 00 00 00 00 00 00 00 00 00"
                                   : "DF 11 00 00 00 00 00 00 00 00",
                            c.writeCdb + " 00 00"}));
  EXPECT_EQ(rig.DriveAt(0).Profile(), record);
  EXPECT_EQ(rig.Commands().ProfileMatched, c.matched);
  ASSERT_EQ(rig.Commands().SavedProfile.length, record.size());
  EXPECT_TRUE(std::equal(record.begin(), record.end(), rig.Commands().SavedProfile.bytes.begin()));
  EXPECT_TRUE(rig.Dialogs().shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileSetupTest,
    testing::Values(
        ProfileCase{"NtBFB4", false, 0xBF, 0xB4, 314, 452, "3B 05 01 08 00 00 00 01 C8 00",
                    {0xBF, 0xB4, 0x01, 0xC4}, 314, 452, true},
        ProfileCase{"AspiBFB4", true, 0xBF, 0xB4, 314, 452, "3B 05 01 08 00 00 00 01 C8 00",
                    {0xBF, 0xB4, 0x01, 0xC4}, 314, 452, true},
        ProfileCase{"NtDAC8", false, 0xDA, 0xC8, 314, 452, "3B 05 01 08 00 00 00 01 3E 00",
                    {0xDA, 0xC8, 0x01, 0x3A}, 0, 314, true},
        ProfileCase{"NtUnknownChip", false, 0x00, 0x00, 314, 452, "3B 05 01 08 00 00 00 00 04 00",
                    {0xFF, 0xFF, 0x00, 0x00}, 0, 0, false},
        ProfileCase{"AspiUnknownChip", true, 0x00, 0x00, 314, 452, "3B 05 01 08 00 00 00 00 04 00",
                    {0xFF, 0xFF, 0x00, 0x00}, 0, 0, false},
        // DA of the first entry and B4 of the second: both bytes must match
        // within one entry.
        ProfileCase{"NtFirstByteAloneIsNoMatch", false, 0xDA, 0xB4, 314, 452,
                    "3B 05 01 08 00 00 00 00 04 00", {0xFF, 0xFF, 0x00, 0x00}, 0, 0, false},
        ProfileCase{"NtOddLength315MakesA320ByteRecord", false, 0xDA, 0xC8, 315, 451,
                    "3B 05 01 08 00 00 00 01 40 00", {0xDA, 0xC8, 0x01, 0x3B}, 0, 315, true},
        ProfileCase{"NtSecondEntryStartsAfterAnOddFirst", false, 0xBF, 0xB4, 315, 451,
                    "3B 05 01 08 00 00 00 01 C8 00", {0xBF, 0xB4, 0x01, 0xC3}, 315, 451, true}),
    [](const auto& info) { return info.param.name; });

TEST(ProfileSetupTest, NtRecordsCarryTheirLengthsDirectionsAndTimeLimits) {
  Rig rig({WithChip(false, 0xBF, 0xB4)});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  ASSERT_TRUE(rig.Commands().NTSetupFlashProfile(entry));
  const auto& calls = rig.Io().Calls();
  ASSERT_GE(calls.size(), 2u);
  const testrig::NtRecord id = testrig::ReadNtRecord(calls[calls.size() - 2]);
  EXPECT_EQ(id.code, 0x4D014u);
  EXPECT_EQ(id.cdbLength, 10);
  EXPECT_EQ(id.dataIn, 1);
  EXPECT_EQ(id.transferLength, 128u);
  EXPECT_EQ(id.timeout, 8u);
  const testrig::NtRecord write = rig.LastNtRecord();
  EXPECT_EQ(write.code, 0x4D014u);
  EXPECT_EQ(write.cdbLength, 12);
  EXPECT_EQ(write.dataIn, 0);
  EXPECT_EQ(write.transferLength, 456u);
  EXPECT_EQ(write.timeout, 10u);
}

TEST(ProfileSetupTest, AspiRequestsMoveTheRecordOut) {
  Rig rig({WithChip(true, 0xBF, 0xB4)});
  DriveEntry entry;
  ASSERT_TRUE(rig.Commands().SetupFlashProfile(entry));
  const auto& requests = rig.Library().Requests();
  ASSERT_GE(requests.size(), 2u);
  const testrig::Srb id = testrig::ReadSrb(requests[requests.size() - 2].block);
  EXPECT_EQ(id.flags, 0x08 | 0x40);
  EXPECT_EQ(id.bufLen, 128u);
  EXPECT_EQ(id.cdbLen, 12);
  const testrig::Srb write = rig.LastSrb();
  EXPECT_EQ(write.flags, 0x10 | 0x40);
  EXPECT_EQ(write.bufLen, 456u);
  EXPECT_EQ(write.cdbLen, 12);
}

struct RefusalCase {
  const char* name;
  std::uint16_t length0, length1;
  std::string message;
};

class ProfileTableRefusalTest : public testing::TestWithParam<RefusalCase> {};

// A record longer than the 1024-byte profile buffers, or a profile that
// would be taken from beyond the profile blocks, is refused before anything
// is sent.
TEST_P(ProfileTableRefusalTest, NothingReachesTheDrive) {
  const RefusalCase& c = GetParam();
  for (bool aspi : {false, true}) {
    Rig rig({WithChip(aspi, 0xDA, 0xC8)});
    rig.Package().Profile(0, 0xDA, 0xC8, c.length0).Profile(1, 0xBF, 0xB4, c.length1);
    DriveEntry entry;
    entry.DriveLetter = 'E';
    if (!aspi) rig.OpenNt('E');
    EXPECT_FALSE(aspi ? rig.Commands().SetupFlashProfile(entry)
                      : rig.Commands().NTSetupFlashProfile(entry));
    EXPECT_TRUE(rig.Cdbs().empty());
    EXPECT_EQ(rig.Dialogs().Texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(rig.Commands().SavedProfile.length, 0);
    EXPECT_FALSE(rig.Commands().ProfileMatched);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileTableRefusalTest,
    testing::Values(
        RefusalCase{"RecordOf1026Bytes", 100, 1021,
                    "Flash profile BF B4 is too long: a record of 1026 bytes does not fit the "
                    "1024-byte profile buffer."},
        RefusalCase{"RecordOf1026BytesInTheFirstEntry", 1022, 0,
                    "Flash profile DA C8 is too long: a record of 1026 bytes does not fit the "
                    "1024-byte profile buffer."},
        RefusalCase{"ProfileBeyondTheBlocks", 700, 100,
                    "Flash profile BF B4 lies outside the package's profile blocks."}),
    [](const auto& info) { return info.param.name; });

TEST(ProfileSetupTest, LargestRecordThatFitsIsSent) {
  Rig rig({WithChip(false, 0xDA, 0xC8)});
  // All 766 bytes of the profile blocks as one profile: the largest the
  // package can carry.
  rig.Package().Profile(0, 0xDA, 0xC8, 766).Profile(1, 0xBF, 0xB4, 0);
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  EXPECT_TRUE(rig.Commands().NTSetupFlashProfile(entry));
  EXPECT_EQ(rig.DriveAt(0).Profile().size(), 770u);
}

TEST(ProfileSetupTest, FailedIdentificationReadWritesNothing) {
  vdrive::DriveSpec spec = WithChip(false, 0xBF, 0xB4);
  spec.failures.push_back({vdrive::Kind::FlashId, 1, 0x02, {0x05, 0x20, 0x00}, {}});
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  EXPECT_FALSE(rig.Commands().NTSetupFlashProfile(entry));
  EXPECT_EQ(rig.Cdbs().size(), 1u);
  EXPECT_EQ(rig.Dialogs().Texts(),
            std::vector<std::string>{"Read Flash ID> Status: 02, SenseCode: 05 20 00"});
}

TEST(ProfileSetupTest, FailedProfileWriteIsReported) {
  vdrive::DriveSpec spec = WithChip(true, 0xBF, 0xB4);
  spec.failures.push_back({vdrive::Kind::WriteProfile, 1, 0x02, {0x05, 0x24, 0x00}, {}});
  Rig rig({spec});
  DriveEntry entry;
  EXPECT_FALSE(rig.Commands().SetupFlashProfile(entry));
  EXPECT_EQ(rig.Dialogs().Texts(),
            std::vector<std::string>{"Write Flash Profile> Status: 04, SenseCode: 05 24 00"});
}

// ASPI judges the profile write by its status alone.
TEST(ProfileSetupTest, AspiProfileWriteCompleteWithSenseCounts) {
  vdrive::DriveSpec spec = WithChip(true, 0xBF, 0xB4);
  spec.failures.push_back({vdrive::Kind::WriteProfile, 1, 0x02, {0x01, 0x00, 0x00}, 0x01});
  Rig rig({spec});
  DriveEntry entry;
  EXPECT_TRUE(rig.Commands().SetupFlashProfile(entry));
  EXPECT_TRUE(rig.Dialogs().shown.empty());
}

struct VerifyCase {
  const char* name;
  bool aspi;
  bool mismatch;
  std::optional<vdrive::CommandFailure> failure;
  bool result;
  std::vector<std::string> messages;
};

class VerifyProfileTest : public testing::TestWithParam<VerifyCase> {};

TEST_P(VerifyProfileTest, ReadsBackTheSavedLengthAndCompares) {
  const VerifyCase& c = GetParam();
  vdrive::DriveSpec spec = WithChip(c.aspi, 0xBF, 0xB4);
  spec.profileMismatch = c.mismatch;
  if (c.failure) spec.failures.push_back(*c.failure);
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  if (!c.aspi) rig.OpenNt('E');
  auto& cmd = rig.Commands();
  ASSERT_TRUE(c.aspi ? cmd.SetupFlashProfile(entry) : cmd.NTSetupFlashProfile(entry));
  rig.ClearTrace();
  EXPECT_EQ(c.aspi ? cmd.W9xVerifyProfile(entry) : cmd.NTVerifyProfile(entry), c.result);
  EXPECT_EQ(rig.Cdbs(), std::vector<std::string>{c.aspi ? "3C 01 01 08 00 00 00 01 C8 00 00 00"
                                                         : "3C 01 01 08 00 00 00 01 C8 00"});
  if (c.aspi) {
    EXPECT_EQ(rig.LastSrb().flags, 0x08 | 0x40);
    EXPECT_EQ(rig.LastSrb().bufLen, 456u);
  } else {
    const testrig::NtRecord r = rig.LastNtRecord();
    EXPECT_EQ(r.cdbLength, 10);
    EXPECT_EQ(r.dataIn, 1);
    EXPECT_EQ(r.transferLength, 456u);
    EXPECT_EQ(r.timeout, 10u);
  }
  EXPECT_EQ(rig.Dialogs().Texts(), c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VerifyProfileTest,
    testing::Values(
        VerifyCase{"NtEqual", false, false, {}, true, {}},
        VerifyCase{"AspiEqual", true, false, {}, true, {}},
        VerifyCase{"NtMismatch", false, true, {}, false, {"Profile mismatch!"}},
        VerifyCase{"AspiMismatch", true, true, {}, false, {"Profile mismatch!"}},
        VerifyCase{"NtFails", false, false,
                   vdrive::CommandFailure{vdrive::Kind::ReadProfile, 1, 0x02, {0x05, 0x24, 0x00}, {}},
                   false, {"Read Flash Profile> Status: 02, SenseCode: 05 24 00"}},
        VerifyCase{"AspiFailsWithThreeBlanksAndNoComma", true, false,
                   vdrive::CommandFailure{vdrive::Kind::ReadProfile, 1, 0x02, {0x05, 0x24, 0x00}, {}},
                   false, {"Read Flash Profile> Status: 04   SenseCode: 05 24 00"}},
        VerifyCase{"AspiCompleteWithSenseIsNoSuccess", true, false,
                   vdrive::CommandFailure{vdrive::Kind::ReadProfile, 1, 0x02, {0x22, 0x00, 0x00}, 0x01},
                   false, {"Read Flash Profile> Status: 01   SenseCode: 22 00 00"}}),
    [](const auto& info) { return info.param.name; });

TEST(EntryCriticalTest, NtSendsControl7FDataInWithTwentySeconds) {
  Rig rig({testrig::NtDrive('E')});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  EXPECT_TRUE(rig.Commands().NTEntryCritical(entry));
  const testrig::NtRecord r = rig.LastNtRecord();
  EXPECT_EQ(r.cdb, "3B 05 01 00 00 00 00 00 00 7F 00 00 00 00 00 00");
  EXPECT_EQ(r.code, 0x4D014u);
  EXPECT_EQ(r.cdbLength, 10);
  EXPECT_EQ(r.dataIn, 1);
  EXPECT_EQ(r.transferLength, 0u);
  EXPECT_EQ(r.timeout, 20u);
  EXPECT_TRUE(rig.DriveAt(0).Critical());
}

TEST(EntryCriticalTest, AspiSendsNoDirectionAndReportsFailure) {
  vdrive::DriveSpec spec = testrig::AspiDrive(0, 0);
  spec.failures.push_back({vdrive::Kind::EntryCritical, 1, 0x02, {0x05, 0x2C, 0x00}, {}});
  Rig rig({spec});
  DriveEntry entry;
  EXPECT_FALSE(rig.Commands().EntryCritical(entry));
  EXPECT_EQ(rig.Cdbs(), std::vector<std::string>{"3B 05 01 00 00 00 00 00 00 7F 00 00"});
  EXPECT_EQ(rig.LastSrb().flags, 0x40);
  EXPECT_EQ(rig.LastSrb().bufLen, 0u);
  EXPECT_EQ(rig.Dialogs().Texts(),
            std::vector<std::string>{"Entry critical> Status: 04, SenseCode: 05 2C 00"});
}

}  // namespace
}  // namespace drive
