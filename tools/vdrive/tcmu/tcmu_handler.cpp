// The virtual drive behind a real kernel: a user-space backstore of the
// kernel's SCSI target (TCMU). The kernel hands every command its LUN
// receives (INQUIRY included; only REPORT LUNS stays with the target core)
// to this program through the command ring of a UIO device, and this program
// answers each one with the first drive of the session's scenario, writing
// the same trace as the SG fronts.
//
//   qrw_vdrive_tcmu /dev/uioN
//
// with QRW_VDRIVE_SCENARIO and QRW_VDRIVE_TRACE as for the other fronts. It
// runs until it is ended by a signal or the device goes away.
//
// The ring carries no data direction: it is the initiator's, and the ring
// only gives the buffer. The direction is the one each command has in the
// SCSI command sets (the drive's own commands and those the kernel's sr and
// sg drivers send); a command that moves no bytes has none.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "vdrive/session/session.h"
#include "vdrive/vdrive.h"

namespace {

// The ring's layout (the kernel's include/uapi/linux/target_core_user.h,
// mailbox version 2). That header is C only, so its fields are read here by
// offset, with memcpy: the entries are packed and unaligned.
constexpr std::uint16_t kMailboxVersion = 2;
constexpr std::uint16_t kCapReadLength = 1 << 1;
constexpr std::size_t kMailboxFlags = 2, kMailboxRingOffset = 4, kMailboxRingSize = 8,
                      kMailboxHead = 12, kMailboxTail = 64;
constexpr std::uint32_t kOpMask = 0x7, kOpPad = 0, kOpCommand = 1, kOpTaskManagement = 2;
constexpr std::size_t kEntryLengthOp = 0, kEntryUserFlags = 7, kEntryIovCount = 8,
                      kEntryCdbOffset = 24, kEntryIov = 48;
constexpr std::size_t kResponseStatus = 8, kResponseReadLength = 12, kResponseSense = 16,
                      kResponseSenseSize = 96;
constexpr std::uint8_t kUserFlagUnknownOp = 0x1, kUserFlagReadLength = 0x2;

template <typename T>
T Load(const std::uint8_t* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}
template <typename T>
void Store(std::uint8_t* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

struct Piece {
  std::uint64_t offset;  // from the start of the mapping
  std::uint64_t length;
};

// A request the drive holds back "at-wait" answers this much later; one held
// longer is never answered (the kernel's own time limit ends it).
constexpr auto kSlowCompletion = std::chrono::milliseconds(2000);

// Opcodes that carry data to the device.
bool SendsData(const std::uint8_t* cdb) {
  switch (cdb[0]) {
    case 0x04:  // FORMAT UNIT
    case 0x0A:  // WRITE(6)
    case 0x15:  // MODE SELECT(6)
    case 0x2A:  // WRITE(10)
    case 0x2E:  // WRITE AND VERIFY(10)
    case 0x3B:  // WRITE BUFFER
    case 0x55:  // MODE SELECT(10)
    case 0x5D:  // SEND CUE SHEET
    case 0xAA:  // WRITE(12)
    case 0xBF:  // SEND DVD STRUCTURE
      return true;
    default:
      return false;
  }
}

std::size_t CdbLength(std::uint8_t opcode) {
  switch (opcode >> 5) {
    case 0: return 6;
    case 1:
    case 2: return 10;
    case 4: return 16;
    case 5: return 12;
    default: return 10;  // vendor groups 6 and 7: ten bytes, as the drive's own
  }
}

std::atomic<bool> stopping{false};
void Stop(int) { stopping = true; }

int Fail(const std::string& what) {
  std::fprintf(stderr, "qrw_vdrive_tcmu: %s\n", what.c_str());
  return 1;
}

std::size_t MapSize(const std::string& uio) {
  const std::string name = uio.substr(uio.rfind('/') + 1);
  std::ifstream in("/sys/class/uio/" + name + "/maps/map0/size");
  std::string text;
  in >> text;
  return text.empty() ? 0 : std::strtoull(text.c_str(), nullptr, 0);
}

class Ring {
 public:
  Ring(std::uint8_t* base, vdrive::Session& session, vdrive::Drive& drive)
      : base_(base), session_(session), drive_(drive) {}

  std::uint16_t Version() const { return Load<std::uint16_t>(base_); }

  // Answers every entry from the tail to the head. Returns false when an
  // entry was left unanswered (a lost completion): the ring then stays where
  // it is, as a drive that never answers keeps the commands behind it.
  bool Serve() {
    auto* head = reinterpret_cast<std::uint32_t*>(base_ + kMailboxHead);
    auto* tailAt = reinterpret_cast<std::uint32_t*>(base_ + kMailboxTail);
    const std::uint32_t ringOffset = Load<std::uint32_t>(base_ + kMailboxRingOffset);
    const std::uint32_t ringSize = Load<std::uint32_t>(base_ + kMailboxRingSize);
    while (!stuck_) {
      std::uint32_t tail = __atomic_load_n(tailAt, __ATOMIC_RELAXED);
      if (tail == __atomic_load_n(head, __ATOMIC_ACQUIRE)) return true;
      std::uint8_t* entry = base_ + ringOffset + tail;
      const std::uint32_t lengthOp = Load<std::uint32_t>(entry + kEntryLengthOp);
      switch (lengthOp & kOpMask) {
        case kOpCommand:
          if (!Answer(entry)) {
            stuck_ = true;
            return false;
          }
          break;
        case kOpPad:
        case kOpTaskManagement:
          break;
        default:
          entry[kEntryUserFlags] |= kUserFlagUnknownOp;
          break;
      }
      tail = (tail + (lengthOp & ~kOpMask)) % ringSize;
      __atomic_store_n(tailAt, tail, __ATOMIC_RELEASE);
    }
    return false;
  }

 private:
  std::vector<Piece> Pieces(const std::uint8_t* entry) const {
    std::vector<Piece> pieces(Load<std::uint32_t>(entry + kEntryIovCount));
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const std::uint8_t* iov = entry + kEntryIov + i * 16;  // struct iovec
      pieces[i] = {Load<std::uint64_t>(iov), Load<std::uint64_t>(iov + 8)};
    }
    return pieces;
  }

  bool Answer(std::uint8_t* entry) {
    const std::uint8_t* cdb = base_ + Load<std::uint64_t>(entry + kEntryCdbOffset);
    // The kernel copies a CDB's standard length for its opcode group, and so
    // does not say it: the target core keeps only that much of any command.
    const std::size_t cdbLength = CdbLength(cdb[0]);
    const std::vector<Piece> pieces = Pieces(entry);
    std::size_t total = 0;
    for (const Piece& piece : pieces) total += piece.length;
    std::vector<std::uint8_t> data(total);
    const vdrive::Direction direction =
        total == 0 ? vdrive::Direction::None
                   : (SendsData(cdb) ? vdrive::Direction::Out : vdrive::Direction::In);
    if (direction == vdrive::Direction::Out) {
      std::size_t at = 0;
      for (const Piece& piece : pieces) {
        std::memcpy(data.data() + at, base_ + piece.offset, piece.length);
        at += piece.length;
      }
    }
    const vdrive::Answer answer =
        session_.Execute(drive_, std::span<const std::uint8_t>(cdb, cdbLength), direction, data);
    if (answer.delivery == vdrive::Delivery::AtWait) {
      std::this_thread::sleep_for(kSlowCompletion);
    } else if (answer.delivery != vdrive::Delivery::Now) {
      return false;
    }
    const std::size_t moved = std::min<std::size_t>(answer.moved, total);
    if (direction == vdrive::Direction::In) {
      std::size_t at = 0;
      for (const Piece& piece : pieces) {
        if (at >= moved) break;
        const std::size_t n = std::min<std::size_t>(piece.length, moved - at);
        std::memcpy(base_ + piece.offset, data.data() + at, n);
        at += n;
      }
    }
    // The response overlays the request in the same entry.
    std::memset(entry + kResponseStatus, 0, kResponseSense + kResponseSenseSize - kResponseStatus);
    std::uint8_t status = answer.status;
    vdrive::Sense sense = answer.sense;
    if (answer.callError) {
      // The host call never reached the drive; a target has no such thing,
      // so the initiator hears of a failure inside the target.
      status = vdrive::kStatusCheckCondition;
      sense = vdrive::Sense{0x04, 0x44, 0x00};
    }
    entry[kResponseStatus] = status;
    if (status == vdrive::kStatusCheckCondition) {
      const auto fixed = vdrive::FixedSenseData(sense);
      std::memcpy(entry + kResponseSense, fixed.data(), fixed.size());
    }
    const bool readLength = (Load<std::uint16_t>(base_ + kMailboxFlags) & kCapReadLength) != 0;
    if (direction == vdrive::Direction::In && readLength) {
      entry[kEntryUserFlags] |= kUserFlagReadLength;
      Store<std::uint32_t>(entry + kResponseReadLength, static_cast<std::uint32_t>(moved));
    }
    return true;
  }

  std::uint8_t* base_;
  vdrive::Session& session_;
  vdrive::Drive& drive_;
  bool stuck_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qrw_vdrive_tcmu /dev/uioN\n");
    return 2;
  }
  const std::string uio = argv[1];
  const std::optional<vdrive::SessionPaths> paths = vdrive::SessionPathsFromEnvironment();
  if (!paths) return Fail("QRW_VDRIVE_SCENARIO names no scenario");
  std::string error;
  std::unique_ptr<vdrive::Session> session = vdrive::Session::Open(*paths, &error);
  if (!session) return Fail(error);
  if (session->Drives().Size() == 0) return Fail("the scenario has no drive");

