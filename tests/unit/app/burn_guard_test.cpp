// What the window asks of the system around a flash, on both platforms: the
// battery check before anything is asked or sent, the stay-awake request
// around the drive commands, the shutdown block reason around the critical
// phase, and a system that lacks any of them flashing exactly as before.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/form_rig.h"
#include "flash/flash_rig.h"

namespace {

using flash_test::Platform;
using platform::Answer;
using vdrive::Kind;

constexpr const char* kReason = "Show Firmware update in progress. Do not turn off the computer.";

class BurnGuardTest : public testing::TestWithParam<Platform> {
 protected:
  BurnGuardTest() : rig_(flash_test::OneDrive(flash_test::StandardDrive()), package_.View()) {}

  std::uint32_t PlatformId() const {
    return GetParam() == Platform::Nt ? platform::kPlatformWin32Nt
                                      : platform::kPlatformWin32Windows;
  }

  // Start-up in flash mode up to the waiting window, drive E listed.
  void Start() {
    app_test::StartWithDriveE(rig_, PlatformId());
    ASSERT_EQ(rig_.combo.Count(), 1);
    opensAtStart_ = rig_.device.Opens().size();
  }

  // The press, confirmed, the restart declined.
  void Flash() {
    rig_.dialogs.answers = {Answer::Yes, Answer::No};
    rig_.form.FlashButtonClick();
  }

  const std::vector<vdrive::TraceEntry>& Trace() { return rig_.bus.SessionTrace().Entries(); }

