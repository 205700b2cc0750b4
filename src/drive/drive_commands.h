// The drive's command set, in pairs: the NT member sends through the
// pass-through transport, the 9x member through ASPI. Every method shows its
// own failure report before it returns false.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "drive/drive_entry.h"
#include "drive/transfer_cursor.h"
#include "package/package_region.h"
#include "package/package_texts.h"
#include "platform/os.h"
#include "platform/ui.h"  // Dialogs
#include "scsi/aspi_transport.h"
#include "scsi/pass_through.h"

namespace drive {

// The flash chip's programming profile: its setup buffer, saved copy and
// read-back buffer each hold this much.
inline constexpr std::size_t kFlashProfileBufferSize = 1024;
inline constexpr std::uint8_t kReadyWaitStart = 144;

struct SavedProfileCopy {
  std::array<std::uint8_t, kFlashProfileBufferSize> bytes{};
  std::uint16_t length = 0;
};

// What a drive command needs from around it. A run has one transport: the
// NT members send through `nt`, the 9x members through `aspi`, and the other
// one is null (its members are never called in that run).
struct CommandContext {
  scsi::PassThrough* nt;
  scsi::AspiTransport* aspi;
  platform::Dialogs& dialogs;
  platform::Os& os;
  // Offset = position, length = step.
  TransferCursor& cursor;
  package::PackageView package;
};

// The acceptance test of a drive against the package: identification text
// (24 characters) and revision text (4 characters).
bool MatchesPackage(const package::PackageView& package,
                    const std::string& identification,
                    const std::string& revision);

class DriveCommands {
 public:
  explicit DriveCommands(CommandContext context);

  // Identification. The NT drive check opens the drive's device itself; a
  // device that cannot be opened leaves `opening` saying why and shows
  // nothing: what that means for the run is the front's to decide.
  bool NTCheckInquiry(DriveEntry& entry, scsi::Opening& opening);
  bool CheckInquiry(DriveEntry& entry);
  bool NTGetInquiry(DriveEntry& entry);

  // Control. mode 0: no-disc check; non-zero: plain ready check.
  bool NTXCmd(DriveEntry& entry, std::uint8_t mode);
  bool XCmd(DriveEntry& entry, std::uint8_t mode);
  bool NTStartStopUnit(DriveEntry& entry, std::uint8_t powerCondition);
  bool StartStopUnit(DriveEntry& entry, std::uint8_t powerCondition);
  bool NTWriteE2(DriveEntry& entry, const std::uint8_t* source,
                 std::uint8_t count, std::uint16_t start);
  bool WriteE2(DriveEntry& entry, const std::uint8_t* source,
               std::uint8_t count, std::uint16_t start);

  // Buffer transfer. flag 0: one image chunk at the cursor; otherwise the
  // final flash command with flag as its control byte.
  bool NTWriteBuffer(DriveEntry& entry, std::uint8_t* chunkBuffer, std::uint8_t flag);
  bool WriteBuffer(DriveEntry& entry, std::uint8_t* chunkBuffer, std::uint8_t flag);
  bool NTReadBuffer(DriveEntry& entry, std::uint8_t* chunkBuffer);
  bool ReadBuffer(DriveEntry& entry, std::uint8_t* chunkBuffer);

  // Flash profile.
  bool NTSetupFlashProfile(DriveEntry& entry);
  bool SetupFlashProfile(DriveEntry& entry);
  bool NTEntryCritical(DriveEntry& entry);
  bool EntryCritical(DriveEntry& entry);
  bool NTVerifyProfile(DriveEntry& entry);
  bool W9xVerifyProfile(DriveEntry& entry);

  // State shared with the flash procedure.
  std::uint8_t ReadyWaitCounter = kReadyWaitStart;
  bool ProfileMatched = false;
  SavedProfileCopy SavedProfile;

 private:
  // Shows a "Remove disc" wording and ends the empty-drive wait.
  void RemoveDisc(const char* wording);
  // The transfer cursor.
  std::uint32_t CursorOffset() const;
  std::uint32_t CursorLength() const;
  // Refuses a profile table whose records would not fit the 1024-byte
  // profile buffers or whose profiles lie outside the profile blocks.
  bool CheckProfileTable();
  // Looks the flash identification at the start of buffer up in the table
  // and overwrites the buffer with the record to write; returns its length.
  std::uint16_t BuildProfileRecord(std::uint8_t* buffer);
  void SaveProfile(const std::uint8_t* record, std::uint16_t length);
  bool ProfileReadBackMatches(const std::uint8_t* readBack);

  CommandContext ctx_;
};

}  // namespace drive
