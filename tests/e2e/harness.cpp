#include "harness.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <thread>

namespace e2e {

namespace {

constexpr Milliseconds kPoll = 50ms;
// import of one window takes well under a second; a stuck one must not
// hold the test for long.
constexpr Milliseconds kShotLimit = 10s;
constexpr int kMessageBoxTextId = 0xFFFF;

std::string Environment(const char* name) {
  char value[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

// A Unix path as Wine's drive Z: shows it.
std::string WindowsPath(const std::string& unixPath) {
  std::string path = "Z:" + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string FolderFromEnvironment(const char* name) {
  const std::string unixPath = Environment(name);
  return unixPath.empty() ? std::string() : WindowsPath(unixPath);
}

template <typename Condition>
bool WaitUntil(Condition condition, Milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

std::string CurrentTestName() {
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) return "outside-test";
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-'; }, '_');
  return name;
}

void DeleteTree(const std::string& folder) {
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(Join(folder, "*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = Join(folder, name);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        DeleteTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(folder.c_str());
}

BOOL CALLBACK FindIconControl(HWND child, LPARAM parameter) {
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
      lstrcmpiA(ClassOf(child).c_str(), "Static") == 0) {
    *reinterpret_cast<HWND*>(parameter) = child;
    return FALSE;
  }
  return TRUE;
}

bool HasIcon(HWND box) {
  HWND control = nullptr;
  EnumChildWindows(box, &FindIconControl, reinterpret_cast<LPARAM>(&control));
  return control != nullptr && SendMessageA(control, STM_GETICON, 0, 0) != 0;
}

struct Search {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<Search*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window)) search->found.push_back(window);
  return TRUE;
}

}  // namespace

// ---- paths -------------------------------------------------------------------

std::string ProgramPath(const std::string& name) {
  return Join(FolderFromEnvironment("QRW_PROGRAM_DIR"), name);
}

std::string FirmwarePath(const std::string& name) {
  return Join(FolderFromEnvironment("QRW_FIRMWARE_DIR"), name);
}

std::string WorkDir() { return FolderFromEnvironment("QRW_WORK_DIR"); }

std::string VirtualAspiLibraryPath() { return FolderFromEnvironment("QRW_WNASPI32_DLL"); }

std::string MakeWorkFolder(const std::string& name) {
  const std::string folder = Join(WorkDir(), name);
  DeleteTree(folder);
  CreateDirectoryA(WorkDir().c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

bool CopyInto(const std::string& source, const std::string& folder, const std::string& newName) {
  std::string name = newName;
  if (name.empty()) name = source.substr(source.find_last_of('\\') + 1);
  return CopyFileA(source.c_str(), Join(folder, name).c_str(), FALSE) != FALSE;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// ---- Wine settings -------------------------------------------------------------

std::string AppDefaultsKey(const std::string& exeName) {
  return "Software\\Wine\\AppDefaults\\" + exeName;
}

void ClearWindows98(const std::string& exeName) {
  RegDeleteTreeA(HKEY_CURRENT_USER, AppDefaultsKey(exeName).c_str());
}

void SetWindows98(const std::string& exeName, AspiLibrary library) {
  const std::string key = AppDefaultsKey(exeName);
  HKEY app = nullptr;
  RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app,
                  nullptr);
  static const char kWin98[] = "win98";
  RegSetValueExA(app, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(kWin98), sizeof kWin98);
  HKEY overrides = nullptr;
  RegCreateKeyExA(app, "DllOverrides", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &overrides,
                  nullptr);
  const std::string order = library == AspiLibrary::Beside     ? "native,builtin"
                            : library == AspiLibrary::WinesOwn ? "builtin"
                                                               : "";
  RegSetValueExA(overrides, "wnaspi32", 0, REG_SZ, reinterpret_cast<const BYTE*>(order.c_str()),
                 static_cast<DWORD>(order.size() + 1));
  RegCloseKey(overrides);
  RegCloseKey(app);
}

// ---- the program ----------------------------------------------------------------

Process Process::Start(const std::string& exePath, const std::string& folder,
                       const std::vector<std::pair<std::string, std::string>>& environment) {
  std::vector<std::pair<std::string, std::string>> saved;
  for (const auto& [name, value] : environment) {
    saved.emplace_back(name, Environment(name.c_str()));
    SetEnvironmentVariableA(name.c_str(), value.c_str());
  }
  Process process;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string commandLine = "\"" + exePath + "\"";
  const BOOL started =
      CreateProcessA(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     folder.c_str(), &startup, &process.info_);
  for (const auto& [name, value] : saved)
    SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
  if (!started) ADD_FAILURE() << "CreateProcess " << exePath << " failed: " << GetLastError();
  return process;
}

Process::Process(Process&& other) noexcept : info_(other.info_) { other.info_ = {}; }

Process::~Process() {
  if (info_.hProcess == nullptr) return;
  if (Running()) {
    TerminateProcess(info_.hProcess, 1);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool Process::Running() const {
  return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::WaitForExit(Milliseconds limit) {
  if (info_.hProcess == nullptr) return std::nullopt;
  if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0)
    return std::nullopt;
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

// ---- windows ------------------------------------------------------------------------

std::string ClassOf(HWND window) {
  char name[256] = {};
  const int length = GetClassNameA(window, name, sizeof name);
  return std::string(name, static_cast<std::size_t>(std::max(length, 0)));
}

std::string TextOf(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(text.size()),
                   reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied));
  return Narrow(text);
}

std::vector<HWND> WindowsOf(DWORD processId) {
  Search search{processId, {}};
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForWindow(const Process& process, const std::string& windowClass, Milliseconds limit) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND window : WindowsOf(process.Id()))
          if (ClassOf(window) == windowClass) found = window;
        return found != nullptr || !process.Running();
      },
      limit);
  if (found != nullptr) Screenshot(found, windowClass == kDialogClass ? "dialog" : "window");
  return found;
}

std::optional<Dialog> WaitForDialog(const Process& process, Milliseconds limit) {
  HWND box = WaitForWindow(process, kDialogClass, limit);
  if (box == nullptr) return std::nullopt;
  Dialog dialog;
  dialog.hwnd = box;
  dialog.title = TextOf(box);
  dialog.text = ControlText(box, kMessageBoxTextId);
  dialog.yes = GetDlgItem(box, IDYES) != nullptr;
  dialog.no = GetDlgItem(box, IDNO) != nullptr;
  dialog.ok = GetDlgItem(box, IDOK) != nullptr;
  dialog.hasIcon = HasIcon(box);
  return dialog;
}

void Answer(const Dialog& dialog, int buttonId) {
  PostMessageA(dialog.hwnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog.hwnd, buttonId)));
  WaitUntil([&] { return !IsWindow(dialog.hwnd) || !IsWindowVisible(dialog.hwnd); }, kWaitLimit);
}

// ---- controls ----------------------------------------------------------------------

HWND Control(HWND window, int id) { return GetDlgItem(window, id); }

std::string ControlText(HWND window, int id) { return TextOf(Control(window, id)); }

bool IsShown(HWND control) { return IsWindowVisible(control) != FALSE; }

bool IsEnabled(HWND control) { return IsWindowEnabled(control) != FALSE; }

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
    items.push_back(Narrow(text));
  }
  return items;
}

