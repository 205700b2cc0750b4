// The virtual drive's own behaviour, driven by CDBs as a host sends them.
#include <gtest/gtest.h>

#include <cstdio>

#include "support/bytes.h"
#include "vdrive/vdrive.h"

namespace {

using vdrive::Bytes;
using vdrive::Direction;
using vdrive::Sense;

using testsupport::Hex;

vdrive::DriveSpec Spec(const std::string& lines = "") {
  auto parsed = vdrive::ParseScenario("[drive]\nletter = E\n" + lines);
  EXPECT_TRUE(parsed.scenario) << parsed.error;
  return parsed.scenario->drives.at(0);
}

// A drive and the few host moves the tests need.
class DriveRig {
 public:
  explicit DriveRig(const std::string& lines = "") : drive(Spec(lines)) {}

  vdrive::Answer Send(std::string_view cdb, Direction direction = Direction::None,
                      std::span<std::uint8_t> data = {}) {
    const Bytes bytes = Hex(cdb);
    return drive.Execute(bytes, direction, data);
  }

  vdrive::Answer WriteChunk(std::uint32_t offset, std::span<std::uint8_t> data) {
    return Send(BufferCdb(0x3B, 0x05, offset, static_cast<std::uint32_t>(data.size()), 0x00),
                Direction::Out, data);
  }

  vdrive::Answer ReadChunk(std::uint32_t offset, std::span<std::uint8_t> data) {
    return Send(BufferCdb(0x3C, 0x01, offset, static_cast<std::uint32_t>(data.size()), 0x00),
                Direction::In, data);
  }

  // Downloads the whole image in 16 KB chunks.
  void Download(Bytes& image) {
    for (std::uint32_t at = 0; at < image.size(); at += 0x4000) {
      ASSERT_EQ(WriteChunk(at, {image.data() + at, 0x4000}).status, 0x00);
    }
  }

  vdrive::Answer WriteProfile(Bytes& record) {
    return Send(BufferCdb(0x3B, 0x05, 0x80000, static_cast<std::uint32_t>(record.size()), 0),
                Direction::Out, record);
  }

  vdrive::Answer Critical() { return Send("3B 05 01 00 00 00 00 00 00 7F"); }
  vdrive::Answer Burn() { return Send("3B 05 01 00 00 C5 00 00 01 80"); }

  static std::string BufferCdb(std::uint8_t op, std::uint8_t mode, std::uint32_t offset,
                               std::uint32_t length, std::uint8_t control) {
    char text[64];
    std::snprintf(text, sizeof text, "%02X %02X 01 %02X %02X %02X %02X %02X %02X %02X", op, mode,
                  (offset >> 16) & 0xFF, (offset >> 8) & 0xFF, offset & 0xFF, (length >> 16) & 0xFF,
                  (length >> 8) & 0xFF, length & 0xFF, control);
    return text;
  }

  vdrive::Drive drive;
};

Bytes OldImage() {
  Bytes image(0x40000);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  image[0x4000] = 0x05;
  image[0x4001] = 0x80;
  image[0x1100] = 0x00;
  return image;
}

Bytes NewImage() {
  Bytes image(0x50000);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13);
  image[0x1100] = 0x05;
  image[0x1101] = 0x80;
  image[0x4000] = 0x00;
  return image;
}

Bytes ProfileRecord(std::uint8_t maker, std::uint8_t device) {
  Bytes record = {maker, device, 0x00, 0x06, 1, 2, 3, 4, 5, 6};
  return record;
}

void ExpectCheck(const vdrive::Answer& answer, Sense sense) {
  EXPECT_EQ(answer.status, 0x02);
  EXPECT_EQ(answer.sense, sense);
}

