// What the computer runs on, asked before a flash: a flash cut short by a
// flat battery can leave a drive without working firmware.
#pragma once

#include <optional>

namespace platform {

struct PowerState {
  // Known to run on its battery alone (no mains supply online, a battery
  // discharging); false when unknown.
  bool onBattery = false;
  // The battery's charge in percent, when it was read clearly.
  std::optional<int> batteryPercent;
};

class PowerSource {
 public:
  virtual ~PowerSource() = default;
  virtual PowerState Read() = 0;
};

}  // namespace platform
