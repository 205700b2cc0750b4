#include "vdrive/tcmu/tcmu_ring.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <vector>

namespace vdrive::tcmu {
namespace {

struct Piece {
  std::uint64_t offset;  // from the start of the mapping
  std::uint64_t length;
};

// A request the drive holds back "at-wait" answers this much later; one held
// longer is never answered (the kernel's own time limit ends it).
constexpr auto kSlowCompletion = std::chrono::milliseconds(2000);

// The data pieces of a command entry.
std::vector<Piece> Pieces(const std::uint8_t* entry) {
  std::vector<Piece> pieces(Load<std::uint32_t>(entry + kEntryIovCount));
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::uint8_t* iov = entry + kEntryIov + i * 16;  // struct iovec
    pieces[i] = {Load<std::uint64_t>(iov), Load<std::uint64_t>(iov + 8)};
  }
  return pieces;
}

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

// The signal mask while waiting: the one before CatchStopSignals, which
// lets the stop signals through.
sigset_t waitMask;

// Waits up to `limit` (for ever: none) for news on fd, or only for the time
// with fd < 0. Returns poll's count, or -1 with errno.
int Wait(int fd, const timespec* limit) {
  pollfd news{fd, POLLIN, 0};
  return ppoll(fd < 0 ? nullptr : &news, fd < 0 ? 0 : 1, limit, &waitMask);
}

// Sleeps for `duration` unless a stop signal comes first. Returns false on
// the stop.
bool Pause(std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  for (;;) {
    if (stopping) return false;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    const timespec limit{static_cast<time_t>(left.count() / 1000000000),
                         static_cast<long>(left.count() % 1000000000)};
    Wait(-1, &limit);
  }
}

}  // namespace

std::uint16_t Ring::Version() const { return Load<std::uint16_t>(base_); }

bool Ring::Serve() {
  bool moved = false;
  auto* head = reinterpret_cast<std::uint32_t*>(base_ + kMailboxHead);
  auto* tailAt = reinterpret_cast<std::uint32_t*>(base_ + kMailboxTail);
  const std::uint32_t ringOffset = Load<std::uint32_t>(base_ + kMailboxRingOffset);
  const std::uint32_t ringSize = Load<std::uint32_t>(base_ + kMailboxRingSize);
  while (!stuck_ && !stopping) {
    std::uint32_t tail = __atomic_load_n(tailAt, __ATOMIC_RELAXED);
    if (tail == __atomic_load_n(head, __ATOMIC_ACQUIRE)) break;
    std::uint8_t* entry = base_ + ringOffset + tail;
    const std::uint32_t lengthOp = Load<std::uint32_t>(entry + kEntryLengthOp);
    switch (lengthOp & kOpMask) {
      case kOpCommand:
        if (!Answer(entry)) return moved;
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
    moved = true;
  }
  return moved;
}

bool Ring::Answer(std::uint8_t* entry) {
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
    // A stop meanwhile leaves it unanswered: the backstore is going away.
    if (!Pause(kSlowCompletion)) return false;
  } else if (answer.delivery != vdrive::Delivery::Now) {
    stuck_ = true;
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

void CatchStopSignals() {
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGINT);
  sigprocmask(SIG_BLOCK, &stops, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  struct sigaction action {};
  action.sa_handler = Stop;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

bool ServeUntilStopped(int fd, Ring& ring, std::string* error) {
  // Commands queued before this program started wait in the ring already.
  for (;;) {
    if (ring.Serve()) {
      const std::uint32_t kick = 0;
      if (write(fd, &kick, sizeof kick) != sizeof kick) {
        *error = std::string("write: ") + std::strerror(errno);
        return false;
      }
    }
    if (stopping) return true;
    if (Wait(fd, nullptr) < 0) {
      if (errno == EINTR) continue;
      *error = std::string("poll: ") + std::strerror(errno);
      return false;
    }
    std::uint32_t events = 0;
    const ssize_t got = read(fd, &events, sizeof events);
    if (got != sizeof events) {
      *error = std::string("read: ") + (got < 0 ? std::strerror(errno) : "device gone");
      return false;
    }
  }
}

}  // namespace vdrive::tcmu
