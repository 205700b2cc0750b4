// The battery rule of a flash's start, the same for every front: a computer
// running on battery with a known charge below this refuses to begin a
// flash; an unknown state or charge lets it go on.
#pragma once

#include <optional>

#include "platform/power.h"

namespace flash {

inline constexpr int kLowBatteryPercent = 10;

// The charge left when the flash must not begin; nothing when it may.
inline std::optional<int> LowBatteryRefusal(const platform::PowerState& power) {
  if (!power.onBattery || !power.batteryPercent) return std::nullopt;
  if (*power.batteryPercent >= kLowBatteryPercent) return std::nullopt;
  return power.batteryPercent;
}

}  // namespace flash
