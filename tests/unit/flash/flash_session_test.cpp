// What a flash session reports: discovery's findings as data, and for each
// press its phases and one result, the same on both transports.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "flash_rig.h"

namespace flash_test {
namespace {

using platform::Answer;
using vdrive::Kind;

// Keeps everything a session tells its front.
class RecordingObserver final : public flash::FlashObserver {
 public:
  void Caption(const std::string& text) override { captions.push_back(text); }
  drive::TransferCursor& Progress() override { return progress; }
  void Busy(bool busy) override { this->busy = busy; }
  void DriveLineChanged(int position, const std::string& line) override {
    lines.push_back(std::to_string(position) + " " + line);
  }
  void PhaseChanged(flash::Phase phase) override { phases.push_back(phase); }
  void RestartNotOffered() override { ++restartsNotOffered; }
  bool StopRequested() const override { return stop; }
  void Finished(const flash::FlashResult& result) override { results.push_back(result); }

  std::vector<std::string> captions;
  bool busy = false;
  std::vector<std::string> lines;
  std::vector<flash::Phase> phases;
  int restartsNotOffered = 0;
  bool stop = false;
  std::vector<flash::FlashResult> results;
  fakes::FakeProgressBar bar{"ProgressBar"};
  drive::CursorOn<fakes::FakeProgressBar> progress{bar};
};

// A session of the rig's transport on the rig's drive, reporting to
// `observer`; no restart when `withRestart` is false.
std::unique_ptr<flash::FlashSession> RecordedSession(FlashRig& rig, RecordingObserver& observer,
                                                     bool withRestart = true) {
  const bool nt = rig.platformKind == Platform::Nt;
  auto session = flash::BuildSession(flash::SessionParts{
      .passThrough = nt ? &rig.nt : nullptr,
      .aspiLibrary = nt ? nullptr : &rig.aspiLibrary,
      .aspiWait = std::chrono::milliseconds(5),
      .dialogs = rig.dialogs,
      .os = rig.os,
      .restart = withRestart ? &rig.restart : nullptr,
      .observer = observer,
      .package = rig.view});
  session->Table() = rig.table;
  return session;
}

struct OutcomeCase {
  const char* name;
  PackageSpec package;
  std::function<void(vdrive::DriveSpec&)> drive;
  std::deque<Answer> answers;
  flash::Outcome outcome;
  bool critical;
  // The reason is the last dialog shown (a refusal or a command's report).
  bool reasonShown;
};

std::vector<OutcomeCase> OutcomeCases() {
  const auto none = [](vdrive::DriveSpec&) {};
  const auto fail = [](Kind kind) {
    return [kind](vdrive::DriveSpec& d) {
      d.failures.push_back({kind, 1, vdrive::kStatusCheckCondition, {0x05, 0x24, 0x00}, {}});
    };
  };
  return {
      {"Flashed", PackageSpec{}, none, {Answer::Yes, Answer::No}, flash::Outcome::Flashed, true,
       false},
      {"Declined", PackageSpec{}, none, {Answer::No}, flash::Outcome::Declined, false, false},
      {"Refused", PackageSpec{.fwRange = "1.00-1.20", .newRevision = "1.10."},
       [](vdrive::DriveSpec& d) { d.identity.revision = "1.10"; }, {}, flash::Outcome::Refused,
       false, true},
      {"FailedBeforeCritical", PackageSpec{}, fail(Kind::WriteChunk), {Answer::Yes},
       flash::Outcome::Failed, false, true},
      {"FailedInCritical", PackageSpec{}, fail(Kind::ReadChunk), {Answer::Yes},
       flash::Outcome::Failed, true, true},
      {"DiscInTheTray", PackageSpec{},
       [](vdrive::DriveSpec& d) { d.medium = vdrive::Medium::Loaded; }, {Answer::Yes},
       flash::Outcome::Failed, false, true},
  };
}

TEST(SessionResult, EachPressEndsWithOneResultAndItsPhases) {
  for (const OutcomeCase& c : OutcomeCases()) {
    for (Platform p : {Platform::Nt, Platform::W9x}) {
      SCOPED_TRACE(std::string(c.name) + " " + PlatformName(p));
      vdrive::DriveSpec drive = StandardDrive();
      c.drive(drive);
      FlashRig rig{p, c.package, drive};
      RecordingObserver observer;
      const auto session = RecordedSession(rig, observer);
      rig.dialogs.answers = c.answers;
      rig.ClickOn(*session);

      ASSERT_EQ(observer.results.size(), 1u);
      const flash::FlashResult& result = observer.results[0];
      EXPECT_EQ(result.outcome, c.outcome);
      EXPECT_EQ(result.critical, c.critical);
      EXPECT_EQ(result.caption, observer.captions.empty() ? "" : observer.captions.back());
      ASSERT_FALSE(rig.dialogs.shown.empty());
      EXPECT_EQ(result.reason, c.reasonShown ? rig.dialogs.shown.back().text : "");
      // Drive commands begin only after the revision check and the Yes.
      std::vector<flash::Phase> phases;
      if (c.outcome != flash::Outcome::Declined && c.outcome != flash::Outcome::Refused)
        phases.push_back(flash::Phase::CommandsBegun);
      if (c.critical) {
        phases.push_back(flash::Phase::CriticalBegun);
        phases.push_back(flash::Phase::CriticalEnded);
      }
      EXPECT_EQ(observer.phases, phases);
      EXPECT_FALSE(observer.busy);
      EXPECT_EQ(rig.Drive().Burns(), c.outcome == flash::Outcome::Flashed ? 1u : 0u);
    }
  }
}

// The drive commands begin before the first caption; the critical phase
// begins before the critical entry's caption and ends when the final flash
// command has answered, before "Flash Completed.".
TEST(SessionResult, TheCriticalPhaseSpansTheCriticalEntryToTheFinalFlashCommand) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    FlashRig rig{p, PackageSpec{}};
    struct Ordering final : flash::FlashObserver {
      void Caption(const std::string& text) override { events.push_back(text); }
      drive::TransferCursor& Progress() override { return progress; }
      void Busy(bool) override {}
      void DriveLineChanged(int, const std::string&) override {}
      void PhaseChanged(flash::Phase phase) override {
        events.push_back(phase == flash::Phase::CommandsBegun   ? "<commands>"
                         : phase == flash::Phase::CriticalBegun ? "<begun>"
                                                                : "<ended>");
      }
      void RestartNotOffered() override {}
      bool StopRequested() const override { return false; }
      void Finished(const flash::FlashResult&) override { events.push_back("<finished>"); }
      std::vector<std::string> events;
      fakes::FakeProgressBar bar{"ProgressBar"};
      drive::CursorOn<fakes::FakeProgressBar> progress{bar};
    } ordering;
    auto session = flash::BuildSession(flash::SessionParts{
        .passThrough = p == Platform::Nt ? &rig.nt : nullptr,
        .aspiLibrary = p == Platform::Nt ? nullptr : &rig.aspiLibrary,
        .aspiWait = std::chrono::milliseconds(5),
        .dialogs = rig.dialogs,
        .os = rig.os,
        .restart = &rig.restart,
        .observer = ordering,
        .package = rig.view});
    session->Table() = rig.table;
    rig.dialogs.answers = {Answer::Yes, Answer::No};
    rig.ClickOn(*session);

