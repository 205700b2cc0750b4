#include "platform/linux/linux_power.h"

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

namespace platform::linux_sg {

namespace {

// The first line of a sysfs attribute, without its line end; nothing when it
// cannot be read.
std::optional<std::string> Attribute(const std::string& folder, const char* name) {
  std::ifstream file(folder + "/" + name);
  std::string line;
  if (!file || !std::getline(file, line)) return std::nullopt;
  return line;
}

// A whole number from 0 to 100 and nothing else.
std::optional<int> Percent(const std::optional<std::string>& text) {
  if (!text || text->empty() || text->size() > 3) return std::nullopt;
  if (text->find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int value = std::stoi(*text);
  if (value > 100) return std::nullopt;
  return value;
}

std::vector<std::string> SupplyFolders(const std::string& classFolder) {
  std::vector<std::string> folders;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(classFolder.c_str()), closedir);
  if (!dir) return folders;
  while (const dirent* entry = readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") folders.push_back(classFolder + "/" + name);
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

}  // namespace

PowerState LinuxPowerSupplies::Read() {
  bool mainsOnline = false;
  bool discharging = false;
  bool chargeUnknown = false;
  std::optional<int> percent;
  for (const std::string& folder : SupplyFolders(root_ + "/sys/class/power_supply")) {
    const std::string type = Attribute(folder, "type").value_or("");
    if (type == "Mains" || type.rfind("USB", 0) == 0) {
      if (Attribute(folder, "online") == "1") mainsOnline = true;
    } else if (type == "Battery" && Attribute(folder, "scope") != "Device") {
      if (Attribute(folder, "status") != "Discharging") continue;
      discharging = true;
      if (const std::optional<int> capacity = Percent(Attribute(folder, "capacity"))) {
        percent = std::max(percent.value_or(0), *capacity);
      } else {
        chargeUnknown = true;
      }
    }
  }
  PowerState state;
  state.onBattery = discharging && !mainsOnline;
  // One battery whose charge is not known may hold plenty.
  if (state.onBattery && !chargeUnknown) state.batteryPercent = percent;
  return state;
}

}  // namespace platform::linux_sg
