// The flash procedure: the revision check and confirmation of a FLASH press,
// the flash sequence in its NT and 9x variants, and the restart offer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "drive/drive_commands.h"
#include "drive/drive_entry.h"
#include "package/package_region.h"
#include "package/package_texts.h"
#include "platform/os.h"
#include "platform/restart.h"
#include "platform/ui.h"
#include "scsi/pass_through.h"

namespace flash {

inline constexpr std::int32_t kChunkLength = 16384;
inline constexpr std::uint8_t kFinalFlash = 0x80;
inline constexpr std::uint8_t kFinalFlashAll = 0xA0;

// What the procedure works with; everything belongs to the main window.
struct FlashWiring {
  drive::DriveCommands& commands;
  scsi::PassThrough& nt;  // opens DeviceHandle at the start of an NT flash
  platform::TextControl& status;  // GroupBox2
  platform::ProgressBar& bar;     // the transfer cursor
  platform::ComboBox& driveList;  // ComboBox1
  platform::Cursor& cursor;
  platform::Dialogs& dialogs;
  platform::Os& os;
  platform::Restart& restart;
  const package::PackageView& package;
  const package::ImageFormat& format;  // ImageLength, NeedsFlashProfile
  drive::DriveTable& driveTable;
  std::array<int, drive::kDriveSlots>& itemToEntry;
};

struct Variant;

class FlashProcedure {
 public:
  explicit FlashProcedure(FlashWiring wiring) : w_(wiring) {}

  // FlashButtonClick in flash mode: revision check, confirmation, then the
  // flash sequence of the platform (NT when platformId is 2). A press that
  // arrives while another press is still running (from inside one of its
  // modal boxes) is ignored: it must not touch the running flash's state.
  void FlashModeClick(std::uint32_t platformId);

  // The NT variant for the drive selected in ComboBox1.
  void NTFlashButton();
  // The 9x variant for the drive at list position `position`.
  void Flash9x(int position);

  // True while a press is being handled, confirmation and restart offer
  // included. The window must not be closed meanwhile: closing would tear
  // down DeviceHandle and the request blocks under the running flash.
  bool Flashing() const { return flashing_; }

  // Chooses the control byte of the final flash command; set from Note when
  // a press reaches the confirmation.
  bool FlashAll = false;

 private:
  using ChunkBuffer = std::unique_ptr<std::uint8_t[]>;

  bool ConfirmUpdate(const drive::DriveEntry& entry);
  void RunNt();
  void Run9x(int position);
  drive::DriveEntry* EntryAt(int position, bool throughItemToEntry);

  void RunSequence(const Variant& v, drive::DriveEntry& entry, int position);
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
  void Complete(const Variant& v, drive::DriveEntry& entry, int position);
  void RefreshListLine(const drive::DriveEntry& entry, int position);
  void Cleanup(const Variant& v, ChunkBuffer& buffer);

  int ChunkCount() const;
  bool CursorAt(std::int32_t offset) const;
  void SetCaption(const char* text);
  void AppendToCaption(const char* suffix);

  FlashWiring w_;
  bool flashing_ = false;
};

}  // namespace flash
