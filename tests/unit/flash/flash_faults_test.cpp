// Every command of the flash sequence failing in each way it can: the
// message the user sees, the caption left behind, nothing sent after the
// failure and never a final flash command after a failed step. Then the
// empty-drive wait: a disc in the tray, a drive that never settles, one that
// is empty at once.
#include <gtest/gtest.h>

#include <functional>

#include "flash_rig.h"

namespace flash_test {
namespace {

using std::chrono::milliseconds;
using vdrive::Kind;

constexpr vdrive::Sense kInvalidField{0x05, 0x24, 0x00};

struct PlatformTexts {
  std::string nt;
  std::string w9x;
  const std::string& For(Platform p) const { return p == Platform::Nt ? nt : w9x; }
};

struct FaultCase {
  const char* name;
  std::function<void(vdrive::DriveSpec&)> inject;
  std::size_t commandsSent;  // the failing command is the last one
  // The one message after the confirmation; a trailing '*' compares the
  // text before it only (a request that never reached the drive).
  PlatformTexts message;
  PlatformTexts caption;
  bool downloadStarted;
};

vdrive::CommandFailure CheckCondition(Kind kind, std::uint32_t nth) {
  return vdrive::CommandFailure{kind, nth, vdrive::kStatusCheckCondition, kInvalidField, {}};
}

std::function<void(vdrive::DriveSpec&)> Fail(Kind kind, std::uint32_t nth = 1) {
  return [=](vdrive::DriveSpec& d) { d.failures.push_back(CheckCondition(kind, nth)); };
}

// ASPI: the request completes (SS_COMP) but carries sense data.
std::function<void(vdrive::DriveSpec&)> CompleteWithSense(Kind kind, std::uint32_t nth) {
  return [=](vdrive::DriveSpec& d) {
    d.failures.push_back({kind, nth, vdrive::kStatusCheckCondition, kInvalidField, 0x01});
  };
}

// NT: DeviceIoControl fails; ASPI: the request never completes.
std::function<void(vdrive::DriveSpec&)> NoAnswer(Kind kind, std::uint32_t nth) {
  return [=](vdrive::DriveSpec& d) {
    d.callFailures.push_back({kind, nth, 31});
    d.holds.push_back({kind, nth, vdrive::Delivery::Never});
  };
}

std::string Report(const char* label, Platform p, const char* sense = "05 24 00") {
  return std::string(label) + "> Status: " + (p == Platform::Nt ? "02" : "04") +
         ", SenseCode: " + sense;
}

const std::string kBin = texts::kCaptionWriteBin;
const std::string kCritical = texts::kCaptionEntryCritical;
const std::string kVerifyProfile = texts::kCaptionVerifyProfile;
const std::string kReadNt = texts::kCaptionReadBackNt;
const std::string kRead9x = texts::kCaptionReadBack9x;

// New-format package on a BF B4 drive: 2 START STOP UNIT, 1 poll, flash id,
// profile (5), chunks 6..25, critical 26, profile read-back 27, reads
// 28..47, final flash command 48.
std::vector<FaultCase> Cases() {
  const auto both = [](const std::string& t) { return PlatformTexts{t, t}; };
  return {
      {"FlashIdStatus", Fail(Kind::FlashId), 4,
       {Report("Read Flash ID", Platform::Nt), Report("Read Flash ID", Platform::W9x)},
       both(texts::kCaptionWriteProfile), false},
      {"ProfileWriteStatus", Fail(Kind::WriteProfile), 5,
       {Report("Write Flash Profile", Platform::Nt), Report("Write Flash Profile", Platform::W9x)},
       both(texts::kCaptionWriteProfile), false},
      {"FirstChunkStatus", Fail(Kind::WriteChunk, 1), 6,
       {Report("Write Buffer", Platform::Nt), Report("Write Buffer", Platform::W9x)},
       {kBin + ", Fail!", kBin + ", Fail! "}, true},
      {"ThirdChunkStatus", Fail(Kind::WriteChunk, 3), 8,
       {Report("Write Buffer", Platform::Nt), Report("Write Buffer", Platform::W9x)},
       {kBin + ", Fail!", kBin + ", Fail! "}, true},
      {"LastChunkStatus", Fail(Kind::WriteChunk, 20), 25,
       {Report("Write Buffer", Platform::Nt), Report("Write Buffer", Platform::W9x)},
       {kBin + ", Fail!", kBin + ", Fail! "}, true},
      {"ChunkNoAnswer", NoAnswer(Kind::WriteChunk, 2), 7,
       both("Write Buffer> Status: 00, SenseCode: 00 00 00*"),
       {kBin + ", Fail!", kBin + ", Fail! "}, true},
      {"CriticalStatus", Fail(Kind::EntryCritical), 26,
       {Report("Entry critical", Platform::Nt), Report("Entry critical", Platform::W9x)},
       both(kCritical + ", Fail! "), true},
      {"ProfileReadStatus", Fail(Kind::ReadProfile), 27,
       {Report("Read Flash Profile", Platform::Nt),
        "Read Flash Profile> Status: 04   SenseCode: 05 24 00"},
       both(kVerifyProfile + ", Valid Profile Fail!"), true},
      {"ProfileMismatch", [](vdrive::DriveSpec& d) { d.profileMismatch = true; }, 27,
       both("Profile mismatch!"), both(kVerifyProfile + ", Valid Profile Fail!"), true},
      {"FirstReadStatus", Fail(Kind::ReadChunk, 1), 28,
       {Report("Read Buffer", Platform::Nt), Report("Read Buffer", Platform::W9x)},
       {kReadNt + ", Read Fail!", kRead9x + ", Read Fail! "}, true},
      {"LastReadStatus", Fail(Kind::ReadChunk, 20), 47,
       {Report("Read Buffer", Platform::Nt), Report("Read Buffer", Platform::W9x)},
       {kReadNt + ", Read Fail!", kRead9x + ", Read Fail! "}, true},
      {"ReadNoAnswer", NoAnswer(Kind::ReadChunk, 5), 32,
       both("Read Buffer> Status: 00, SenseCode: 00 00 00*"),
       {kReadNt + ", Read Fail!", kRead9x + ", Read Fail! "}, true},
      {"FirstChunkDiffers",
       [](vdrive::DriveSpec& d) { d.corruptions.push_back({0x0000, 0x01}); }, 28,
       both("Verify fail!"), {kReadNt + "Verify Fail!", kRead9x + ", Verify Fail! "}, true},
      {"LastByteDiffers",
       [](vdrive::DriveSpec& d) { d.corruptions.push_back({0x4FFFF, 0x80}); }, 47,
       both("Verify fail!"), {kReadNt + "Verify Fail!", kRead9x + ", Verify Fail! "}, true},
      {"FinalFlashStatus", Fail(Kind::Burn), 48,
       {Report("Write Buffer", Platform::Nt), Report("Write Buffer", Platform::W9x)},
       both(texts::kCaptionFlashFail), true},
  };
}

std::vector<FaultCase> AspiOnlyCases() {
  const auto same = [](const std::string& t) { return PlatformTexts{t, t}; };
  return {
      {"ChunkCompleteWithSense", CompleteWithSense(Kind::WriteChunk, 4), 9,
       same("Write Buffer> Status: 01, SenseCode: 05 24 00"), same(kBin + ", Fail! "), true},
      {"ReadCompleteWithSense", CompleteWithSense(Kind::ReadChunk, 2), 29,
       same("Read Buffer> Status: 01, SenseCode: 05 24 00"), same(kRead9x + ", Read Fail! "),
       true},
      {"ProfileReadCompleteWithSense", CompleteWithSense(Kind::ReadProfile, 1), 27,
       same("Read Flash Profile> Status: 01   SenseCode: 05 24 00"),
       same(kVerifyProfile + ", Valid Profile Fail!"), true},
  };
}

void ExpectMessage(const std::string& actual, const std::string& expected) {
  if (!expected.empty() && expected.back() == '*') {
    EXPECT_EQ(actual.substr(0, expected.size() - 1), expected.substr(0, expected.size() - 1));
  } else {
    EXPECT_EQ(actual, expected);
  }
}

void RunFault(const FaultCase& c, Platform p) {
  SCOPED_TRACE(std::string(c.name) + " on " + PlatformName(p));
  vdrive::DriveSpec drive = StandardDrive();
  c.inject(drive);
  FlashRig rig{p, PackageSpec{}, drive};
  rig.ClickAndConfirm(platform::Answer::Yes);

  ASSERT_EQ(rig.seen.size(), c.commandsSent);
  // Only a failing final flash command itself was ever sent.
  const bool finalFlashFailed = std::string(c.name) == "FinalFlashStatus";
  EXPECT_EQ(rig.Drive().Count(Kind::Burn), finalFlashFailed ? 1u : 0u);
  EXPECT_EQ(rig.Drive().Burns(), 0u);
  EXPECT_EQ(rig.Drive().Revision(), "1.00");

  ASSERT_EQ(rig.dialogs.shown.size(), 2u) << "the confirmation and one message";
  ExpectMessage(rig.dialogs.shown[1].text, c.message.For(p));
  EXPECT_EQ(rig.status.Text(), c.caption.For(p));
  EXPECT_TRUE(rig.EachCaptionRepainted());
  EXPECT_TRUE(rig.restart.calls.empty());
  EXPECT_FALSE(rig.cursor.hourglass);
  EXPECT_EQ(rig.journal.Texts("cursor").empty(), !c.downloadStarted);
  if (c.downloadStarted) {
    EXPECT_EQ(rig.bar.Position(), 0);
  }
  // The list is not refreshed.
  EXPECT_EQ(rig.list.items[0].substr(rig.list.items[0].size() - 4), "1.00");
}

class FaultMatrix : public testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, StopsAtTheFailureOnNt) { RunFault(GetParam(), Platform::Nt); }
TEST_P(FaultMatrix, StopsAtTheFailureOn9x) { RunFault(GetParam(), Platform::W9x); }

INSTANTIATE_TEST_SUITE_P(EachCommand, FaultMatrix, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

class AspiFaultMatrix : public testing::TestWithParam<FaultCase> {};
TEST_P(AspiFaultMatrix, StopsAtTheFailure) { RunFault(GetParam(), Platform::W9x); }
INSTANTIATE_TEST_SUITE_P(CompleteAndClean, AspiFaultMatrix, testing::ValuesIn(AspiOnlyCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A drive that answers one READ BUFFER of the image with success and no
// data at all.
class ReadReturnsNothing : public vdrive::AnswerScript {
 public:
  explicit ReadReturnsNothing(std::uint32_t nth) : nth_(nth) {}
  void Adjust(Kind kind, std::span<const std::uint8_t>, vdrive::Direction,
              std::span<std::uint8_t>, vdrive::Answer& answer) override {
    if (kind == Kind::ReadChunk && ++reads_ == nth_) answer.moved = 0;
  }

 private:
  std::uint32_t nth_;
  std::uint32_t reads_ = 0;
};

// The last chunk equals the one before it; its read moves nothing. What the
// buffer held before the read must not pass the compare.
TEST(CompareFailure, AReadThatMovesNothingDoesNotPassOnTheChunkBefore) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    PackageSpec spec;
    spec.blankEnd = true;
    FlashRig rig{p, spec};
    ReadReturnsNothing lastRead(20);
    rig.Drive().SetScript(&lastRead);
    rig.ClickAndConfirm();
    EXPECT_EQ(rig.seen.size(), 47u) << "nothing after the last read";
    EXPECT_EQ(rig.Drive().Count(Kind::Burn), 0u);
    ASSERT_EQ(rig.dialogs.shown.size(), 2u);
    EXPECT_EQ(rig.dialogs.shown[1].text, "Verify fail!");
    EXPECT_EQ(rig.status.Text(), p == Platform::Nt ? kReadNt + "Verify Fail!"
                                                   : kRead9x + ", Verify Fail! ");
  }
}

// The two variants report a read-back difference in opposite orders.
TEST(CompareFailure, MessageAndSuffixInTheOrderOfEachVariant) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    vdrive::DriveSpec drive = StandardDrive();
    drive.corruptions.push_back({0x24000, 0x10});
    FlashRig rig{p, PackageSpec{}, drive};
    rig.ClickAndConfirm();
    std::vector<std::string> order;
    for (const auto& e : rig.journal.events) {
      if (e.what == "dialog" && e.text == "Message: Verify fail!") order.push_back("message");
      if (e.what == "GroupBox2" && e.text.find("Verify Fail!") != std::string::npos)
        order.push_back("suffix");
    }
    EXPECT_EQ(order, (p == Platform::Nt ? std::vector<std::string>{"message", "suffix"}
                                        : std::vector<std::string>{"suffix", "message"}));
    // Reads stop at the differing chunk (the tenth); nothing is burnt.
    EXPECT_EQ(rig.Drive().Count(Kind::ReadChunk), 10u);
    EXPECT_EQ(rig.Drive().Count(Kind::Burn), 0u);
  }
}