    std::vector<std::string> expected{"<commands>",
                                      texts::kCaptionWriteProfile,
                                      texts::kCaptionWriteBin,
                                      "<begun>",
                                      texts::kCaptionEntryCritical,
                                      texts::kCaptionVerifyProfile,
                                      p == Platform::Nt ? texts::kCaptionReadBackNt
                                                        : texts::kCaptionReadBack9x,
                                      texts::kCaptionFlashing,
                                      "<ended>",
                                      texts::kCaptionCompleted};
    if (p == Platform::Nt) expected.push_back("");
    expected.push_back("<finished>");
    EXPECT_EQ(ordering.events, expected);
  }
}

// A front without a restart is never asked about one: it hears where the
// offer would have come, and the press still ends flashed.
TEST(SessionResult, WithoutARestartTheOfferIsNotMade) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    FlashRig rig{p, PackageSpec{}};
    RecordingObserver observer;
    const auto session = RecordedSession(rig, observer, false);
    rig.dialogs.answers = {Answer::Yes};
    rig.ClickOn(*session);

    EXPECT_EQ(observer.restartsNotOffered, 1);
    ASSERT_EQ(rig.dialogs.shown.size(), 1u) << "the confirmation only";
    ASSERT_EQ(observer.results.size(), 1u);
    EXPECT_EQ(observer.results[0].outcome, flash::Outcome::Flashed);
    // Not offered counts as declined: NT clears the caption, 9x keeps it.
    EXPECT_EQ(observer.captions.back(), p == Platform::Nt ? "" : texts::kCaptionCompleted);
  }
}

