#include "flash/flash_procedure.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "drive/report.h"
#include "flash/flash_texts.h"
#include "flash/restart_offer.h"
#include "flash/revision_check.h"

namespace flash {

using drive::DriveCommands;
using drive::DriveEntry;

// The two variants run the same phases in the same order; they differ in
// their command methods, a few texts and the handling of the bar around the
// final flash command.
struct Variant {
  bool (DriveCommands::*StartStopUnit)(DriveEntry&, std::uint8_t);
  bool (DriveCommands::*XCmd)(DriveEntry&, std::uint8_t);
  bool (DriveCommands::*SetupFlashProfile)(DriveEntry&);
  bool (DriveCommands::*WriteBuffer)(DriveEntry&, std::uint8_t*, std::uint8_t);
  bool (DriveCommands::*EntryCritical)(DriveEntry&);
  bool (DriveCommands::*VerifyProfile)(DriveEntry&);
  bool (DriveCommands::*ReadBuffer)(DriveEntry&, std::uint8_t*);
  bool (DriveCommands::*RefreshInquiry)(DriveEntry&);

  const char* readBackCaption;
  const char* downloadFail;
  const char* criticalFail;
  const char* readFail;
  const char* verifySuffix;
  bool verifyMessageFirst;
  // NT: the sequence itself puts the bar at 197 before the final flash
  // command and steps it once more after "Flash Completed."; the 9x
  // WriteBuffer moves the bar to 198 by itself.
  bool sequenceStepsFinalBar;
  bool (*offerRestart)(platform::Dialogs&, platform::Restart&, platform::Cursor&);
  // 9x keeps "Flash Completed." when the restart is declined.
  bool clearCaptionAfterNo;
  bool defaultCursorTwice;
};

namespace {

constexpr Variant kNtVariant{
    .StartStopUnit = &DriveCommands::NTStartStopUnit,
    .XCmd = &DriveCommands::NTXCmd,
    .SetupFlashProfile = &DriveCommands::NTSetupFlashProfile,
    .WriteBuffer = &DriveCommands::NTWriteBuffer,
    .EntryCritical = &DriveCommands::NTEntryCritical,
    .VerifyProfile = &DriveCommands::NTVerifyProfile,
    .ReadBuffer = &DriveCommands::NTReadBuffer,
    .RefreshInquiry = &DriveCommands::NTGetInquiry,
    .readBackCaption = kCaptionReadBackNt,
    .downloadFail = kSuffixFail,
    .criticalFail = kSuffixFailBlank,
    .readFail = kSuffixReadFail,
    .verifySuffix = kSuffixVerifyNt,
    .verifyMessageFirst = true,
    .sequenceStepsFinalBar = true,
    .offerRestart = &OfferRestartNt,
    .clearCaptionAfterNo = true,
    .defaultCursorTwice = false,
};

constexpr Variant k9xVariant{
    .StartStopUnit = &DriveCommands::StartStopUnit,
    .XCmd = &DriveCommands::XCmd,
    .SetupFlashProfile = &DriveCommands::SetupFlashProfile,
    .WriteBuffer = &DriveCommands::WriteBuffer,
    .EntryCritical = &DriveCommands::EntryCritical,
    .VerifyProfile = &DriveCommands::W9xVerifyProfile,
    .ReadBuffer = &DriveCommands::ReadBuffer,
    .RefreshInquiry = &DriveCommands::CheckInquiry,
    .readBackCaption = kCaptionReadBack9x,
    .downloadFail = kSuffixFailBlank,
    .criticalFail = kSuffixFailBlank,
    .readFail = kSuffixReadFailBlank,
    .verifySuffix = kSuffixVerify9x,
    .verifyMessageFirst = false,
    .sequenceStepsFinalBar = false,
    .offerRestart = &OfferRestart9x,
    .clearCaptionAfterNo = false,
    .defaultCursorTwice = true,
};

constexpr std::uint8_t kLoadAndStart = 0x03;
constexpr std::uint8_t kStop = 0x00;
constexpr std::uint8_t kNoDiscCheck = 0;
constexpr std::uint8_t kImageChunk = 0x00;
constexpr std::chrono::milliseconds kPollPause{30};
constexpr std::chrono::milliseconds kSettlePause{200};
// The bar's range while the drive burns its flash.
constexpr std::int32_t kFinalBarMax = 200;
constexpr std::int32_t kFinalBarBack = 4;

// Marks a press as running for as long as the scope lasts.
class PressScope {
 public:
  explicit PressScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~PressScope() { flag_ = false; }
  PressScope(const PressScope&) = delete;
  PressScope& operator=(const PressScope&) = delete;

