// Drive discovery of the real QRW-20410C flash program under Wine: through
// the virtual drive's WNASPI32.DLL in Windows 9x mode, and through Wine's
// NT pass-through to the virtual drive's SG devices. The NT cases need drive
// letters mapped before the prefix's server starts, so discovery_run.sh runs
// them once per mapping and names it in QRW_DISCOVERY_NT; without it they
// are skipped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "harness.h"
#include "program/control_ids.h"

namespace {

using namespace e2e;
using namespace program;

constexpr const char* kFlashProgram = "1.10.EXE";
constexpr const char* kVirtualAspi = "..\\tools\\vdrive\\wnaspi32\\dll\\WNASPI32.DLL";

const std::string kQuarvel = "QUARVEL QRW-20410C      ";
const std::string kOther = "OTHERCO CD-ROM 52X      2.05";
const std::string kNoDriveHead =
    "\nERROR:\n"
    "\nCan't found QRW-20410C firmware: 1.00-1.09 drive !\n"
    "\nThis flash utility only supports QRW-20410C firmware: 1.00-1.09\n"
    "\nDetected drives:\n" + std::string(59, '-') + "\n";

// The flash program in a folder of its own, with the virtual drive's
// WNASPI32.DLL and a scenario for it when given.
struct ProgramFolder {
  std::string folder;
  std::string exe;
  std::vector<std::pair<std::string, std::string>> environment;
};

ProgramFolder FlashProgramIn(const std::string& name, const std::string& scenario = std::string()) {
  ProgramFolder s;
  s.folder = MakeWorkFolder(name);
  s.exe = s.folder + "\\" + kFlashProgram;
  EXPECT_TRUE(CopyInto(ProgramPath(kFlashProgram), s.folder));
  if (!scenario.empty()) {
    EXPECT_TRUE(CopyInto(ProgramPath(kVirtualAspi), s.folder, "WNASPI32.DLL"));
    const std::string path = s.folder + "\\scenario.txt";
    std::ofstream(path) << scenario;
    s.environment = {{"QRW_VDRIVE_SCENARIO", path}, {"QRW_VDRIVE_TRACE", s.folder + "\\trace.txt"}};
  }
  return s;
}

// Starts the program and answers Yes to its warning.
Process StartPastTheWarning(const ProgramFolder& where) {
  Process program = Process::Start(where.exe, where.folder, where.environment);
  const auto warning = WaitForDialog(program);
  EXPECT_TRUE(warning.has_value());
  if (warning) {
    EXPECT_EQ(warning->title, "Warning");
    Answer(*warning, IDYES);
  }
  return program;
}

// The window ready for the flash: the drive list as the user sees it.
void ExpectDriveList(Process& program, const std::vector<std::string>& items) {
  HWND window = WaitForWindow(program, kFlashFormClass);
  ASSERT_NE(window, nullptr);
  for (HWND other : WindowsOf(program.Id())) EXPECT_NE(ClassOf(other), kDialogClass);
  HWND combo = Control(window, kIdComboBox1);
  EXPECT_EQ(ComboItems(combo), items);
  EXPECT_EQ(ComboSelection(combo), 0);
  Close(window);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

// No drive matched: the error box with the detected drives, then the end.
void ExpectNoDriveError(Process& program, const std::string& text) {
  const auto error = WaitForDialog(program);
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->title, "Error");
  EXPECT_EQ(error->text, text);
  EXPECT_TRUE(error->ok);
  EXPECT_FALSE(error->yes);
  Answer(*error, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

class Windows9xDiscovery : public testing::Test {
 protected:
  void SetUp() override { SetWindows98(kFlashProgram, AspiLibrary::Beside); }
  void TearDown() override { ClearWindows98(kFlashProgram); }
};

TEST_F(Windows9xDiscovery, MatchingDrivesAreListedInAddressOrderWithTheFirstSelected) {
  const ProgramFolder folder = FlashProgramIn("9x-match",
                                     "[drive]\naspi = 0 0\nvendor = OTHERCO\nproduct = CD-ROM 52X\n"
                                     "revision = 2.05\n"
                                     "[drive]\naspi = 0 1\n"
                                     "[drive]\naspi = 1 0\nrevision = 1.05\n"
                                     "[drive]\naspi = 3 0\n");
  Process program = StartPastTheWarning(folder);
  ExpectDriveList(program, {"HA#0 - ID#1 :  " + kQuarvel + "1.00",
                            "HA#1 - ID#0 :  " + kQuarvel + "1.05"});
}

TEST_F(Windows9xDiscovery, NoMatchShowsTheDetectedDrivesAndEnds) {
  const ProgramFolder folder = FlashProgramIn("9x-nomatch",
                                     "[drive]\naspi = 0 0\nvendor = OTHERCO\nproduct = CD-ROM 52X\n"
                                     "revision = 2.05\n"
                                     "[drive]\naspi = 1 1\nrevision = 1.20\n");
  Process program = StartPastTheWarning(folder);
  ExpectNoDriveError(program, kNoDriveHead + "HA#0 - ID#0 :  " + kOther + "\n" +
                                  "HA#1 - ID#1 :  " + kQuarvel + "1.20\n");
}

std::string NtMapping() {
  const char* mapping = std::getenv("QRW_DISCOVERY_NT");
  return mapping ? mapping : "";
}

// D: another model and E: the drive the package is for, both SG devices of
// the virtual drive (discovery_nt_scenario.txt); G: a CD-ROM letter with
// nothing behind it, which opens but answers no SCSI request.
TEST(NtDiscovery, OnlyTheMatchingLetterIsListedEndingInItsRevision) {
  if (NtMapping() != "two-letters") GTEST_SKIP() << "needs discovery_run.sh";
  Process program = StartPastTheWarning(FlashProgramIn("nt-two-letters"));
  HWND window = WaitForWindow(program, kFlashFormClass);
  ASSERT_NE(window, nullptr);
  const std::vector<std::string> items = ComboItems(Control(window, kIdComboBox1));
  ASSERT_EQ(items.size(), 1u);
  // Wine leaves the address fields as they were sent: slot 0's.
  EXPECT_EQ(items[0], "0-0-0 E: " + kQuarvel + "1.05");
  EXPECT_EQ(ComboSelection(Control(window, kIdComboBox1)), 0);
  Close(window);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

// G: alone: nothing is detected, the list under the dashed line is empty.
TEST(NtDiscovery, CdRomLetterWithoutADeviceIsNotListed) {
  if (NtMapping() != "no-device") GTEST_SKIP() << "needs discovery_run.sh";
  Process program = StartPastTheWarning(FlashProgramIn("nt-no-device"));
  ExpectNoDriveError(program, kNoDriveHead);
}

// E: matches, but F: (a folder behind the letter) cannot be opened: the
// failure is told, discovery goes on, and the quit request it posted ends
// the program although a drive matched.
TEST(NtDiscovery, DeniedOpeningIsToldAndTheProgramEndsAfterDiscovery) {
  if (NtMapping() != "denied") GTEST_SKIP() << "needs discovery_run.sh";
  Process program = StartPastTheWarning(FlashProgramIn("nt-denied"));
  const auto message = WaitForDialog(program);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->title, "Quarvel Flash utility for QRW1B / QRW2B");
  EXPECT_EQ(message->text, "Error opening: 5");
  EXPECT_TRUE(message->ok);
  Answer(*message, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
  for (HWND other : WindowsOf(program.Id())) EXPECT_NE(ClassOf(other), kDialogClass);
}

}  // namespace
