// The command ring of the kernel's user-space SCSI backstore (TCMU), served
// by the virtual drive: the mailbox and ring a UIO device maps, read by the
// offsets of the kernel's include/uapi/linux/target_core_user.h (mailbox
// version 2). That header is C only, so its fields are read here by offset,
// with memcpy: the entries are packed and unaligned.
//
// The ring carries no data direction: it is the initiator's, and the ring
// only gives the buffer. The direction is the one each command has in the
// SCSI command sets (the drive's own commands and those the kernel's sr and
// sg drivers send); a command that moves no bytes has none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "vdrive/session/session.h"
#include "vdrive/vdrive.h"

namespace vdrive::tcmu {

inline constexpr std::uint16_t kMailboxVersion = 2;
inline constexpr std::uint16_t kCapReadLength = 1 << 1;
inline constexpr std::size_t kMailboxFlags = 2, kMailboxRingOffset = 4, kMailboxRingSize = 8,
                             kMailboxHead = 12, kMailboxTail = 64;
inline constexpr std::uint32_t kOpMask = 0x7, kOpPad = 0, kOpCommand = 1,
                               kOpTaskManagement = 2;
inline constexpr std::size_t kEntryLengthOp = 0, kEntryUserFlags = 7, kEntryIovCount = 8,
                             kEntryCdbOffset = 24, kEntryIov = 48;
inline constexpr std::size_t kResponseStatus = 8, kResponseReadLength = 12,
                             kResponseSense = 16, kResponseSenseSize = 96;
inline constexpr std::uint8_t kUserFlagUnknownOp = 0x1, kUserFlagReadLength = 0x2;

// A field of the mapping, unaligned, in the machine's own byte order (the
// kernel's).
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

class Ring {
 public:
  // base: the start of the device's mapping (the mailbox).
  Ring(std::uint8_t* base, Session& session, Drive& drive)
      : base_(base), session_(session), drive_(drive) {}

  std::uint16_t Version() const;

  // Answers the entries from the tail towards the head. It stops at an entry
  // the drive never answers (a lost completion) and stays there for good, as
  // a drive that never answers keeps the commands behind it; and at a stop
  // signal. Returns whether the tail moved: completions to tell the kernel
  // of, those before a held entry included.
  bool Serve();

 private:
  bool Answer(std::uint8_t* entry);

  std::uint8_t* base_;
  Session& session_;
  Drive& drive_;
  bool stuck_ = false;
};

// Stops ServeUntilStopped on SIGTERM and SIGINT. The two signals are
// blocked from here on and let through only while the backstore waits, so
// that one arriving while it serves ends the next wait at once.
void CatchStopSignals();

// Serves the ring of the UIO device open on fd (its reads wait for the
// kernel's news of new commands, its writes tell the kernel of completions)
// until a stop signal; every pass that wrote completions is told. Returns
// false, saying why in *error, when the device fails or goes away.
bool ServeUntilStopped(int fd, Ring& ring, std::string* error);

}  // namespace vdrive::tcmu
