// Any request block a host may hand the in-process fronts: an NT
// pass-through record under either control code, or an ASPI SRB. The fronts
// must refuse or serve it without reading or writing past the block or the
// one data buffer the fuzzer registers.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "vdrive/inprocess.h"

namespace {

vdrive::Scenario Drives() {
  return *vdrive::ParseScenario(
              "[drive]\nletter = E\naspi = 0 0\nmedium = becoming-ready 3\n"
              "hold = read-chunk 2 after-wait\nhold = tur 4 never\nhold = inquiry 1 at-wait\n")
              .scenario;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static vdrive::Bus bus(Drives());
  static vdrive::DeviceIoFront io(bus);
  static vdrive::AspiFront aspi(bus);
  static const auto handle = io.Open("\\\\.\\E:", 0xC0000000, 1, 3, 0);
  static std::array<std::uint8_t, 0x10000> buffer{};
  static std::array<std::uint8_t, 600> block{};

  const std::uint8_t selector = data[0];
  const std::size_t length = std::min(size - 1, block.size());
  block.fill(0);
  std::copy_n(data + 1, length, block.begin());
  const auto blockLength = static_cast<std::uint32_t>(length);
  // Transfer lengths within the one data buffer: a driver cannot lock more
  // than the host owns, and the host's own lengths are not under test here.
  block[14] = 0;
  block[15] = 0;
  if (selector % 3 == 2) {
    aspi.PutAddress(&block[16], buffer.data());
    block[0] = static_cast<std::uint8_t>(block[0] % 5);
    aspi.SendCommand(block.data());
  } else {
    const std::uint32_t code = selector % 3 == 0 ? 0x4D004 : 0x4D014;
    if (code == 0x4D014 && length >= 24) io.PutAddress(&block[20], buffer.data());
    // Lengths as the host claims them, never more than the block holds.
    const std::uint32_t outLength = std::min<std::uint32_t>(blockLength, selector);
    io.Control(*handle, code, block.data(), blockLength, block.data(), outLength);
  }
  bus.SessionTrace().Clear();
  io.ClearRecords();
  aspi.ClearRecords();
  return 0;
}
