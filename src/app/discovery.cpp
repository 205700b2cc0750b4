// Drive discovery: identify every drive the run's transport reaches, list
// the ones the package is for, and collect the others into the error text
// shown when none matches.
#include <string>

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

void TFlashForm::NTDiscovery() {
  NoDriveText = flash::NoDriveTextHead(Texts, package::IsRangeWildcard(Package));
  const std::string roots = sys.os.LogicalDriveStrings(kDriveStringsChars);
  ui.ComboBox1.SetItemIndex(-1);
  std::size_t slot = 0;
  ForEachRoot(roots, [&](const std::string& root) {
    // A slot per drive letter: only an operating system that reported a
    // letter twice could fill the table, and then the rest is not tried.
    if (slot == DriveTable.size()) return;
    if (sys.os.DriveType(root) != platform::kDriveCdRom) return;
    drive::DriveEntry& entry = DriveTable[slot];
    entry.DriveLetter = root[0];
    entry.SetText("");
    if (Commands.NTCheckInquiry(entry)) {
      const int item = ui.ComboBox1.AddItem(entry.Text());
      ui.ComboBox1.SetItemIndex(item);
      ItemToEntry[item] = static_cast<int>(slot);
      ++slot;
    } else if (!entry.Text().empty()) {
      NoDriveText += entry.Text() + "\n";
    }
  });
  EndDiscovery();
}

void TFlashForm::AspiDiscovery() {
  NoDriveText = flash::NoDriveTextHead(Texts, package::IsRangeWildcard(Package));
  ui.ComboBox1.SetItemIndex(-1);
  for (std::size_t slot = 0; slot < drive::kAspiSlots; ++slot) {
    drive::DriveEntry& entry = DriveTable[slot];
    if (Commands.CheckInquiry(entry)) {
      const int item = ui.ComboBox1.AddItem(entry.Text());
      ui.ComboBox1.SetItemIndex(item);
      ItemToEntry[item] = static_cast<int>(slot);
    } else if (!entry.Text().empty()) {
      NoDriveText += entry.Text() + "\n";
    }
  }
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
