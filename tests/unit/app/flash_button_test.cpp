// FlashButtonClick on the real window class: in flash mode a whole flash
// after start-up, on both platforms, through the window's own wiring; in
// builder mode the builder, never a drive.
#include <gtest/gtest.h>

#include "app/flash_form.h"
#include "fakes/fake_os.h"
#include "fakes/fake_ui.h"
#include "flash/flash_rig.h"

namespace {

using flash_test::Platform;
using platform::Answer;

class FlashButtonTest : public testing::Test {
 protected:
  explicit FlashButtonTest(flash_test::PackageSpec spec = {})
      : package_(spec),
        bus_(flash_test::OneDrive(flash_test::StandardDrive())),
        device_(bus_),
        aspi_(bus_),
        form_(app::Controls{caption_, label_, combo_, files_, group_, bar_, button_, cursor_},
              app::Services{os_, profiles_, dialogs_, device_, aspi_, restart_},
              package_.View()) {
    os_.roots = {"C:\\", "E:\\"};
    os_.driveTypes["E:\\"] = platform::kDriveCdRom;
  }

  // Start-up in flash mode up to the waiting window, drive E listed.
  void Start(Platform p) {
    os_.platformId = p == Platform::Nt ? platform::kPlatformWin32Nt
                                       : platform::kPlatformWin32Windows;
    dialogs_.answers = {Answer::Yes};
    form_.FormCreate();
    ASSERT_EQ(combo_.Count(), 1);
    dialogs_.shown.clear();
    bus_.SessionTrace().Clear();
  }

  flash_test::TestPackage package_;
  vdrive::Bus bus_;
  vdrive::DeviceIoFront device_;
  vdrive::AspiFront aspi_;
  fakes::Journal journal_;
  fakes::FakeText caption_{"caption", &journal_};
  fakes::FakeText label_{"label", &journal_};
  fakes::FakeComboBox combo_{"ComboBox1", &journal_};
  fakes::FakeFileList files_{"files", &journal_};
  fakes::FakeText group_{"GroupBox2", &journal_, 113};
  fakes::FakeProgressBar bar_{"ProgressBar", &journal_};
  fakes::FakeButton button_{"button", &journal_};
  fakes::FakeCursor cursor_{&journal_};
  fakes::FakeDialogs dialogs_{&journal_};
  fakes::FakeOs os_;
  fakes::FakeProfileReader profiles_;
  fakes::FakeRestart restart_;
  app::TFlashForm form_;
};

class FlashButtonOnPlatform : public FlashButtonTest,
                              public testing::WithParamInterface<Platform> {};

TEST_P(FlashButtonOnPlatform, WholeFlashThroughTheWindow) {
  Start(GetParam());
  std::vector<bool> flashingInRestartOffer;
  dialogs_.onShow = [&](const fakes::ShownDialog& box) {
    if (box.text == flash_test::texts::kRestartOfferNt || box.text == flash_test::texts::kRestartOffer9x)
      flashingInRestartOffer.push_back(form_.Flashing());
  };
  dialogs_.answers = {Answer::Yes, Answer::No};

  form_.FlashButtonClick();

  vdrive::Drive& drive = bus_.At(0);
  EXPECT_EQ(drive.Burns(), 1u);
  EXPECT_EQ(drive.Revision(), "1.10");
  EXPECT_EQ(drive.Count(vdrive::Kind::WriteChunk), 20u);
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_EQ(dialogs_.shown[0].text, "\nUpdate FW:1.00 to FW:1.10 ?\n");
  EXPECT_EQ(flashingInRestartOffer, std::vector<bool>{true});
  EXPECT_FALSE(form_.Flashing());
  EXPECT_TRUE(restart_.calls.empty());
  EXPECT_TRUE(button_.Enabled());
}

TEST_P(FlashButtonOnPlatform, SecondPressAfterTheFlashIsRefused) {
  Start(GetParam());
  dialogs_.answers = {Answer::Yes, Answer::No};
  form_.FlashButtonClick();
  bus_.SessionTrace().Clear();
  dialogs_.shown.clear();

  form_.FlashButtonClick();

  // The entry's line was rewritten by the refresh INQUIRY on both platforms.
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0],
            (fakes::ShownDialog{"Warning",
                                "\nWARNING:\n\nYour drive FW:1.10 is aready the most updated ?", "",
                                platform::DialogButtons::Ok}));
  EXPECT_TRUE(bus_.SessionTrace().Entries().empty());
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, FlashButtonOnPlatform,
                         testing::Values(Platform::Nt, Platform::W9x),
                         [](const auto& info) { return flash_test::PlatformName(info.param); });

// Builder mode: the builder runs under the hourglass; no drive is touched.
TEST_F(FlashButtonTest, BuilderModeRunsTheBuilderOnly) {
  form_.BuilderMode = true;
  form_.FlashButtonClick();
  EXPECT_EQ(journal_.Texts("cursor"), (std::vector<std::string>{"hourglass", "default"}));
  EXPECT_TRUE(bus_.SessionTrace().Entries().empty());
  EXPECT_TRUE(device_.Opens().empty());
  EXPECT_FALSE(form_.Flashing());
}

}  // namespace
