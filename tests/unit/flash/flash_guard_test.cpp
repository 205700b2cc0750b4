// A running flash is protected: a second FLASH press arriving through a
// modal box's message loop never starts a second flash, and the window can
// tell that a press is running. The final flash command goes out only after
// every chunk went to its own offset and came back equal, even when the bar
// does not hold the values it is given.
#include <gtest/gtest.h>

#include <algorithm>

#include "flash_rig.h"

namespace flash_test {
namespace {

using platform::Answer;
using vdrive::Kind;

struct Reentry {
  explicit Reentry(std::string box) : boxText(std::move(box)) {}
  std::string boxText;  // the box inside which FLASH is pressed again
  std::vector<bool> flashingInBoxes;
  bool pressed = false;
};

void PressAgainInside(FlashRig& rig, Reentry& reentry) {
  rig.dialogs.onShow = [&rig, &reentry](const fakes::ShownDialog& box) {
    reentry.flashingInBoxes.push_back(rig.procedure.Flashing());
    if (!reentry.pressed && box.text == reentry.boxText) {
      reentry.pressed = true;
      rig.dialogs.answers.push_front(Answer::Yes);  // would confirm a second flash
      rig.Click();
    }
  };
}

TEST(SecondPress, InsideTheRestartOfferStartsNothing) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    FlashRig rig{p, PackageSpec{}};
    Reentry reentry{p == Platform::Nt ? texts::kRestartOfferNt : texts::kRestartOffer9x};
    PressAgainInside(rig, reentry);
    rig.ClickAndConfirm(Answer::No);

    ASSERT_TRUE(reentry.pressed);
    EXPECT_EQ(rig.Drive().Count(Kind::StartStopUnit), 2u);
    EXPECT_EQ(rig.Drive().Count(Kind::Burn), 1u);
    EXPECT_EQ(rig.Drive().Burns(), 1u);
    EXPECT_EQ(rig.dialogs.shown.size(), 2u) << "no second confirmation";
    EXPECT_EQ(reentry.flashingInBoxes, (std::vector<bool>{true, true}));
    EXPECT_FALSE(rig.procedure.Flashing());
    // The first flash still completes and cleans up.
    EXPECT_EQ(rig.bar.Position(), 0);
    EXPECT_FALSE(rig.cursor.hourglass);
  }
}

// ASPI polls can show "Command Error" boxes in the middle of the wait; a
// press there must neither run a whole flash inside the first one nor clear
// the profile state the first one relies on.
TEST(SecondPress, InsideAPollBoxLeavesTheRunningFlashAlone) {
  vdrive::DriveSpec drive = StandardDrive();
  drive.failures.push_back({Kind::TestUnitReady, 1, vdrive::kStatusCheckCondition,
                            vdrive::kMediumNotPresent, 0x82});
  FlashRig rig{Platform::W9x, PackageSpec{}, drive};
  Reentry reentry{"Command Error: 82"};
  PressAgainInside(rig, reentry);
  rig.ClickAndConfirm(Answer::No);

  ASSERT_TRUE(reentry.pressed);
  EXPECT_EQ(rig.Drive().Count(Kind::StartStopUnit), 2u);
  EXPECT_EQ(rig.Drive().Count(Kind::WriteChunk), 20u);
  EXPECT_EQ(rig.Drive().Count(Kind::ReadProfile), 1u);
  EXPECT_EQ(rig.Drive().Burns(), 1u);
}

TEST(SecondPress, DirectCallsOfTheVariantsAreRefusedToo) {
  FlashRig rig{Platform::Nt, PackageSpec{}};
  rig.dialogs.onShow = [&rig](const fakes::ShownDialog& box) {
    if (box.text == texts::kRestartOfferNt) {
      rig.procedure.NTFlashButton(app::ChosenInList(rig.list, rig.itemToEntry));
      rig.procedure.Flash9x(app::ChosenInList(rig.list, rig.itemToEntry));
    }
  };
  rig.ClickAndConfirm(Answer::No);
  EXPECT_EQ(rig.Drive().Count(Kind::StartStopUnit), 2u);
  EXPECT_EQ(rig.device.Opens().size(), 2u) << "the discovery check and one flash";
}

TEST(SecondPress, NotFlashingOutsideAPress) {
  FlashRig rig{Platform::Nt, PackageSpec{}};
  EXPECT_FALSE(rig.procedure.Flashing());
  rig.dialogs.answers = {Answer::No};
  rig.Click();
  EXPECT_FALSE(rig.procedure.Flashing());
}

// A progress bar with a 16-bit range (PBM_SETRANGE instead of
// PBM_SETRANGE32) cannot hold the image length: it clamps.
class SixteenBitBar : public fakes::FakeProgressBar {
 public:
  using FakeProgressBar::FakeProgressBar;
  void SetMax(std::int32_t v) override { FakeProgressBar::SetMax(std::min(v, 65535)); }
  void SetPosition(std::int32_t v) override {
    FakeProgressBar::SetPosition(std::min(v, Max()));
  }
  void StepIt() override { FakeProgressBar::SetPosition(std::min(Position() + Step(), Max())); }
};

TEST(FinalFlashGate, ABarThatCannotHoldTheOffsetsStopsTheDownload) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    SixteenBitBar bar{"ProgressBar"};
    FlashRig rig{p, PackageSpec{}, StandardDrive(), &bar};
    rig.ClickAndConfirm(Answer::No);

    // Chunks 0 to 3 fit below 65535; the fifth would have gone to 65535.
    EXPECT_EQ(rig.Drive().Count(Kind::WriteChunk), 4u);
    EXPECT_EQ(rig.Drive().Count(Kind::EntryCritical), 0u);
    EXPECT_EQ(rig.Drive().Count(Kind::Burn), 0u);
    EXPECT_EQ(rig.status.Text(), texts::kCaptionWriteBin +
                                     (p == Platform::Nt ? ", Fail!" : ", Fail! "));
    EXPECT_FALSE(rig.cursor.hourglass);
  }
}

}  // namespace
}  // namespace flash_test

namespace flash_test {
namespace {

// A press with no drive chosen (an empty or unselected list) names no slot:
// nothing is shown or sent, and nothing is read outside the table.
TEST(NoDriveChosen, PressDoesNothing) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    FlashRig rig{p, PackageSpec{}};
    rig.list.SetItemIndex(-1);
    rig.ClickAndConfirm();
    rig.procedure.NTFlashButton(app::ChosenInList(rig.list, rig.itemToEntry));
    rig.procedure.Flash9x(app::ChosenInList(rig.list, rig.itemToEntry));
    rig.list.SetItemIndex(7);
    rig.procedure.Flash9x(app::ChosenInList(rig.list, rig.itemToEntry));
    EXPECT_TRUE(rig.dialogs.shown.empty());
    EXPECT_TRUE(rig.seen.empty());
  }
}

}  // namespace
}  // namespace flash_test
