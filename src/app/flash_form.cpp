// TFlashForm: construction, start-up in both modes (FormCreate) and the
// release of the transport resources (FormDestroy).
#include "app/flash_form.h"

#include <string>

#include "flash/mode_texts.h"
#include "package/seal.h"

namespace app {

namespace {

constexpr int kQuitExitCode = 0;
// GroupBox2, ProgressBar and FlashButton move up by the file list's height
// when the file list is not used (flash mode).
constexpr int kFileListHeight = 41;

constexpr const char* kAspiLibraryName = "WNASPI32.DLL";
constexpr const char* kSupportInfoEntry = "GetASPI32SupportInfo";
constexpr const char* kSendCommandEntry = "SendASPI32Command";
// Bits 8..15 of GetASPI32SupportInfo: the ASPI status; 1 is SS_COMP.
constexpr std::uint32_t kAspiStatusComplete = 0x01;

// Start-up's messages.
constexpr const char* kUnableToLoadAspi = "Unable to load WNASPI32.DLL";
constexpr const char* kNoSupportInfoEntry = "Failed to lookup GetASPI32SupportInfo";
constexpr const char* kNoSendCommandEntry = "Failed to lookup SendASPI32Command";
constexpr const char* kAspiNotAvailable = "ASPI for Windows not available!";
constexpr const char* kSelectModelLabel = "Select Model: ";
constexpr const char* kBuildCaption = "Build";

std::uint32_t AspiStatus(std::uint32_t supportInfo) { return (supportInfo >> 8) & 0xFF; }

std::string SelectDriveText(const package::PackageTexts& texts) {
  return "Select the " + texts.VendorText + " drive you want to update:";
}

}  // namespace

TFlashForm::TFlashForm(Controls controls, Services services, package::PackageView package)
    : ui(controls),
      sys(services),
      Package(package) {}

void TFlashForm::FormCreate() {
  BuilderMode = package::IsTemplate(Package);
  if (BuilderMode)
    StartBuilderMode();
  else
    StartFlashMode();
}

void TFlashForm::StartBuilderMode() {
  ui.FileListBox1.SetFolder(sys.os.CurrentFolder());
  // RetriveINI has told the user and asked to quit when it fails.
  if (!RetriveINI()) return;
  ui.FileListBox1.SetVisible(true);
  ui.SelectDriveLabel.SetText(kSelectModelLabel);
  ui.FlashButton.SetText(kBuildCaption);
  ui.FlashButton.SetEnabled(false);
}

void TFlashForm::StartFlashMode() {
  if (!SealHolds()) return;
  ui.GroupBox2.SetTop(ui.GroupBox2.Top() - kFileListHeight);
  ui.ProgressBar.SetTop(ui.ProgressBar.Top() - kFileListHeight);
  ui.FlashButton.SetTop(ui.FlashButton.Top() - kFileListHeight);

  Texts = package::FormPackageTexts(Package);
  ui.SelectDriveLabel.SetText(SelectDriveText(Texts));
  WarningText = flash::WarningText(Texts, package::IsRangeWildcard(Package));
  if (sys.dialogs.Ask(platform::DialogKind::Warning, WarningText,
                      platform::DialogButtons::YesNo) != platform::Answer::Yes) {
    sys.os.PostQuit(kQuitExitCode);
    return;
  }

  ui.FileListBox1.SetVisible(false);
  Format = package::CheckNewFormatBIN(Package.ImageArea());
  ui.FlashForm.SetText(Texts.VendorText + kVersionText + Texts.ModelText);

  PlatformId = sys.os.PlatformId();
  if (PlatformId == platform::kPlatformWin32Nt) {
    NTDiscovery();
    return;
  }
  if (!PrepareAspi()) return;
  AspiDiscovery();
}

// A damaged flash program would download its wrong image, verify it against
// its own wrong copy and burn it: before anything else is shown, loaded or
// opened, the package must still match its seal. An empty seal seals nothing.
bool TFlashForm::SealHolds() {
  const package::SealCheck seal = package::CheckSeal(Package);
  if (seal.state != package::SealState::Broken) return true;
  sys.dialogs.Ask(platform::DialogKind::Error, package::DamagedProgramText(seal),
                  platform::DialogButtons::Ok);
  sys.os.PostQuit(kQuitExitCode);
  return false;
}

// Loads WNASPI32.DLL and finds its two entry points; the library must report
// itself ready. Each failure is told once and ends start-up.
bool TFlashForm::PrepareAspi() {
  const char* failure = nullptr;
  if (!sys.aspi.Load(kAspiLibraryName))
    failure = kUnableToLoadAspi;
  else if (!sys.aspi.LookUp(kSupportInfoEntry))
    failure = kNoSupportInfoEntry;
  else if (!sys.aspi.LookUp(kSendCommandEntry))
    failure = kNoSendCommandEntry;
  else if (AspiStatus(sys.aspi.GetSupportInfo()) != kAspiStatusComplete)
    failure = kAspiNotAvailable;
  if (failure == nullptr) return true;
  sys.dialogs.Message(failure);
  sys.os.PostQuit(kQuitExitCode);
  return false;
}

void TFlashForm::FormDestroy() {
  if (Nt) Nt->CloseDeviceHandle();
  if (sys.aspi.Loaded()) sys.aspi.Unload();
}

}  // namespace app
