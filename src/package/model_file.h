// The model description file: the program's own path with the extension
// ".INI", sections "MODEL00" to "MODEL99" of six keys each, read once at
// start-up in builder mode.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/ui.h"

namespace package {

inline constexpr int kMaxModels = 100;
inline constexpr std::size_t kModelTextChars = 24;
inline constexpr const char* kMissingValue = "FAIL";
inline constexpr std::array<const char*, 6> kModelKeys = {"Model",   "Inquiry", "FW-Range",
                                                          "BINMask", "Vendor",  "Note"};

// Six parallel lists, one per key in the order of kModelKeys; entry n of each
// belongs to section n and to item n of the model combo box. Model, FwRange,
// Vendor and Note hold at most 24 characters, Inquiry exactly 24, BinMask the
// value as read. A reading that stopped at section n leaves that section's
// raw values as entry n.
struct ModelTable {
  std::vector<std::string> Model;
  std::vector<std::string> Inquiry;
  std::vector<std::string> FwRange;
  std::vector<std::string> BinMask;
  std::vector<std::string> Vendor;
  std::vector<std::string> Note;
};

// What reading the sections yields, before anything is shown.
struct ModelFileContents {
  ModelTable table;
  std::vector<std::string> comboItems;  // FW-Range + " " + Inquiry, as read
  bool selected = false;                // the last section read was complete
  std::string lastSection;              // name of the last section read
};

// "%5.5s%02d" of "MODEL" and n.
std::string SectionName(int n);
// The executable's path with its extension replaced by ".INI" (appended when
// the file name has none).
std::string ModelFilePath(const std::string& exePath);
// Reads "MODEL00", "MODEL01", ... until a section without "Model", an
// incomplete section, or the hundredth.
ModelFileContents ReadModelFile(platform::ProfileReader& profiles, const std::string& path);

struct ModelFileUi {
  platform::Os& os;
  platform::ProfileReader& profiles;
  platform::Dialogs& dialogs;
  platform::ComboBox& comboBox;
};

// Fills table and the combo box from the file beside the executable and
// selects item 0. A missing or malformed file shows its message, posts the
// quit request and gives false. The model-change handler is the caller's.
bool RetriveINI(ModelFileUi ui, ModelTable& table);

}  // namespace package
