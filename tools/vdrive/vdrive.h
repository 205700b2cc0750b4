// The virtual QRW drive: an emulated drive seen from its own side of the
// wire. It answers the commands a flash program sends, keeps the state a real
// drive keeps (tray, buffer, profile, critical state, flash), injects the
// faults a scenario asks for and traces every command it receives.
//
// Plain C++20 standard library only: the same sources build natively, as
// i686 mingw (the WNASPI32.DLL front) and with -m32 (the SG device shim).
// Nothing here knows a host request record; the fronts decode those.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vdrive {

using Bytes = std::vector<std::uint8_t>;

// Environment variables through which the Wine fronts find their scenario
// file and the file they append the trace to.
inline constexpr const char* kScenarioEnvironment = "QRW_VDRIVE_SCENARIO";
inline constexpr const char* kTraceEnvironment = "QRW_VDRIVE_TRACE";

// The drive's memory map for buffer 1.
inline constexpr std::uint32_t kDramSize = 0x50000;       // image buffer
inline constexpr std::uint32_t kFlashProfileOffset = 0x80000;  // profile window
inline constexpr std::uint32_t kProfileCapacity = 1024;
inline constexpr std::uint32_t kOldImageLength = 0x40000;  // 05 80 at 0x4000
inline constexpr std::uint32_t kNewImageLength = 0x50000;  // 05 80 at 0x1100
inline constexpr std::uint32_t kE2Size = 0x10000;

// SCSI status bytes the drive returns.
inline constexpr std::uint8_t kStatusGood = 0x00;
inline constexpr std::uint8_t kStatusCheckCondition = 0x02;

enum class Direction : std::uint8_t { None, In, Out };

// The drive's own classification of a command, used to aim faults and to
// count commands.
enum class Kind : std::uint8_t {
  Inquiry,        // 12
  TestUnitReady,  // 00
  StartStopUnit,  // 1B
  FlashId,        // DF 11
  WriteE2,        // DF 0A / DF 8A
  WriteChunk,     // 3B 05 01, control 00, offset below the profile window
  WriteProfile,   // 3B 05 01, control 00, offset 0x80000
  EntryCritical,  // 3B 05 01, control 7F
  Burn,           // 3B 05 01, control 80 or A0
  ReadChunk,      // 3C 01 01, offset below the profile window
  ReadProfile,    // 3C 01 01, offset 0x80000
  Other,          // anything else: ILLEGAL REQUEST
};
inline constexpr std::size_t kKindCount = 12;

// Scenario names of the kinds ("inquiry", "tur", "start-stop", "flash-id",
// "write-e2", "write-chunk", "write-profile", "critical", "burn",
// "read-chunk", "read-profile", "other").
std::string_view KindName(Kind kind);
std::optional<Kind> KindFromName(std::string_view name);
Kind ClassifyCommand(std::span<const std::uint8_t> cdb);

// How the completion of a request reaches the host (ASPI fronts; for the
// synchronous NT call AtWait is a slow call and the other two a call the
// driver ends on its time limit).
enum class Delivery : std::uint8_t {
  Now,        // completed inside the send call
  AtWait,     // still pending after the send, completed during the wait
  AfterWait,  // the wait times out; completes at the library's next call
              // unless it was aborted first
  Never,      // never completes; only an abort ends it
};

// The sense values as the host reads them: sense byte 2 whole, 12 and 13.
struct Sense {
  std::uint8_t senseByte2 = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
};
bool operator==(const Sense&, const Sense&);

// Sense values the drive uses.
inline constexpr Sense kNoSense{};
inline constexpr Sense kMediumNotPresent{0x02, 0x3A, 0x00};
inline constexpr Sense kBecomingReady{0x02, 0x04, 0x01};
inline constexpr Sense kInvalidOpcode{0x05, 0x20, 0x00};
inline constexpr Sense kInvalidFieldInCdb{0x05, 0x24, 0x00};
inline constexpr Sense kParameterLengthError{0x05, 0x1A, 0x00};
// Burn refusals (vendor qualifiers of COMMAND SEQUENCE ERROR).
inline constexpr Sense kBurnIncompleteDownload{0x05, 0x2C, 0x80};
inline constexpr Sense kBurnNotCritical{0x05, 0x2C, 0x81};
inline constexpr Sense kBurnNoProfile{0x05, 0x2C, 0x82};

