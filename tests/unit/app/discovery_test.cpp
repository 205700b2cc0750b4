// Drive discovery on both platforms against the virtual drive: which drives
// are listed, in which slots, and the error text when none matches.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/form_rig.h"
#include "drive/test_package.h"
#include "fakes/fake_os.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_ui.h"
#include "vdrive/inprocess.h"
#include "vdrive/vdrive.h"

namespace {

using platform::kDriveCdRom;

const std::string kDashes(59, '-');
const std::string kQuarvel = "QUARVEL QRW-20410C      1.00";
const std::string kOther = "OTHERCO CD-ROM 52X      2.05";

const std::string kClosedRangeHead =
    "\nERROR:\n"
    "\nCan't found QRW-20410C firmware: 1.00-1.20 drive !\n"
    "\nThis flash utility only supports QRW-20410C firmware: 1.00-1.20\n"
    "\nDetected drives:\n" + kDashes + "\n";

const std::string kWildcardRangeHead =
    "\nERROR:\n"
    "\nCan't found QRW-20410C drive !\n"
    "\nThis flash utility only supports QRW-20410C\n"
    "\nDetected drives:\n" + kDashes + "\n";

vdrive::DriveSpec Nt(char letter) {
  vdrive::DriveSpec spec;
  spec.ntLetter = letter;
  return spec;
}

vdrive::DriveSpec Aspi(std::uint8_t adapter, std::uint8_t target) {
  vdrive::DriveSpec spec;
  spec.aspi = vdrive::DriveSpec::Address{adapter, target};
  return spec;
}

vdrive::DriveSpec Other(vdrive::DriveSpec spec) {
  spec.identity = {"OTHERCO", "CD-ROM 52X", "2.05"};
  return spec;
}

// The window with fake controls and dialogs; drives behind the virtual
// drive's in-process fronts.
class Discovery {
 public:
  explicit Discovery(std::vector<vdrive::DriveSpec> drives, const std::string& range = "1.00-1.20")
      : scenario_{std::move(drives), {}},
        rig_(scenario_, package_.Text(package::kFwRangeOffset, range).View()) {
    rig_.form.Texts = package::FormPackageTexts(rig_.form.Package);
  }

  // Every root is a CD-ROM drive unless it is listed with another type.
  void RunNt(const std::vector<std::string>& roots,
             const std::vector<std::string>& fixedDisks = {}) {
    rig_.os.roots = roots;
    for (const auto& r : roots) rig_.os.driveTypes[r] = kDriveCdRom;
    for (const auto& r : fixedDisks) rig_.os.driveTypes[r] = 3;
    rig_.form.NTDiscovery();
  }
  void RunAspi() {
    rig_.aspi.Load("WNASPI32.DLL");
    rig_.aspi.LookUp("GetASPI32SupportInfo");
    rig_.aspi.LookUp("SendASPI32Command");
    rig_.form.AspiDiscovery();
  }

  app::TFlashForm& Form() { return rig_.form; }
  fakes::FakeComboBox& Combo() { return rig_.combo; }
  fakes::FakeDialogs& Dialogs() { return rig_.dialogs; }
  fakes::FakeOs& Os() { return rig_.os; }
  vdrive::DeviceIoFront& Device() { return rig_.device; }
  vdrive::AspiFront& Library() { return rig_.aspi; }

