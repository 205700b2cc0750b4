// Start-up of the real programs under Wine: the QRW-20410C flash program's
// warning and both answers, the Windows 9x preparation of the ASPI library,
// and the template starting as the builder.
#include <gtest/gtest.h>

#include <fstream>

#include "harness.h"
#include "program/control_ids.h"

namespace {

using namespace e2e;
using namespace program;

constexpr const char* kFlashProgram = "1.10.EXE";
constexpr const char* kTemplate = "QRWFLASH.EXE";
constexpr const char* kApplicationTitle = "Quarvel Flash utility for QRW1B / QRW2B";

const std::string kWarning =
    "\nWARNING:\n"
    "\nThis flash utility only supports QRW-20410C firmware:1.00-1.09. We recommend you close "
    "all applications in order to run this update!Don't turn off the system while the flash "
    "is in progress!\n\nDo you wish to continue?\n";

// The flash program alone in a folder of its own: no WNASPI32.DLL beside it.
std::string FolderWithFlashProgram(const std::string& name) {
  const std::string folder = MakeWorkFolder(name);
  EXPECT_TRUE(CopyInto(ProgramPath(kFlashProgram), folder));
  return folder + "\\" + kFlashProgram;
}

// The main window exists (hidden) from before start-up runs.
HWND MainWindowOf(const Process& process) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    HWND window = FindWindowA(kFlashFormClass, nullptr);
    DWORD owner = 0;
    if (window != nullptr) GetWindowThreadProcessId(window, &owner);
    if (owner == process.Id()) return window;
    Sleep(50);
  }
  return nullptr;
}

void ExpectWarning(const std::optional<Dialog>& dialog) {
  ASSERT_TRUE(dialog.has_value());
  EXPECT_EQ(dialog->title, "Warning");
  EXPECT_EQ(dialog->text, kWarning);
  EXPECT_TRUE(dialog->yes);
  EXPECT_TRUE(dialog->no);
  EXPECT_TRUE(dialog->hasIcon);
}

class FlashProgramStart : public testing::Test {
 protected:
  void TearDown() override { ClearWindows98(kFlashProgram); }
};

TEST_F(FlashProgramStart, NoEndsWithExitCodeZeroBeforeTheWindowIsShown) {
  const std::string exe = FolderWithFlashProgram("no");
  Process program = Process::Start(exe, WorkDir());
  const auto warning = WaitForDialog(program);
  ExpectWarning(warning);
  HWND window = MainWindowOf(program);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TextOf(window), "");
  EXPECT_FALSE(IsShown(window));
  Answer(*warning, IDNO);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

