// What the window asks of Windows around a flash, and how it stays
// responsive while the flash waits. Every function that not every supported
// Windows exports is looked up at run time, so that the program's import
// list stays what Windows 98 and NT 4.0 export: SetThreadExecutionState came
// with Windows 98 and 2000, GetSystemPowerStatus is missing from NT 4.0, and
// the shutdown block reason came with Vista. A missing function is a request
// the system lacks, and the flash goes on.
#pragma once

#include "platform/win32/win32_api.h"

#include <functional>
#include <optional>
#include <string>

#include "platform/burn_guard.h"
#include "platform/power.h"
#include "platform/shutdown_notice.h"

namespace platform::win32 {

// Idle sleep held off: the system is asked to stay awake.
class Win32BurnGuard final : public BurnGuard {
 public:
  Win32BurnGuard();
  std::optional<std::string> Hold() override;
  void Release() override;

 private:
  using ExecutionStateFn = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);
  ExecutionStateFn setExecutionState_ = nullptr;
  bool held_ = false;
};

// The shutdown block reason of the window, on Windows Vista and later only.
class Win32ShutdownNotice final : public ShutdownNotice {
 public:
  Win32ShutdownNotice();
  // The window whose reason the shutdown screen shows.
  void SetWindow(HWND window) { window_ = window; }
  bool Show(const std::string& reason) override;
  void Withdraw() override;

 private:
  using CreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
  using DestroyFn = BOOL(WINAPI*)(HWND);
  CreateFn create_ = nullptr;
  DestroyFn destroy_ = nullptr;
  HWND window_ = nullptr;
  bool asked_ = false;
};

class Win32PowerSource final : public PowerSource {
 public:
  // Unknown (flash allowed) where GetSystemPowerStatus is missing or fails.
  PowerState Read() override;
};

// The window's one thread runs the flash and waits inside it: each drive
// command, the polls, the pauses. Between and inside those waits it answers
// what the system and other programs send or post to the window (a shutdown
// or log-off query, a suspend query, a close request), which the window
// refuses while a flash runs, and paints what needs painting. Clicks and
// keys meanwhile are dropped, so that they start nothing, not even after
// the flash. A thread that keeps looking at its messages is never taken for
// hung: Windows keeps the window's own caption.
void AnswerWindowMessages();

// Runs `call` while the window keeps answering its messages: a synchronous
// host call (a pass-through command may take minutes, the final flash
// command up to 200 seconds) is carried out by a thread of its own while
// the window's thread waits for it; nothing else runs meanwhile. Where no
// thread can be made, the call is made on the window's thread as before.
void WhileAnswering(const std::function<void()>& call);

}  // namespace platform::win32