// 18-byte fixed-format sense data carrying the three values.
std::array<std::uint8_t, 18> FixedSenseData(const Sense& sense);

// The drive's answer to one command.
struct Answer {
  std::uint8_t status = kStatusGood;
  Sense sense;
  std::uint32_t moved = 0;  // bytes taken (out) or returned (in)
  Delivery delivery = Delivery::Now;
  // ASPI request status the ASPI fronts report instead of the one derived
  // from the SCSI status (SS_COMP for good, SS_ERR otherwise).
  std::optional<std::uint8_t> aspiStatus;
  // Linux SG_IO: the sg driver's host_status and driver_status the SG front
  // reports with the answer (a transport that gave up on the command).
  std::optional<std::uint8_t> hostStatus;
  std::optional<std::uint8_t> driverStatus;
  // The host call carrying the command fails with this system error code;
  // the command never reached the drive and changed nothing.
  std::optional<std::uint32_t> callError;
};

// ---- scenario: what one session's drives are and how they misbehave -----

enum class Medium : std::uint8_t { None, Loaded, BecomingReady };

struct Identity {
  std::string vendor = "QUARVEL";      // INQUIRY bytes 8..15, blank padded
  std::string product = "QRW-20410C";  // 16..31
  std::string revision = "1.00";       // 32..35
};

// Fail the nth command of a kind (1-based; 0: every one of that kind).
struct CommandFailure {
  Kind kind = Kind::Other;
  std::uint32_t nth = 1;
  std::uint8_t status = kStatusCheckCondition;
  Sense sense;
  std::optional<std::uint8_t> aspiStatus;
};

// Linux SG_IO: the nth command of a kind is carried out, but the sg driver
// reports these host_status and driver_status with it (a transport that
// gave up on the command). Only the SG fronts show them.
struct SgTransportFault {
  Kind kind = Kind::Other;
  std::uint32_t nth = 1;
  std::uint8_t hostStatus = 0;
  std::uint8_t driverStatus = 0;
};

// XOR one byte of what READ BUFFER returns, at an absolute buffer offset
// (0x80000 and up: the profile window), on every read that covers it.
struct ReadCorruption {
  std::uint32_t offset = 0;
  std::uint8_t mask = 0xFF;
};

// Hold the nth request of a kind (1-based; 0: every one) with a delivery
// other than Now.
struct HeldRequest {
  Kind kind = Kind::Other;
  std::uint32_t nth = 1;
  Delivery delivery = Delivery::Never;
};

// The host call of the nth command of a kind fails outright (NT:
// DeviceIoControl returns FALSE with this error).
struct CallFailure {
  Kind kind = Kind::Other;
  std::uint32_t nth = 1;
  std::uint32_t systemError = 31;
};

struct DriveSpec {
  std::string name;              // label in the trace; defaults to the letter or "a:t"
  std::optional<char> ntLetter;  // reachable as \\.\<letter>:
  struct Address {
    std::uint8_t adapter = 0;
    std::uint8_t target = 0;
  };
  std::optional<Address> aspi;  // reachable through ASPI
  // What an NT driver writes back into PathId, TargetId, Lun.
  std::uint8_t ntPath = 0;
  std::uint8_t ntTarget = 0;
  std::uint8_t ntLun = 0;

  Identity identity;
  Medium medium = Medium::None;
  std::uint32_t becomingReadyPolls = 0;   // Medium::BecomingReady
  Medium mediumWhenReady = Medium::None;  // after those polls
  std::uint8_t flashMaker = 0xBF;
  std::uint8_t flashDevice = 0xB4;
  // Revision the drive reports after a successful burn. Without it, the
  // four bytes at kImageRevisionOffset of the burnt image when they are
  // printable ASCII, otherwise the revision stays.
  std::optional<std::string> newRevision;