TEST(VirtualDrive, InquiryAnswersTheIdentityInItsFields) {
  DriveRig rig("vendor = QUARVEL\nproduct = QRW-20410C\nrevision = 1.00\n");
  std::array<std::uint8_t, 128> long_{};
  auto answer = rig.Send("12 00 00 00 80 00", Direction::In, long_);
  EXPECT_EQ(answer.status, 0x00);
  EXPECT_EQ(answer.moved, 128u);
  EXPECT_EQ(std::string(long_.begin() + 8, long_.begin() + 36), "QUARVEL QRW-20410C      1.00");
  EXPECT_EQ(long_[0], 0x05);
  EXPECT_EQ(long_[4], 31);

  std::array<std::uint8_t, 40> short_{};
  short_.fill(0xCC);
  answer = rig.Send("12 00 00 00 24 00", Direction::In, short_);
  EXPECT_EQ(answer.moved, 36u);
  EXPECT_EQ(short_[36], 0xCC);  // nothing past the allocation length
  EXPECT_EQ(std::string(short_.begin() + 32, short_.begin() + 36), "1.00");
}

struct ReadyCase {
  const char* medium;
  std::vector<std::pair<std::uint8_t, Sense>> polls;
};

TEST(VirtualDrive, TestUnitReadyAnswersTheTray) {
  const ReadyCase cases[] = {
      {"none", {{0x02, {0x02, 0x3A, 0x00}}, {0x02, {0x02, 0x3A, 0x00}}}},
      {"loaded", {{0x00, {}}, {0x00, {}}}},
      {"becoming-ready 2",
       {{0x02, {0x02, 0x04, 0x01}}, {0x02, {0x02, 0x04, 0x01}}, {0x02, {0x02, 0x3A, 0x00}}}},
      {"becoming-ready 1 loaded", {{0x02, {0x02, 0x04, 0x01}}, {0x00, {}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.medium);
    DriveRig rig(std::string("medium = ") + c.medium + "\n");
    for (const auto& [status, sense] : c.polls) {
      const auto answer = rig.Send("00 00 00 00 00 00");
      EXPECT_EQ(answer.status, status);
      EXPECT_EQ(answer.sense, sense);
    }
  }
}

TEST(VirtualDrive, StartStopUnitIsAcceptedAndLeavesTheTray) {
  DriveRig rig;
  EXPECT_EQ(rig.Send("1B 00 00 00 03 00").status, 0x00);
  EXPECT_EQ(rig.drive.LastStartStop(), 0x03);
  ExpectCheck(rig.Send("00 00 00 00 00 00"), vdrive::kMediumNotPresent);
}

TEST(VirtualDrive, FlashIdReadAnswersMakerAndDevice) {
  DriveRig rig("flash-chip = DA C8\n");
  std::array<std::uint8_t, 128> answer;
  answer.fill(0xEE);
  EXPECT_EQ(rig.Send("DF 11 00 00 00 00 00 00 00 00", Direction::In, answer).moved, 128u);
  EXPECT_EQ(answer[0], 0xDA);
  EXPECT_EQ(answer[1], 0xC8);
  EXPECT_TRUE(std::all_of(answer.begin() + 2, answer.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(VirtualDrive, E2WritesLandAtTheirAddressUnderBothSubCodes) {
  DriveRig rig;
  EXPECT_EQ(rig.Send("DF 0A 00 00 00 00 00 00 FF 5A 00 00").status, 0x00);
  EXPECT_EQ(rig.Send("DF 8A 00 00 00 00 00 01 00 A5 00 00").status, 0x00);
  EXPECT_EQ(rig.drive.E2(0x00FF), 0x5A);
  EXPECT_EQ(rig.drive.E2(0x0100), 0xA5);
}

TEST(VirtualDrive, AnythingElseIsAnIllegalRequest) {
  DriveRig rig;
  const char* others[] = {"25 00 00 00 00 00 00 00 00 00", "DF 12 00 00 00 00 00 00 00 00",
                          "3B 02 01 00 00 00 00 40 00 00", "3C 01 02 00 00 00 00 40 00 00",
                          "3B 05 01 00 00 00 00 00 00 55", "DF 11"};
  for (const char* cdb : others) {
    SCOPED_TRACE(cdb);
    ExpectCheck(rig.Send(cdb), vdrive::kInvalidOpcode);
  }
}

TEST(VirtualDrive, ReadsBackWhatWasWrittenChunkAndProfile) {
  DriveRig rig;
  Bytes chunk(0x4000);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(i ^ 0x5A);
  ASSERT_EQ(rig.WriteChunk(0x10000, chunk).status, 0x00);
  Bytes back(0x4000);
  EXPECT_EQ(rig.ReadChunk(0x10000, back).moved, 0x4000u);
  EXPECT_EQ(back, chunk);

  Bytes record = ProfileRecord(0xBF, 0xB4);
  ASSERT_EQ(rig.WriteProfile(record).status, 0x00);
  Bytes profile(record.size());
  rig.Send(DriveRig::BufferCdb(0x3C, 0x01, 0x80000, 10, 0), Direction::In, profile);
  EXPECT_EQ(profile, record);
}

TEST(VirtualDrive, MalformedBufferCommandsAreRefusedWithoutTouchingTheBuffer) {
  DriveRig rig;
  Bytes chunk(0x4000, 0x11);
  ExpectCheck(rig.WriteChunk(0x4C001, chunk), vdrive::kInvalidFieldInCdb);  // past the end
  Bytes shortData(0x100, 0x11);
  ExpectCheck(rig.Send(DriveRig::BufferCdb(0x3B, 0x05, 0, 0x4000, 0), Direction::Out, shortData),
              vdrive::kParameterLengthError);
  Bytes big(1025, 0);
  ExpectCheck(rig.WriteProfile(big), vdrive::kInvalidFieldInCdb);
  EXPECT_TRUE(std::all_of(rig.drive.Dram().begin(), rig.drive.Dram().end(),
                          [](std::uint8_t b) { return b == 0; }));
}

TEST(VirtualDrive, BurnsAnOldFormatImageAfterDownloadAndCriticalEntry) {
  DriveRig rig("new-revision = 1.10\n");
  Bytes image = OldImage();
  rig.Download(image);
  EXPECT_EQ(rig.Critical().status, 0x00);
  EXPECT_EQ(rig.Burn().status, 0x00);
  EXPECT_EQ(rig.drive.Burns(), 1u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), rig.drive.Flash().begin()));
  EXPECT_EQ(rig.drive.Revision(), "1.10");
  EXPECT_FALSE(rig.drive.Critical());
  std::array<std::uint8_t, 36> inquiry{};
  rig.Send("12 00 00 00 24 00", Direction::In, inquiry);
  EXPECT_EQ(std::string(inquiry.begin() + 32, inquiry.end()), "1.10");
}

struct BurnRefusal {
  const char* name;
  bool newFormat;
  std::uint32_t skipChunk;  // 0: none skipped
  bool critical;
  int profile;  // 0 none, 1 for this chip, 2 for another chip
  Sense sense;
};

TEST(VirtualDrive, ABurnIsRefusedUnlessEveryConditionHolds) {
  const BurnRefusal cases[] = {
      {"chunk missing", false, 0x3C000, true, 0, vdrive::kBurnIncompleteDownload},
      {"last new-format chunk missing", true, 0x4C000, true, 1, vdrive::kBurnIncompleteDownload},
      {"no critical entry", false, 0, false, 0, vdrive::kBurnNotCritical},
      {"new format without profile", true, 0, true, 0, vdrive::kBurnNoProfile},
      {"profile for another chip", true, 0, true, 2, vdrive::kBurnNoProfile},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DriveRig rig("flash-chip = BF B4\n");
    Bytes image = c.newFormat ? NewImage() : OldImage();
    for (std::uint32_t at = 0; at < image.size(); at += 0x4000) {
      if (c.skipChunk == 0 || at != c.skipChunk) rig.WriteChunk(at, {image.data() + at, 0x4000});
    }
    Bytes record = c.profile == 1 ? ProfileRecord(0xBF, 0xB4) : ProfileRecord(0xDA, 0xC8);
    if (c.profile != 0) rig.WriteProfile(record);
    if (c.critical) rig.Critical();
    ExpectCheck(rig.Burn(), c.sense);
    EXPECT_EQ(rig.drive.Burns(), 0u);
    EXPECT_EQ(rig.drive.Revision(), "1.00");
    EXPECT_EQ(rig.drive.Flash()[0], 0xFF);
  }
}

TEST(VirtualDrive, BurnsANewFormatImageWithItsProfileUnderEitherFlag) {
  for (const char* burn : {"3B 05 01 00 00 C5 00 00 01 80", "3B 05 01 00 00 C6 00 00 01 A0"}) {
    DriveRig rig("flash-chip = BF B4\n");
    Bytes image = NewImage();
    rig.Download(image);
    Bytes record = ProfileRecord(0xBF, 0xB4);
    rig.WriteProfile(record);
    rig.Critical();
    std::array<std::uint8_t, 1> first{image[0]};
    EXPECT_EQ(rig.Send(burn, Direction::Out, first).status, 0x00) << burn;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), rig.drive.Flash().begin()));
  }
}

