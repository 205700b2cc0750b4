// Start-up of TFlashForm in both modes: the mode decision, the warning and
// its answer, the window left for the flash, the preparation of the ASPI
// library with its four failures, and the release in FormDestroy.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/form_rig.h"
#include "support/region.h"

namespace {

using platform::Answer;

const std::string kClosedRangeWarning =
    "\nWARNING:\n"
    "\nThis flash utility only supports QRW-20410C firmware:1.00-1.09. We recommend you close "
    "all applications in order to run this update!Don't turn off the system while the flash "
    "is in progress!\n\nDo you wish to continue?\n";

const std::string kWildcardRangeWarning =
    "\nWARNING:\n"
    "\nThis flash utility only supports QRW-20410C\n We recommend you close all applications "
    "in order to run this update! Don't turn off the system while the flash is in progress!"
    "\n\nDo you wish to continue?\n";

struct RegionSpec {
  std::string fwRange = "1.00-1.09";
  bool isTemplate = false;
};

std::vector<std::uint8_t> MakeRegion(const RegionSpec& spec) {
  testsupport::Region region;
  region.Put(package::kModelOffset, "QRW-20410C")
      .Put(package::kInquiryOffset, "QUARVEL QRW-20410C")
      .Put(package::kFwRangeOffset, spec.fwRange)
      .Put(package::kVendorOffset, "Quarvel-IT")
      .Put(package::kNoteOffset, "None")
      .Put(package::kNewRevisionOffset, "1.10.");
  if (spec.isTemplate) {
    region.Put(package::kImageAreaOffset, "VEKO");
  } else {
    region.Put(package::kImageAreaOffset + 0x1100, "\x05\x80");
  }
  return region.Bytes();
}

class StartupTest : public testing::Test {
 protected:
  explicit StartupTest(const RegionSpec& region = {}, const vdrive::Scenario& scenario = {})
      : region_(MakeRegion(region)), rig_(scenario, package::PackageView(region_.data())) {}

  void StartNoDrives(std::uint32_t platformId, Answer warningAnswer) {
    rig_.os.platformId = platformId;
    rig_.dialogs.answers = {warningAnswer};
    rig_.form.FormCreate();
  }

