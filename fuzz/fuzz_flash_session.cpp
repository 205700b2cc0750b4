// Fuzz target: a whole session of a flash program against a drive that
// misbehaves in every way. Start-up in flash mode (warning, drive discovery)
// and one FLASH press run on the real window class, through the NT
// pass-through or the ASPI variant, against the in-process virtual drive;
// every answer of the drive may be taken over by the input (see
// flash_session_input.h). Sleeps and waits go to the fake OS and the
// in-process ASPI library, so a run takes no real time.
//
// On every input it checks, besides the sanitizers:
// - the final flash command goes out only after every chunk of the image
//   was written as the package holds it and then read back equal, and, when
//   a known flash profile was written, after that profile was read back
//   equal;
// - no more than one chunk buffer (16 KB) is alive at any time.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/flash_form.h"
#include "fakes/fake_os.h"
#include "fakes/fake_ui.h"
#include "fakes/memory_files.h"
#include "flash_session_input.h"
#include "package/package_region.h"
#include "support/flash_region.h"
#include "vdrive/inprocess.h"
#include "vdrive/vdrive.h"

// ---- the chunk buffer count ---------------------------------------------------

namespace {

constexpr std::size_t kChunk = 16384;

// Blocks of exactly one chunk allocated as arrays: the flash sequence's
// ChunkBuffer. The drive's and the fronts' own buffers are vectors and do
// not come through here.
void* chunkBlocks[4] = {};
int chunkBlocksAlive = 0;

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "fuzz_flash_session: %s\n", what);
  std::abort();
}

}  // namespace

void* operator new[](std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  if (size == kChunk) {
    if (chunkBlocksAlive == 1) Finding("a second 16 KB chunk buffer while one is alive");
    chunkBlocks[chunkBlocksAlive++] = block;
  }
  return block;
}