  const std::size_t size = MapSize(uio);
  if (size == 0) return Fail("no map size for " + uio);
  const int fd = open(uio.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return Fail(uio + ": " + std::strerror(errno));
  void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) return Fail(uio + ": mmap: " + std::strerror(errno));

  struct sigaction action {};
  action.sa_handler = Stop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  Ring ring(static_cast<std::uint8_t*>(map), *session, session->Drives().At(0));
  if (ring.Version() != kMailboxVersion)
    return Fail("mailbox version " + std::to_string(ring.Version()) + ", expected " +
                std::to_string(kMailboxVersion));
  std::printf("qrw_vdrive_tcmu: serving %s\n", uio.c_str());
  std::fflush(stdout);
  // Commands queued before this program started wait in the ring already.
  for (;;) {
    if (ring.Serve()) {
      const std::uint32_t kick = 0;
      if (write(fd, &kick, sizeof kick) != sizeof kick && errno != EINTR)
        return Fail(uio + ": write: " + std::strerror(errno));
    }
    std::uint32_t events = 0;
    const ssize_t got = read(fd, &events, sizeof events);
    if (stopping) break;
    if (got < 0 && errno == EINTR) continue;
    if (got != sizeof events) return Fail(uio + ": read: " + (got < 0 ? std::strerror(errno) : "device gone"));
  }
  munmap(map, size);
  close(fd);
  return 0;
}
