// The Windows-side end-to-end harness: runs under Wine next to the program,
// starts the real .EXE, finds its windows and dialogs, reads what they show,
// answers and clicks as a person would, and saves a screenshot of every
// window it meets.
//
// The run script (tests/e2e/run-e2e.sh) passes these Unix paths in the
// environment; the harness turns them into Windows paths (drive Z:):
//   QRW_PROGRAM_DIR   the built programs (QRWFLASH.EXE, 1.10.EXE, ...)
//   QRW_FIRMWARE_DIR  the generated firmware (1.10.BIN, *.region)
//   QRW_WORK_DIR      a fresh folder for this test executable
//   QRW_SHOT_DIR      where screenshots go (PNG, via ImageMagick's import)
//   QRW_WNASPI32_DLL  the virtual drive's WNASPI32.DLL (set by CTest)
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

inline constexpr Milliseconds kWaitLimit = 30s;

// ---- paths -------------------------------------------------------------------

std::string ProgramPath(const std::string& name);   // in QRW_PROGRAM_DIR
std::string FirmwarePath(const std::string& name);  // in QRW_FIRMWARE_DIR
std::string WorkDir();                               // QRW_WORK_DIR
std::string VirtualAspiLibraryPath();                // QRW_WNASPI32_DLL
// A fresh sub-folder of the work folder (emptied if it exists).
std::string MakeWorkFolder(const std::string& name);
bool CopyInto(const std::string& source, const std::string& folder,
              const std::string& newName = std::string());
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);

// ---- Wine settings for one program -------------------------------------------

// Which WNASPI32.DLL a Windows 9x program loads.
enum class AspiLibrary {
  Beside,    // the one beside the program (the virtual drive's), else Wine's
  WinesOwn,  // Wine's built-in one, which reports no adapters
  None,      // none: loading it fails
};

// HKCU\Software\Wine\AppDefaults\<exe name>: "Version" = "win98" makes
// GetVersionExA report platform id 1 to that program only; its DllOverrides
// key chooses the ASPI library. The key outweighs WINEDLLOVERRIDES.
void SetWindows98(const std::string& exeName, AspiLibrary library);
// Removes that program's settings again.
void ClearWindows98(const std::string& exeName);

// ---- the program ----------------------------------------------------------------

class Process {
 public:
  // CreateProcess of exePath in folder; extra environment variables are
  // added to the driver's own (which the program inherits).
  static Process Start(const std::string& exePath, const std::string& folder,
                       const std::vector<std::pair<std::string, std::string>>& environment = {});
  Process(Process&& other) noexcept;
  Process& operator=(Process&&) = delete;
  Process(const Process&) = delete;
  ~Process();  // ends the program if it still runs

  DWORD Id() const { return info_.dwProcessId; }
  bool Running() const;
  // The exit code, or nothing when the program still runs after limit.
  std::optional<DWORD> WaitForExit(Milliseconds limit = kWaitLimit);

 private:
  Process() = default;
  PROCESS_INFORMATION info_{};
};

// ---- windows ------------------------------------------------------------------------

std::string ClassOf(HWND window);
std::string TextOf(HWND window);  // GetWindowTextA
// The visible top-level windows of a process.
std::vector<HWND> WindowsOf(DWORD processId);
// Waits for a visible top-level window of the class; takes its screenshot.
// Null when none appeared in time (or the program ended first).
HWND WaitForWindow(const Process& process, const std::string& windowClass,
                   Milliseconds limit = kWaitLimit);
inline constexpr const char* kDialogClass = "#32770";

// A standard message box as the user sees it.
struct Dialog {
  HWND hwnd = nullptr;
  std::string title;
  std::string text;  // GetDlgItemTextA(dialog, 0xFFFF)
  bool yes = false, no = false, ok = false;  // which buttons it has
  // Whether the box shows an icon. Which one cannot be told from outside
  // under Wine: icon handles are not shared between processes there.
  bool hasIcon = false;
};
// Waits for the next message box of the process (and screenshots it).
std::optional<Dialog> WaitForDialog(const Process& process, Milliseconds limit = kWaitLimit);
// Presses one of the box's buttons (IDYES, IDNO, IDOK) and waits until the
// box has gone.
void Answer(const Dialog& dialog, int buttonId);

// ---- controls ----------------------------------------------------------------------

HWND Control(HWND window, int id);
std::string ControlText(HWND window, int id);
bool IsShown(HWND control);
bool IsEnabled(HWND control);
// Combo box items read as wide text: ANSI reads across processes come back
// truncated under Wine.
std::vector<std::string> ComboItems(HWND combo);
int ComboSelection(HWND combo);
std::vector<std::string> ListItems(HWND list);
int ProgressPosition(HWND bar);
// Client-area size and control rectangles in the window's client pixels.
RECT ClientRectOf(HWND window);
RECT ChildRect(HWND window, int id);
// Presses a button (BM_CLICK, posted: its handler may open modal boxes).
void Click(HWND window, int buttonId);
// Chooses an item of a list box or combo box and tells the parent, as a
// mouse click would (LBN_SELCHANGE / CBN_SELCHANGE).
void ChooseListItem(HWND window, int listId, int index);
void ChooseComboItem(HWND window, int comboId, int index);
// Asks the window to close (WM_CLOSE), as its close button does.
void Close(HWND window);

// ---- screenshots ------------------------------------------------------------------

// Saves the window's screen area as <QRW_SHOT_DIR>/<test>-<n>-<what>.png.
// A missing ImageMagick never fails a test; the shot is simply not made.
void Screenshot(HWND window, const std::string& what);

}  // namespace e2e
