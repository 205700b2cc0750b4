// One flash session per run: the drive table, the drive commands and the
// flash procedure for the one transport chosen at start (the pass-through
// of the NT family or of Linux, or ASPI), built in one place for every
// front. Discovery returns what it found; presses report to the observer.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drive/drive_commands.h"
#include "drive/drive_entry.h"
#include "flash/flash_observer.h"
#include "flash/flash_procedure.h"
#include "package/package_region.h"
#include "package/package_texts.h"
#include "platform/aspi.h"
#include "platform/os.h"
#include "platform/restart.h"
#include "platform/ui.h"  // Dialogs
#include "scsi/aspi_transport.h"
#include "scsi/pass_through.h"

namespace flash {

// What a front hands to its session. Exactly one transport is given: the
// pass-through it made, or the ASPI library start-up loaded.
struct SessionParts {
  scsi::PassThrough* passThrough = nullptr;
  platform::AspiLibrary* aspiLibrary = nullptr;
  std::chrono::milliseconds aspiWait = scsi::kAspiCompletionWait;
  platform::Dialogs& dialogs;
  platform::Os& os;
  platform::Restart* restart = nullptr;  // none: the restart is never offered
  FlashObserver& observer;
  package::PackageView package;
  // Pass-through discovery starts each drive check from an empty slot. The
  // Windows program keeps the slot's address from before (a preset ASPI
  // address, or the last drive's), which shows in its line where the driver
  // writes no address back.
  bool emptySlots = false;
};

// One drive as discovery found it.
struct FoundDrive {
  enum class WhyNot {
    Nothing,     // accepted
    NoAnswer,    // the drive check got no answer: there is no line
    OtherDrive,  // another model, or a revision outside the package's range
    CannotOpen,  // the drive's device could not be opened: no line
  };
  drive::DriveEntry entry;  // as the drive check left it
  int slot = -1;            // its table slot; -1 when it is not accepted
  std::string line;         // its list line
  bool accepted = false;
  WhyNot whyNot = WhyNot::Nothing;
  // CannotOpen: the failed opening, and the words the window shows for it
  // (those of a failed opening at the start of a flash).
  scsi::Opening opening;
  std::string reason;
};

class FlashSession {
 public:
  explicit FlashSession(const SessionParts& parts);
  FlashSession(const FlashSession&) = delete;
  FlashSession& operator=(const FlashSession&) = delete;

  bool PassThrough() const { return parts_.passThrough != nullptr; }

  // Pass-through discovery over the CD-ROM drives named by `letters`, in
  // order: the accepted drives take the table's slots in list order (a list
  // position names its slot), until the table is full.
  // `each` hears of every drive as soon as it is checked, for a front that
  // lists drives as they come.
  using EachFound = std::function<void(const FoundDrive&)>;
  std::vector<FoundDrive> DiscoverLetters(const std::vector<char>& letters,
                                          const EachFound& each = nullptr);
  // ASPI discovery over the six preset addresses of the table's first slots.
  std::vector<FoundDrive> DiscoverAspi(const EachFound& each = nullptr);

  // A FLASH press for the chosen drive (none: nothing happens).
  void Flash(const std::optional<ChosenDrive>& chosen) { procedure_.FlashModeClick(chosen); }
  bool Flashing() const { return procedure_.Flashing(); }

  drive::DriveTable& Table() { return table_; }
  drive::DriveCommands& Commands() { return commands_; }
  FlashProcedure& Procedure() { return procedure_; }
  const package::ImageFormat& Format() const { return format_; }

 private:
  FoundDrive Found(const drive::DriveEntry& entry, bool accepted) const;

  SessionParts parts_;
  package::ImageFormat format_;
  ReportingDialogs dialogs_;
  std::optional<scsi::AspiTransport> aspi_;
  drive::DriveTable table_ = drive::InitialDriveTable();
  drive::DriveCommands commands_;
  FlashProcedure procedure_;
};

// The one place a session is built.
std::unique_ptr<FlashSession> BuildSession(const SessionParts& parts);

}  // namespace flash
