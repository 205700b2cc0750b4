#include "terminal/rehearsal.h"

#include <algorithm>
#include <cstring>

#include "drive/requests.h"
#include "flash/revision_check.h"
#include "text/format.h"

namespace terminal {

namespace {

constexpr std::uint8_t kControlChunk = 0x00;
// Buffer 1 holds the image below this offset, the flash profile at it.
constexpr std::uint32_t kProfileOffset = 0x80000;
// INQUIRY bytes 32 to 35: the revision.
constexpr std::size_t kRevisionAt = 32;
// CHECK CONDITION, NOT READY, MEDIUM NOT PRESENT: the empty tray the wait
// before the download looks for.
constexpr std::uint8_t kCheckCondition = 0x02;
constexpr std::uint8_t kNotReady = 0x02;
constexpr std::uint8_t kMediumNotPresent = 0x3A;

std::uint32_t Be24(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}

// FNV-1a, 32 bits: the digest the virtual drive's traces give the bytes
// moved.
std::uint32_t Digest(const std::uint8_t* data, std::uint32_t length) {
  std::uint32_t hash = 0x811C9DC5u;
  for (std::uint32_t i = 0; i < length; ++i) {
    hash ^= data[i];
    hash *= 0x01000193u;
  }
  return hash;
}

const char* DirectionName(scsi::Direction direction, std::uint32_t length) {
  if (length == 0) return "none";
  return direction == scsi::Direction::Out ? "out" : direction == scsi::Direction::In ? "in" : "none";
}

}  // namespace

void Rehearsal::Begin(const std::string& device) {
  rehearsing_ = true;
  device_ = device;
  lines_.clear();
  profile_.clear();
}

std::optional<platform::Handle> Rehearsal::OpenDriveDevice(char letter) {
  if (rehearsing_) return platform::Handle{};
  return inner_.OpenDriveDevice(letter);
}

void Rehearsal::CloseDevice(platform::Handle handle) {
  if (!rehearsing_) inner_.CloseDevice(handle);
}

scsi::Opening Rehearsal::OpenForFlash(char letter) {
  if (rehearsing_) return scsi::Opening{};
  return inner_.OpenForFlash(letter);
}

void Rehearsal::CloseDeviceHandle() {
  if (!rehearsing_) inner_.CloseDeviceHandle();
}

scsi::ScsiResult Rehearsal::NTSendRequest(const scsi::ScsiRequest& request) {
  if (rehearsing_) return Answer(request);
  return Sent(request, inner_.NTSendRequest(request));
}

scsi::ScsiResult Rehearsal::NTSendRequest(const scsi::ScsiRequest& request,
                                          platform::Handle handle) {
  if (rehearsing_) return Answer(request);
  return Sent(request, inner_.NTSendRequest(request, handle));
}

// The drive check's INQUIRY answer is kept: the drive answers the INQUIRY
// after the flash with the same bytes but for its new revision.
scsi::ScsiResult Rehearsal::Sent(const scsi::ScsiRequest& request, const scsi::ScsiResult& result) {
  if (request.cdb[0] == drive::kOpInquiry && scsi::IsGood(result) && request.data)
    inquiry_.assign(request.data, request.data + request.transferLength);
  return result;
}

// What the drive would fill in, and how many bytes it would move.
std::uint32_t Rehearsal::Moved(const scsi::ScsiRequest& request) {
  const std::uint32_t length = request.transferLength;
  std::uint8_t* data = request.data;
  if (length == 0 || data == nullptr) return 0;
  if (request.direction == scsi::Direction::Out) {
    const std::uint32_t offset = Be24(&request.cdb[3]);
    if (request.cdb[0] == drive::kOpWriteBuffer && request.cdb[9] == kControlChunk && offset == kProfileOffset)
      profile_.assign(data, data + length);
    return length;
  }
  std::memset(data, 0, length);
  switch (request.cdb[0]) {
    case drive::kOpInquiry: {
      std::memcpy(data, inquiry_.data(), std::min<std::size_t>(length, inquiry_.size()));
      const std::string next = flash::NewRevision(package_);
      if (length >= kRevisionAt + next.size()) std::memcpy(data + kRevisionAt, next.data(), next.size());
      break;
    }
    case drive::kOpVendor: {
      // The chip of the profile table's first entry: which chip the drive
      // holds would take the drive's own answer, and a dry run asks nothing.
      std::memcpy(data, package_.ProfileTable(), std::min<std::uint32_t>(length, 2));
      break;
    }
    case drive::kOpReadBuffer: {
      const std::uint32_t offset = Be24(&request.cdb[3]);
      if (offset >= kProfileOffset) {
        std::memcpy(data, profile_.data(), std::min<std::size_t>(length, profile_.size()));
      } else {
        std::memcpy(data, package_.ImageArea() + offset, length);
      }
      break;
    }
    default: break;
  }
  return length;
}

scsi::ScsiResult Rehearsal::Answer(const scsi::ScsiRequest& request) {
  const std::uint32_t moved = Moved(request);
  std::string line = device_;
  for (std::uint8_t i = 0; i < request.cdbLength; ++i) line += text::Format(" %02X", unsigned{request.cdb[i]});
  line += text::Format(" / %s %u ", DirectionName(request.direction, request.transferLength),
                       static_cast<unsigned>(request.transferLength));
  line += moved == 0 ? std::string("-") : text::Format("%08X", static_cast<unsigned>(Digest(request.data, moved)));
  line += text::Format(" limit %u s", static_cast<unsigned>(request.timeout.count()));
  lines_.push_back(line);

  scsi::ScsiResult result;
  result.returnedAdapter = request.adapter;
  result.returnedTarget = request.target;
  result.returnedLun = request.lun;
  if (request.cdb[0] == drive::kOpTestUnitReady) {
    result.status = kCheckCondition;
    result.senseByte2 = kNotReady;
    result.asc = kMediumNotPresent;
  }
  return result;
}

}  // namespace terminal