// ---- the empty-drive wait ----------------------------------------------------

TEST(EmptyDriveWait, DiscInTheTrayEndsAfterOneMessageAndOnePause) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    vdrive::DriveSpec drive = StandardDrive();
    drive.medium = vdrive::Medium::Loaded;
    FlashRig rig{p, PackageSpec{}, drive};
    rig.ClickAndConfirm();

    const std::vector<std::string> expected = {
        StartStopLine(p, 0x03), StartStopLine(p, 0x00),
        Line(Cdb(p, {0, 0, 0, 0, 0, 0}, 6), NoData(p), 0, "-")};
    EXPECT_EQ(rig.Lines(), expected);
    ASSERT_EQ(rig.dialogs.shown.size(), 2u);
    // NT says "before" for a ready drive, ASPI "befor".
    EXPECT_EQ(rig.dialogs.shown[1].text, p == Platform::Nt
                                             ? "Remove disc, before to do the flash task."
                                             : "Remove disc, befor to do the flash task.");
    EXPECT_EQ(rig.os.sleeps, (std::vector<milliseconds>{milliseconds(30)}));
    EXPECT_TRUE(rig.Captions().empty());
    EXPECT_TRUE(rig.journal.Texts("cursor").empty());
    EXPECT_EQ(rig.bar.State(), (fakes::BarState{0, 100, 0, 10}));
  }
}