  std::vector<CommandFailure> failures;
  std::vector<ReadCorruption> corruptions;
  std::vector<HeldRequest> holds;
  std::vector<CallFailure> callFailures;
  std::vector<SgTransportFault> sgFaults;
  bool profileMismatch = false;             // profile reads back different
  std::optional<std::uint32_t> openError;   // the device cannot be opened
  std::optional<std::uint32_t> probeError;  // IOCTL_SCSI_GET_INQUIRY_DATA
};

inline constexpr std::uint32_t kImageRevisionOffset = 0x20;

// The ASPI library as a whole (fronts that serve WNASPI32.DLL).
struct AspiSpec {
  bool loadFails = false;
  bool missingSupportInfo = false;  // GetASPI32SupportInfo not exported
  bool missingSendCommand = false;  // SendASPI32Command not exported
  // GetASPI32SupportInfo's answer; without it 0x0100 | adapter count
  // (SS_COMP and one more than the highest adapter of any drive), or
  // 0xE800 (SS_NO_ADAPTERS) when no drive has an ASPI address.
  std::optional<std::uint32_t> supportInfo;
};

struct Scenario {
  std::vector<DriveSpec> drives;
  AspiSpec aspi;
};

struct ScenarioResult {
  std::optional<Scenario> scenario;
  std::string error;  // "line N: ..." when the text is refused
};
ScenarioResult ParseScenario(std::string_view text);
ScenarioResult LoadScenarioFile(const std::string& path);

// ---- trace -----------------------------------------------------------------

// FNV-1a, 32 bits: the digest of the data a command moved.
std::uint32_t Digest(std::span<const std::uint8_t> data);

struct TraceEntry {
  std::string drive;
  Bytes cdb;
  Direction direction = Direction::None;
  std::uint32_t length = 0;  // transfer length the host offered
  std::uint32_t digest = 0;  // of the bytes moved
  Answer answer;
};

// One line per command:
//   <drive> <CDB hex bytes> / <none|in|out> <length> <digest|-> -> <status>
//   <sense2> <asc> <ascq> [held-at-wait|held-after-wait|held] [call-error N]
class Trace {
 public:
  void Add(TraceEntry entry);
  const std::vector<TraceEntry>& Entries() const { return entries_; }
  std::string Text() const;  // every line, each ending in "\n"
  void Clear() { entries_.clear(); }
  // Called with each new line (without "\n"), e.g. to append it to a file.
  void SetSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

  static std::string Line(const TraceEntry& entry);

 private:
  std::vector<TraceEntry> entries_;
  std::function<void(const std::string&)> sink_;
};

// ---- the drive ---------------------------------------------------------------

// Takes over the drive's answers: after the drive has run a command, the
// script may change anything of the answer (status, sense, bytes moved,
// delivery, call error, ASPI status) and the bytes it returns to the host.
// It stands for a drive that misbehaves in ways no scenario names.
class AnswerScript {
 public:
  virtual ~AnswerScript() = default;
  // For direction In, data is a copy of the host's buffer holding the
  // drive's own answer, of which the first answer.moved bytes reach the
  // host; otherwise it is the data the host sent.
  virtual void Adjust(Kind kind, std::span<const std::uint8_t> cdb, Direction direction,
                      std::span<std::uint8_t> data, Answer& answer) = 0;
};

class Drive {
 public:
  explicit Drive(DriveSpec spec, Trace* trace = nullptr);
  // A new drive as the DriveSpec describes it, in this one's memory (for a host run
  // that starts thousands of sessions). The trace and script stay attached.
  void Reset(DriveSpec spec);

  // One command as received: the CDB bytes the host sent (its CDB length),
  // the direction and the host's data buffer (its transfer length). For
  // direction In the answer's bytes are written into data.
  Answer Execute(std::span<const std::uint8_t> cdb, Direction direction,
                 std::span<std::uint8_t> data);

