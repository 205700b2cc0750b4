// TFlashForm: the one window of the program. It owns the process state and
// the handlers; the platform layer creates the real controls and forwards
// their events here.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/flash_view.h"
#include "drive/drive_entry.h"
#include "flash/flash_session.h"
#include "package/model_file.h"
#include "package/package_region.h"
#include "package/package_texts.h"
#include "platform/aspi.h"
#include "platform/burn_guard.h"
#include "platform/device_io.h"
#include "platform/files.h"
#include "platform/os.h"
#include "platform/power.h"
#include "platform/restart.h"
#include "platform/shutdown_notice.h"
#include "platform/ui.h"
#include "scsi/nt_passthrough.h"

namespace app {

inline constexpr const char* kVersionText = " Flash V1.039 ";
// A press on a nearly flat battery: the flash does not begin.
inline constexpr const char* kOnBatteryText =
    "The computer is running on battery (%d%% left). Connect it to mains power before you "
    "flash the drive.";

struct Controls {
  platform::TextControl& FlashForm;  // the window's caption
  platform::TextControl& SelectDriveLabel;
  platform::ComboBox& ComboBox1;
  platform::FileList& FileListBox1;
  platform::TextControl& GroupBox2;
  platform::ProgressBar& ProgressBar;
  platform::Button& FlashButton;
  platform::Cursor& Cursor;
};

struct Services {
  platform::Os& os;
  platform::ProfileReader& profiles;
  platform::Dialogs& dialogs;
  platform::DeviceIo& device;
  platform::AspiLibrary& aspi;
  platform::Restart& restart;
  platform::Files& files;  // the builder's
  platform::BurnGuard& guard;
  platform::ShutdownNotice& notice;
  platform::PowerSource& power;
};

class TFlashForm {
 public:
  TFlashForm(Controls controls, Services services, package::PackageView package);

  // Handlers.
  void FormCreate();
  void FormDestroy();
  void FlashButtonClick();
  void ComboBox1Change();
  void FileListBox1Click();

  // Builder mode (build_mode.cpp). RetriveINI fills the model list and runs
  // ComboBox1Change once; false when start-up must stop. BuildButtonClick is
  // FlashButtonClick's whole work in builder mode.
  bool RetriveINI();
  void BuildButtonClick();
  bool NewBuildFlashProgram();

  // Process state.
  bool BuilderMode = false;
  std::uint32_t PlatformId = 0;  // from OsVersionInfo; 2 is the NT family
  package::PackageTexts Texts;
  package::ImageFormat Format;
  std::string WarningText;
  std::array<int, drive::kDriveSlots> ItemToEntry{};
  std::string NoDriveText;
  package::ModelTable ModelTable;  // builder mode: the model description file
  std::string BinFileName;         // builder mode: the image file last chosen

  Controls ui;
  Services sys;
  package::PackageView Package;
  // The NT family's transport, made by NT discovery only.
  std::optional<scsi::NtPassThrough> Nt;
  WindowView View{ui.GroupBox2, ui.ProgressBar, ui.ComboBox1, ui.Cursor, sys.guard,
                  sys.notice};
  // The flash session of the run's transport (DriveTable among it), made by
  // discovery; none in builder mode.
  std::unique_ptr<flash::FlashSession> Session;

  // True while a FLASH press runs (its modal boxes let window messages
  // through): the window must then refuse to close.
  bool Flashing() const { return Session != nullptr && Session->Flashing(); }

  // Drive discovery, run once by the flash-mode start-up: builds the
  // session, fills ItemToEntry, ComboBox1 and NoDriveText, then
  // EndDiscovery shows the error text and quits when nothing matched, or
  // selects the first drive.
  void NTDiscovery();
  void AspiDiscovery();
  void EndDiscovery();

 private:
  void BuildSession(scsi::PassThrough* passThrough, platform::AspiLibrary* aspi);
  void ListFound(const flash::FoundDrive& found);
  void StartBuilderMode();
  void StartFlashMode();
  bool SealHolds();
  bool PrepareAspi();
};

}  // namespace app
