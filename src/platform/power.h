// What the computer runs on, asked before a flash: a flash cut short by a
// flat battery can leave a drive without working firmware.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

struct PowerState {
  // Known to run on its battery alone (no mains supply online, a battery
  // discharging); false when unknown.
  bool onBattery = false;
  // The battery's charge in percent, when it was read clearly.
  std::optional<int> batteryPercent;
};

// Windows' power status record as GetSystemPowerStatus fills it: AC line
// 0 offline, 1 online, 255 unknown; battery life in percent, 255 unknown.
// Any other value is not a clear answer and counts as unknown.
inline PowerState PowerStateOfWindows(std::uint8_t acLineStatus,
                                      std::uint8_t batteryLifePercent) {
  PowerState state;
  state.onBattery = acLineStatus == 0;
  if (batteryLifePercent <= 100) state.batteryPercent = batteryLifePercent;
  return state;
}

class PowerSource {
 public:
  virtual ~PowerSource() = default;
  virtual PowerState Read() = 0;
};

}  // namespace platform
