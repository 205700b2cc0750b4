// The battery check before a flash: the kernel's power supplies as the
// Linux layer reads them, and the rule every front applies to what it read.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "flash/power_check.h"
#include "platform/linux/linux_power.h"
#include "support/temp_folder.h"

namespace {

// One folder of /sys/class/power_supply: its attribute files and their text.
struct Supply {
  std::string name;
  std::map<std::string, std::string> files;
};

Supply MainsOnline(const char* online = "1") { return {"AC", {{"type", "Mains"}, {"online", online}}}; }
Supply Battery(const char* name, const char* status, const char* capacity) {
  return {name, {{"type", "Battery"}, {"status", status}, {"capacity", capacity}}};
}

struct PowerCase {
  const char* name;
  std::vector<Supply> supplies;
  bool onBattery;
  std::optional<int> percent;
  std::optional<int> refusal;
};

std::vector<PowerCase> PowerCases() {
  return {
      {"no power supply at all", {}, false, std::nullopt, std::nullopt},
      {"mains online, battery charging", {MainsOnline(), Battery("BAT0", "Charging", "5")},
       false, std::nullopt, std::nullopt},
      {"mains online, battery said discharging", {MainsOnline(), Battery("BAT0", "Discharging", "5")},
       false, std::nullopt, std::nullopt},
      {"USB-C supply online", {{"ucsi", {{"type", "USB"}, {"online", "1"}}},
                               Battery("BAT0", "Discharging", "5")},
       false, std::nullopt, std::nullopt},
      {"battery at 50%", {MainsOnline("0"), Battery("BAT0", "Discharging", "50")}, true, 50,
       std::nullopt},
      {"battery at 10%", {MainsOnline("0"), Battery("BAT0", "Discharging", "10")}, true, 10,
       std::nullopt},
      {"battery at 5%", {MainsOnline("0"), Battery("BAT0", "Discharging", "5")}, true, 5, 5},
      {"battery at 5%, no mains supply listed", {Battery("BAT0", "Discharging", "5")}, true, 5, 5},
      {"capacity not a number", {Battery("BAT0", "Discharging", "5%")}, true, std::nullopt,
       std::nullopt},
      {"capacity above 100", {Battery("BAT0", "Discharging", "104")}, true, std::nullopt,
       std::nullopt},
      {"capacity missing", {{"BAT0", {{"type", "Battery"}, {"status", "Discharging"}}}}, true,
       std::nullopt, std::nullopt},
      {"status missing", {{"BAT0", {{"type", "Battery"}, {"capacity", "3"}}}}, false, std::nullopt,
       std::nullopt},
      {"mains online unreadable", {{"AC", {{"type", "Mains"}}}, Battery("BAT0", "Discharging", "5")},
       true, 5, 5},
      {"two batteries, one with plenty", {Battery("BAT0", "Discharging", "4"),
                                          Battery("BAT1", "Discharging", "60")},
       true, 60, std::nullopt},
      {"two batteries, both low", {Battery("BAT0", "Discharging", "4"),
                                   Battery("BAT1", "Discharging", "8")},
       true, 8, 8},
      {"two batteries, one of unknown charge", {Battery("BAT0", "Discharging", "4"),
                                                Battery("BAT1", "Discharging", "")},
       true, std::nullopt, std::nullopt},
      {"a mouse's battery", {{"hidpp_battery_0", {{"type", "Battery"}, {"scope", "Device"},
                                                  {"status", "Discharging"}, {"capacity", "2"}}}},
       false, std::nullopt, std::nullopt},
  };
}

TEST(PowerCheck, PowerSuppliesAndTheBatteryRule) {
  for (const PowerCase& c : PowerCases()) {
    SCOPED_TRACE(c.name);
    testsupport::ScratchFolder root("qrw-power");
    const std::filesystem::path folder = root.Path() / "sys/class/power_supply";
    std::filesystem::create_directories(folder);
    for (const Supply& supply : c.supplies) {
      std::filesystem::create_directories(folder / supply.name);
      for (const auto& [file, text] : supply.files) std::ofstream(folder / supply.name / file) << text << "\n";
    }
    const platform::PowerState state = platform::linux_sg::LinuxPowerSupplies(root.Path().string()).Read();
    EXPECT_EQ(state.onBattery, c.onBattery);
    EXPECT_EQ(state.batteryPercent, c.percent);
    EXPECT_EQ(flash::LowBatteryRefusal(state), c.refusal);
  }
}

// A supply folder the process may not read (or that is not a folder) is a
// supply of unknown state, never a reason to refuse.
TEST(PowerCheck, AnUnreadableSupplyIsUnknown) {
  testsupport::ScratchFolder root("qrw-power");
  const std::filesystem::path folder = root.Path() / "sys/class/power_supply";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "BAT0") << "not a folder\n";
  const platform::PowerState state = platform::linux_sg::LinuxPowerSupplies(root.Path().string()).Read();
  EXPECT_FALSE(state.onBattery);
  EXPECT_FALSE(flash::LowBatteryRefusal(state));
}

}  // namespace
