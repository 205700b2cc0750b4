// FlashButtonClick on the real window class: in flash mode a whole flash
// after start-up, on both platforms, through the window's own wiring; in
// builder mode the builder, never a drive.
#include <gtest/gtest.h>

#include "app/form_rig.h"
#include "fakes/fake_os.h"
#include "fakes/fake_ui.h"
#include "flash/flash_rig.h"

namespace {

using flash_test::Platform;
using platform::Answer;

class FlashButtonTest : public testing::Test {
 protected:
  explicit FlashButtonTest(flash_test::PackageSpec spec = {})
      : package_(spec), rig_(flash_test::OneDrive(flash_test::StandardDrive()), package_.View()) {}

  // Start-up in flash mode up to the waiting window, drive E listed.
  void Start(Platform p) {
    app_test::StartWithDriveE(rig_, p == Platform::Nt ? platform::kPlatformWin32Nt
                                                      : platform::kPlatformWin32Windows);
    ASSERT_EQ(rig_.combo.Count(), 1);
  }

  flash_test::TestPackage package_;
  app_test::FormRig rig_;
};

class FlashButtonOnPlatform : public FlashButtonTest,
                              public testing::WithParamInterface<Platform> {};

TEST_P(FlashButtonOnPlatform, WholeFlashThroughTheWindow) {
  Start(GetParam());
  std::vector<bool> flashingInRestartOffer;
  rig_.dialogs.onShow = [&](const fakes::ShownDialog& box) {
    if (box.text == flash_test::texts::kRestartOfferNt || box.text == flash_test::texts::kRestartOffer9x)
      flashingInRestartOffer.push_back(rig_.form.Flashing());
  };
  rig_.dialogs.answers = {Answer::Yes, Answer::No};

  rig_.form.FlashButtonClick();

  vdrive::Drive& drive = rig_.bus.At(0);
  EXPECT_EQ(drive.Burns(), 1u);
  EXPECT_EQ(drive.Revision(), "1.10");
  EXPECT_EQ(drive.Count(vdrive::Kind::WriteChunk), 20u);
  ASSERT_EQ(rig_.dialogs.shown.size(), 2u);
  EXPECT_EQ(rig_.dialogs.shown[0].text, "\nUpdate FW:1.00 to FW:1.10 ?\n");
  EXPECT_EQ(flashingInRestartOffer, std::vector<bool>{true});
  EXPECT_FALSE(rig_.form.Flashing());
  EXPECT_TRUE(rig_.restart.calls.empty());
  EXPECT_TRUE(rig_.button.Enabled());
}

TEST_P(FlashButtonOnPlatform, SecondPressAfterTheFlashIsRefused) {
  Start(GetParam());
  rig_.dialogs.answers = {Answer::Yes, Answer::No};
  rig_.form.FlashButtonClick();
  rig_.bus.SessionTrace().Clear();
  rig_.dialogs.shown.clear();

  rig_.form.FlashButtonClick();

  // The entry's line was rewritten by the refresh INQUIRY on both platforms.
  ASSERT_EQ(rig_.dialogs.shown.size(), 1u);
  EXPECT_EQ(rig_.dialogs.shown[0],
            (fakes::ShownDialog{"Warning",
                                "\nWARNING:\n\nYour drive FW:1.10 is aready the most updated ?", "",
                                platform::DialogButtons::Ok}));
  EXPECT_TRUE(rig_.bus.SessionTrace().Entries().empty());
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, FlashButtonOnPlatform,
                         testing::Values(Platform::Nt, Platform::W9x),
                         [](const auto& info) { return flash_test::PlatformName(info.param); });

// Builder mode: the builder runs under the hourglass; no drive is touched.
TEST_F(FlashButtonTest, BuilderModeRunsTheBuilderOnly) {
  rig_.form.BuilderMode = true;
  rig_.form.FlashButtonClick();
  EXPECT_EQ(rig_.journal.Texts("cursor"), (std::vector<std::string>{"hourglass", "default"}));
  EXPECT_TRUE(rig_.bus.SessionTrace().Entries().empty());
  EXPECT_TRUE(rig_.device.Opens().empty());
  EXPECT_FALSE(rig_.form.Flashing());
}

}  // namespace
