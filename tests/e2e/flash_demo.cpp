// The demo driver: walks the QRW-20410C flash program through one flash of
// the virtual drive as a person would, printing every status caption and
// every dialog as it appears, and the drive's revision before and after.
// Started by scripts/demo.sh inside Wine (Windows 9x mode, the virtual
// drive's WNASPI32.DLL beside the program) when there is no display.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "harness.h"
#include "program/control_ids.h"

namespace {

using namespace e2e;
using namespace program;

constexpr const char* kFlashProgram = "1.10.EXE";

void Say(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = '|';
  return text;
}

// Reads a control's text without a message: the program's thread does not
// answer messages while it flashes, but the window manager keeps the text.
std::string QuietText(HWND control) {
  char text[256] = {};
  GetWindowTextA(control, text, sizeof text);
  return text;
}

// Watches the status caption until the program shows its next box; prints
// each caption it sees, then the box.
std::optional<Dialog> FollowUntilDialog(Process& program, HWND window,
                                        std::string& caption, Milliseconds limit = 180s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end && program.Running()) {
    if (window != nullptr) {
      const std::string now = QuietText(Control(window, kIdGroupBox2));
      if (now != caption) {
        caption = now;
        Say("  caption: \"" + caption + "\"");
      }
    }
    for (HWND other : WindowsOf(program.Id())) {
      if (ClassOf(other) != kDialogClass) continue;
      auto dialog = WaitForDialog(program, 1s);
      if (dialog) Say("  dialog [" + dialog->title + "]: \"" + OneLine(dialog->text) + "\"");
      return dialog;
    }
    std::this_thread::sleep_for(5ms);
  }
  if (!program.Running()) {
    Say("  the program ended, exit code " + std::to_string(program.WaitForExit(0ms).value_or(0)));
  }
  return std::nullopt;
}

std::string Revision(const std::string& line) {
  return line.size() >= 4 ? line.substr(line.size() - 4) : line;
}

TEST(FlashDemo, Windows9xFlashOfTheVirtualDrive) {
  const std::string folder = WorkDir();
  Say("Starting " + folder + "\\" + kFlashProgram + " (Windows 9x mode, virtual drive by ASPI)");
  Process program = Process::Start(folder + "\\" + kFlashProgram, folder);
  std::string caption;

  auto warning = FollowUntilDialog(program, nullptr, caption);
  ASSERT_TRUE(warning.has_value());
  Say("  -> Yes");
  Answer(*warning, IDYES);

  HWND window = WaitForWindow(program, kFlashFormClass);
  ASSERT_NE(window, nullptr);
  Say("Window: \"" + TextOf(window) + "\"");
  const auto items = ComboItems(Control(window, kIdComboBox1));
  ASSERT_EQ(items.size(), 1u);
  Say("Drive: \"" + items[0] + "\"");
  Say("Drive revision before: " + Revision(items[0]));

  Say("Pressing FLASH");
  Click(window, kIdFlashButton);
  auto confirm = FollowUntilDialog(program, window, caption);
  ASSERT_TRUE(confirm.has_value());
  Say("  -> Yes");
  Answer(*confirm, IDYES);

  auto restart = FollowUntilDialog(program, window, caption);
  ASSERT_TRUE(restart.has_value());
  Screenshot(window, "flashed");
  // Yes would restart the whole Wine prefix, this driver included.
  Say("  -> No");
  Answer(*restart, IDNO);
  FollowUntilDialog(program, window, caption, 1s);
  Say("Drive list after: \"" + ComboItems(Control(window, kIdComboBox1)).at(0) + "\"");

  Say("Pressing FLASH again");
  Click(window, kIdFlashButton);
  auto refusal = FollowUntilDialog(program, window, caption);
  ASSERT_TRUE(refusal.has_value());
  const std::string marker = "Your drive FW:";
  const std::size_t at = refusal->text.find(marker);
  ASSERT_NE(at, std::string::npos);
  Say("Drive revision after: " + refusal->text.substr(at + marker.size(), 4));
  Say("  -> OK");
  Answer(*refusal, IDOK);

  Close(window);
  EXPECT_EQ(program.WaitForExit(), std::optional<DWORD>(0));
  Say("The program ended.");
}

}  // namespace