// A run the front asked to stop ends interrupted only while nothing can
// have been burnt: a failure after the critical entry stays a failure with
// the critical entry begun, however long the front's request stays raised.
TEST(SessionResult, AStopRequestMakesAnInterruptionOnlyBeforeTheCriticalEntry) {
  struct StopCase {
    const char* name;
    Kind failing;
    flash::Outcome outcome;
    bool critical;
  };
  const StopCase cases[] = {
      {"download", Kind::WriteChunk, flash::Outcome::Interrupted, false},
      {"critical entry", Kind::EntryCritical, flash::Outcome::Failed, true},
      {"read-back", Kind::ReadChunk, flash::Outcome::Failed, true},
      {"final flash", Kind::Burn, flash::Outcome::Failed, true},
  };
  for (const StopCase& c : cases) {
    for (Platform p : {Platform::Nt, Platform::W9x}) {
      SCOPED_TRACE(std::string(c.name) + " " + PlatformName(p));
      vdrive::DriveSpec drive = StandardDrive();
      drive.failures.push_back({c.failing, 1, vdrive::kStatusCheckCondition, {0x05, 0x24, 0x00}, {}});
      FlashRig rig{p, PackageSpec{}, drive};
      RecordingObserver observer;
      observer.stop = true;
      const auto session = RecordedSession(rig, observer);
      rig.dialogs.answers = {Answer::Yes};
      rig.ClickOn(*session);
      ASSERT_EQ(observer.results.size(), 1u);
      EXPECT_EQ(observer.results[0].outcome, c.outcome);
      EXPECT_EQ(observer.results[0].critical, c.critical);
      EXPECT_EQ(rig.Drive().Burns(), 0u);
    }
  }
}

// Discovery says of every drive whether it is accepted and why not; the
// accepted ones take the table's slots in list order.
TEST(SessionDiscovery, EachDriveWithItsLineVerdictAndSlot) {
  vdrive::Scenario scenario;
  vdrive::DriveSpec other;
  other.ntLetter = 'D';
  other.identity = {"OTHERCO", "CD-ROM 52X", "2.05"};
  vdrive::DriveSpec quarvel;
  quarvel.ntLetter = 'E';
  vdrive::DriveSpec silent;
  silent.ntLetter = 'F';
  silent.callFailures.push_back({Kind::Inquiry, 1, 31});
  vdrive::DriveSpec second;
  second.ntLetter = 'G';
  vdrive::DriveSpec denied;
  denied.ntLetter = 'H';
  denied.openError = 5;
  scenario.drives = {other, quarvel, silent, second, denied};
  vdrive::Bus bus(scenario);
  vdrive::DeviceIoFront device(bus);
  scsi::NtPassThrough nt(device);
  TestPackage package{PackageSpec{}};
  fakes::FakeDialogs dialogs;
  fakes::FakeOs os;
  RecordingObserver observer;
  auto session = flash::BuildSession(flash::SessionParts{.passThrough = &nt,
                                                         .dialogs = dialogs,
                                                         .os = os,
                                                         .observer = observer,
                                                         .package = package.View()});
  std::vector<std::string> heard;
  const std::vector<flash::FoundDrive> found = session->DiscoverLetters(
      {'D', 'E', 'F', 'G', 'H'}, [&heard](const flash::FoundDrive& d) { heard.push_back(d.line); });

  using WhyNot = flash::FoundDrive::WhyNot;
  ASSERT_EQ(found.size(), 5u);
  const std::string quarvelLine = "QUARVEL QRW-20410C      1.00";
  EXPECT_EQ(found[0].line, "0-0-0 D: OTHERCO CD-ROM 52X      2.05");
  EXPECT_FALSE(found[0].accepted);
  EXPECT_EQ(found[0].whyNot, WhyNot::OtherDrive);
  EXPECT_EQ(found[0].slot, -1);
  EXPECT_EQ(found[1].line, "0-0-0 E: " + quarvelLine);
  EXPECT_TRUE(found[1].accepted);
  EXPECT_EQ(found[1].whyNot, WhyNot::Nothing);
  EXPECT_EQ(found[1].slot, 0);
  EXPECT_EQ(found[1].entry.DriveLetter, 'E');
  EXPECT_EQ(found[2].line, "");
  EXPECT_EQ(found[2].whyNot, WhyNot::NoAnswer);
  EXPECT_EQ(found[2].slot, -1);
  EXPECT_EQ(found[3].line, "0-0-0 G: " + quarvelLine);
  EXPECT_EQ(found[3].slot, 1);
  // Said as data: nothing shown, no quit asked for; the front decides.
  EXPECT_EQ(found[4].line, "");
  EXPECT_EQ(found[4].whyNot, WhyNot::CannotOpen);
  EXPECT_EQ(found[4].opening.failure, scsi::Opening::Failure::Open);
  EXPECT_EQ(found[4].opening.systemError, 5u);
  EXPECT_EQ(found[4].reason, "Error opening: 5");
  EXPECT_EQ(found[4].slot, -1);
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_TRUE(os.quitCodes.empty());
  EXPECT_EQ(session->Table()[0].Text(), found[1].line);
  EXPECT_EQ(session->Table()[1].Text(), found[3].line);
  EXPECT_EQ(heard, (std::vector<std::string>{found[0].line, found[1].line, "", found[3].line, ""}));
  EXPECT_TRUE(observer.results.empty());
}

}  // namespace
}  // namespace flash_test
