// The input of fuzz_flash_session: one set-up byte, then any number of
// events, each taking over the virtual drive's answer to the nth command of
// one kind. Shared by the target (which reads inputs) and the seed tool
// (which writes the sessions of the flash tests in this form).
//
//   set-up byte: bit 0  Windows 9x (ASPI), else NT (pass-through)
//                bit 1  old-format image (262,144 bytes), else new format
//                bit 2  the package's note is "FLASH-ALL"
//                bits 3-4 the drive's flash chip: BF B4, DA C8, 00 00, C8 DA
//                bit 5  NT: the inquiry-data probe is refused
//                bit 6  the restart offer is answered Yes
//                bit 7  the tray holds nothing from the start, else the
//                       drive is becoming ready for two polls
//   event:       kind (the drive's Kind, modulo its count), nth (1-based;
//                0: every command of that kind), control, then the
//                parameters of each control bit that is set, in bit order:
//     bit 0  status: status byte, sense byte 2, ASC, ASCQ (nothing moves)
//     bit 1  fill: one byte written over the whole answer
//     bit 2  xor: offset (2 bytes, big-endian), count, then count bytes
//            XORed into the answer from that offset on
//     bit 3  moved: 2 bytes, big-endian, the bytes the drive says it moved
//     bit 4  delivery: one byte, modulo 4 (now, at-wait, after-wait, never)
//     bit 5  call error: one byte, the host call's system error code
//     bit 6  ASPI status: one byte, the SRB_Status the library reports
// The first event that names a command applies; a command no event names
// gets the drive's own answer. An input cut short ends its last event there.
#pragma once

#include <cstdint>
#include <vector>

namespace flash_session {

namespace setup {
inline constexpr std::uint8_t kWin9x = 0x01;
inline constexpr std::uint8_t kOldFormat = 0x02;
inline constexpr std::uint8_t kFlashAll = 0x04;
inline constexpr int kChipShift = 3;
inline constexpr std::uint8_t kChipMask = 0x18;
inline constexpr std::uint8_t kProbeRefused = 0x20;
inline constexpr std::uint8_t kRestartYes = 0x40;
inline constexpr std::uint8_t kEmptyAtOnce = 0x80;
}  // namespace setup

// The flash chips of the set-up byte: the package's two, one it does not
// know, and the first one's codes swapped (a match on one byte is none).
inline constexpr std::uint8_t kChips[4][2] = {{0xBF, 0xB4}, {0xDA, 0xC8}, {0x00, 0x00}, {0xC8, 0xDA}};

namespace control {
inline constexpr std::uint8_t kStatus = 0x01;
inline constexpr std::uint8_t kFill = 0x02;
inline constexpr std::uint8_t kXor = 0x04;
inline constexpr std::uint8_t kMoved = 0x08;
inline constexpr std::uint8_t kDelivery = 0x10;
inline constexpr std::uint8_t kCallError = 0x20;
inline constexpr std::uint8_t kAspiStatus = 0x40;
}  // namespace control

// One event as the seed tool writes it.
struct Event {
  std::uint8_t kind = 0;
  std::uint8_t nth = 1;
  std::uint8_t controlBits = 0;
  std::uint8_t status = 0x02;
  std::uint8_t sense[3] = {0x05, 0x24, 0x00};
  std::uint8_t fill = 0;
  std::uint16_t xorOffset = 0;
  std::vector<std::uint8_t> xorBytes;
  std::uint16_t moved = 0;
  std::uint8_t delivery = 0;
  std::uint8_t callError = 31;
  std::uint8_t aspiStatus = 0x01;
};

inline void Append(std::vector<std::uint8_t>& out, const Event& e) {
  out.push_back(e.kind);
  out.push_back(e.nth);
  out.push_back(e.controlBits);
  if (e.controlBits & control::kStatus) {
    out.insert(out.end(), {e.status, e.sense[0], e.sense[1], e.sense[2]});
  }
  if (e.controlBits & control::kFill) out.push_back(e.fill);
  if (e.controlBits & control::kXor) {
    out.push_back(static_cast<std::uint8_t>(e.xorOffset >> 8));
    out.push_back(static_cast<std::uint8_t>(e.xorOffset));
    out.push_back(static_cast<std::uint8_t>(e.xorBytes.size()));
    out.insert(out.end(), e.xorBytes.begin(), e.xorBytes.end());
  }
  if (e.controlBits & control::kMoved) {
    out.push_back(static_cast<std::uint8_t>(e.moved >> 8));
    out.push_back(static_cast<std::uint8_t>(e.moved));
  }
  if (e.controlBits & control::kDelivery) out.push_back(e.delivery);
  if (e.controlBits & control::kCallError) out.push_back(e.callError);
  if (e.controlBits & control::kAspiStatus) out.push_back(e.aspiStatus);
}

}  // namespace flash_session
