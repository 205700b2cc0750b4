// The Win32 platform layer on its own, under Wine: the controls keep the
// values the core gives them, the form fits its visible controls, the file
// list reads its folder through the mask, the dialogs carry the titles and
// buttons of their kind, and the address fields are written little-endian.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "program/control_ids.h"
#include "program/main_window.h"
#include "platform/win32/win32_services.h"
#include "support/temp_folder.h"

namespace {

using namespace platform::win32;
using namespace program;

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

class WindowTest : public testing::Test {
 protected:
  WindowTest() : window(GetModuleHandleA(nullptr), cursor), controls(window.Controls()) {}
  // The window's destruction posts the quit request of the program's end;
  // it must not reach the next test's message boxes.
  ~WindowTest() override {
    window.Destroy();
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  int Scaled(int design) const { return MulDiv(design, ScreenDpi(), 120); }
  RECT ChildRect(int id) const {
    RECT rect{};
    GetWindowRect(GetDlgItem(window.Hwnd(), id), &rect);
    MapWindowPoints(nullptr, window.Hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }
  RECT Client() const {
    RECT rect{};
    GetClientRect(window.Hwnd(), &rect);
    return rect;
  }

  Win32Cursor cursor;
  MainWindow window;
  app::Controls controls;
};

TEST_F(WindowTest, CreatedInvisibleWithoutCaptionAndWithTheDesignLayout) {
  EXPECT_FALSE(IsWindowVisible(window.Hwnd()));
  EXPECT_EQ(controls.FlashForm.Text(), "");
  EXPECT_EQ(controls.FlashButton.Text(), "FLASH");
  const RECT combo = ChildRect(kIdComboBox1);
  EXPECT_EQ(combo.left, 0);
  EXPECT_EQ(combo.top, Scaled(24));
  EXPECT_EQ(combo.right, Scaled(425));
  const RECT button = ChildRect(kIdFlashButton);
  EXPECT_EQ(button.left, Scaled(344));
  EXPECT_EQ(button.top, Scaled(136));
  // Every control visible: the form reaches down to the group box's bottom.
  EXPECT_EQ(Client().bottom, Scaled(113 + 56));
  EXPECT_EQ(Client().right, Scaled(425));
}

TEST_F(WindowTest, FlashModeLayoutMovesUpAndTheFormShrinksToItsControls) {
  controls.GroupBox2.SetTop(72);
  controls.ProgressBar.SetTop(95);
  controls.FlashButton.SetTop(95);
  controls.FileListBox1.SetVisible(false);
  EXPECT_EQ(controls.GroupBox2.Top(), 72);
  EXPECT_EQ(ChildRect(kIdGroupBox2).top, Scaled(72));
  EXPECT_EQ(ChildRect(kIdProgressBar).top, Scaled(95));
  EXPECT_EQ(ChildRect(kIdFlashButton).top, Scaled(95));
  EXPECT_FALSE(controls.FileListBox1.Visible());
  EXPECT_EQ(Client().bottom, Scaled(72 + 56));
}

TEST_F(WindowTest, LabelSizesItselfToItsTextAndTheFormWidensForIt) {
  const std::string text(60, 'W');
  controls.SelectDriveLabel.SetText(text);
  EXPECT_EQ(controls.SelectDriveLabel.Text(), text);
  const RECT label = ChildRect(kIdSelectDriveLabel);
  EXPECT_GT(label.right, Scaled(425));
  EXPECT_GE(Client().right, label.right);
}

TEST_F(WindowTest, ProgressBarKeepsExactValuesBeyondItsRange) {
  auto& bar = controls.ProgressBar;
  bar.SetMin(0);
  bar.SetMax(0x50000);
  bar.SetStep(16384);
  bar.SetPosition(0x50000 - 16384);
  bar.StepIt();
  bar.StepIt();
  EXPECT_EQ(bar.Position(), 0x50000 + 16384);
  EXPECT_EQ(bar.Step(), 16384);
  EXPECT_EQ(bar.Max(), 0x50000);
  bar.SetPosition(-5);
  EXPECT_EQ(bar.Position(), -5);
  // The control itself shows the position within its range.
  bar.SetPosition(0x28000);
  EXPECT_EQ(SendMessageA(GetDlgItem(window.Hwnd(), kIdProgressBar), PBM_GETPOS, 0, 0), 0x28000);
}

TEST_F(WindowTest, ComboBoxItemsAndSelection) {
  auto& combo = controls.ComboBox1;
  EXPECT_EQ(combo.AddItem("0-0-0 E: QUARVEL QRW-20410C      1.00"), 0);
  EXPECT_EQ(combo.AddItem("HA#1 - ID#0 :  second"), 1);
  combo.InsertItem(1, "between");
  EXPECT_EQ(combo.Count(), 3);
  EXPECT_EQ(combo.ItemText(0), "0-0-0 E: QUARVEL QRW-20410C      1.00");
  EXPECT_EQ(combo.ItemText(1), "between");
  EXPECT_EQ(combo.ItemIndex(), -1);
  combo.SetItemIndex(2);
  EXPECT_EQ(combo.ItemIndex(), 2);
  combo.DeleteItem(1);
  EXPECT_EQ(combo.ItemText(1), "HA#1 - ID#0 :  second");
  combo.SetItemIndex(-1);
  EXPECT_EQ(combo.ItemIndex(), -1);
}

// A drive's line ends in its revision: the closed box must show it whole.
TEST_F(WindowTest, ComboBoxWidensForAnItemThatWouldNotFitAndTheFormWithIt) {
  auto& combo = controls.ComboBox1;
  combo.AddItem("short");
  EXPECT_EQ(ChildRect(kIdComboBox1).right, Scaled(425));
  const std::string line = "HA#0 - ID#0 :  QUARVEL QRW-20410C          1.00";
  combo.AddItem(line);
  HWND box = GetDlgItem(window.Hwnd(), kIdComboBox1);
  HDC dc = GetDC(box);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(box, WM_GETFONT, 0, 0)));
  SIZE text{};
  GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &text);
  SelectObject(dc, old);
  ReleaseDC(box, dc);
  const RECT rect = ChildRect(kIdComboBox1);
  EXPECT_GE(rect.right - rect.left, text.cx + GetSystemMetrics(SM_CXVSCROLL));
  EXPECT_GE(Client().right, rect.right);
}