TEST(VirtualDrive, ASecondBurnNeedsANewDownload) {
  DriveRig rig;
  Bytes image = OldImage();
  rig.Download(image);
  rig.Critical();
  ASSERT_EQ(rig.Burn().status, 0x00);
  rig.Critical();
  ExpectCheck(rig.Burn(), vdrive::kBurnIncompleteDownload);
}

TEST(VirtualDrive, RevisionAfterABurnComesFromTheImageWhenPrintable) {
  struct Case {
    const char* bytes;
    const char* revision;
  };
  const Case cases[] = {{"31 2E 32 30", "1.20"}, {"31 00 32 30", "1.00"}};
  for (const auto& c : cases) {
    DriveRig rig;
    Bytes image = OldImage();
    const Bytes revision = Hex(c.bytes);
    std::copy(revision.begin(), revision.end(), image.begin() + vdrive::kImageRevisionOffset);
    rig.Download(image);
    rig.Critical();
    ASSERT_EQ(rig.Burn().status, 0x00);
    EXPECT_EQ(rig.drive.Revision(), c.revision) << c.bytes;
  }
}

TEST(VirtualDriveFaults, FailsTheNthCommandOfAKindOnly) {
  DriveRig rig("fail = write-chunk 2 status 02 sense 02 3A 00\n");
  Bytes chunk(0x4000, 0x77);
  EXPECT_EQ(rig.WriteChunk(0, chunk).status, 0x00);
  const auto failed = rig.WriteChunk(0x4000, chunk);
  ExpectCheck(failed, vdrive::kMediumNotPresent);
  EXPECT_EQ(rig.drive.Dram()[0x4000], 0x00);  // the failed command changed nothing
  EXPECT_EQ(rig.WriteChunk(0x8000, chunk).status, 0x00);
  EXPECT_EQ(rig.drive.Count(vdrive::Kind::WriteChunk), 3u);
}

