// Windows names the programs that hold a shutdown up on its shutdown screen,
// with a reason each gives. A flash gives one over its critical phase, so
// that a user who shuts down then reads why not to force it.
#pragma once

#include <string>

namespace platform {

class ShutdownNotice {
 public:
  virtual ~ShutdownNotice() = default;
  // Gives `reason` until Withdraw; false where the system shows no reasons.
  virtual bool Show(const std::string& reason) = 0;
  virtual void Withdraw() = 0;
};

}  // namespace platform
