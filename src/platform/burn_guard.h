// Holds off what the computer would otherwise do by itself while a flash
// runs: sleep, shutdown, the power and lid keys. A burn cut short by any of
// them can leave a drive without working firmware.
#pragma once

#include <optional>
#include <string>

namespace platform {

class BurnGuard {
 public:
  virtual ~BurnGuard() = default;
  // Asks the system to hold them off until Release. Nothing when it does;
  // otherwise the reason it could not be asked (the flash goes on).
  virtual std::optional<std::string> Hold() = 0;
  // Lets the system do them again; nothing when nothing is held.
  virtual void Release() = 0;
};

}  // namespace platform
