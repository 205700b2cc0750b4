// The power supplies as the kernel lists them in /sys/class/power_supply.
#pragma once

#include <string>

#include "platform/power.h"

namespace platform::linux_sg {

class LinuxPowerSupplies final : public PowerSource {
 public:
  // root is put before /sys (empty: the system's own).
  explicit LinuxPowerSupplies(std::string root = "") : root_(std::move(root)) {}

  // On battery: no mains or USB supply reports online 1, and a system
  // battery (not a mouse's or a headset's, whose scope is Device) reports
  // Discharging. Its charge: the highest capacity (0 to 100) of the
  // discharging batteries, known only when every one of them was read
  // clearly. A file that is missing, unreadable or not a number counts as
  // not known, never as a low charge.
  PowerState Read() override;

 private:
  std::string root_;
};

}  // namespace platform::linux_sg