 private:
  testpkg::Package package_;
  vdrive::Scenario scenario_;
  app_test::FormRig rig_;
};

fakes::ShownDialog ErrorDialog(const std::string& text) {
  return {"Error", text, "", platform::DialogButtons::Ok};
}

TEST(NoDriveTextTest, ClosedRangeQuotesTheRangeAndTheListIsEmptyWithoutCdRoms) {
  Discovery d({});
  d.RunNt({"C:\\"}, {"C:\\"});
  EXPECT_EQ(d.Dialogs().shown, std::vector<fakes::ShownDialog>{ErrorDialog(kClosedRangeHead)});
  EXPECT_EQ(d.Os().quitCodes, std::vector<int>{0});
  EXPECT_EQ(d.Combo().Count(), 0);
}

TEST(NoDriveTextTest, RangeWildcardHasNoFirmwarePart) {
  Discovery d({}, "----------");
  d.RunAspi();
  EXPECT_EQ(d.Dialogs().shown, std::vector<fakes::ShownDialog>{ErrorDialog(kWildcardRangeHead)});
  EXPECT_EQ(d.Os().quitCodes, std::vector<int>{0});
}

TEST(NTDiscoveryTest, OnlyTheMatchingDriveIsListedInSlot0AndTheOtherGoesToTheErrorText) {
  Discovery d({Other(Nt('D')), Nt('E')});
  d.RunNt({"C:\\", "D:\\", "E:\\"}, {"C:\\"});
  EXPECT_EQ(d.Combo().items, std::vector<std::string>{"0-0-0 E: " + kQuarvel});
  EXPECT_EQ(d.Combo().selected, 0);
  EXPECT_EQ(d.Form().ItemToEntry[0], 0);
  EXPECT_EQ(d.Form().Session->Table()[0].DriveLetter, 'E');
  EXPECT_EQ(d.Form().Session->Table()[0].Text(), "0-0-0 E: " + kQuarvel);
  EXPECT_EQ(d.Form().NoDriveText, kClosedRangeHead + "0-0-0 D: " + kOther + "\n");
  EXPECT_TRUE(d.Dialogs().shown.empty());
  EXPECT_TRUE(d.Os().quitCodes.empty());
  // C: is a fixed disk: never opened.
  std::vector<std::string> opened;
  for (const auto& o : d.Device().Opens()) opened.push_back(o.path);
  EXPECT_EQ(opened, (std::vector<std::string>{"\\\\.\\D:", "\\\\.\\E:"}));
}

TEST(NTDiscoveryTest, NoMatchShowsTheOtherDrivesUnderTheDashedLine) {
  Discovery d({Other(Nt('D')), Other(Nt('F'))});
  d.RunNt({"D:\\", "F:\\"});
  EXPECT_EQ(d.Dialogs().shown,
            std::vector<fakes::ShownDialog>{ErrorDialog(
                kClosedRangeHead + "0-0-0 D: " + kOther + "\n" + "0-0-0 F: " + kOther + "\n")});
  EXPECT_EQ(d.Os().quitCodes, std::vector<int>{0});
}

TEST(NTDiscoveryTest, DriveWhosePassThroughFailsIsNotListedAnywhere) {
  vdrive::DriveSpec failing = Nt('D');
  failing.callFailures.push_back({vdrive::Kind::Inquiry, 0, 50});
  Discovery d({failing});
  d.RunNt({"D:\\"});
  EXPECT_EQ(d.Dialogs().shown, std::vector<fakes::ShownDialog>{ErrorDialog(kClosedRangeHead)});
}

// The quit request of a failed opening does not stop the loop: the next
// drive is still identified and listed.
TEST(NTDiscoveryTest, DeviceThatCannotBeOpenedIsToldAndDiscoveryGoesOn) {
  vdrive::DriveSpec denied = Nt('D');
  denied.openError = 5;
  Discovery d({denied, Nt('E')});
  d.RunNt({"D:\\", "E:\\"});
  EXPECT_EQ(d.Dialogs().Texts(), std::vector<std::string>{"Error opening: 5"});
  EXPECT_EQ(d.Os().quitCodes, std::vector<int>{0});
  EXPECT_EQ(d.Combo().items, std::vector<std::string>{"0-0-0 E: " + kQuarvel});
  EXPECT_EQ(d.Combo().selected, 0);
}

TEST(NTDiscoveryTest, SeveralMatchesKeepListOrderAndTheFirstIsSelected) {
  vdrive::DriveSpec second = Nt('G');
  second.ntPath = 1;
  Discovery d({Nt('E'), Other(Nt('F')), second});
  d.RunNt({"E:\\", "F:\\", "G:\\"});
  EXPECT_EQ(d.Combo().items,
            (std::vector<std::string>{"0-0-0 E: " + kQuarvel, "1-0-0 G: " + kQuarvel}));
  EXPECT_EQ(d.Combo().selected, 0);
  EXPECT_EQ(d.Form().ItemToEntry[0], 0);
  EXPECT_EQ(d.Form().ItemToEntry[1], 1);
  EXPECT_EQ(d.Form().Session->Table()[1].DriveLetter, 'G');
  EXPECT_EQ(d.Form().Session->Table()[1].Adapter, 1);
}

std::vector<std::string> Roots(const std::string& letters) {
  std::vector<std::string> roots;
  for (char c : letters) roots.push_back(std::string(1, c) + ":\\");
  return roots;
}

// Every drive letter a matching drive: each one gets its own slot and
// item, far beyond the six ASPI addresses.
TEST(NTDiscoveryTest, TwentySixMatchingDrivesAreAllListed) {
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::vector<vdrive::DriveSpec> drives;
  for (char c : letters) drives.push_back(Nt(c));
  Discovery d(drives);
  d.RunNt(Roots(letters));
  ASSERT_EQ(d.Combo().Count(), 26);
  for (int i = 0; i < 26; ++i) {
    EXPECT_EQ(d.Combo().items[i], std::string("0-0-0 ") + letters[i] + ": " + kQuarvel);
    EXPECT_EQ(d.Form().ItemToEntry[i], i);
    EXPECT_EQ(d.Form().Session->Table()[i].DriveLetter, letters[i]);
  }
  EXPECT_EQ(d.Combo().selected, 0);
}

// An answer naming more roots than there are letters fills the table and
// no further root is tried.
TEST(NTDiscoveryTest, MoreRootsThanSlotsStopAtAFullTable) {
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::vector<vdrive::DriveSpec> drives;
  for (char c : letters) drives.push_back(Nt(c));
  Discovery d(drives);
  d.RunNt(Roots(letters + "ABCDE"));
  EXPECT_EQ(d.Combo().Count(), 26);
  EXPECT_EQ(d.Device().Opens().size(), 26u);
}

TEST(AspiDiscoveryTest, OnlyMatchAtAdapter1Target0MapsItem0ToSlot2) {
  Discovery d({Other(Aspi(0, 0)), Aspi(1, 0)});
  d.RunAspi();
  EXPECT_EQ(d.Combo().items, std::vector<std::string>{"HA#1 - ID#0 :  " + kQuarvel});
  EXPECT_EQ(d.Combo().selected, 0);
  EXPECT_EQ(d.Form().ItemToEntry[0], 2);
  EXPECT_EQ(d.Form().NoDriveText, kClosedRangeHead + "HA#0 - ID#0 :  " + kOther + "\n");
  EXPECT_TRUE(d.Dialogs().shown.empty());
}

TEST(AspiDiscoveryTest, SeveralMatchesInAddressOrder) {
  Discovery d({Aspi(2, 1), Aspi(0, 1), Other(Aspi(1, 1))});
  d.RunAspi();
  EXPECT_EQ(d.Combo().items, (std::vector<std::string>{"HA#0 - ID#1 :  " + kQuarvel,
                                                        "HA#2 - ID#1 :  " + kQuarvel}));
  EXPECT_EQ(d.Form().ItemToEntry[0], 1);
  EXPECT_EQ(d.Form().ItemToEntry[1], 5);
  EXPECT_EQ(d.Combo().selected, 0);
}

// Only the six preset addresses are ever asked, always with LUN 0.
TEST(AspiDiscoveryTest, Adapter3AndTarget2AreNeverTried) {
  Discovery d({Aspi(3, 0), Aspi(0, 2)});
  d.RunAspi();
  std::vector<std::pair<int, int>> asked;
  for (const auto& r : d.Library().Requests()) {
    if (r.block[0] != 0x02) continue;
    EXPECT_EQ(r.block[9], 0);
    asked.emplace_back(r.block[2], r.block[8]);
  }
  EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}}));
  EXPECT_EQ(d.Dialogs().shown, std::vector<fakes::ShownDialog>{ErrorDialog(kClosedRangeHead)});
  EXPECT_EQ(d.Os().quitCodes, std::vector<int>{0});
}

}  // namespace
