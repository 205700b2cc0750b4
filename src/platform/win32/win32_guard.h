// The burn guard and the power status on Windows. Every function is looked
// up at run time, so that the program's import list stays what Windows 98
// and NT 4.0 export: SetThreadExecutionState came with Windows 98 and 2000,
// GetSystemPowerStatus is missing from NT 4.0, and the shutdown block reason
// came with Vista. A missing function is a request the system lacks.
#pragma once

#include "platform/win32/win32_api.h"

#include <string>

#include "platform/burn_guard.h"
#include "platform/power.h"

namespace platform::win32 {

class Win32BurnGuard : public BurnGuard {
 public:
  Win32BurnGuard();
  // The window whose shutdown block reason the system shows.
  void SetWindow(HWND window) { window_ = window; }

  bool StayAwake() override;
  void Release() override;
  bool BlockShutdown(const std::string& reason) override;
  void UnblockShutdown() override;

 private:
  using ExecutionStateFn = EXECUTION_STATE(WINAPI*)(EXECUTION_STATE);
  using BlockReasonCreateFn = BOOL(WINAPI*)(HWND, LPCWSTR);
  using BlockReasonDestroyFn = BOOL(WINAPI*)(HWND);
  ExecutionStateFn setExecutionState_ = nullptr;
  BlockReasonCreateFn blockReasonCreate_ = nullptr;
  BlockReasonDestroyFn blockReasonDestroy_ = nullptr;
  HWND window_ = nullptr;
};

// The window's one thread waits inside drive commands and pauses during a
// flash. Between and inside those waits it answers what other programs and
// the system send the window (a shutdown or log-off query, a suspend query,
// a close request), which the window refuses while a flash runs, and paints
// what needs painting; clicks and keys stay queued until the flash is over,
// so they start nothing meanwhile. A thread that looks at its messages is
// not taken for hung, so Windows keeps the window's own caption.
void AnswerSentMessages();

// The one wait that cannot look at its messages is a synchronous
// pass-through command, the final flash command above all (up to 200
// seconds): Windows is told not to put its "(Not Responding)" ghost over
// the window meanwhile (Windows XP and later; elsewhere nothing).
void KeepOwnWindowWhenBusy();

class Win32PowerSource : public PowerSource {
 public:
  // Unknown (flash allowed) where GetSystemPowerStatus is missing or fails.
  PowerState Read() override;
};

}  // namespace platform::win32