TEST_F(WindowTest, ButtonEnabling) {
  controls.FlashButton.SetText("Build");
  controls.FlashButton.SetEnabled(false);
  EXPECT_FALSE(controls.FlashButton.Enabled());
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window.Hwnd(), kIdFlashButton)));
  controls.FlashButton.SetEnabled(true);
  EXPECT_TRUE(controls.FlashButton.Enabled());
  EXPECT_EQ(controls.FlashButton.Text(), "Build");
}

class FileListTest : public WindowTest {
 protected:
  void SetUp() override {
    folder = testsupport::UniqueTempFolder("qrw-filelist").string();
    for (const char* name : {"1.10.BIN", "1.20.BIN", "NOTES.TXT"}) Touch(name);
    CreateDirectoryA((folder + "\\DIR.BIN").c_str(), nullptr);
  }
  void TearDown() override {
    for (const char* name : {"1.10.BIN", "1.20.BIN", "NOTES.TXT"})
      DeleteFileA((folder + "\\" + name).c_str());
    RemoveDirectoryA((folder + "\\DIR.BIN").c_str());
    RemoveDirectoryA(folder.c_str());
  }
  void Touch(const char* name) {
    HANDLE file = CreateFileA((folder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
  }
  std::vector<std::string> Items() const {
    HWND list = GetDlgItem(window.Hwnd(), kIdFileListBox1);
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      char text[MAX_PATH] = {};
      SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      items.push_back(text);
    }
    return items;
  }
  std::string folder;
};

TEST_F(FileListTest, ListsTheFilesOfTheFolderThroughTheMaskNotFolders) {
  auto& files = controls.FileListBox1;
  files.SetFolder(folder);
  EXPECT_EQ(files.Folder(), folder);
  EXPECT_EQ(Items(), (std::vector<std::string>{"1.10.BIN", "1.20.BIN", "NOTES.TXT"}));
  files.SetMask("*.BIN");
  EXPECT_EQ(files.Mask(), "*.BIN");
  EXPECT_EQ(Items(), (std::vector<std::string>{"1.10.BIN", "1.20.BIN"}));
  files.SetMask("*.ROM");
  EXPECT_TRUE(Items().empty());
}

TEST_F(FileListTest, SelectedNameIsEmptyUntilAFileIsChosen) {
  auto& files = controls.FileListBox1;
  files.SetFolder(folder);
  files.SetMask("*.BIN");
  EXPECT_EQ(files.SelectedName(), "");
  SendMessageA(GetDlgItem(window.Hwnd(), kIdFileListBox1), LB_SETCURSEL, 1, 0);
  EXPECT_EQ(files.SelectedName(), "1.20.BIN");
}

// Answers the next message box of this process from another thread, noting
// its title and text.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(int button)
      : thread_([this, button] {
          for (int i = 0; i < 200 && box_ == nullptr; ++i) {
            EnumThreadWindows(mainThread_, &BoxAnswerer::Find, reinterpret_cast<LPARAM>(this));
            Sleep(25);
          }
          if (box_ == nullptr) return;
          char text[512] = {};
          GetWindowTextA(box_, text, sizeof text);
          title = text;
          GetDlgItemTextA(box_, 0xFFFF, text, sizeof text);
          body = text;
          hasNo = GetDlgItem(box_, IDNO) != nullptr;
          PostMessageA(box_, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        }) {}
  ~BoxAnswerer() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  std::string title;
  std::string body;
  bool hasNo = false;

 private:
  static BOOL CALLBACK Find(HWND window, LPARAM self) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == "#32770" && IsWindowVisible(window)) {
      reinterpret_cast<BoxAnswerer*>(self)->box_ = window;
      return FALSE;
    }
    return TRUE;
  }
  DWORD mainThread_ = GetCurrentThreadId();
  std::atomic<HWND> box_{nullptr};
  std::thread thread_;
};

