// Writes the seed corpus of fuzz_flash_session: the sessions of the flash
// tests (every failure point of the fault table, the tray cases, the ASPI
// requests that complete late or never, the odd INQUIRY answers), on both
// platforms, as inputs of the form flash_session_input.h describes.
//   flash_session_seeds <folder>
#include <cstdio>
#include <string>
#include <vector>

#include "flash_session_input.h"
#include "vdrive/vdrive.h"

namespace {

using flash_session::Event;
using vdrive::Kind;
namespace control = flash_session::control;
namespace setup = flash_session::setup;
using Bytes = std::vector<std::uint8_t>;

struct Seed {
  std::string name;
  std::uint8_t setupBits = setup::kEmptyAtOnce;
  std::vector<Event> events;
  bool aspiOnly = false;
};

Event Base(Kind kind, std::uint8_t nth, std::uint8_t bits) {
  Event e;
  e.kind = static_cast<std::uint8_t>(kind);
  e.nth = nth;
  e.controlBits = bits;
  return e;
}

// CHECK CONDITION, ILLEGAL REQUEST / INVALID FIELD IN CDB.
Event Fails(Kind kind, std::uint8_t nth) { return Base(kind, nth, control::kStatus); }

// NT: the call fails; ASPI: the request never completes.
Event NoAnswer(Kind kind, std::uint8_t nth) {
  Event e = Base(kind, nth, control::kCallError | control::kDelivery);
  e.delivery = 3;
  return e;
}

Event Flips(Kind kind, std::uint8_t nth, std::uint16_t offset, Bytes bytes) {
  Event e = Base(kind, nth, control::kXor);
  e.xorOffset = offset;
  e.xorBytes = std::move(bytes);
  return e;
}

Event Fill(Kind kind, std::uint8_t nth, std::uint8_t value) {
  Event e = Base(kind, nth, control::kFill);
  e.fill = value;
  return e;
}

Event Status(Kind kind, std::uint8_t nth, std::uint8_t status, std::uint8_t key, std::uint8_t asc,
             std::uint8_t ascq) {
  Event e = Base(kind, nth, control::kStatus);
  e.status = status;
  e.sense[0] = key;
  e.sense[1] = asc;
  e.sense[2] = ascq;
  return e;
}

Event CompleteWithSense(Kind kind, std::uint8_t nth) {
  Event e = Base(kind, nth, control::kStatus | control::kAspiStatus);
  e.aspiStatus = 0x01;
  return e;
}

Event Held(Kind kind, std::uint8_t nth, std::uint8_t delivery) {
  Event e = Base(kind, nth, control::kDelivery);
  e.delivery = delivery;
  return e;
}

Event Moves(Kind kind, std::uint8_t nth, std::uint16_t moved) {
  Event e = Base(kind, nth, control::kMoved);
  e.moved = moved;
  return e;
}

Event RefusedYetComplete(Kind kind) {
  Event e = Base(kind, 0, control::kCallError | control::kAspiStatus);
  e.callError = 16;
  e.aspiStatus = 0x01;
  return e;
}

std::vector<Seed> Seeds() {
  const std::uint8_t empty = setup::kEmptyAtOnce;
  return {
      {"flash", empty, {}},
      {"flash-old-format", empty | setup::kOldFormat, {}},
      {"flash-all", empty | setup::kFlashAll, {}},
      {"chip-da-c8", empty | (1 << setup::kChipShift), {}},
      {"chip-unknown", empty | (2 << setup::kChipShift), {}},
      {"chip-swapped", empty | (3 << setup::kChipShift), {}},
      {"becoming-ready", 0, {}},
      {"restart-yes", empty | setup::kRestartYes, {}},
      {"probe-refused", empty | setup::kProbeRefused, {}},
      {"flash-id-status", empty, {Fails(Kind::FlashId, 1)}},
      {"profile-write-status", empty, {Fails(Kind::WriteProfile, 1)}},
      {"first-chunk-status", empty, {Fails(Kind::WriteChunk, 1)}},
      {"third-chunk-status", empty, {Fails(Kind::WriteChunk, 3)}},
      {"last-chunk-status", empty, {Fails(Kind::WriteChunk, 20)}},
      {"chunk-no-answer", empty, {NoAnswer(Kind::WriteChunk, 2)}},
      {"critical-status", empty, {Fails(Kind::EntryCritical, 1)}},
      {"profile-read-status", empty, {Fails(Kind::ReadProfile, 1)}},
      {"profile-mismatch", empty, {Flips(Kind::ReadProfile, 1, 455, {0x01})}},
      {"first-read-status", empty, {Fails(Kind::ReadChunk, 1)}},
      {"last-read-status", empty, {Fails(Kind::ReadChunk, 20)}},
      {"read-no-answer", empty, {NoAnswer(Kind::ReadChunk, 5)}},
      {"first-chunk-differs", empty, {Flips(Kind::ReadChunk, 1, 0, {0x01})}},
      {"last-byte-differs", empty, {Flips(Kind::ReadChunk, 20, 0x3FFF, {0x80})}},
      {"final-flash-status", empty, {Fails(Kind::Burn, 1)}},
      {"chunk-complete-with-sense", empty, {CompleteWithSense(Kind::WriteChunk, 4)}, true},
      {"read-complete-with-sense", empty, {CompleteWithSense(Kind::ReadChunk, 2)}, true},
      {"profile-read-complete-with-sense", empty, {CompleteWithSense(Kind::ReadProfile, 1)}, true},
      {"disc-loaded", empty, {Status(Kind::TestUnitReady, 0, 0x00, 0x00, 0x00, 0x00)}},
      {"never-settles", empty, {Status(Kind::TestUnitReady, 0, 0x02, 0x02, 0x04, 0x01)}},
      {"inquiry-blank", empty, {Fill(Kind::Inquiry, 0, ' ')}},
      {"inquiry-revision-of-spaces", empty, {Flips(Kind::Inquiry, 0, 32, {0x11, 0x0E, 0x10, 0x10})}},
      {"inquiry-control-characters", empty, {Flips(Kind::Inquiry, 1, 16, {0x40, 0x40, 0x1B, 0x7F})}},
      {"inquiry-no-terminator", empty, {Fill(Kind::Inquiry, 0, 'A')}},
      {"inquiry-refused", empty, {NoAnswer(Kind::Inquiry, 1)}},
      {"refresh-inquiry-fails", empty, {Fails(Kind::Inquiry, 2)}},
      {"chunk-at-wait", empty, {Held(Kind::WriteChunk, 3, 1)}, true},
      {"read-after-wait", empty, {Held(Kind::ReadChunk, 4, 2)}, true},
      {"burn-at-wait", empty, {Held(Kind::Burn, 1, 1)}, true},
      {"tur-never", empty, {Held(Kind::TestUnitReady, 1, 3)}, true},
      // Found by the fuzzer: the last chunk, equal to the one before, read
      // with success and no data; every read refused by the host adapter
      // yet reported complete by the library.
      {"last-read-moves-nothing", empty, {Moves(Kind::ReadChunk, 20, 0)}},
      {"reads-refused-yet-complete", empty, {RefusedYetComplete(Kind::ReadChunk)}, true},
  };
}

bool Write(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: flash_session_seeds <folder>\n");
    return 2;
  }
  for (const Seed& seed : Seeds()) {
    for (const bool win9x : {false, true}) {
      if (seed.aspiOnly && !win9x) continue;
      Bytes input{static_cast<std::uint8_t>(seed.setupBits | (win9x ? setup::kWin9x : 0))};
      for (const Event& event : seed.events) flash_session::Append(input, event);
      const std::string path =
          std::string(argv[1]) + "/" + seed.name + (win9x ? "-9x" : "-nt");
      if (!Write(path, input)) {
        std::fprintf(stderr, "flash_session_seeds: cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