  const DriveSpec& Spec() const { return spec_; }
  const std::string& Name() const { return spec_.name; }
  // Null: the drive records nothing (a host run that needs no trace).
  void AttachTrace(Trace* trace) { trace_ = trace; }
  // Null gives the drive its own answers back.
  void SetScript(AnswerScript* script) { script_ = script; }
  Trace& OwnTrace() { return ownTrace_; }

  // State, for tests.
  Medium MediumNow() const { return medium_; }
  const std::string& Revision() const { return identity_.revision; }
  bool Critical() const { return critical_; }
  const Bytes& Dram() const { return dram_; }
  const Bytes& Flash() const { return flash_; }
  const Bytes& Profile() const { return profile_; }
  std::uint8_t E2(std::uint16_t address) const { return e2_[address]; }
  std::uint32_t Burns() const { return burns_; }
  std::uint32_t Count(Kind kind) const { return counts_[static_cast<std::size_t>(kind)]; }
  std::uint8_t LastStartStop() const { return lastStartStop_; }

  // The standard INQUIRY data of the drive's present identity, length
  // bytes (the first 36 meaningful, the rest zero).
  Bytes InquiryData(std::size_t length) const;

 private:
  Answer Run(Kind kind, std::span<const std::uint8_t> cdb, Direction direction,
             std::span<std::uint8_t> data);
  Answer Inquiry(std::span<const std::uint8_t> cdb, Direction direction,
                 std::span<std::uint8_t> data);
  Answer TestUnitReady();
  Answer StartStop(std::span<const std::uint8_t> cdb);
  Answer FlashId(Direction direction, std::span<std::uint8_t> data);
  Answer WriteE2(std::span<const std::uint8_t> cdb);
  Answer WriteChunk(std::uint32_t offset, std::uint32_t length, Direction direction,
                    std::span<std::uint8_t> data);
  Answer WriteProfile(std::uint32_t length, Direction direction, std::span<std::uint8_t> data);
  Answer EnterCritical();
  Answer BurnFlash();
  Answer ReadChunk(std::uint32_t offset, std::uint32_t length, Direction direction,
                   std::span<std::uint8_t> data);
  Answer ReadProfile(std::uint32_t length, Direction direction, std::span<std::uint8_t> data);
  std::uint32_t DownloadedImageLength() const;
  bool ProfileFitsChip() const;
  void ApplyCorruptions(std::uint32_t offset, std::span<std::uint8_t> out) const;
  void Record(std::span<const std::uint8_t> cdb, Direction direction,
              std::span<const std::uint8_t> data, const Answer& answer);

  DriveSpec spec_;
  Trace ownTrace_;
  Trace* trace_;
  AnswerScript* script_ = nullptr;
  Identity identity_;
  Medium medium_ = Medium::None;
  std::uint32_t notReadyLeft_ = 0;
  Bytes dram_;
  Bytes written_;  // 1 for each buffer byte downloaded since the last burn
  Bytes profile_;
  Bytes flash_;
  Bytes e2_;
  bool critical_ = false;
  std::uint32_t burns_ = 0;
  std::uint8_t lastStartStop_ = 0;
  std::array<std::uint32_t, kKindCount> counts_{};
};

// ---- the bus: every drive of a scenario, by NT letter and ASPI address ---

class Bus {
 public:
  explicit Bus(const Scenario& scenario);

  Drive* ByLetter(char letter);  // case-insensitive; null when absent
  Drive* ByAddress(std::uint8_t adapter, std::uint8_t target);
  std::size_t Size() const { return drives_.size(); }
  Drive& At(std::size_t index) { return *drives_[index]; }
  const AspiSpec& Aspi() const { return aspi_; }
  std::uint8_t AdapterCount() const;
  std::uint32_t SupportInfo() const;
  Trace& SessionTrace() { return trace_; }

 private:
  Trace trace_;
  std::vector<std::unique_ptr<Drive>> drives_;
  AspiSpec aspi_;
};

}  // namespace vdrive
