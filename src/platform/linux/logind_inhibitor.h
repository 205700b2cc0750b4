// The burn guard on Linux: a systemd-logind inhibitor lock in block mode,
// taken on the system bus (sd-bus). The lock is the file descriptor logind
// hands out; it holds as long as that descriptor is open.
#pragma once

#include <optional>
#include <string>

#include "platform/burn_guard.h"

namespace platform::linux_sg {

// What the lock holds off and how it is named in `systemd-inhibit --list`.
inline constexpr const char* kInhibitWhat =
    "sleep:shutdown:idle:handle-power-key:handle-suspend-key:handle-hibernate-key:"
    "handle-lid-switch";
inline constexpr const char* kInhibitWho = "qrwflash";
inline constexpr const char* kInhibitWhy = "Firmware update in progress";
inline constexpr const char* kInhibitMode = "block";

class LogindInhibitor final : public BurnGuard {
 public:
  LogindInhibitor() = default;
  ~LogindInhibitor() override { Release(); }
  LogindInhibitor(const LogindInhibitor&) = delete;
  LogindInhibitor& operator=(const LogindInhibitor&) = delete;

  // The system bus is the one sd-bus finds (DBUS_SYSTEM_BUS_ADDRESS, else
  // the system's socket). Reasons: no bus, or logind's own error.
  std::optional<std::string> Hold() override;
  void Release() override;

 private:
  int lock_ = -1;
};

}  // namespace platform::linux_sg