void operator delete[](void* block) noexcept {
  if (chunkBlocksAlive > 0 && chunkBlocks[0] == block) chunkBlocksAlive = 0;
  std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept { operator delete[](block); }

namespace {

using Bytes = std::vector<std::uint8_t>;
using vdrive::Kind;
namespace input = flash_session;

// ---- the package -------------------------------------------------------------

// A package region as a flash program carries it. The image is pseudo-random
// except for chunks 14, 15, 18 and 19, which hold 0xFF as the unused end of
// a real image does: two equal chunks in a row.
Bytes MakeRegion(bool newFormat, bool flashAll) {
  Bytes region = testsupport::FlashRegion({.newFormat = newFormat, .note = flashAll ? "FLASH-ALL" : "None"});
  std::uint8_t* image = region.data() + package::kKeyWordInRegion + package::kImageAreaOffset;
  for (std::size_t chunk : {14, 15, 18, 19}) std::memset(image + chunk * kChunk, 0xFF, kChunk);
  return region;
}

// Four regions, made once: new or old format, note "None" or "FLASH-ALL".
const Bytes& Region(bool newFormat, bool flashAll) {
  static const Bytes regions[4] = {MakeRegion(true, false), MakeRegion(true, true),
                                   MakeRegion(false, false), MakeRegion(false, true)};
  return regions[(newFormat ? 0 : 2) + (flashAll ? 1 : 0)];
}

// ---- the input ---------------------------------------------------------------

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t Be16() {
    const std::uint16_t high = Byte();
    return static_cast<std::uint16_t>(high << 8 | Byte());
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct Event {
  Kind kind = Kind::Other;
  std::uint8_t nth = 0;
  std::uint8_t controlBits = 0;
  std::uint8_t status = 0;
  vdrive::Sense sense;
  std::uint8_t fill = 0;
  std::uint16_t xorOffset = 0;
  Bytes xorBytes;
  std::uint16_t moved = 0;
  vdrive::Delivery delivery = vdrive::Delivery::Now;
  std::uint32_t callError = 0;
  std::uint8_t aspiStatus = 0;
};

std::vector<Event> ReadEvents(Reader& in) {
  std::vector<Event> events;
  while (in.More()) {
    Event e;
    e.kind = static_cast<Kind>(in.Byte() % vdrive::kKindCount);
    e.nth = in.Byte();
    e.controlBits = in.Byte();
    if (e.controlBits & input::control::kStatus) {
      e.status = in.Byte();
      e.sense = {in.Byte(), in.Byte(), in.Byte()};
    }
    if (e.controlBits & input::control::kFill) e.fill = in.Byte();
    if (e.controlBits & input::control::kXor) {
      e.xorOffset = in.Be16();
      const std::uint8_t count = in.Byte();
      for (std::uint8_t i = 0; i < count && in.More(); ++i) e.xorBytes.push_back(in.Byte());
    }
    if (e.controlBits & input::control::kMoved) e.moved = in.Be16();
    if (e.controlBits & input::control::kDelivery)
      e.delivery = static_cast<vdrive::Delivery>(in.Byte() % 4);
    if (e.controlBits & input::control::kCallError) e.callError = in.Byte();
    if (e.controlBits & input::control::kAspiStatus) e.aspiStatus = in.Byte();
    events.push_back(std::move(e));
  }
  return events;
}

// ---- the drive that answers from the input, and the watch on the burn -------

std::uint32_t Be24(std::span<const std::uint8_t> cdb, std::size_t at) {
  return std::uint32_t{cdb[at]} << 16 | std::uint32_t{cdb[at + 1]} << 8 | cdb[at + 2];
}

class SessionScript : public vdrive::AnswerScript {
 public:
  SessionScript(std::vector<Event> events, const std::uint8_t* image, std::uint32_t imageLength)
      : events_(std::move(events)), image_(image), chunks_(imageLength / kChunk) {}

  void Adjust(Kind kind, std::span<const std::uint8_t> cdb, vdrive::Direction direction,
              std::span<std::uint8_t> data, vdrive::Answer& answer) override {
    const std::uint32_t count = ++counts_[static_cast<std::size_t>(kind)];
    if (kind == Kind::Burn) CheckBurn();
    if (kind == Kind::WriteChunk) Written(cdb, data);
    if (kind == Kind::WriteProfile) profileWritten_.assign(data.begin(), data.end());
    for (const Event& e : events_) {
      if (e.kind == kind && (e.nth == 0 || e.nth == count)) {
        Apply(e, direction, data, answer);
        break;
      }
    }
    if (kind == Kind::ReadChunk) ReadBack(cdb, data, answer);
    if (kind == Kind::ReadProfile && Delivered(answer, data, profileWritten_.size()))
      profileReadBack_ = std::equal(profileWritten_.begin(), profileWritten_.end(), data.begin());
  }

 private:
  struct ChunkState {
    bool written = false;  // the package's bytes reached the drive
    bool readBack = false;  // and came back equal afterwards
  };

  static void Apply(const Event& e, vdrive::Direction direction, std::span<std::uint8_t> data,
                    vdrive::Answer& answer) {
    namespace c = input::control;
    const bool in = direction == vdrive::Direction::In;
    if (e.controlBits & c::kStatus) {
      answer.status = e.status;
      answer.sense = e.sense;
      answer.moved = 0;
    }
    if ((e.controlBits & c::kFill) && in) std::fill(data.begin(), data.end(), e.fill);
    if ((e.controlBits & c::kXor) && in) {
      for (std::size_t i = 0; i < e.xorBytes.size() && e.xorOffset + i < data.size(); ++i)
        data[e.xorOffset + i] ^= e.xorBytes[i];
    }
    if (e.controlBits & c::kMoved) answer.moved = e.moved;
    if (e.controlBits & c::kDelivery) answer.delivery = e.delivery;
    if (e.controlBits & c::kCallError) answer.callError = e.callError;
    if (e.controlBits & c::kAspiStatus) answer.aspiStatus = e.aspiStatus;
  }

  // The answer reached the host's buffer whole: the call went through, the
  // request completed, and the drive moved the length asked for (the drive
  // moves no more than the host's buffer holds, whatever the script says).
  static bool Delivered(const vdrive::Answer& answer, std::span<const std::uint8_t> data,
                        std::size_t length) {
    return !answer.callError &&
           (answer.delivery == vdrive::Delivery::Now ||
            answer.delivery == vdrive::Delivery::AtWait) &&
           std::min<std::size_t>(answer.moved, data.size()) == length && data.size() >= length;
  }

  std::optional<std::size_t> ChunkOf(std::span<const std::uint8_t> cdb) const {
    const std::uint32_t offset = Be24(cdb, 3);
    if (Be24(cdb, 6) != kChunk || offset % kChunk != 0 || offset / kChunk >= chunks_.size())
      return std::nullopt;
    return offset / kChunk;
  }

  void Written(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data) {
    const auto chunk = ChunkOf(cdb);
    if (!chunk) return;
    const std::uint8_t* expected = image_ + *chunk * kChunk;
    chunks_[*chunk].written =
        data.size() >= kChunk && std::equal(data.begin(), data.begin() + kChunk, expected);
    chunks_[*chunk].readBack = false;
  }

  void ReadBack(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data,
                const vdrive::Answer& answer) {
    const auto chunk = ChunkOf(cdb);
    if (!chunk || !chunks_[*chunk].written || !Delivered(answer, data, kChunk)) return;
    chunks_[*chunk].readBack =
        std::equal(data.begin(), data.begin() + kChunk, image_ + *chunk * kChunk);
  }

  void CheckBurn() const {
    for (const ChunkState& chunk : chunks_) {
      if (!chunk.written) Finding("final flash command before the whole image was written");
      if (!chunk.readBack) Finding("final flash command with a chunk not read back equal");
    }
    // A drive whose chip the package does not know gets FF FF 00 00 and no
    // verification; a known chip's profile must have come back equal.
    const bool knownProfile = profileWritten_.size() > 4;
    if (knownProfile && !profileReadBack_)
      Finding("final flash command with the profile not read back equal");
  }

  std::vector<Event> events_;
  const std::uint8_t* image_;
  std::vector<ChunkState> chunks_;
  Bytes profileWritten_;
  bool profileReadBack_ = false;
  std::uint32_t counts_[vdrive::kKindCount] = {};
};

// Yes to the warning and the confirmation; the restart offer as the set-up
// byte says. A box with OK only is answered OK.
class SessionDialogs : public platform::Dialogs {
 public:
  explicit SessionDialogs(bool restartYes) : restartYes_(restartYes) {}
  void Message(const std::string&) override {}
  platform::Answer Ask(platform::DialogKind, const std::string&,
                       platform::DialogButtons buttons) override {
    if (buttons == platform::DialogButtons::Ok) return platform::Answer::Ok;
    ++questions_;
    if (questions_ <= 2) return platform::Answer::Yes;
    return restartYes_ ? platform::Answer::Yes : platform::Answer::No;
  }
  void SystemBox(const std::string&, const std::string&) override {}

 private:
  bool restartYes_;
  int questions_ = 0;
};

vdrive::DriveSpec TheDrive(std::uint8_t setupByte) {
  vdrive::DriveSpec drive;
  drive.name = "QRW";
  drive.ntLetter = 'E';
  drive.aspi = vdrive::DriveSpec::Address{1, 0};
  const auto& chip = input::kChips[(setupByte & input::setup::kChipMask) >> input::setup::kChipShift];
  drive.flashMaker = chip[0];
  drive.flashDevice = chip[1];
  if (setupByte & input::setup::kProbeRefused) drive.probeError = 1;
  if (!(setupByte & input::setup::kEmptyAtOnce)) {
    drive.medium = vdrive::Medium::BecomingReady;
    drive.becomingReadyPolls = 2;
  }
  return drive;
}

vdrive::Scenario OneDrive() {
  vdrive::Scenario scenario;
  scenario.drives.push_back(TheDrive(0));
  return scenario;
}

// One bus for every run: each run resets its drive to the one the input
// names, in the memory of the last, instead of mapping fresh megabytes.
vdrive::Bus& TheBus() {
  static vdrive::Bus bus(OneDrive());
  return bus;
}

struct Window {
  fakes::FakeText caption{"caption"};
  fakes::FakeText label{"label"};
  fakes::FakeComboBox combo{"ComboBox1"};
  fakes::FakeFileList files{"files"};
  fakes::FakeText group{"GroupBox2", nullptr, 113};
  fakes::FakeProgressBar bar{"ProgressBar"};
  fakes::FakeButton button{"button", nullptr, 136};
  fakes::FakeCursor cursor;
  fakes::FakeOs os;
  fakes::FakeProfileReader profiles;
  fakes::FakeRestart restart;
  fakes::FakeBurnGuard guard;
  fakes::FakePowerSource power;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Reader in(data, size);
  const std::uint8_t setupByte = in.Byte();
  const bool newFormat = !(setupByte & input::setup::kOldFormat);
  const Bytes& region = Region(newFormat, setupByte & input::setup::kFlashAll);
  const package::PackageView package(region.data());

  SessionScript script(ReadEvents(in), package.ImageArea(),
                       newFormat ? vdrive::kNewImageLength : vdrive::kOldImageLength);
  vdrive::Bus& bus = TheBus();
  bus.At(0).Reset(TheDrive(setupByte));
  bus.At(0).SetScript(&script);
  bus.At(0).AttachTrace(nullptr);
  vdrive::DeviceIoFront device(bus);
  vdrive::AspiFront aspi(bus);

  Window w;
  w.os.platformId = (setupByte & input::setup::kWin9x) ? platform::kPlatformWin32Windows
                                                       : platform::kPlatformWin32Nt;
  w.os.roots = {"C:\\", "E:\\"};
  w.os.driveTypes["E:\\"] = platform::kDriveCdRom;
  SessionDialogs dialogs(setupByte & input::setup::kRestartYes);
  fakes::MemoryFiles disk;  // the builder's; a flash program never writes
  app::TFlashForm form(
      app::Controls{w.caption, w.label, w.combo, w.files, w.group, w.bar, w.button, w.cursor},
      app::Services{w.os, w.profiles, dialogs, device, aspi, w.restart, disk, w.guard, w.guard, w.power},
      package);
  form.FormCreate();
  if (w.combo.Count() > 0) form.FlashButtonClick();
  form.FormDestroy();
  bus.At(0).SetScript(nullptr);
  if (chunkBlocksAlive != 0) Finding("the chunk buffer outlives the flash press");
  return 0;
}
