// One run of the QRW-20410C flash program against the virtual drive, for
// the suites that flash under Wine (flash_e2e_run.sh maps drive E to the SG
// front and preloads it), with what every such test does: the warning, the
// press and its confirmation, the window's texts.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "harness.h"
#include "program/control_ids.h"

namespace flash_e2e {

using namespace e2e;

inline constexpr const char* kFlashProgram = "1.10.EXE";
inline constexpr const char* kApplicationTitle = "Quarvel Flash utility for QRW1B / QRW2B";

enum class Platform { Nt, W9x };

inline std::string Name(Platform p) { return p == Platform::Nt ? "NT" : "9x"; }

// One program run in a folder of its own. The virtual drive's fronts read
// their session files from the environment the run script set for the whole
// suite (the SG front reads it when a process starts, so the driver cannot
// change it per program); each run rewrites the scenario and empties the
// trace before the program starts. The trace file is emptied, not removed:
// a suite may have the run script append more than the drive's lines to it.
class FlashRun {
 public:
  // source: the program file copied in as 1.10.EXE, from the program folder.
  FlashRun(Platform platform, const std::string& name, const std::string& driveLines,
           const std::string& source = kFlashProgram)
      : folder_(MakeWorkFolder(name)), session_(WorkDir() + "\\session") {
    EXPECT_TRUE(CopyInto(ProgramPath(source), folder_, kFlashProgram));
    if (platform == Platform::W9x) {
      EXPECT_TRUE(CopyInto(ProgramPath("WNASPI32.DLL"), folder_));
      SetWindows98(kFlashProgram, AspiLibrary::Beside);
    } else {
      ClearWindows98(kFlashProgram);
    }
    CreateDirectoryA(session_.c_str(), nullptr);
    std::ofstream(session_ + "\\trace.txt", std::ios::trunc).flush();
    std::ofstream scenario(session_ + "\\scenario.txt", std::ios::trunc);
    scenario << "[drive QRW]\nletter = E\naspi = 0 0\n" << driveLines;
  }
  ~FlashRun() { ClearWindows98(kFlashProgram); }

  Process Start() const { return Process::Start(folder_ + "\\" + kFlashProgram, folder_); }
  std::string ProgramCopy() const { return folder_ + "\\" + kFlashProgram; }
  std::string SessionFile(const std::string& name) const { return session_ + "\\" + name; }

  // Every line of the trace file, the drive's and whatever else the run
  // script appended, in the order they were written.
  std::vector<std::string> Log() const {
    std::ifstream file(session_ + "\\trace.txt");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  }
  // The virtual drive's trace of this run, one line per command.
  std::vector<std::string> Trace() const {
    std::vector<std::string> lines;
    for (const std::string& line : Log())
      if (IsCommand(line)) lines.push_back(line);
    return lines;
  }
  static bool IsCommand(const std::string& line) { return line.rfind("QRW ", 0) == 0; }
  // Commands whose CDB begins with these bytes (hex, as the trace shows them).
  std::size_t CountCommands(const std::string& cdbStart) const {
    std::size_t n = 0;
    for (const auto& line : Trace())
      if (line.rfind("QRW " + cdbStart, 0) == 0) ++n;
    return n;
  }

 private:
  std::string folder_;
  std::string session_;
};

// Yes to the start-up warning; the window then lists the drive.
inline HWND OpenFlashWindow(const Process& program) {
  const auto warning = WaitForDialog(program);
  EXPECT_TRUE(warning.has_value());
  if (!warning) return nullptr;
  EXPECT_EQ(warning->title, "Warning");
  Answer(*warning, IDYES);
  HWND window = WaitForWindow(program, program::kFlashFormClass);
  if (window == nullptr) {
    // Start-up gave up; say what the program said instead.
    if (const auto other = WaitForDialog(program, 1s)) {
      ADD_FAILURE() << "start-up ended with \"" << other->title << "\": " << other->text;
    }
  }
  return window;
}

inline std::string ListLine(HWND window) {
  const auto items = ComboItems(Control(window, program::kIdComboBox1));
  return items.size() == 1 ? items[0] : "(" + std::to_string(items.size()) + " items)";
}

inline std::string RevisionOf(const std::string& line) {
  return line.size() >= 4 ? line.substr(line.size() - 4) : line;
}

inline std::string Caption(HWND window) { return ControlText(window, program::kIdGroupBox2); }

// Presses FLASH and says Yes to the confirmation of 1.00 to 1.10.
inline void PressFlashAndConfirm(const Process& program, HWND window) {
  Click(window, program::kIdFlashButton);
  const auto confirm = WaitForDialog(program);
  ASSERT_TRUE(confirm.has_value());
  EXPECT_EQ(confirm->title, "Confirm");
  EXPECT_EQ(confirm->text, "\nUpdate FW:1.00 to FW:1.10 ?\n");
  EXPECT_TRUE(confirm->yes && confirm->no);
  Answer(*confirm, IDYES);
}

inline void CloseProgram(Process& program, HWND window) {
  Close(window);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
}

// The final flash command as each transport sends it (control 80), as the
// trace shows its CDB.
inline std::string FinalFlashCdb(Platform p) {
  return p == Platform::Nt ? "3B 05 01 00 00 C5 00 00 01 80 /"
                           : "3B 05 01 00 00 C6 00 00 01 80 00 00 /";
}

}  // namespace flash_e2e