TEST(VirtualDriveFaults, EveryFailsAllOfThatKindWithTheGivenAspiStatus) {
  DriveRig rig("fail = tur every status 02 sense 00 00 00 aspi-status 82\n");
  for (int i = 0; i < 3; ++i) {
    const auto answer = rig.Send("00 00 00 00 00 00");
    EXPECT_EQ(answer.status, 0x02);
    EXPECT_EQ(answer.sense, vdrive::kNoSense);
    EXPECT_EQ(answer.aspiStatus, std::optional<std::uint8_t>{0x82});
  }
}

TEST(VirtualDriveFaults, CorruptsOneByteOfEveryReadBackCoveringIt) {
  DriveRig rig("corrupt = 0x4005 0F\n");
  Bytes chunk(0x4000, 0x30);
  rig.WriteChunk(0x4000, chunk);
  Bytes back(0x4000);
  rig.ReadChunk(0x4000, back);
  EXPECT_EQ(back[5], 0x3F);
  back[5] = 0x30;
  EXPECT_EQ(back, chunk);
  EXPECT_EQ(rig.drive.Dram()[0x4005], 0x30);  // the buffer itself is sound
  Bytes other(0x4000);
  rig.ReadChunk(0, other);
  EXPECT_TRUE(std::all_of(other.begin(), other.end(), [](std::uint8_t b) { return b == 0; }));
}