TEST(EmptyDriveWait, NeverSettlingDriveIsAsked144TimesThenTheFlashEndsSilently) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    vdrive::DriveSpec drive = StandardDrive();
    drive.medium = vdrive::Medium::BecomingReady;
    drive.becomingReadyPolls = 1000;
    FlashRig rig{p, PackageSpec{}, drive};
    rig.ClickAndConfirm();

    std::vector<std::string> expected = {StartStopLine(p, 0x03), StartStopLine(p, 0x00)};
    for (int i = 0; i < 144; ++i)
      expected.push_back(Line(Cdb(p, {0, 0, 0, 0, 0, 0}, 6), NoData(p), 0, "-", "02 02 04 01"));
    EXPECT_EQ(rig.Lines(), expected);
    EXPECT_EQ(rig.os.sleeps, std::vector<milliseconds>(144, milliseconds(30)));
    EXPECT_EQ(rig.dialogs.shown.size(), 1u) << "only the confirmation";
    EXPECT_TRUE(rig.Captions().empty());
  }
}

TEST(EmptyDriveWait, DriveSettlingAfterSomePollsGoesOn) {
  vdrive::DriveSpec drive = StandardDrive();
  drive.medium = vdrive::Medium::BecomingReady;
  drive.becomingReadyPolls = 5;
  FlashRig rig{Platform::Nt, PackageSpec{}, drive};
  rig.ClickAndConfirm();

  std::vector<milliseconds> expected(5, milliseconds(30));
  expected.push_back(milliseconds(200));
  EXPECT_EQ(rig.os.sleeps, expected);
  EXPECT_EQ(rig.Drive().Count(Kind::TestUnitReady), 6u);
  EXPECT_EQ(rig.Drive().Burns(), 1u);
}