TEST_F(FlashProgramStart, YesCaptionsTheWindowAndAsksForTheVendorsDrive) {
  const std::string exe = FolderWithFlashProgram("yes");
  Process program = Process::Start(exe, WorkDir());
  const auto warning = WaitForDialog(program);
  ExpectWarning(warning);
  Answer(*warning, IDYES);
  // With no CD-ROM drive in the prefix, discovery ends with its own error.
  const auto next = WaitForDialog(program);
  ASSERT_TRUE(next.has_value());
  HWND window = MainWindowOf(program);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TextOf(window), "Quarvel-IT Flash V1.039 QRW-20410C");
  EXPECT_EQ(ControlText(window, kIdSelectDriveLabel),
            "Select the Quarvel-IT drive you want to update:");
  EXPECT_FALSE(IsShown(Control(window, kIdFileListBox1)));
  Answer(*next, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

TEST_F(FlashProgramStart, Windows9xWithoutAspiLibraryTellsAndEnds) {
  const std::string exe = FolderWithFlashProgram("noaspi");
  SetWindows98(kFlashProgram, AspiLibrary::None);
  Process program = Process::Start(exe, WorkDir());
  const auto warning = WaitForDialog(program);
  ExpectWarning(warning);
  Answer(*warning, IDYES);
  const auto message = WaitForDialog(program);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->title, kApplicationTitle);
  EXPECT_EQ(message->text, "Unable to load WNASPI32.DLL");
  EXPECT_TRUE(message->ok);
  EXPECT_FALSE(message->yes);
  EXPECT_FALSE(message->hasIcon);
  Answer(*message, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

TEST_F(FlashProgramStart, Windows9xWithWinesOwnAspiFindsNoAdapters) {
  const std::string exe = FolderWithFlashProgram("wineaspi");
  SetWindows98(kFlashProgram, AspiLibrary::WinesOwn);
  Process program = Process::Start(exe, WorkDir());
  const auto warning = WaitForDialog(program);
  ExpectWarning(warning);
  Answer(*warning, IDYES);
  const auto message = WaitForDialog(program);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->title, kApplicationTitle);
  EXPECT_EQ(message->text, "ASPI for Windows not available!");
  Answer(*message, IDOK);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

// The flash program in Windows 9x mode with the virtual drive's WNASPI32.DLL
// beside it, serving the drives of a scenario.
class VirtualAspiStart : public testing::Test {
 protected:
  Process Start(const std::string& name, const std::string& scenario) {
    const std::string exe = FolderWithFlashProgram(name);
    const std::string folder = exe.substr(0, exe.find_last_of('\\'));
    EXPECT_TRUE(CopyInto(VirtualAspiLibraryPath(), folder, "WNASPI32.DLL"));
    const std::string scenarioFile = folder + "\\scenario.txt";
    std::ofstream(scenarioFile) << scenario;
    SetWindows98(kFlashProgram, AspiLibrary::Beside);
    return Process::Start(exe, folder,
                          {{"QRW_VDRIVE_SCENARIO", scenarioFile},
                           {"QRW_VDRIVE_TRACE", folder + "\\trace.txt"}});
  }
  void TearDown() override { ClearWindows98(kFlashProgram); }
};

TEST_F(VirtualAspiStart, MissingEntryPointsAreToldAndEndTheProgram) {
  const std::pair<const char*, const char*> cases[] = {
      {"GetASPI32SupportInfo", "Failed to lookup GetASPI32SupportInfo"},
      {"SendASPI32Command", "Failed to lookup SendASPI32Command"}};
  for (const auto& [entry, text] : cases) {
    Process program = Start(entry, std::string("[aspi]\nmissing = ") + entry +
                                       "\n[drive QRW]\naspi = 1 0\n");
    const auto warning = WaitForDialog(program);
    ExpectWarning(warning);
    Answer(*warning, IDYES);
    const auto message = WaitForDialog(program);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->title, kApplicationTitle);
    EXPECT_EQ(message->text, text);
    Answer(*message, IDOK);
    EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
  }
}

TEST_F(VirtualAspiStart, MatchingDriveLeavesTheFlashWindowReady) {
  Process program = Start("ready", "[drive QRW]\naspi = 1 0\n");
  const auto warning = WaitForDialog(program);
  ExpectWarning(warning);
  Answer(*warning, IDYES);
  HWND window = WaitForWindow(program, kFlashFormClass);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(TextOf(window), "Quarvel-IT Flash V1.039 QRW-20410C");
  EXPECT_EQ(ControlText(window, kIdSelectDriveLabel),
            "Select the Quarvel-IT drive you want to update:");
  HWND combo = Control(window, kIdComboBox1);
  const auto drives = ComboItems(combo);
  ASSERT_EQ(drives.size(), 1u);
  EXPECT_EQ(drives[0].substr(drives[0].size() - 4), "1.00");
  EXPECT_EQ(ComboSelection(combo), 0);
  EXPECT_EQ(ControlText(window, kIdFlashButton), "FLASH");
  EXPECT_TRUE(IsEnabled(Control(window, kIdFlashButton)));
  EXPECT_EQ(ProgressPosition(Control(window, kIdProgressBar)), 0);
  EXPECT_FALSE(IsShown(Control(window, kIdFileListBox1)));
  // Group box, bar and button moved up by the file list's 41: their tops
  // are 72, 95 and 95 at 120 ppi, and the form ends with the group box.
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  auto scaled = [dpi](int design) { return MulDiv(design, dpi, 120); };
  EXPECT_EQ(ChildRect(window, kIdGroupBox2).top, scaled(72));
  EXPECT_EQ(ChildRect(window, kIdProgressBar).top, scaled(95));
  EXPECT_EQ(ChildRect(window, kIdFlashButton).top, scaled(95));
  EXPECT_EQ(ClientRectOf(window).bottom, scaled(72 + 56));
  Close(window);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

// While a FLASH press is being handled (here: its confirmation is open) the
// window refuses to close; afterwards its close button works again.
TEST_F(VirtualAspiStart, WindowDoesNotCloseWhileAPressIsRunning) {
  Process program = Start("noclose", "[drive QRW]\naspi = 1 0\n");
  const auto warning = WaitForDialog(program);
  ExpectWarning(warning);
  Answer(*warning, IDYES);
  HWND window = WaitForWindow(program, kFlashFormClass);
  ASSERT_NE(window, nullptr);
  Click(window, kIdFlashButton);
  const auto confirm = WaitForDialog(program);
  ASSERT_TRUE(confirm.has_value());
  EXPECT_EQ(confirm->title, "Confirm");
  Close(window);
  Sleep(500);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_TRUE(program.Running());
  Answer(*confirm, IDNO);
  Close(window);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

TEST(TemplateStart, StartsAsTheBuilderWithoutAnyWarning) {
  const std::string folder = MakeWorkFolder("builder");
  ASSERT_TRUE(CopyInto(ProgramPath(kTemplate), folder));
  ASSERT_TRUE(CopyInto(FirmwarePath("1.10.BIN"), folder));
  {
    std::ofstream ini(folder + "\\QRWFLASH.INI");
    ini << "[MODEL00]\nModel=QRW-20410C\nInquiry=QUARVEL QRW-20410C\nFW-Range=1.00-1.09\n"
           "BINMask=*.BIN\nVendor=Quarvel-IT\nNote=None\n";
  }
  Process program = Process::Start(folder + "\\" + kTemplate, folder);
  HWND window = WaitForWindow(program, kFlashFormClass);
  ASSERT_NE(window, nullptr);
  for (HWND other : WindowsOf(program.Id())) EXPECT_NE(ClassOf(other), kDialogClass);
  EXPECT_EQ(ControlText(window, kIdSelectDriveLabel), "Select Model: ");
  EXPECT_EQ(ControlText(window, kIdFlashButton), "Build");
  EXPECT_FALSE(IsEnabled(Control(window, kIdFlashButton)));
  EXPECT_TRUE(IsShown(Control(window, kIdFileListBox1)));
  const auto files = ListItems(Control(window, kIdFileListBox1));
  EXPECT_NE(std::find(files.begin(), files.end(), "1.10.BIN"), files.end());
  // The form fits its visible controls: the group box's bottom edge (113 +
  // 56 at 120 ppi) is the client area's.
  const RECT client = ClientRectOf(window);
  const RECT group = ChildRect(window, kIdGroupBox2);
  EXPECT_EQ(client.bottom, group.bottom);
  Close(window);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

}  // namespace