TEST(VirtualDriveFaults, AProfileThatReadsBackDifferent) {
  DriveRig rig("profile-mismatch = yes\n");
  Bytes record = ProfileRecord(0xBF, 0xB4);
  rig.WriteProfile(record);
  Bytes back(record.size());
  rig.Send(DriveRig::BufferCdb(0x3C, 0x01, 0x80000, 10, 0), Direction::In, back);
  EXPECT_NE(back, record);
  EXPECT_EQ(rig.drive.Profile(), record);
}

TEST(VirtualDriveFaults, ACallErrorNeverReachesTheDrive) {
  DriveRig rig("call-error = write-chunk 1 31\n");
  Bytes chunk(0x4000, 0x99);
  const auto answer = rig.WriteChunk(0, chunk);
  EXPECT_EQ(answer.callError, std::optional<std::uint32_t>{31});
  EXPECT_EQ(rig.drive.Dram()[0], 0x00);
}

TEST(VirtualDriveFaults, HeldRequestsCarryTheirDelivery) {
  DriveRig rig("hold = critical 1 never\nhold = tur every after-wait\n");
  EXPECT_EQ(rig.Critical().delivery, vdrive::Delivery::Never);
  EXPECT_EQ(rig.Critical().delivery, vdrive::Delivery::Now);
  EXPECT_EQ(rig.Send("00 00 00 00 00 00").delivery, vdrive::Delivery::AfterWait);
}

TEST(VirtualDriveFaults, AnUnknownFlashChipAnswersItsOwnCodes) {
  DriveRig rig("flash-chip = 00 00\n");
  std::array<std::uint8_t, 128> answer{};
  answer.fill(0xEE);
  rig.Send("DF 11 00 00 00 00 00 00 00 00", Direction::In, answer);
  EXPECT_EQ(answer[0], 0x00);
  EXPECT_EQ(answer[1], 0x00);
}

TEST(VirtualDriveTrace, EveryCommandIsOneLine) {
  DriveRig rig(
      "fail = read-chunk 1 status 02 sense 05 24 00\nhold = tur 2 never\n"
      "call-error = critical 1 1117\n");
  Bytes chunk = {1, 2, 3, 4};
  rig.Send("00 00 00 00 00 00");
  rig.Send("00 00 00 00 00 00");
  rig.Send(DriveRig::BufferCdb(0x3B, 0x05, 0, 4, 0), Direction::Out, chunk);
  Bytes back(4);
  rig.Send(DriveRig::BufferCdb(0x3C, 0x01, 0, 4, 0), Direction::In, back);
  rig.Critical();
  EXPECT_EQ(rig.drive.OwnTrace().Text(),
            "E 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00\n"
            "E 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00 held\n"
            "E 3B 05 01 00 00 00 00 00 04 00 / out 4 5734A87D -> 00 00 00 00\n"
            "E 3C 01 01 00 00 00 00 00 04 00 / in 4 - -> 02 05 24 00\n"
            "E 3B 05 01 00 00 00 00 00 00 7F / none 0 - -> call-error 1117\n");
}

TEST(VirtualDriveTrace, TheSinkReceivesEachLineAsItHappens) {
  vdrive::Trace trace;
  std::vector<std::string> lines;
  trace.SetSink([&lines](const std::string& line) { lines.push_back(line); });
  vdrive::Drive drive(Spec("aspi = 1 0\n"), &trace);
  const Bytes tur(12, 0);
  drive.Execute(tur, Direction::None, {});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "E 00 00 00 00 00 00 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00");
  EXPECT_TRUE(drive.OwnTrace().Entries().empty());
}

TEST(VirtualDriveTrace, DigestIsFnv1aOfTheBytesMoved) {
  EXPECT_EQ(vdrive::Digest({}), 0x811C9DC5u);
  const Bytes a = {'a'};
  EXPECT_EQ(vdrive::Digest(a), 0xE40C292Cu);
}

}  // namespace
