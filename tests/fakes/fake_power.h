// Fakes of what a flash asks the system besides the drive: a computer on
// mains power (the battery check never refuses) and a burn guard that is
// never asked to hold anything off and says nothing.
#pragma once

#include <optional>
#include <string>

#include "platform/burn_guard.h"
#include "platform/power.h"

namespace fakes {

class MainsPower final : public platform::PowerSource {
 public:
  platform::PowerState Read() override { return {}; }
};

class SilentGuard final : public platform::BurnGuard {
 public:
  std::optional<std::string> Hold() override { return std::nullopt; }
  void Release() override {}
};

}  // namespace fakes
