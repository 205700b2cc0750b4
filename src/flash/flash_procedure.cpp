#include "flash/flash_procedure.h"

#include <chrono>
#include <cstring>

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

}  // namespace

void FlashProcedure::FlashModeClick(std::uint32_t platformId) {
  if (flashing_) return;
  PressScope press(flashing_);
  w_.commands.ProfileMatched = false;
  w_.commands.SavedProfile.length = 0;

  const int position = w_.driveList.ItemIndex();
  const DriveEntry* entry = EntryAt(position, true);
  if (entry == nullptr || !ConfirmUpdate(*entry)) return;
  if (platformId == platform::kPlatformWin32Nt) {
    RunNt();
  } else {
    Run9x(position);
  }
}

// Refuses a drive already at or above the new revision; otherwise asks.
bool FlashProcedure::ConfirmUpdate(const DriveEntry& entry) {
  const RevisionDecision decision = DecideRevision(w_.package, entry.Text());
  if (decision.refused) {
    w_.dialogs.Ask(platform::DialogKind::Warning, RefusalText(decision.current),
                   platform::DialogButtons::Ok);
    return false;
  }
  const std::string confirmation = ConfirmationText(decision.current, decision.next);
  FlashAll = package::IsFlashAll(w_.package);
  return w_.dialogs.Ask(decision.confirmKind, confirmation, platform::DialogButtons::YesNo) ==
         platform::Answer::Yes;
}

void FlashProcedure::NTFlashButton() {
  if (flashing_) return;
  PressScope press(flashing_);
  RunNt();
}

void FlashProcedure::Flash9x(int position) {
  if (flashing_) return;
  PressScope press(flashing_);
  Run9x(position);
}

// On NT the table is filled in list order, so the list position is the slot.
void FlashProcedure::RunNt() {
  const int position = w_.driveList.ItemIndex();
  DriveEntry* entry = EntryAt(position, false);
  if (entry == nullptr) return;
  if (!w_.nt.OpenForFlash(entry->DriveLetter, w_.dialogs)) return;
  RunSequence(kNtVariant, *entry, position);
}

void FlashProcedure::Run9x(int position) {
  DriveEntry* entry = EntryAt(position, true);
  if (entry == nullptr) return;
  RunSequence(k9xVariant, *entry, position);
}

// A position that names no listed drive (no selection) names no slot either.
DriveEntry* FlashProcedure::EntryAt(int position, bool throughItemToEntry) {
  if (position < 0 || position >= w_.driveList.Count() ||
      position >= static_cast<int>(drive::kDriveSlots)) {
    return nullptr;
  }
  const int slot = throughItemToEntry ? w_.itemToEntry[position] : position;
  if (slot < 0 || slot >= static_cast<int>(drive::kDriveSlots)) return nullptr;
  return &w_.driveTable[slot];
}

void FlashProcedure::RunSequence(const Variant& v, DriveEntry& entry, int position) {
  LoadAndStopUnit(v, entry);
  if (!WaitForEmptyDrive(v, entry)) return;
  if (w_.format.NeedsFlashProfile && !WriteFlashProfile(v, entry)) return;
  // Taken now, so that whatever happens to the shared flag later, a profile
  // written in this run is verified before anything is burnt.
  const bool profileToVerify = w_.commands.ProfileMatched;

  ChunkBuffer buffer = BeginDownload();
  if (Transfer(v, entry, buffer.get(), profileToVerify)) Complete(v, entry, position);
  Cleanup(v, buffer);
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
  w_.bar.SetMin(0);
  w_.bar.SetMax(static_cast<std::int32_t>(w_.format.ImageLength));
  w_.bar.SetStep(kChunkLength);
  ChunkBuffer buffer = std::make_unique<std::uint8_t[]>(kChunkLength);
  w_.cursor.Hourglass();
  SetCaption(kCaptionWriteBin);
  w_.bar.SetPosition(0);
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
    w_.bar.StepIt();
  }
  return true;
}

bool FlashProcedure::EnterCritical(const Variant& v, DriveEntry& entry) {
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
  w_.bar.SetPosition(0);
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
    w_.bar.StepIt();
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
  if ((w_.commands.*v.WriteBuffer)(entry, buffer, flag)) return true;
  SetCaption(kCaptionFlashFail);
  return false;
}

// The final flash command carries bar values in its offset and length
// fields: 197 and 1 on NT (set here), 198 and 1 on 9x (set by WriteBuffer).
void FlashProcedure::PrepareBarForFinalFlash(const Variant& v) {
  w_.bar.SetPosition(0);
  w_.bar.SetMin(0);
  w_.bar.SetMax(kFinalBarMax);
  if (v.sequenceStepsFinalBar) {
    w_.bar.SetStep(1);
    w_.bar.SetPosition(w_.bar.Max() - kFinalBarBack);
    w_.bar.StepIt();
  } else {
    w_.bar.SetStep(0);
  }
}

void FlashProcedure::Complete(const Variant& v, DriveEntry& entry, int position) {
  w_.os.Sleep(kSettlePause);
  SetCaption(kCaptionCompleted);
  if (v.sequenceStepsFinalBar) w_.bar.StepIt();
  // The 9x INQUIRY answers false for a drive that now lies above the
  // package's range, yet it rewrote the entry: the line must show what the
  // drive now reports, as the revision check of the next press reads it.
  const bool answered = (w_.commands.*v.RefreshInquiry)(entry);
  if (answered || entry.Text() != w_.driveList.ItemText(position))
    RefreshListLine(entry, position);
  const bool restartAccepted = v.offerRestart(w_.dialogs, w_.restart, w_.cursor);
  if (restartAccepted || v.clearCaptionAfterNo) SetCaption("");
}

void FlashProcedure::RefreshListLine(const DriveEntry& entry, int position) {
  w_.driveList.InsertItem(position, entry.Text());
  w_.driveList.DeleteItem(position + 1);
  w_.driveList.SetItemIndex(position);
  w_.driveList.Repaint();
}

void FlashProcedure::Cleanup(const Variant& v, ChunkBuffer& buffer) {
  w_.cursor.Default();
  w_.bar.SetPosition(0);
  buffer.reset();
  if (v.defaultCursorTwice) w_.cursor.Default();
}

int FlashProcedure::ChunkCount() const {
  return static_cast<int>(w_.format.ImageLength / kChunkLength);
}

bool FlashProcedure::CursorAt(std::int32_t offset) const {
  return w_.bar.Position() == offset && w_.bar.Step() == kChunkLength;
}

void FlashProcedure::SetCaption(const char* text) {
  w_.status.SetText(text);
  w_.status.Repaint();
}

void FlashProcedure::AppendToCaption(const char* suffix) {
  w_.status.SetText(w_.status.Text() + suffix);
  w_.status.Repaint();
}

}  // namespace flash
