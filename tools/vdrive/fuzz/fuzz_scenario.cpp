// Any scenario text: refused with a line number or read into drives that
// then answer a TEST UNIT READY and an INQUIRY each.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vdrive/vdrive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto parsed =
      vdrive::ParseScenario(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!parsed.scenario) return 0;
  vdrive::Bus bus(*parsed.scenario);
  const vdrive::Bytes tur(6, 0);
  const vdrive::Bytes inquiry = {0x12, 0, 0, 0, 0x80, 0};
  vdrive::Bytes answer(128);
  for (std::size_t i = 0; i < bus.Size(); ++i) {
    bus.At(i).Execute(tur, vdrive::Direction::None, {});
    bus.At(i).Execute(inquiry, vdrive::Direction::In, answer);
  }
  (void)bus.SessionTrace().Text();
  return 0;
}
