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

// The reason is plain ASCII text of our own.
std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

Win32BurnGuard::Win32BurnGuard()
    : setExecutionState_(LookUp<ExecutionStateFn>("KERNEL32.DLL", "SetThreadExecutionState")),
      blockReasonCreate_(LookUp<BlockReasonCreateFn>("USER32.DLL", "ShutdownBlockReasonCreate")),
      blockReasonDestroy_(
          LookUp<BlockReasonDestroyFn>("USER32.DLL", "ShutdownBlockReasonDestroy")) {}

bool Win32BurnGuard::StayAwake() {
  if (setExecutionState_ == nullptr) return false;
  return setExecutionState_(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) != 0;
}

void Win32BurnGuard::Release() {
  if (setExecutionState_ != nullptr) setExecutionState_(ES_CONTINUOUS);
}

bool Win32BurnGuard::BlockShutdown(const std::string& reason) {
  if (blockReasonCreate_ == nullptr || blockReasonDestroy_ == nullptr || window_ == nullptr)
    return false;
  return blockReasonCreate_(window_, Wide(reason).c_str()) != FALSE;
}

void Win32BurnGuard::UnblockShutdown() {
  if (blockReasonDestroy_ != nullptr && window_ != nullptr) blockReasonDestroy_(window_);
}

void AnswerSentMessages() {
  // PeekMessageA delivers the messages sent to the thread's windows while it
  // looks; PM_NOREMOVE leaves every posted message (input above all) where
  // it is. Found at run time like the guard's other calls, so that the
  // import list stays the one every supported system was checked against.
  using PeekMessageFn = BOOL(WINAPI*)(LPMSG, HWND, UINT, UINT, UINT);
  const auto peek = LookUp<PeekMessageFn>("USER32.DLL", "PeekMessageA");
  if (peek == nullptr) return;
  MSG message{};
  peek(&message, nullptr, 0, 0, PM_NOREMOVE);
  while (peek(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&message);
}

void KeepOwnWindowWhenBusy() {
  using DisableGhostingFn = void(WINAPI*)();
  const auto disable = LookUp<DisableGhostingFn>("USER32.DLL", "DisableProcessWindowsGhosting");
  if (disable != nullptr) disable();
}

PowerState Win32PowerSource::Read() {
  using PowerStatusFn = BOOL(WINAPI*)(LPSYSTEM_POWER_STATUS);
  const auto getStatus = LookUp<PowerStatusFn>("KERNEL32.DLL", "GetSystemPowerStatus");
  SYSTEM_POWER_STATUS status{};
  if (getStatus == nullptr || !getStatus(&status)) return PowerState{};
  return PowerStateOfWindows(status.ACLineStatus, status.BatteryLifePercent);
}

}  // namespace platform::win32