TEST(EmptyDriveWait, EmptyAtTheFirstPollGoesOnWithoutSleeping) {
  FlashRig rig{Platform::W9x, PackageSpec{}};
  rig.ClickAndConfirm();
  EXPECT_EQ(rig.Drive().Count(Kind::TestUnitReady), 1u);
  EXPECT_EQ(rig.os.sleeps, (std::vector<milliseconds>{milliseconds(200)}));
}

// ASPI: a poll that is neither complete nor error shows its box, and the
// wait goes on.
TEST(EmptyDriveWait, AspiHostAdapterFaultShowsCommandErrorAndWaitsOn) {
  vdrive::DriveSpec drive = StandardDrive();
  drive.failures.push_back({Kind::TestUnitReady, 1, vdrive::kStatusCheckCondition,
                            vdrive::kMediumNotPresent, 0x82});
  FlashRig rig{Platform::W9x, PackageSpec{}, drive};
  rig.ClickAndConfirm();

  ASSERT_GE(rig.dialogs.shown.size(), 2u);
  EXPECT_EQ(rig.dialogs.shown[1].text, "Command Error: 82");
  EXPECT_EQ(rig.Drive().Count(Kind::TestUnitReady), 2u);
  EXPECT_EQ(rig.os.sleeps, (std::vector<milliseconds>{milliseconds(30), milliseconds(200)}));
  EXPECT_EQ(rig.Drive().Burns(), 1u);
}