struct DialogCase {
  platform::DialogKind kind;
  platform::DialogButtons buttons;
  int press;
  platform::Answer answer;
  const char* title;
};

TEST(Win32Dialogs, EachKindHasItsTitleButtonsAndAnswer) {
  const DialogCase cases[] = {
      {platform::DialogKind::Warning, platform::DialogButtons::YesNo, IDYES,
       platform::Answer::Yes, "Warning"},
      {platform::DialogKind::Confirm, platform::DialogButtons::YesNo, IDNO, platform::Answer::No,
       "Confirm"},
      {platform::DialogKind::Error, platform::DialogButtons::Ok, IDOK, platform::Answer::Ok,
       "Error"},
  };
  for (const auto& c : cases) {
    Win32Dialogs dialogs;
    platform::Answer answer;
    {
      BoxAnswerer answerer(c.press);
      answer = dialogs.Ask(c.kind, "\nUpdate FW:1.00 to FW:1.10 ?\n", c.buttons);
      answerer.Join();
      EXPECT_EQ(answerer.title, c.title);
      EXPECT_EQ(answerer.body, "\nUpdate FW:1.00 to FW:1.10 ?\n");
      EXPECT_EQ(answerer.hasNo, c.buttons == platform::DialogButtons::YesNo);
    }
    EXPECT_EQ(answer, c.answer) << c.title;
  }
}

TEST(Win32Dialogs, PlainMessageCarriesTheApplicationTitle) {
  Win32Dialogs dialogs;
  BoxAnswerer answerer(IDOK);
  dialogs.Message("Flash Completed.");
  answerer.Join();
  EXPECT_EQ(answerer.title, "Quarvel Flash utility for QRW1B / QRW2B");
  EXPECT_EQ(answerer.body, "Flash Completed.");
  EXPECT_FALSE(answerer.hasNo);
}

TEST(Win32Dialogs, SystemBoxCarriesTheGivenTitle) {
  Win32Dialogs dialogs;
  BoxAnswerer answerer(IDOK);
  dialogs.SystemBox("Exit Error", "OpenProcessToken() failed");
  answerer.Join();
  EXPECT_EQ(answerer.title, "OpenProcessToken() failed");
  EXPECT_EQ(answerer.body, "Exit Error");
}

