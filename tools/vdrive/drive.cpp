// The drive's command interpreter: what a QRW drive does with each command
// it receives, decoded from the drive's side of the CDB.
#include <algorithm>
#include <cstring>

#include "vdrive/bytes.h"
#include "vdrive/vdrive.h"

namespace vdrive {
namespace {

// Opcodes and vendor sub-codes as the drive knows them.
constexpr std::uint8_t kOpTestUnitReady = 0x00;
constexpr std::uint8_t kOpInquiry = 0x12;
constexpr std::uint8_t kOpStartStop = 0x1B;
constexpr std::uint8_t kOpWriteBuffer = 0x3B;
constexpr std::uint8_t kOpReadBuffer = 0x3C;
constexpr std::uint8_t kOpVendor = 0xDF;
constexpr std::uint8_t kVendorFlashId = 0x11;
constexpr std::uint8_t kVendorE2WriteNt = 0x0A;
constexpr std::uint8_t kVendorE2WriteAspi = 0x8A;
constexpr std::uint8_t kWriteModeDownloadSave = 0x05;
constexpr std::uint8_t kReadModeVendor = 0x01;
constexpr std::uint8_t kBufferImage = 0x01;
constexpr std::uint8_t kControlChunk = 0x00;
constexpr std::uint8_t kControlCritical = 0x7F;
constexpr std::uint8_t kControlBurn = 0x80;
constexpr std::uint8_t kControlBurnAll = 0xA0;

constexpr std::size_t kBufferCdbLength = 10;
constexpr std::size_t kInquiryCdbLength = 6;
constexpr std::uint32_t kFlashIdAnswerLength = 128;
constexpr std::size_t kInquiryMeaningful = 36;

// Image format marks the drive looks for in its buffer.
constexpr std::uint32_t kOldFormatMark = 0x4000;
constexpr std::uint32_t kNewFormatMark = 0x1100;

bool IsBufferCommand(std::span<const std::uint8_t> cdb, std::uint8_t mode) {
  return cdb.size() >= kBufferCdbLength && cdb[1] == mode && cdb[2] == kBufferImage;
}

Kind ClassifyWriteBuffer(std::span<const std::uint8_t> cdb) {
  if (!IsBufferCommand(cdb, kWriteModeDownloadSave)) return Kind::Other;
  switch (cdb[9]) {
    case kControlChunk:
      return Be24(cdb, 3) >= kFlashProfileOffset ? Kind::WriteProfile : Kind::WriteChunk;
    case kControlCritical:
      return Kind::EntryCritical;
    case kControlBurn:
    case kControlBurnAll:
      return Kind::Burn;
    default:
      return Kind::Other;
  }
}

Kind ClassifyReadBuffer(std::span<const std::uint8_t> cdb) {
  if (!IsBufferCommand(cdb, kReadModeVendor)) return Kind::Other;
  return Be24(cdb, 3) >= kFlashProfileOffset ? Kind::ReadProfile : Kind::ReadChunk;
}

Kind ClassifyVendor(std::span<const std::uint8_t> cdb) {
  if (cdb.size() < kBufferCdbLength) return Kind::Other;
  if (cdb[1] == kVendorFlashId) return Kind::FlashId;
  if (cdb[1] == kVendorE2WriteNt || cdb[1] == kVendorE2WriteAspi) return Kind::WriteE2;
  return Kind::Other;
}

Answer Good(std::uint32_t moved = 0) {
  Answer answer;
  answer.moved = moved;
  return answer;
}

Answer Check(const Sense& sense) {
  Answer answer;
  answer.status = kStatusCheckCondition;
  answer.sense = sense;
  return answer;
}

// The host's buffer when it reads data from the drive; empty otherwise.
std::span<std::uint8_t> InBuffer(Direction direction, std::span<std::uint8_t> data) {
  return direction == Direction::In ? data : std::span<std::uint8_t>{};
}

// A data-in command answered with data going the wrong way.
bool WrongWayIn(Direction direction, std::span<std::uint8_t> data) {
  return direction == Direction::Out && !data.empty();
}

void PutPadded(Bytes& out, std::size_t at, std::size_t width, const std::string& text) {
  for (std::size_t i = 0; i < width; ++i) {
    out[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

bool Printable(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](std::uint8_t b) { return b >= 0x20 && b <= 0x7E; });
}

template <typename Rule>
const Rule* Matching(const std::vector<Rule>& rules, Kind kind, std::uint32_t count) {
  for (const Rule& rule : rules) {
    if (rule.kind == kind && (rule.nth == 0 || rule.nth == count)) return &rule;
  }
  return nullptr;
}

std::string DefaultName(const DriveSpec& spec) {
  if (spec.ntLetter) return std::string(1, *spec.ntLetter);
  if (spec.aspi) {
    return std::to_string(spec.aspi->adapter) + ":" + std::to_string(spec.aspi->target);
  }
  return "drive";
}

}  // namespace

bool operator==(const Sense& a, const Sense& b) {
  return a.senseByte2 == b.senseByte2 && a.asc == b.asc && a.ascq == b.ascq;
}

std::array<std::uint8_t, 18> FixedSenseData(const Sense& sense) {
  std::array<std::uint8_t, 18> data{};
  data[0] = 0x70;  // current error, fixed format
  data[2] = sense.senseByte2;
  data[7] = 10;  // additional sense length
  data[12] = sense.asc;
  data[13] = sense.ascq;
  return data;
}

Kind ClassifyCommand(std::span<const std::uint8_t> cdb) {
  if (cdb.empty()) return Kind::Other;
  switch (cdb[0]) {
    case kOpInquiry:
      return cdb.size() >= kInquiryCdbLength ? Kind::Inquiry : Kind::Other;
    case kOpTestUnitReady:
      return Kind::TestUnitReady;
    case kOpStartStop:
      return cdb.size() >= 6 ? Kind::StartStopUnit : Kind::Other;
    case kOpVendor:
      return ClassifyVendor(cdb);
    case kOpWriteBuffer:
      return ClassifyWriteBuffer(cdb);
    case kOpReadBuffer:
      return ClassifyReadBuffer(cdb);
    default:
      return Kind::Other;
  }
}

Drive::Drive(DriveSpec spec, Trace* trace) : trace_(trace ? trace : &ownTrace_) {
  Reset(std::move(spec));
}

void Drive::Reset(DriveSpec spec) {
  spec_ = std::move(spec);
  if (spec_.name.empty()) spec_.name = DefaultName(spec_);
  identity_ = spec_.identity;
  medium_ = spec_.medium;
  notReadyLeft_ = spec_.becomingReadyPolls;
  dram_.assign(kDramSize, 0x00);
  written_.assign(kDramSize, 0);
  profile_.clear();
  flash_.assign(kDramSize, 0xFF);
  e2_.assign(kE2Size, 0xFF);
  critical_ = false;
  burns_ = 0;
  lastStartStop_ = 0;
  counts_.fill(0);
}

Bytes Drive::InquiryData(std::size_t length) const {
  Bytes data(std::max(length, kInquiryMeaningful), 0x00);
  data[0] = 0x05;  // CD-ROM device
  data[1] = 0x80;  // removable medium
  data[2] = 0x02;  // SCSI-2
  data[3] = 0x02;  // response data format
  data[4] = kInquiryMeaningful - 5;
  PutPadded(data, 8, 8, identity_.vendor);
  PutPadded(data, 16, 16, identity_.product);
  PutPadded(data, 32, 4, identity_.revision);
  data.resize(length);
  return data;
}

Answer Drive::Execute(std::span<const std::uint8_t> cdb, Direction direction,
                      std::span<std::uint8_t> data) {
  // Under a script the drive answers into a copy of the host's buffer, and
  // only the bytes the script lets it move reach the host.
  Bytes scripted;
  std::span<std::uint8_t> answerData = data;
  if (script_ != nullptr && direction == Direction::In) {
    scripted.assign(data.begin(), data.end());
    answerData = scripted;
  }
  const Kind kind = ClassifyCommand(cdb);
  const std::uint32_t count = ++counts_[static_cast<std::size_t>(kind)];
  Answer answer;
  if (const CallFailure* call = Matching(spec_.callFailures, kind, count)) {
    answer.callError = call->systemError;
  } else if (const CommandFailure* failure = Matching(spec_.failures, kind, count)) {
    answer.status = failure->status;
    answer.sense = failure->sense;
    answer.aspiStatus = failure->aspiStatus;
  } else {
    answer = Run(kind, cdb, direction, answerData);
  }
  if (const HeldRequest* held = Matching(spec_.holds, kind, count)) {
    answer.delivery = held->delivery;
  }
  if (const SgTransportFault* fault = Matching(spec_.sgFaults, kind, count)) {
    answer.hostStatus = fault->hostStatus;
    answer.driverStatus = fault->driverStatus;
  }
  if (script_ != nullptr) script_->Adjust(kind, cdb, direction, answerData, answer);
  // No transport moves more than the host's buffer holds, and a command
  // whose host call failed never reached the drive: nothing moved.
  answer.moved = static_cast<std::uint32_t>(std::min<std::size_t>(answer.moved, data.size()));
  if (answer.callError) answer.moved = 0;
  if (!scripted.empty()) std::copy_n(scripted.begin(), answer.moved, data.begin());
  Record(cdb, direction, data, answer);
  return answer;
}

Answer Drive::Run(Kind kind, std::span<const std::uint8_t> cdb, Direction direction,
                  std::span<std::uint8_t> data) {
  switch (kind) {
    case Kind::Inquiry:
      return Inquiry(cdb, direction, data);
    case Kind::TestUnitReady:
      return TestUnitReady();
    case Kind::StartStopUnit:
      return StartStop(cdb);
    case Kind::FlashId:
      return FlashId(direction, data);
    case Kind::WriteE2:
      return WriteE2(cdb);
    case Kind::WriteChunk:
      return WriteChunk(Be24(cdb, 3), Be24(cdb, 6), direction, data);
    case Kind::WriteProfile:
      if (Be24(cdb, 3) != kFlashProfileOffset) return Check(kInvalidFieldInCdb);
      return WriteProfile(Be24(cdb, 6), direction, data);
    case Kind::EntryCritical:
      return EnterCritical();
    case Kind::Burn:
      return BurnFlash();
    case Kind::ReadChunk:
      return ReadChunk(Be24(cdb, 3), Be24(cdb, 6), direction, data);
    case Kind::ReadProfile:
      if (Be24(cdb, 3) != kFlashProfileOffset) return Check(kInvalidFieldInCdb);
      return ReadProfile(Be24(cdb, 6), direction, data);
    case Kind::Other:
      break;
  }
  return Check(kInvalidOpcode);
}

Answer Drive::Inquiry(std::span<const std::uint8_t> cdb, Direction direction,
                      std::span<std::uint8_t> data) {
  if (WrongWayIn(direction, data)) return Check(kInvalidFieldInCdb);
  const std::span<std::uint8_t> out = InBuffer(direction, data);
  const std::size_t length = std::min<std::size_t>(cdb[4], out.size());
  const Bytes answer = InquiryData(length);
  std::copy(answer.begin(), answer.end(), out.begin());
  return Good(static_cast<std::uint32_t>(length));
}

Answer Drive::TestUnitReady() {
  if (medium_ == Medium::BecomingReady) {
    if (notReadyLeft_ > 0) {
      --notReadyLeft_;
      return Check(kBecomingReady);
    }
    medium_ = spec_.mediumWhenReady;
  }
  return medium_ == Medium::Loaded ? Good() : Check(kMediumNotPresent);
}

Answer Drive::StartStop(std::span<const std::uint8_t> cdb) {
  lastStartStop_ = cdb[4];
  return Good();
}

Answer Drive::FlashId(Direction direction, std::span<std::uint8_t> data) {
  if (WrongWayIn(direction, data)) return Check(kInvalidFieldInCdb);
  const std::span<std::uint8_t> out = InBuffer(direction, data);
  const std::size_t length = std::min<std::size_t>(kFlashIdAnswerLength, out.size());
  std::fill_n(out.begin(), length, std::uint8_t{0});
  if (length > 0) out[0] = spec_.flashMaker;
  if (length > 1) out[1] = spec_.flashDevice;
  return Good(static_cast<std::uint32_t>(length));
}

Answer Drive::WriteE2(std::span<const std::uint8_t> cdb) {
  e2_[Be16(cdb, 7)] = cdb[9];
  return Good();
}

Answer Drive::WriteChunk(std::uint32_t offset, std::uint32_t length, Direction direction,
                         std::span<std::uint8_t> data) {
  if (offset > kDramSize || length > kDramSize - offset) return Check(kInvalidFieldInCdb);
  if (length == 0) return Good();
  if (direction != Direction::Out || data.size() < length) {
    return Check(kParameterLengthError);
  }
  std::copy_n(data.begin(), length, dram_.begin() + offset);
  std::fill_n(written_.begin() + offset, length, std::uint8_t{1});
  return Good(length);
}

Answer Drive::WriteProfile(std::uint32_t length, Direction direction,
                           std::span<std::uint8_t> data) {
  if (length > kProfileCapacity) return Check(kInvalidFieldInCdb);
  if (length > 0 && (direction != Direction::Out || data.size() < length)) {
    return Check(kParameterLengthError);
  }
  profile_.assign(data.begin(), data.begin() + length);
  return Good(length);
}

Answer Drive::EnterCritical() {
  critical_ = true;
  return Good();
}

std::uint32_t Drive::DownloadedImageLength() const {
  const auto marked = [this](std::uint32_t at) {
    return dram_[at] == 0x05 && dram_[at + 1] == 0x80;
  };
  if (marked(kOldFormatMark)) return kOldImageLength;
  if (marked(kNewFormatMark)) return kNewImageLength;
  return kOldImageLength;
}

// A profile the drive can program its chip with: written for this chip and
// holding the length its header announces.
bool Drive::ProfileFitsChip() const {
  if (profile_.size() < 4) return false;
  if (profile_[0] != spec_.flashMaker || profile_[1] != spec_.flashDevice) return false;
  return 4u + Be16(profile_, 2) <= profile_.size();
}

Answer Drive::BurnFlash() {
  const std::uint32_t length = DownloadedImageLength();
  if (std::memchr(written_.data(), 0, length) != nullptr) {
    return Check(kBurnIncompleteDownload);
  }
  if (!critical_) return Check(kBurnNotCritical);
  if (length == kNewImageLength && !ProfileFitsChip()) return Check(kBurnNoProfile);

  std::copy_n(dram_.begin(), length, flash_.begin());
  const std::span<const std::uint8_t> revision(flash_.data() + kImageRevisionOffset, 4);
  if (spec_.newRevision) {
    identity_.revision = *spec_.newRevision;
  } else if (Printable(revision)) {
    identity_.revision.assign(revision.begin(), revision.end());
  }
  ++burns_;
  critical_ = false;
  profile_.clear();
  std::fill(written_.begin(), written_.end(), std::uint8_t{0});
  return Good();
}

void Drive::ApplyCorruptions(std::uint32_t offset, std::span<std::uint8_t> out) const {
  for (const ReadCorruption& corruption : spec_.corruptions) {
    if (corruption.offset >= offset && corruption.offset - offset < out.size()) {
      out[corruption.offset - offset] ^= corruption.mask;
    }
  }
}

Answer Drive::ReadChunk(std::uint32_t offset, std::uint32_t length, Direction direction,
                        std::span<std::uint8_t> data) {
  if (offset > kDramSize || length > kDramSize - offset) return Check(kInvalidFieldInCdb);
  if (WrongWayIn(direction, data)) return Check(kInvalidFieldInCdb);
  const std::span<std::uint8_t> in = InBuffer(direction, data);
  const std::span<std::uint8_t> out = in.first(std::min<std::size_t>(length, in.size()));
  std::copy_n(dram_.begin() + offset, out.size(), out.begin());
  ApplyCorruptions(offset, out);
  return Good(static_cast<std::uint32_t>(out.size()));
}

Answer Drive::ReadProfile(std::uint32_t length, Direction direction, std::span<std::uint8_t> data) {
  if (length > kProfileCapacity) return Check(kInvalidFieldInCdb);
  if (WrongWayIn(direction, data)) return Check(kInvalidFieldInCdb);
  const std::span<std::uint8_t> in = InBuffer(direction, data);
  const std::span<std::uint8_t> out = in.first(std::min<std::size_t>(length, in.size()));
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  std::copy_n(profile_.begin(), std::min(profile_.size(), out.size()), out.begin());
  if (spec_.profileMismatch && !out.empty()) out[out.size() - 1] ^= 0x01;
  ApplyCorruptions(kFlashProfileOffset, out);
  return Good(static_cast<std::uint32_t>(out.size()));
}

void Drive::Record(std::span<const std::uint8_t> cdb, Direction direction,
                   std::span<const std::uint8_t> data, const Answer& answer) {
  if (trace_ == nullptr) return;
  TraceEntry entry;
  entry.drive = spec_.name;
  entry.cdb.assign(cdb.begin(), cdb.end());
  entry.direction = direction;
  entry.length = static_cast<std::uint32_t>(data.size());
  entry.digest = Digest(data.first(std::min<std::size_t>(answer.moved, data.size())));
  entry.answer = answer;
  trace_->Add(std::move(entry));
}

}  // namespace vdrive
