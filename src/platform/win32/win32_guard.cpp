#include "platform/win32/win32_guard.h"

namespace platform::win32 {

namespace {

// KERNEL32.DLL and USER32.DLL are loaded with the program (it imports from
// both), so their handles need no LoadLibrary.
template <typename Function>
Function LookUp(const char* module, const char* name) {
  HMODULE handle = GetModuleHandleA(module);
  if (handle == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

bool VistaOrLater() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
}

// The reason is plain ASCII text of our own.
std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

Win32BurnGuard::Win32BurnGuard()
    : setExecutionState_(LookUp<ExecutionStateFn>("KERNEL32.DLL", "SetThreadExecutionState")) {}

std::optional<std::string> Win32BurnGuard::Hold() {
  if (setExecutionState_ == nullptr) return "this system has no stay-awake request";
  if (setExecutionState_(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0)
    return "the stay-awake request was refused";
  held_ = true;
  return std::nullopt;
}

void Win32BurnGuard::Release() {
  if (!held_) return;
  held_ = false;
  setExecutionState_(ES_CONTINUOUS);
}

// Windows 98 and XP have no block reasons; a system that reports an older
// version than it is (a compatibility mode) is taken at its word.
Win32ShutdownNotice::Win32ShutdownNotice() {
  if (!VistaOrLater()) return;
  create_ = LookUp<CreateFn>("USER32.DLL", "ShutdownBlockReasonCreate");
  destroy_ = LookUp<DestroyFn>("USER32.DLL", "ShutdownBlockReasonDestroy");
}

bool Win32ShutdownNotice::Show(const std::string& reason) {
  if (create_ == nullptr || destroy_ == nullptr || window_ == nullptr) return false;
  asked_ = true;
  return create_(window_, Wide(reason).c_str()) != FALSE;
}

// Destroyed whenever it was asked for: destroying a reason that was never
// made does nothing, and one that was made but said otherwise goes too.
void Win32ShutdownNotice::Withdraw() {
  if (!asked_) return;
  asked_ = false;
  destroy_(window_);
}

PowerState Win32PowerSource::Read() {
  using PowerStatusFn = BOOL(WINAPI*)(LPSYSTEM_POWER_STATUS);
  const auto getStatus = LookUp<PowerStatusFn>("KERNEL32.DLL", "GetSystemPowerStatus");
  SYSTEM_POWER_STATUS status{};
  if (getStatus == nullptr || !getStatus(&status)) return PowerState{};
  return PowerStateOfWindows(status.ACLineStatus, status.BatteryLifePercent);
}

void AnswerWindowMessages() {
  // Looking at the queue delivers what was sent to the thread's windows.
  MSG message{};
  while (PeekMessageA(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
  }
  while (PeekMessageA(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
  while (PeekMessageA(&message, nullptr, WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK, PM_REMOVE)) {
  }
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Left for the window's own loop to end on.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    DispatchMessageA(&message);
  }
}

namespace {

DWORD WINAPI RunCall(LPVOID parameter) {
  (*static_cast<const std::function<void()>*>(parameter))();
  return 0;
}

}  // namespace

void WhileAnswering(const std::function<void()>& call) {
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, RunCall,
                               const_cast<std::function<void()>*>(&call), 0, &id);
  if (thread == nullptr) {
    call();
    AnswerWindowMessages();
    return;
  }
  constexpr DWORD kSlice = 50;
  while (WaitForSingleObject(thread, kSlice) == WAIT_TIMEOUT) AnswerWindowMessages();
  CloseHandle(thread);
  AnswerWindowMessages();
}

}  // namespace platform::win32
