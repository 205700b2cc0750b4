// Drive discovery: identify every drive the run's transport reaches, list
// the ones the package is for, and collect the others into the error text
// shown when none matches.
#include <string>
#include <vector>

#include "app/flash_form.h"
#include "flash/mode_texts.h"

namespace app {

namespace {

// GetLogicalDriveStringsA is asked for at most this many characters.
constexpr std::uint32_t kDriveStringsChars = 126;
constexpr int kQuitExitCode = 0;

// The roots come back as consecutive zero-terminated texts ("D:\" NUL ...),
// the list ended by an empty one.
template <typename Visit>
void ForEachRoot(const std::string& roots, Visit visit) {
  std::size_t start = 0;
  while (start < roots.size()) {
    const std::size_t end = roots.find('\0', start);
    const std::string root = roots.substr(start, end - start);
    if (root.empty()) return;
    visit(root);
    if (end == std::string::npos) return;
    start = end + 1;
  }
}

}  // namespace

void TFlashForm::BuildSession(scsi::PassThrough* passThrough, platform::AspiLibrary* aspi) {
  Session = flash::BuildSession(flash::SessionParts{.passThrough = passThrough,
                                                    .aspiLibrary = aspi,
                                                    .dialogs = sys.dialogs,
                                                    .os = sys.os,
                                                    .restart = &sys.restart,
                                                    .observer = View,
                                                    .package = Package});
}

// A matching drive becomes the next item and is selected; another drive's
// line goes to the error text; a drive that did not answer goes nowhere. A
// drive whose device cannot be opened is told at once and ends the program
// once discovery is over: it may be the drive the user means.
void TFlashForm::ListFound(const flash::FoundDrive& found) {
  switch (found.whyNot) {
    case flash::FoundDrive::WhyNot::Nothing: {
      const int item = ui.ComboBox1.AddItem(found.line);
      ui.ComboBox1.SetItemIndex(item);
      ItemToEntry[static_cast<std::size_t>(item)] = found.slot;
      break;
    }
    case flash::FoundDrive::WhyNot::OtherDrive:
      NoDriveText += found.line + "\n";
      break;
    case flash::FoundDrive::WhyNot::CannotOpen:
      sys.dialogs.Message(found.reason);
      sys.os.PostQuit(kQuitExitCode);
      break;
    case flash::FoundDrive::WhyNot::NoAnswer:
      break;
  }
}

void TFlashForm::NTDiscovery() {
  NoDriveText = flash::NoDriveTextHead(Texts, package::IsRangeWildcard(Package));
  const std::string roots = sys.os.LogicalDriveStrings(kDriveStringsChars);
  ui.ComboBox1.SetItemIndex(-1);
  std::vector<char> letters;
  ForEachRoot(roots, [&](const std::string& root) {
    if (sys.os.DriveType(root) == platform::kDriveCdRom) letters.push_back(root[0]);
  });
  Nt.emplace(sys.device);
  BuildSession(&*Nt, nullptr);
  Session->DiscoverLetters(letters, [this](const flash::FoundDrive& found) { ListFound(found); });
  EndDiscovery();
}

void TFlashForm::AspiDiscovery() {
  NoDriveText = flash::NoDriveTextHead(Texts, package::IsRangeWildcard(Package));
  ui.ComboBox1.SetItemIndex(-1);
  BuildSession(nullptr, &sys.aspi);
  Session->DiscoverAspi([this](const flash::FoundDrive& found) { ListFound(found); });
  EndDiscovery();
}

void TFlashForm::EndDiscovery() {
  if (ui.ComboBox1.Count() == 0) {
    sys.dialogs.Ask(platform::DialogKind::Error, NoDriveText, platform::DialogButtons::Ok);
    sys.os.PostQuit(kQuitExitCode);
    return;
  }
  ui.ComboBox1.SetItemIndex(0);
}

}  // namespace app
