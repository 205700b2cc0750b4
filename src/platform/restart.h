// Restarting the computer after a flash: the shutdown privilege on the NT
// family, then ExitWindowsEx.
#pragma once

#include <cstdint>

namespace platform {

inline constexpr std::uint32_t kExitReboot = 0x02;  // EWX_REBOOT
inline constexpr std::uint32_t kExitForce = 0x04;   // EWX_FORCE

class Restart {
 public:
  virtual ~Restart() = default;
  // OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES |
  // TOKEN_QUERY, &token); false on failure.
  virtual bool OpenProcessToken() = 0;
  // LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &luid).
  virtual bool LookupShutdownPrivilege() = 0;
  // AdjustTokenPrivileges enabling that one privilege; returns the thread's
  // last error afterwards (0 means it was enabled).
  virtual std::uint32_t EnableShutdownPrivilege() = 0;
  virtual void ExitWindows(std::uint32_t flags) = 0;
};

}  // namespace platform