 private:
  bool& flag_;
};

// The restart offer's cursor steps go to the front like every other one.
class ObserverCursor final : public platform::Cursor {
 public:
  explicit ObserverCursor(FlashObserver& observer) : observer_(observer) {}
  void Hourglass() override { observer_.Busy(true); }
  void Default() override { observer_.Busy(false); }

 private:
  FlashObserver& observer_;
};

}  // namespace

void FlashProcedure::FlashModeClick(const std::optional<ChosenDrive>& chosen) {
  if (flashing_) return;
  PressScope press(flashing_);
  BeginPress();
  w_.commands.ProfileMatched = false;
  w_.commands.SavedProfile.length = 0;

  const DriveEntry* entry = chosen ? EntryAt(chosen->slot) : nullptr;
  if (entry == nullptr || !ConfirmUpdate(*entry)) return;
  if (w_.nt != nullptr) {
    RunNt(*chosen);
  } else {
    Run9x(*chosen);
  }
}

void FlashProcedure::BeginPress() {
  w_.dialogs.Forget();
  critical_ = false;
  inCritical_ = false;
}

// Refuses a drive already at or above the new revision; otherwise asks.
bool FlashProcedure::ConfirmUpdate(const DriveEntry& entry) {
  const RevisionDecision decision = DecideRevision(w_.package, entry.Text());
  if (decision.refused) {
    const std::string refusal = RefusalText(decision.current);
    w_.dialogs.Ask(platform::DialogKind::Warning, refusal, platform::DialogButtons::Ok);
    Finish(Outcome::Refused, refusal);
    return false;
  }
  const std::string confirmation = ConfirmationText(decision.current, decision.next);
  FlashAll = package::IsFlashAll(w_.package);
  if (w_.dialogs.Ask(decision.confirmKind, confirmation, platform::DialogButtons::YesNo) ==
      platform::Answer::Yes)
    return true;
  Finish(Outcome::Declined);
  return false;
}

void FlashProcedure::NTFlashButton(const std::optional<ChosenDrive>& chosen) {
  if (flashing_ || w_.nt == nullptr || !chosen) return;
  PressScope press(flashing_);
  BeginPress();
  RunNt(*chosen);
}

void FlashProcedure::Flash9x(const std::optional<ChosenDrive>& chosen) {
  if (flashing_ || w_.nt != nullptr || !chosen) return;
  PressScope press(flashing_);
  BeginPress();
  Run9x(*chosen);
}

// On NT the table is filled in list order, so the list position is the slot.
void FlashProcedure::RunNt(const ChosenDrive& chosen) {
  DriveEntry* entry = EntryAt(chosen.position);
  if (entry == nullptr) return;
  w_.observer.PhaseChanged(Phase::CommandsBegun);
  const scsi::Opening opening = w_.nt->OpenForFlash(entry->DriveLetter);
  if (!opening.Opened()) {
    w_.dialogs.Message(drive::OpeningText(opening));
    Finish(Outcome::Failed);
    return;
  }
  RunSequence(kNtVariant, *entry, chosen);
}

void FlashProcedure::Run9x(const ChosenDrive& chosen) {
  DriveEntry* entry = EntryAt(chosen.slot);
  if (entry == nullptr) return;
  w_.observer.PhaseChanged(Phase::CommandsBegun);
  RunSequence(k9xVariant, *entry, chosen);
}

// A slot outside the table names no drive.
DriveEntry* FlashProcedure::EntryAt(int slot) {
  if (slot < 0 || slot >= static_cast<int>(drive::kDriveSlots)) return nullptr;
  return &w_.driveTable[static_cast<std::size_t>(slot)];
}

void FlashProcedure::RunSequence(const Variant& v, DriveEntry& entry, const ChosenDrive& chosen) {
  LoadAndStopUnit(v, entry);
  if (!WaitForEmptyDrive(v, entry) ||
      (w_.format.NeedsFlashProfile && !WriteFlashProfile(v, entry))) {
    Finish(Outcome::Failed);
    return;
  }
  // Taken now, so that whatever happens to the shared flag later, a profile
  // written in this run is verified before anything is burnt.
  const bool profileToVerify = w_.commands.ProfileMatched;

  ChunkBuffer buffer = BeginDownload();
  const bool flashed = Transfer(v, entry, buffer.get(), profileToVerify);
  if (flashed) {
    Complete(v, entry, chosen);
  } else {
    EndCritical();
  }
  Cleanup(v, buffer);
  Finish(flashed ? Outcome::Flashed : Outcome::Failed);
}

void FlashProcedure::LoadAndStopUnit(const Variant& v, DriveEntry& entry) {
  (w_.commands.*v.StartStopUnit)(entry, kLoadAndStart);
  (w_.commands.*v.StartStopUnit)(entry, kStop);
}

// The drive must be empty and settled. A disc in the tray makes the test
// method show its message and set the counter to 1, which ends the wait
// after this pause.
bool FlashProcedure::WaitForEmptyDrive(const Variant& v, DriveEntry& entry) {
  std::uint8_t& counter = w_.commands.ReadyWaitCounter;
  counter = drive::kReadyWaitStart;
  do {
    if ((w_.commands.*v.XCmd)(entry, kNoDiscCheck)) return true;
    w_.os.Sleep(kPollPause);
    --counter;
  } while (counter != 0);
  return false;
}

bool FlashProcedure::WriteFlashProfile(const Variant& v, DriveEntry& entry) {
  SetCaption(kCaptionWriteProfile);
  return (w_.commands.*v.SetupFlashProfile)(entry);
}

FlashProcedure::ChunkBuffer FlashProcedure::BeginDownload() {
  Progress().SetMin(0);
  Progress().SetMax(static_cast<std::int32_t>(w_.format.ImageLength));
  Progress().SetStep(kChunkLength);
  ChunkBuffer buffer = std::make_unique<std::uint8_t[]>(kChunkLength);
  w_.observer.Busy(true);
  SetCaption(kCaptionWriteBin);
  Progress().SetPosition(0);
  return buffer;
}

bool FlashProcedure::Transfer(const Variant& v, DriveEntry& entry,
                              std::uint8_t* buffer, bool profileToVerify) {
  return Download(v, entry, buffer) && EnterCritical(v, entry) &&
         (!profileToVerify || VerifyProfile(v, entry)) &&
         ReadBack(v, entry, buffer) && FinalFlash(v, entry, buffer);
}

// The chunk loops count the chunks themselves: the bar only carries the
// offset to the commands, and a bar that no longer holds the expected
// offset (a clamped range, say) must not end a phase early or send a chunk
// to the wrong place.
bool FlashProcedure::Download(const Variant& v, DriveEntry& entry,
                              std::uint8_t* buffer) {
  for (int chunk = 0; chunk < ChunkCount(); ++chunk) {
    const std::int32_t offset = chunk * kChunkLength;
    if (!CursorAt(offset)) {
      AppendToCaption(v.downloadFail);
      return false;
    }
    std::memcpy(buffer, w_.package.ImageArea() + offset, kChunkLength);
    if (!(w_.commands.*v.WriteBuffer)(entry, buffer, kImageChunk)) {
      AppendToCaption(v.downloadFail);
      return false;
    }
    Progress().StepIt();
  }
  return true;
}

bool FlashProcedure::EnterCritical(const Variant& v, DriveEntry& entry) {
  critical_ = true;
  inCritical_ = true;
  w_.observer.PhaseChanged(Phase::CriticalBegun);
  SetCaption(kCaptionEntryCritical);
  if ((w_.commands.*v.EntryCritical)(entry)) return true;
  AppendToCaption(v.criticalFail);
  return false;
}

bool FlashProcedure::VerifyProfile(const Variant& v, DriveEntry& entry) {
  SetCaption(kCaptionVerifyProfile);
  if ((w_.commands.*v.VerifyProfile)(entry)) return true;
  AppendToCaption(kSuffixProfileFail);
  return false;
}

bool FlashProcedure::ReadBack(const Variant& v, DriveEntry& entry,
                              std::uint8_t* buffer) {
  SetCaption(v.readBackCaption);
  Progress().SetPosition(0);
  for (int chunk = 0; chunk < ChunkCount(); ++chunk) {
    const std::int32_t offset = chunk * kChunkLength;
    FillWithComplement(buffer, w_.package.ImageArea() + offset);
    if (!CursorAt(offset) || !(w_.commands.*v.ReadBuffer)(entry, buffer)) {
      AppendToCaption(v.readFail);
      return false;
    }
    if (std::memcmp(buffer, w_.package.ImageArea() + offset, kChunkLength) != 0) {
      ReportDifference(v);
      return false;
    }
    Progress().StepIt();
  }
  return true;
}

// A read that reports success but moves less than the chunk leaves the
// buffer as it was; only the bytes the drive returned may pass the compare,
// not those of the chunk before, which can be equal (an image's unused end).
void FlashProcedure::FillWithComplement(std::uint8_t* buffer, const std::uint8_t* expected) {
  for (std::int32_t i = 0; i < kChunkLength; ++i) buffer[i] = static_cast<std::uint8_t>(~expected[i]);
}

void FlashProcedure::ReportDifference(const Variant& v) {
  if (v.verifyMessageFirst) {
    w_.dialogs.Message(kMessageVerifyFail);
    AppendToCaption(v.verifySuffix);
  } else {
    AppendToCaption(v.verifySuffix);
    w_.dialogs.Message(kMessageVerifyFail);
  }
}

bool FlashProcedure::FinalFlash(const Variant& v, DriveEntry& entry,
                                std::uint8_t* buffer) {
  SetCaption(kCaptionFlashing);
  PrepareBarForFinalFlash(v);
  const std::uint8_t flag = FlashAll ? kFinalFlashAll : kFinalFlash;
  const bool burnt = (w_.commands.*v.WriteBuffer)(entry, buffer, flag);
  EndCritical();
  if (burnt) return true;
  SetCaption(kCaptionFlashFail);
  return false;
}

// The final flash command carries bar values in its offset and length
// fields: 197 and 1 on NT (set here), 198 and 1 on 9x (set by WriteBuffer).
void FlashProcedure::PrepareBarForFinalFlash(const Variant& v) {
  Progress().SetPosition(0);
  Progress().SetMin(0);
  Progress().SetMax(kFinalBarMax);
  if (v.sequenceStepsFinalBar) {
    Progress().SetStep(1);
    Progress().SetPosition(Progress().Max() - kFinalBarBack);
    Progress().StepIt();
  } else {
    Progress().SetStep(0);
  }
}

void FlashProcedure::Complete(const Variant& v, DriveEntry& entry, const ChosenDrive& chosen) {
  w_.os.Sleep(kSettlePause);
  SetCaption(kCaptionCompleted);
  if (v.sequenceStepsFinalBar) Progress().StepIt();
  // The 9x INQUIRY answers false for a drive that now lies above the
  // package's range, yet it rewrote the entry: the line must show what the
  // drive now reports, as the revision check of the next press reads it.
  const bool answered = (w_.commands.*v.RefreshInquiry)(entry);
  if (answered || entry.Text() != chosen.line)
    w_.observer.DriveLineChanged(chosen.position, entry.Text());
  const bool restartAccepted = OfferRestart(v);
  if (restartAccepted || v.clearCaptionAfterNo) SetCaption("");
}

// Without a restart the offer is not made and counts as declined.
bool FlashProcedure::OfferRestart(const Variant& v) {
  if (w_.restart == nullptr) {
    w_.observer.RestartNotOffered();
    return false;
  }
  ObserverCursor cursor(w_.observer);
  return v.offerRestart(w_.dialogs, *w_.restart, cursor);
}

void FlashProcedure::Cleanup(const Variant& v, ChunkBuffer& buffer) {
  w_.observer.Busy(false);
  Progress().SetPosition(0);
  buffer.reset();
  if (v.defaultCursorTwice) w_.observer.Busy(false);
}

void FlashProcedure::EndCritical() {
  if (!inCritical_) return;
  inCritical_ = false;
  w_.observer.PhaseChanged(Phase::CriticalEnded);
}

// A failed run that the front asked to stop before the critical entry was
// interrupted, not failed. Once the critical entry has begun, a failure is
// a failure whatever the front asked: the drive may hold nothing it can
// start from, and no front may tell the user that nothing was burnt. The
// report is the last message a command showed.
void FlashProcedure::Finish(Outcome outcome, std::string reason) {
  FlashResult result;
  result.outcome = outcome;
  result.reason = std::move(reason);
  result.caption = caption_;
  result.critical = critical_;
  if (outcome == Outcome::Failed) {
    result.reason = w_.dialogs.LastMessage();
    if (!critical_ && w_.observer.StopRequested()) result.outcome = Outcome::Interrupted;
  }
  w_.observer.Finished(result);
}

int FlashProcedure::ChunkCount() const {
  return static_cast<int>(w_.format.ImageLength / kChunkLength);
}

bool FlashProcedure::CursorAt(std::int32_t offset) const {
  return Progress().Position() == offset && Progress().Step() == kChunkLength;
}

void FlashProcedure::SetCaption(const char* text) {
  caption_ = text;
  w_.observer.Caption(caption_);
}

void FlashProcedure::AppendToCaption(const char* suffix) {
  caption_ += suffix;
  w_.observer.Caption(caption_);
}

}  // namespace flash
