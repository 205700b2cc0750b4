// What a running flash asks of the system so that the computer does not end
// it by itself: stay awake while idle, and name the flash on the shutdown
// screen. Systems that lack either request say so, and the flash goes on.
#pragma once

#include <string>

namespace platform {

class BurnGuard {
 public:
  virtual ~BurnGuard() = default;

  // Asks the system not to sleep while idle until Release; false where the
  // system has no such request.
  virtual bool StayAwake() = 0;
  // Withdraws the request of StayAwake.
  virtual void Release() = 0;
  // Names `reason` to a user who shuts the computer down or logs off; false
  // where the system has no such reason.
  virtual bool BlockShutdown(const std::string& reason) = 0;
  // Withdraws the reason of BlockShutdown.
  virtual void UnblockShutdown() = 0;
};

}  // namespace platform