TEST(Win32Addresses, DeviceAndAspiWriteThe32BitAddressLittleEndian) {
  std::uint8_t buffer[4] = {};
  const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
  const std::uint8_t expected[4] = {static_cast<std::uint8_t>(address),
                                    static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address >> 16),
                                    static_cast<std::uint8_t>(address >> 24)};
  std::uint8_t field[6] = {0xEE, 0, 0, 0, 0, 0xEE};
  Win32DeviceIo device;
  device.PutAddress(field + 1, buffer);
  EXPECT_EQ(std::memcmp(field + 1, expected, 4), 0);
  EXPECT_EQ(field[0], 0xEE);
  EXPECT_EQ(field[5], 0xEE);
  Win32AspiLibrary aspi;
  std::memset(field + 1, 0, 4);
  aspi.PutAddress(field + 1, buffer);
  EXPECT_EQ(std::memcmp(field + 1, expected, 4), 0);
  aspi.PutEvent(field + 1, 0x12345678);
  EXPECT_EQ(field[1], 0x78);
  EXPECT_EQ(field[4], 0x12);
  device.PutAddress(field + 1, nullptr);
  EXPECT_EQ(field[1] | field[2] | field[3] | field[4], 0);
}

TEST(Win32Aspi, MissingLibraryAndEntryPointsAreRecognisable) {
  Win32AspiLibrary aspi;
  EXPECT_FALSE(aspi.Load("QRWNOSUCH.DLL"));
  EXPECT_FALSE(aspi.Loaded());
  EXPECT_FALSE(aspi.LookUp("GetASPI32SupportInfo"));
  ASSERT_TRUE(aspi.Load("KERNEL32.DLL"));
  EXPECT_FALSE(aspi.LookUp("GetASPI32SupportInfo"));
  EXPECT_FALSE(aspi.LookUp("SendASPI32Command"));
  // Never a ready status or a completed request without the entry points.
  EXPECT_EQ((aspi.GetSupportInfo() >> 8) & 0xFF, 0u);
  std::uint8_t srb[64] = {};
  EXPECT_NE(aspi.SendCommand(srb), 1u);
  aspi.Unload();
  EXPECT_FALSE(aspi.Loaded());
}

TEST(Win32Aspi, EventsSignalTimeOutAndReset) {
  Win32AspiLibrary aspi;
  const platform::EventHandle event = aspi.CreateEvent();
  ASSERT_NE(event, 0u);
  EXPECT_EQ(aspi.Wait(event, std::chrono::milliseconds(10)), platform::WaitResult::TimedOut);
  SetEvent(reinterpret_cast<HANDLE>(event));
  EXPECT_EQ(aspi.Wait(event, std::chrono::milliseconds(10)), platform::WaitResult::Signalled);
  SetEvent(reinterpret_cast<HANDLE>(event));
  aspi.ResetEvent(event);
  EXPECT_EQ(aspi.Wait(event, std::chrono::milliseconds(10)), platform::WaitResult::TimedOut);
  aspi.CloseEvent(event);
}

TEST(Win32Os, FoldersPathsAndDriveStrings) {
  Win32Os os;
  char windows[MAX_PATH] = {};
  GetWindowsDirectoryA(windows, MAX_PATH);
  ASSERT_TRUE(SetCurrentDirectoryA(windows));
  EXPECT_EQ(os.CurrentFolder(), windows);
  EXPECT_TRUE(os.FileExists(os.ExePath()));
  EXPECT_FALSE(os.FileExists(windows));  // a folder is not a file
  const std::string roots = os.LogicalDriveStrings(126);
  ASSERT_GE(roots.size(), 5u);
  EXPECT_EQ(roots.substr(1, 3), std::string(":\\\0", 3));
  EXPECT_EQ(roots.back(), '\0');
  EXPECT_EQ(roots[roots.size() - 2], '\0');  // the empty root ends the list
  EXPECT_EQ(os.DriveType("C:\\"), static_cast<std::uint32_t>(DRIVE_FIXED));
}

TEST(Win32Restart, ShutdownPrivilegeCanBeEnabled) {
  Win32Restart restart;
  ASSERT_TRUE(restart.OpenProcessToken());
  ASSERT_TRUE(restart.LookupShutdownPrivilege());
  EXPECT_EQ(restart.EnableShutdownPrivilege(), 0u);
}

}  // namespace