// An old-format image never writes or verifies a profile.
TEST(ProfileSteps, OldFormatSkipsTheProfileAltogether) {
  FlashRig rig{Platform::Nt, PackageSpec{.newFormat = false}};
  rig.ClickAndConfirm();
  EXPECT_EQ(rig.Drive().Count(Kind::FlashId), 0u);
  EXPECT_EQ(rig.Drive().Count(Kind::WriteProfile), 0u);
  EXPECT_EQ(rig.Drive().Count(Kind::ReadProfile), 0u);
  for (const auto& caption : rig.Captions()) {
    EXPECT_NE(caption, texts::kCaptionWriteProfile);
    EXPECT_NE(caption, texts::kCaptionVerifyProfile);
  }
}

// A flash chip the table does not know gets FF FF 00 00 and no verification.
TEST(ProfileSteps, UnknownFlashChipSkipsTheVerification) {
  vdrive::DriveSpec drive = StandardDrive();
  drive.flashMaker = 0x00;
  drive.flashDevice = 0x00;
  FlashRig rig{Platform::W9x, PackageSpec{}, drive};
  rig.ClickAndConfirm();
  const std::vector<std::string> lines = MaskedLike(rig.Lines(), {});
  ASSERT_GT(lines.size(), 26u);
  EXPECT_EQ(lines[4], Line(Cdb(Platform::W9x, {0x3B, 0x05, 0x01, 0x08, 0, 0, 0, 0x00, 0x04, 0}, 12),
                           "out", 4, DigestOf({0xFF, 0xFF, 0x00, 0x00})));
  EXPECT_EQ(lines[25], CriticalLine(Platform::W9x));
  EXPECT_EQ(lines[26], ReadChunkLine(Platform::W9x, rig.package, 0));
  for (const auto& caption : rig.Captions()) EXPECT_NE(caption, texts::kCaptionVerifyProfile);
}

}  // namespace
}  // namespace flash_test

namespace flash_test {
namespace {

// NT opens the drive's device at the start of each flash; a failed opening
// or probe shows its message and ends the flash before any command.
TEST(DeviceOpening, FailureEndsTheFlashBeforeAnyCommand) {
  struct Case {
    const char* name;
    std::function<void(vdrive::DriveSpec&)> inject;
    std::string message;
  };
  for (const Case& c :
       {Case{"open", [](vdrive::DriveSpec& d) { d.openError = 5; }, "Error opening: 5"},
        Case{"probe", [](vdrive::DriveSpec& d) { d.probeError = 1; },
             "Error reading inquiry data information; error was 1"}}) {
    SCOPED_TRACE(c.name);
    vdrive::DriveSpec drive = StandardDrive();
    c.inject(drive);
    FlashRig failing{Platform::Nt, PackageSpec{}, drive};
    // As discovery listed the drive before its device started failing.
    const std::string line = "0-0-0 E: QUARVEL QRW-20410C      1.00";
    failing.Entry().SetText(line);
    failing.list.items = {line};
    failing.dialogs.shown.clear();
    failing.ClickAndConfirm();
    ASSERT_EQ(failing.dialogs.shown.size(), 2u);
    EXPECT_EQ(failing.dialogs.shown[1].text, c.message);
    EXPECT_EQ(failing.dialogs.shown[1].kind, "Message");
    EXPECT_TRUE(failing.seen.empty());
    EXPECT_TRUE(failing.journal.Texts("cursor").empty());
  }
}

// The device stays open after a flash, also after one that ended early.
TEST(DeviceOpening, HandleStaysOpenAfterAnEarlyEnd) {
  vdrive::DriveSpec drive = StandardDrive();
  drive.medium = vdrive::Medium::Loaded;
  FlashRig rig{Platform::Nt, PackageSpec{}, drive};
  rig.ClickAndConfirm();
  ASSERT_TRUE(rig.nt.DeviceHandle().has_value());
  EXPECT_EQ(rig.device.OpenHandles(), std::vector<platform::Handle>{*rig.nt.DeviceHandle()});
}

}  // namespace
}  // namespace flash_test