int ComboSelection(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

std::vector<std::string> ListItems(HWND list) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
    items.push_back(Narrow(text));
  }
  return items;
}

int ProgressPosition(HWND bar) { return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)); }

RECT ClientRectOf(HWND window) {
  RECT rect{};
  GetClientRect(window, &rect);
  return rect;
}

RECT ChildRect(HWND window, int id) {
  RECT rect{};
  GetWindowRect(Control(window, id), &rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void Click(HWND window, int buttonId) { PostMessageA(Control(window, buttonId), BM_CLICK, 0, 0); }

void ChooseListItem(HWND window, int listId, int index) {
  HWND list = Control(window, listId);
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(listId, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void ChooseComboItem(HWND window, int comboId, int index) {
  HWND combo = Control(window, comboId);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void Close(HWND window) { PostMessageA(window, WM_CLOSE, 0, 0); }

// ---- screenshots ------------------------------------------------------------------

// ImageMagick's import is a Linux program; Wine starts Unix executables
// given to CreateProcess directly, but the handle it returns is signalled at
// once while the Unix process runs on. Waiting on it let the test close the
// window before import had grabbed the screen, which left a black picture.
// So the shell writes the picture under a temporary name, renames it when
// import is done (or deletes it when import fails), and the harness waits
// until that temporary file has gone.
namespace {

void RunShotCommand(const std::string& geometry, const std::string& file) {
  const std::string partial = file + ".part";
  const std::string partialPath = WindowsPath(partial);
  const HANDLE marker = CreateFileA(partialPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return;
  CloseHandle(marker);
  std::string commandLine = "/bin/sh -c \"/usr/bin/import -silent -window root -crop " + geometry +
                            " +repage 'png:" + partial + "' && mv -f '" + partial + "' '" + file +
                            "' || rm -f '" + partial + "'\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA("Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &info)) {
    DeleteFileA(partialPath.c_str());
    return;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  WaitUntil([&] { return GetFileAttributesA(partialPath.c_str()) == INVALID_FILE_ATTRIBUTES; },
            kShotLimit);
}

}  // namespace

void Screenshot(HWND window, const std::string& what) {
  static int counter = 0;
  const std::string shotDir = Environment("QRW_SHOT_DIR");
  if (shotDir.empty()) return;
  // Have the window painted before the picture is taken: the program's
  // thread answers WM_NULL once it is pumping messages, and RDW_UPDATENOW
  // paints the window and its children before returning.
  SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::this_thread::sleep_for(200ms);
  RECT rect{};
  GetWindowRect(window, &rect);
  char geometry[64];
  std::snprintf(geometry, sizeof geometry, "%ldx%ld+%ld+%ld", rect.right - rect.left,
                rect.bottom - rect.top, rect.left, rect.top);
  char number[16];
  std::snprintf(number, sizeof number, "%02d", ++counter);
  RunShotCommand(geometry, shotDir + "/" + CurrentTestName() + "-" + number + "-" + what + ".png");
}

}  // namespace e2e
