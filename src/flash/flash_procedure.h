// The flash procedure: the revision check and confirmation of a FLASH press,
// the flash sequence in its NT and 9x variants, and the restart offer.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "drive/drive_commands.h"
#include "drive/drive_entry.h"
#include "flash/flash_observer.h"
#include "package/package_region.h"
#include "package/package_texts.h"
#include "platform/os.h"
#include "platform/restart.h"
#include "platform/ui.h"  // Dialogs
#include "scsi/pass_through.h"

namespace flash {

inline constexpr std::int32_t kChunkLength = 16384;
inline constexpr std::uint8_t kFinalFlash = 0x80;
inline constexpr std::uint8_t kFinalFlashAll = 0xA0;

// The drive a press is for, as the front's list shows it: its list
// position, the table slot the position maps to, and its list line.
struct ChosenDrive {
  int position = -1;
  int slot = -1;
  std::string line;
};

// The front's dialogs as the session's commands and procedure use them:
// each message a command shows is kept, so that a failed press ends with the
// report the user saw.
class ReportingDialogs final : public platform::Dialogs {
 public:
  explicit ReportingDialogs(platform::Dialogs& inner) : inner_(inner) {}

  void Message(const std::string& text) override {
    lastMessage_ = text;
    inner_.Message(text);
  }
  platform::Answer Ask(platform::DialogKind kind, const std::string& text,
                       platform::DialogButtons buttons) override {
    return inner_.Ask(kind, text, buttons);
  }
  void SystemBox(const std::string& text, const std::string& title) override {
    inner_.SystemBox(text, title);
  }

  const std::string& LastMessage() const { return lastMessage_; }
  void Forget() { lastMessage_.clear(); }

 private:
  platform::Dialogs& inner_;
  std::string lastMessage_;
};

// What the procedure works with; everything belongs to the flash session.
struct FlashWiring {
  drive::DriveCommands& commands;
  scsi::PassThrough* nt;  // the NT variant's: opens DeviceHandle at its start
  ReportingDialogs& dialogs;
  platform::Os& os;
  platform::Restart* restart;  // none: the restart is never offered
  FlashObserver& observer;
  const package::PackageView& package;
  const package::ImageFormat& format;  // ImageLength, NeedsFlashProfile
  drive::DriveTable& driveTable;
};

struct Variant;

class FlashProcedure {
 public:
  explicit FlashProcedure(FlashWiring wiring) : w_(wiring) {}

  // FlashButtonClick in flash mode: revision check, confirmation, then the
  // flash sequence of the session's transport (NT with a pass-through). A
  // press that arrives while another press is still running (from inside
  // one of its modal boxes) is ignored: it must not touch the running
  // flash's state. No chosen drive: nothing is shown or sent.
  void FlashModeClick(const std::optional<ChosenDrive>& chosen);

  // The NT variant: the list position is the table slot. Does nothing in a
  // session without a pass-through.
  void NTFlashButton(const std::optional<ChosenDrive>& chosen);
  // The 9x variant: the slot is the one the position maps to. Does nothing
  // in a session with a pass-through.
  void Flash9x(const std::optional<ChosenDrive>& chosen);

  // True while a press is being handled, confirmation and restart offer
  // included. The window must not be closed meanwhile: closing would tear
  // down DeviceHandle and the request blocks under the running flash.
  bool Flashing() const { return flashing_; }

  // Chooses the control byte of the final flash command; set from Note when
  // a press reaches the confirmation.
  bool FlashAll = false;

 private:
  using ChunkBuffer = std::unique_ptr<std::uint8_t[]>;

  void BeginPress();
  bool ConfirmUpdate(const drive::DriveEntry& entry);
  void RunNt(const ChosenDrive& chosen);
  void Run9x(const ChosenDrive& chosen);
  drive::DriveEntry* EntryAt(int slot);

  void RunSequence(const Variant& v, drive::DriveEntry& entry, const ChosenDrive& chosen);
  void LoadAndStopUnit(const Variant& v, drive::DriveEntry& entry);
  bool WaitForEmptyDrive(const Variant& v, drive::DriveEntry& entry);
  bool WriteFlashProfile(const Variant& v, drive::DriveEntry& entry);
  ChunkBuffer BeginDownload();
  bool Transfer(const Variant& v, drive::DriveEntry& entry, std::uint8_t* buffer,
                bool profileToVerify);
  bool Download(const Variant& v, drive::DriveEntry& entry, std::uint8_t* buffer);
  bool EnterCritical(const Variant& v, drive::DriveEntry& entry);
  bool VerifyProfile(const Variant& v, drive::DriveEntry& entry);
  bool ReadBack(const Variant& v, drive::DriveEntry& entry, std::uint8_t* buffer);
  static void FillWithComplement(std::uint8_t* buffer, const std::uint8_t* expected);
  void ReportDifference(const Variant& v);
  bool FinalFlash(const Variant& v, drive::DriveEntry& entry, std::uint8_t* buffer);
  void PrepareBarForFinalFlash(const Variant& v);
  void Complete(const Variant& v, drive::DriveEntry& entry, const ChosenDrive& chosen);
  bool OfferRestart(const Variant& v);
  void Cleanup(const Variant& v, ChunkBuffer& buffer);
  void EndCritical();
  void Finish(Outcome outcome, std::string reason = "");

  int ChunkCount() const;
  bool CursorAt(std::int32_t offset) const;
  void SetCaption(const char* text);
  void AppendToCaption(const char* suffix);
  drive::TransferCursor& Progress() { return w_.observer.Progress(); }
  const drive::TransferCursor& Progress() const { return w_.observer.Progress(); }

  FlashWiring w_;
  bool flashing_ = false;
  std::string caption_;
  bool critical_ = false;     // begun in this press
  bool inCritical_ = false;   // begun and not yet ended
};

}  // namespace flash