  flash_test::TestPackage package_{flash_test::PackageSpec{}};
  app_test::FormRig rig_;
  std::size_t opensAtStart_ = 0;
};

// ---- the battery ------------------------------------------------------------

struct PowerCase {
  const char* name;
  // GetSystemPowerStatus's AC line and battery life; none: the function is
  // missing.
  std::optional<std::pair<std::uint8_t, std::uint8_t>> status;
  std::optional<int> refusedAt;  // the percent in the refusal, when refused
};

platform::PowerState StateOf(const PowerCase& c) {
  if (!c.status) return platform::PowerState{};
  return platform::PowerStateOfWindows(c.status->first, c.status->second);
}

const PowerCase kPowerCases[] = {
    {"AcOnline", std::pair{1, 100}, std::nullopt},
    {"AcOnlineLowCharge", std::pair{1, 3}, std::nullopt},
    {"Battery50", std::pair{0, 50}, std::nullopt},
    {"Battery10", std::pair{0, 10}, std::nullopt},
    {"Battery9", std::pair{0, 9}, 9},
    {"Battery5", std::pair{0, 5}, 5},
    {"Battery0", std::pair{0, 0}, 0},
    {"UnknownCharge", std::pair{0, 255}, std::nullopt},
    {"ChargeNotAPercent", std::pair{0, 150}, std::nullopt},
    {"AcUnknown", std::pair{255, 5}, std::nullopt},
    {"FunctionMissing", std::nullopt, std::nullopt},
};

TEST_P(BurnGuardTest, ALowBatteryRefusesBeforeAnythingIsAskedOrSent) {
  Start();
  for (const PowerCase& c : kPowerCases) {
    SCOPED_TRACE(c.name);
    rig_.power.state = StateOf(c);
    rig_.dialogs.shown.clear();
    rig_.guard.calls.clear();
    rig_.bus.SessionTrace().Clear();
    const std::string captionBefore = rig_.group.Text();
    const std::string lineBefore = rig_.combo.ItemText(0);
    // Refused: no answer is asked for. Allowed: the confirmation is
    // declined, so the drive stays flashable for the next case.
    rig_.dialogs.answers = {Answer::No};

    rig_.form.FlashButtonClick();

    ASSERT_FALSE(rig_.dialogs.shown.empty());
    if (c.refusedAt) {
      ASSERT_EQ(rig_.dialogs.shown.size(), 1u);
      EXPECT_EQ(rig_.dialogs.shown[0],
                (fakes::ShownDialog{"Message",
                                    "The computer is running on battery (" +
                                        std::to_string(*c.refusedAt) +
                                        "% left). Connect it to mains power before you flash "
                                        "the drive.",
                                    "", platform::DialogButtons::Ok}));
      EXPECT_EQ(rig_.device.Opens().size(), opensAtStart_);
      EXPECT_TRUE(rig_.guard.calls.empty());
      EXPECT_EQ(rig_.dialogs.answers.size(), 1u) << "nothing was asked";
    } else {
      EXPECT_EQ(rig_.dialogs.shown[0].text, "\nUpdate FW:1.00 to FW:1.10 ?\n");
    }
    EXPECT_TRUE(Trace().empty());
    EXPECT_EQ(rig_.group.Text(), captionBefore);
    EXPECT_EQ(rig_.combo.ItemText(0), lineBefore);
    EXPECT_TRUE(rig_.button.Enabled());
    EXPECT_FALSE(rig_.form.Flashing());
  }
}

// Plugged in after the refusal, the next press flashes.
TEST_P(BurnGuardTest, AfterARefusalThePressOnMainsFlashes) {
  Start();
  rig_.power.state = platform::PowerStateOfWindows(0, 4);
  rig_.form.FlashButtonClick();
  ASSERT_EQ(rig_.dialogs.shown.size(), 1u);

  rig_.power.state = platform::PowerStateOfWindows(1, 4);
  Flash();

  EXPECT_EQ(rig_.bus.At(0).Burns(), 1u);
  EXPECT_EQ(rig_.bus.At(0).Revision(), "1.10");
}

// ---- stay awake and the shutdown block reason -------------------------------

// What the drive had been sent when a request of the guard was made.
struct Sent {
  std::string call;
  std::size_t opens;  // device openings of the press
  std::size_t commands;
  std::uint32_t chunks;
  std::uint32_t criticalEntries;
  std::uint32_t burns;
  bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sent& s) {
  return out << s.call << " after " << s.opens << " opens, " << s.commands << " commands, "
             << s.chunks << " chunks, " << s.criticalEntries << " critical entries, " << s.burns
             << " burns";
}

TEST_P(BurnGuardTest, TheSystemIsHeldFromTheFirstDriveCommandToTheLast) {
  Start();
  vdrive::Drive& drive = rig_.bus.At(0);
  std::vector<Sent> sent;
  rig_.guard.onCall = [&](const std::string& call) {
    sent.push_back({call, rig_.device.Opens().size() - opensAtStart_, Trace().size(),
                    drive.Count(Kind::WriteChunk), drive.Count(Kind::EntryCritical),
                    drive.Count(Kind::Burn)});
  };

  Flash();

  ASSERT_EQ(drive.Burns(), 1u);
  ASSERT_EQ(sent.size(), 4u);
  const std::size_t opens = GetParam() == Platform::Nt ? 1u : 0u;
  const std::size_t all = Trace().size();
  // The burn is the last command but the INQUIRY that refreshes the line.
  ASSERT_EQ(Trace().back().cdb[0], 0x12);
  EXPECT_EQ(sent[0], (Sent{"Hold", 0, 0, 0, 0, 0}));
  // Every chunk is written, the critical entry is next.
  EXPECT_EQ(sent[1], (Sent{kReason, opens, sent[1].commands, 20, 0, 0}));
  EXPECT_EQ(Trace()[sent[1].commands].cdb[9], 0x7F) << "the critical entry follows";
  EXPECT_EQ(sent[2], (Sent{"Withdraw", opens, all - 1, 20, 1, 1}));
  EXPECT_EQ(sent[3], (Sent{"Release", opens, all, 20, 1, 1}));
}

struct EndingCase {
  const char* name;
  std::function<void(vdrive::DriveSpec&)> drive;
  Answer confirmation;
  std::vector<std::string> calls;
};

std::vector<EndingCase> EndingCases() {
  const auto fail = [](Kind kind) {
    return [kind](vdrive::DriveSpec& d) {
      d.failures.push_back({kind, 1, vdrive::kStatusCheckCondition, {0x05, 0x24, 0x00}, {}});
    };
  };
  const auto none = [](vdrive::DriveSpec&) {};
  return {
      {"Declined", none, Answer::No, {}},
      {"DiscInTheTray", [](vdrive::DriveSpec& d) { d.medium = vdrive::Medium::Loaded; },
       Answer::Yes, {"Hold", "Release"}},
      {"ChunkWriteFails", fail(Kind::WriteChunk), Answer::Yes, {"Hold", "Release"}},
      {"CriticalEntryFails", fail(Kind::EntryCritical), Answer::Yes,
       {"Hold", kReason, "Withdraw", "Release"}},
      {"ReadBackFails", fail(Kind::ReadChunk), Answer::Yes,
       {"Hold", kReason, "Withdraw", "Release"}},
      {"BurnFails", fail(Kind::Burn), Answer::Yes,
       {"Hold", kReason, "Withdraw", "Release"}},
  };
}

// However the press ends, whatever was asked of the system is withdrawn,
// and nothing is asked before the drive commands begin.
TEST_P(BurnGuardTest, EveryEndingWithdrawsWhatWasAsked) {
  for (const EndingCase& c : EndingCases()) {
    SCOPED_TRACE(c.name);
    vdrive::DriveSpec drive = flash_test::StandardDrive();
    c.drive(drive);
    flash_test::TestPackage package{flash_test::PackageSpec{}};
    app_test::FormRig rig(flash_test::OneDrive(drive), package.View());
    app_test::StartWithDriveE(rig, PlatformId());
    rig.dialogs.answers = {c.confirmation, Answer::No};

    rig.form.FlashButtonClick();

    EXPECT_EQ(rig.guard.calls, c.calls);
    EXPECT_FALSE(rig.form.Flashing());
  }
}

// ---- a system that lacks a function -----------------------------------------

struct MissingCase {
  const char* name;
  bool stayAwake;
  bool blockReason;
  bool powerStatus;
  std::vector<std::string> calls;
};

const MissingCase kMissingCases[] = {
    {"StayAwakeMissing", false, true, true, {"Hold", kReason, "Withdraw"}},
    {"BlockReasonMissing", true, false, true, {"Hold", kReason, "Release"}},
    {"PowerStatusMissing", true, true, false,
     {"Hold", kReason, "Withdraw", "Release"}},
    {"AllMissing", false, false, false, {"Hold", kReason}},
};

// The flash runs as today: the same commands, bytes for bytes, the same
// captions and dialogs; only what the system has is withdrawn.
TEST_P(BurnGuardTest, WhatTheSystemLacksChangesNothingOfTheFlash) {
  Start();
  Flash();
  const std::string reference = rig_.bus.SessionTrace().Text();
  const std::vector<std::string> captions = rig_.journal.Texts("GroupBox2");
  ASSERT_EQ(rig_.bus.At(0).Burns(), 1u);

  for (const MissingCase& c : kMissingCases) {
    SCOPED_TRACE(c.name);
    flash_test::TestPackage package{flash_test::PackageSpec{}};
    app_test::FormRig rig(flash_test::OneDrive(flash_test::StandardDrive()), package.View());
    rig.guard.hasStayAwake = c.stayAwake;
    rig.guard.hasBlockReason = c.blockReason;
    // A missing GetSystemPowerStatus reads as nothing known.
    rig.power.state = c.powerStatus ? platform::PowerStateOfWindows(1, 100) : platform::PowerState{};
    app_test::StartWithDriveE(rig, PlatformId());
    rig.dialogs.answers = {Answer::Yes, Answer::No};

    rig.form.FlashButtonClick();

    EXPECT_EQ(rig.bus.At(0).Burns(), 1u);
    EXPECT_EQ(rig.bus.SessionTrace().Text(), reference);
    EXPECT_EQ(rig.journal.Texts("GroupBox2"), captions);
    EXPECT_EQ(rig.guard.calls, c.calls);
  }
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, BurnGuardTest,
                         testing::Values(Platform::Nt, Platform::W9x),
                         [](const auto& info) { return flash_test::PlatformName(info.param); });

}  // namespace