  std::vector<std::uint8_t> region_;
  app_test::FormRig rig_;
};

TEST_F(StartupTest, ClosedRangeWarningIsShownExactlyAsAWarningWithYesNo) {
  StartNoDrives(platform::kPlatformWin32Nt, Answer::No);
  ASSERT_FALSE(rig_.dialogs.shown.empty());
  EXPECT_EQ(rig_.dialogs.shown[0], (fakes::ShownDialog{"Warning", kClosedRangeWarning, "",
                                                   platform::DialogButtons::YesNo}));
  EXPECT_EQ(rig_.form.WarningText, kClosedRangeWarning);
}

class WildcardStartupTest : public StartupTest {
 protected:
  WildcardStartupTest() : StartupTest(RegionSpec{"-ALL--ALL-", false}) {}
};

TEST_F(WildcardStartupTest, WildcardRangeWarningHasNoFirmwarePart) {
  StartNoDrives(platform::kPlatformWin32Nt, Answer::No);
  ASSERT_FALSE(rig_.dialogs.shown.empty());
  EXPECT_EQ(rig_.dialogs.shown[0].text, kWildcardRangeWarning);
}

TEST_F(StartupTest, NoEndsStartUpWithoutCaptionDriveOrLibrary) {
  StartNoDrives(platform::kPlatformWin32Windows, Answer::No);
  EXPECT_EQ(rig_.os.quitCodes, std::vector<int>{0});
  EXPECT_EQ(rig_.dialogs.shown.size(), 1u);
  EXPECT_TRUE(rig_.caption.history.empty());
  EXPECT_TRUE(rig_.device.Opens().empty());
  EXPECT_TRUE(rig_.aspi.LoadedNames().empty());
  EXPECT_TRUE(rig_.bus.SessionTrace().Entries().empty());
  // The label was already set before the question; the file list stays.
  EXPECT_EQ(rig_.label.Text(), "Select the Quarvel-IT drive you want to update:");
  EXPECT_TRUE(rig_.files.Visible());
}

TEST_F(StartupTest, YesLeavesTheFlashWindowAndRunsNtDiscovery) {
  StartNoDrives(platform::kPlatformWin32Nt, Answer::Yes);
  EXPECT_EQ(rig_.caption.history, std::vector<std::string>{"Quarvel-IT Flash V1.039 QRW-20410C"});
  EXPECT_EQ(rig_.label.Text(), "Select the Quarvel-IT drive you want to update:");
  EXPECT_FALSE(rig_.files.Visible());
  EXPECT_EQ(rig_.group.Top(), 72);
  EXPECT_EQ(rig_.bar.Top(), 95);
  EXPECT_EQ(rig_.button.Top(), 95);
  EXPECT_EQ(rig_.form.PlatformId, platform::kPlatformWin32Nt);
  EXPECT_EQ(rig_.form.Format.ImageLength, 0x50000u);
  EXPECT_TRUE(rig_.form.Format.NeedsFlashProfile);
  EXPECT_TRUE(rig_.aspi.LoadedNames().empty());
  // Discovery ran: with no CD-ROM drive its error follows the warning.
  ASSERT_EQ(rig_.dialogs.shown.size(), 2u);
  EXPECT_EQ(rig_.dialogs.shown[1].kind, "Error");
}

TEST_F(StartupTest, CaptionIsSetOnlyAfterTheWarningIsAnswered) {
  StartNoDrives(platform::kPlatformWin32Nt, Answer::Yes);
  const auto& events = rig_.journal.events;
  const auto warning = std::find_if(events.begin(), events.end(), [](const fakes::UiEvent& e) {
    return e.what == "dialog" && e.text.rfind("Warning: ", 0) == 0;
  });
  const auto caption = std::find_if(events.begin(), events.end(), [](const fakes::UiEvent& e) {
    return e.what == "caption";
  });
  ASSERT_NE(warning, events.end());
  ASSERT_NE(caption, events.end());
  EXPECT_LT(warning - events.begin(), caption - events.begin());
}

struct AspiFailureCase {
  const char* name;
  vdrive::AspiSpec aspi;
  const char* message;
};

class AspiFailureTest : public StartupTest,
                        public testing::WithParamInterface<AspiFailureCase> {
 protected:
  AspiFailureTest() : StartupTest(RegionSpec{}, Scenario()) {}
  static vdrive::Scenario Scenario() {
    vdrive::Scenario scenario;
    scenario.aspi = GetParam().aspi;
    vdrive::DriveSpec drive;
    drive.aspi = vdrive::DriveSpec::Address{0, 0};
    scenario.drives.push_back(drive);
    return scenario;
  }
};

TEST_P(AspiFailureTest, ShowsItsMessageQuitsAndTouchesNoDrive) {
  StartNoDrives(platform::kPlatformWin32Windows, Answer::Yes);
  ASSERT_EQ(rig_.dialogs.shown.size(), 2u);
  EXPECT_EQ(rig_.dialogs.shown[1], (fakes::ShownDialog{"Message", GetParam().message, "",
                                                   platform::DialogButtons::Ok}));
  EXPECT_EQ(rig_.os.quitCodes, std::vector<int>{0});
  EXPECT_TRUE(rig_.aspi.Requests().empty());
  EXPECT_EQ(rig_.combo.Count(), 0);
  EXPECT_EQ(rig_.caption.Text(), "Quarvel-IT Flash V1.039 QRW-20410C");
}

vdrive::AspiSpec Aspi(bool loadFails, bool noSupportInfo, bool noSend,
                      std::optional<std::uint32_t> info) {
  vdrive::AspiSpec spec;
  spec.loadFails = loadFails;
  spec.missingSupportInfo = noSupportInfo;
  spec.missingSendCommand = noSend;
  spec.supportInfo = info;
  return spec;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, AspiFailureTest,
    testing::Values(
        AspiFailureCase{"NoLibrary", Aspi(true, false, false, {}), "Unable to load WNASPI32.DLL"},
        AspiFailureCase{"NoSupportInfo", Aspi(false, true, false, {}),
                        "Failed to lookup GetASPI32SupportInfo"},
        AspiFailureCase{"NoSendCommand", Aspi(false, false, true, {}),
                        "Failed to lookup SendASPI32Command"},
        // Wine's own library: status 0xE8 (no adapters).
        AspiFailureCase{"NoAdapters", Aspi(false, false, false, 0xE800),
                        "ASPI for Windows not available!"},
        // Only bits 8..15 count: a status of 3 with bit 8 set is not 1.
        AspiFailureCase{"StatusNotComplete", Aspi(false, false, false, 0x0301),
                        "ASPI for Windows not available!"}),
    [](const auto& info) { return std::string(info.param.name); });

class AspiReadyTest : public StartupTest {
 protected:
  AspiReadyTest() : StartupTest(RegionSpec{}, Scenario()) {}
  static vdrive::Scenario Scenario() {
    vdrive::Scenario scenario;
    // Status 1 with the adapter count (bits 0..7) not used.
    scenario.aspi.supportInfo = 0x0100;
    vdrive::DriveSpec drive;
    drive.aspi = vdrive::DriveSpec::Address{0, 0};
    scenario.drives.push_back(drive);
    return scenario;
  }
};

TEST_F(AspiReadyTest, ReadyLibraryLeadsToAspiDiscoveryAndFormDestroyUnloadsIt) {
  StartNoDrives(platform::kPlatformWin32Windows, Answer::Yes);
  EXPECT_EQ(rig_.aspi.LoadedNames(), std::vector<std::string>{"WNASPI32.DLL"});
  EXPECT_FALSE(rig_.aspi.Requests().empty());  // discovery asked the addresses
  EXPECT_TRUE(rig_.os.quitCodes.empty());
  ASSERT_TRUE(rig_.aspi.Loaded());
  rig_.form.FormDestroy();
  EXPECT_FALSE(rig_.aspi.Loaded());
}

class BuilderStartupTest : public StartupTest {
 protected:
  // A template with a model in its header still starts as the builder.
  BuilderStartupTest() : StartupTest(RegionSpec{"1.00-1.09", true}) {}
};

TEST_F(BuilderStartupTest, TemplateNeverWarnsNorTouchesADrive) {
  rig_.os.currentFolder = "D:\\TOOLS\\QRW";
  rig_.os.existingFiles = {"C:\\FLASH\\QRWFLASH.INI"};
  rig_.profiles.values = {{{"MODEL00", "Model"}, "QRW-20410C"},
                      {{"MODEL00", "Inquiry"}, "QUARVEL QRW-20410C"},
                      {{"MODEL00", "FW-Range"}, "1.00-1.09"},
                      {{"MODEL00", "BINMask"}, "*.BIN"},
                      {{"MODEL00", "Vendor"}, "Quarvel-IT"},
                      {{"MODEL00", "Note"}, "None"}};
  rig_.form.FormCreate();
  EXPECT_TRUE(rig_.form.BuilderMode);
  EXPECT_TRUE(rig_.dialogs.shown.empty());
  EXPECT_TRUE(rig_.os.quitCodes.empty());
  EXPECT_EQ(rig_.combo.items, std::vector<std::string>{"1.00-1.09 QUARVEL QRW-20410C"});
  EXPECT_EQ(rig_.files.Folder(), "D:\\TOOLS\\QRW");
  EXPECT_TRUE(rig_.files.Visible());
  EXPECT_EQ(rig_.label.Text(), "Select Model: ");
  EXPECT_EQ(rig_.button.Text(), "Build");
  EXPECT_FALSE(rig_.button.Enabled());
  EXPECT_EQ(rig_.group.Top(), 113);
  EXPECT_TRUE(rig_.device.Opens().empty());
  EXPECT_TRUE(rig_.aspi.LoadedNames().empty());
  EXPECT_TRUE(rig_.form.Texts.ModelText.empty());
}

TEST_F(BuilderStartupTest, MissingModelFileStopsStartUp) {
  rig_.form.FormCreate();
  ASSERT_EQ(rig_.dialogs.shown.size(), 1u);
  EXPECT_EQ(rig_.dialogs.shown[0].text, "Can't load C:\\FLASH\\QRWFLASH.INI");
  EXPECT_EQ(rig_.os.quitCodes, std::vector<int>{0});
  EXPECT_EQ(rig_.label.Text(), "");
  EXPECT_NE(rig_.button.Text(), "Build");
}

class OpenDeviceTest : public StartupTest {
 protected:
  OpenDeviceTest() : StartupTest(RegionSpec{}, Scenario()) {}
  static vdrive::Scenario Scenario() {
    vdrive::Scenario scenario;
    vdrive::DriveSpec drive;
    drive.ntLetter = 'E';
    scenario.drives.push_back(drive);
    return scenario;
  }
};

TEST_F(OpenDeviceTest, FormDestroyClosesTheDeviceHandleOfTheLastFlash) {
  rig_.form.NTDiscovery();
  ASSERT_TRUE(rig_.form.Nt->OpenForFlash('E').Opened());
  ASSERT_EQ(rig_.device.OpenHandles().size(), 1u);
  rig_.form.FormDestroy();
  EXPECT_TRUE(rig_.device.OpenHandles().empty());
  EXPECT_FALSE(rig_.form.Nt->DeviceHandle().has_value());
  EXPECT_EQ(rig_.device.BadCloses(), 0u);
}

TEST_F(StartupTest, FormDestroyWithNothingAcquiredReleasesNothing) {
  StartNoDrives(platform::kPlatformWin32Nt, Answer::No);
  rig_.form.FormDestroy();
  EXPECT_EQ(rig_.device.BadCloses(), 0u);
  EXPECT_FALSE(rig_.aspi.Loaded());
}

}  // namespace
