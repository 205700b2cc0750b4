// Every drive of a scenario, reachable by NT letter and by ASPI address.
#include <algorithm>
#include <cctype>

#include "vdrive/vdrive.h"

namespace vdrive {
namespace {

constexpr std::uint32_t kSupportComplete = 0x0100;    // SS_COMP << 8
constexpr std::uint32_t kSupportNoAdapters = 0xE800;  // SS_NO_ADAPTERS << 8

}  // namespace

Bus::Bus(const Scenario& scenario) : aspi_(scenario.aspi) {
  for (const DriveSpec& spec : scenario.drives) {
    drives_.push_back(std::make_unique<Drive>(spec, &trace_));
  }
}

Drive* Bus::ByLetter(char letter) {
  const auto upper = [](char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  };
  for (auto& drive : drives_) {
    const auto& own = drive->Spec().ntLetter;
    if (own && upper(*own) == upper(letter)) return drive.get();
  }
  return nullptr;
}

Drive* Bus::ByAddress(std::uint8_t adapter, std::uint8_t target) {
  for (auto& drive : drives_) {
    const auto& own = drive->Spec().aspi;
    if (own && own->adapter == adapter && own->target == target) return drive.get();
  }
  return nullptr;
}

std::uint8_t Bus::AdapterCount() const {
  int count = 0;
  for (const auto& drive : drives_) {
    if (drive->Spec().aspi) count = std::max(count, drive->Spec().aspi->adapter + 1);
  }
  return static_cast<std::uint8_t>(count);
}

std::uint32_t Bus::SupportInfo() const {
  if (aspi_.supportInfo) return *aspi_.supportInfo;
  const std::uint8_t count = AdapterCount();
  return count == 0 ? kSupportNoAdapters : (kSupportComplete | count);
}

}  // namespace vdrive
