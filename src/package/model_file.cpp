#include "package/model_file.h"


#include "package/builder_messages.h"
#include "text/format.h"

namespace package {

namespace {

enum KeyIndex { kModel, kInquiry, kFwRange, kBinMask, kVendor, kNote };

std::string AtMost24(const std::string& text) { return text.substr(0, kModelTextChars); }

// "%-24.24s": cut or filled with blanks to exactly 24 characters.
std::string Exactly24(const std::string& text) {
  std::string cut = AtMost24(text);
  cut.resize(kModelTextChars, ' ');
  return cut;
}

std::vector<std::string>& List(ModelTable& table, int key) {
  switch (key) {
    case kModel: return table.Model;
    case kInquiry: return table.Inquiry;
    case kFwRange: return table.FwRange;
    case kBinMask: return table.BinMask;
    case kVendor: return table.Vendor;
    default: return table.Note;
  }
}

bool AllPresent(const std::array<std::string, kModelKeys.size()>& values) {
  for (const std::string& value : values)
    if (value == kMissingValue) return false;
  return true;
}

void Normalise(ModelTable& table, std::size_t n) {
  table.Model[n] = AtMost24(table.Model[n]);
  table.Inquiry[n] = Exactly24(table.Inquiry[n]);
  table.FwRange[n] = AtMost24(table.FwRange[n]);
  table.Vendor[n] = AtMost24(table.Vendor[n]);
  table.Note[n] = AtMost24(table.Note[n]);
}

bool GiveUp(ModelFileUi& ui, const std::string& message) {
  ui.dialogs.Message(message);
  ui.os.PostQuit(0);
  return false;
}

}  // namespace

std::string SectionName(int n) {
  return text::Format("%5.5s%02d", "MODEL", n);
}

std::string ModelFilePath(const std::string& exePath) {
  const std::size_t dot = exePath.find_last_of(".\\/:");
  if (dot == std::string::npos || exePath[dot] != '.') return exePath + ".INI";
  return exePath.substr(0, dot) + ".INI";
}

ModelFileContents ReadModelFile(platform::ProfileReader& profiles, const std::string& path) {
  ModelFileContents contents;
  for (int n = 0; n < kMaxModels; ++n) {
    contents.lastSection = SectionName(n);
    std::array<std::string, kModelKeys.size()> values;
    for (std::size_t key = 0; key < kModelKeys.size(); ++key) {
      values[key] = profiles.Read(contents.lastSection, kModelKeys[key], kMissingValue, path);
      List(contents.table, static_cast<int>(key)).push_back(values[key]);
    }
    if (values[kModel] == kMissingValue) break;
    contents.selected = false;
    if (!AllPresent(values)) break;
    contents.comboItems.push_back(values[kFwRange] + " " + values[kInquiry]);
    contents.selected = true;
    Normalise(contents.table, static_cast<std::size_t>(n));
  }
  return contents;
}

bool RetriveINI(ModelFileUi ui, ModelTable& table) {
  table = ModelTable{};
  const std::string path = ModelFilePath(ui.os.ExePath());
  if (!ui.os.FileExists(path)) return GiveUp(ui, messages::CantLoad(path));
  ModelFileContents contents = ReadModelFile(ui.profiles, path);
  table = std::move(contents.table);
  for (const std::string& item : contents.comboItems) ui.comboBox.AddItem(item);
  ui.comboBox.SetItemIndex(contents.selected ? 0 : -1);
  if (!contents.selected) return GiveUp(ui, messages::SessionError(path, contents.lastSection));
  return true;
}

}  // namespace package
