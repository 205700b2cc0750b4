// What the flash program asks of the system around a flash, and how its
// window answers while a drive command is with the drive, under Wine on both
// platforms. Run by flash_e2e_run.sh with the guard's settings:
//   - Wine's relay trace of the three guard functions goes to the same file
//     as the virtual drive's trace, so their order against the drive's
//     commands shows line by line;
//   - the session's release file ends every "at-wait" hold, so the final
//     flash command stays with the drive for as long as the test looks;
//   - QRW_POWER_SUPPLY, when set, is a power-supply folder of the test's own
//     standing in for /sys/class/power_supply, which Wine reads for
//     GetSystemPowerStatus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "flash_run.h"

namespace {

using namespace e2e;
using namespace flash_e2e;
using namespace program;

constexpr const char* kStayAwake = "SetThreadExecutionState(80000001)";
constexpr const char* kAwakeReleased = "SetThreadExecutionState(80000000)";
constexpr const char* kReasonMade =
    "ShutdownBlockReasonCreate(WINDOW,L\"Firmware update in progress. Do not turn off the "
    "computer.\")";
constexpr const char* kReasonDestroyed = "ShutdownBlockReasonDestroy(WINDOW)";

// Wine's relay line of a guard call, "0024:Call KERNEL32.Name(args) ret=...",
// as "Name(args)" with the window's handle written WINDOW; nothing for any
// other line.
std::optional<std::string> GuardCall(const std::string& line, HWND window) {
  const std::size_t call = line.find(":Call ");
  if (call == std::string::npos) return std::nullopt;
  std::size_t name = line.find('.', call);
  const std::size_t end = line.rfind(") ret=");
  if (name == std::string::npos || end == std::string::npos || end < name) return std::nullopt;
  std::string text = line.substr(name + 1, end - name);
  char handle[16];
  std::snprintf(handle, sizeof handle, "%08lx",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(window)));
  for (std::size_t at; (at = text.find(handle)) != std::string::npos;)
    text.replace(at, std::strlen(handle), "WINDOW");
  // A text argument shows as its address and its text: the text is enough.
  for (std::size_t at; (at = text.find(" L\"")) != std::string::npos && at >= 8;)
    text.erase(at - 8, 9);
  return text;
}

// The run's log as events: each drive command's trace line, each guard call.
std::vector<std::string> Events(const FlashRun& run, HWND window) {
  std::vector<std::string> events;
  for (const std::string& line : run.Log()) {
    if (FlashRun::IsCommand(line)) {
      events.push_back(line);
    } else if (const auto call = GuardCall(line, window)) {
      events.push_back(*call);
    }
  }
  return events;
}

std::size_t FindCommand(const std::vector<std::string>& trace, const std::string& cdbStart) {
  for (std::size_t i = 0; i < trace.size(); ++i)
    if (trace[i].rfind("QRW " + cdbStart, 0) == 0) return i;
  return trace.size();
}

std::string WithoutHold(std::string line) {
  const std::string held = " held-at-wait";
  if (line.size() >= held.size() && line.compare(line.size() - held.size(), held.size(), held) == 0)
    line.resize(line.size() - held.size());
  return line;
}

void Release(const FlashRun& run) { std::ofstream(run.SessionFile("release")) << "go\n"; }

// Sends one message and waits at most a second for the answer: nothing
// when the window did not answer in time. The time is measured as well:
// Wine does not always end the wait on a thread that is stuck in a call.
std::optional<LRESULT> Ask(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  const DWORD start = GetTickCount();
  const bool answered =
      SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 1000, &result) != 0;
  if (!answered || GetTickCount() - start > 1000) return std::nullopt;
  return static_cast<LRESULT>(result);
}

class GuardE2e : public testing::TestWithParam<Platform> {
 protected:
  Platform p = GetParam();

  // A whole flash with Yes to the confirmation and No to the restart; the
  // run's events from the press on. While the final flash command is held
  // (held: true), `whileHeld` runs before the release.
  template <typename WhileHeld>
  std::vector<std::string> Flash(FlashRun& run, bool held, WhileHeld whileHeld) {
    DeleteFileA(run.SessionFile("release").c_str());
    Process program = run.Start();
    HWND window = OpenFlashWindow(program);
    EXPECT_NE(window, nullptr);
    if (window == nullptr) return {};
    const std::size_t before = Events(run, window).size();
    PressFlashAndConfirm(program, window);
    if (held) {
      const auto deadline = GetTickCount() + 120000;
      while (run.CountCommands(FinalFlashCdb(p)) == 0 && GetTickCount() < deadline) Sleep(100);
      EXPECT_EQ(run.CountCommands(FinalFlashCdb(p)), 1u) << "the final flash command never came";
      whileHeld(program, window);
      Release(run);
    }
    const auto restart = WaitForDialog(program, 120s);
    EXPECT_TRUE(restart.has_value());
    if (!restart) return {};
    EXPECT_EQ(restart->title, "Confirm");
    EXPECT_EQ(Caption(window), "Flash Completed.");
    // Keys and clicks sent while the command was held were dropped: none
    // of them answers the restart offer.
    Sleep(1000);
    EXPECT_TRUE(IsWindow(restart->hwnd)) << "the restart offer went without an answer";
    Answer(*restart, IDNO);
    EXPECT_EQ(RevisionOf(ListLine(window)), "1.10");
    std::vector<std::string> events = Events(run, window);
    CloseProgram(program, window);
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(
                                                      std::min(before, events.size())));
    return events;
  }

  // What the guard calls must look like around the flash's commands: the
  // stay-awake request before the first, the block reason (Vista and later
  // only: not in the Windows 98 runs) from the critical entry to the final
  // flash command's answer, the release after the last.
  std::vector<std::string> Framed(const std::vector<std::string>& trace) const {
    std::vector<std::string> expected{kStayAwake};
    const std::size_t critical = FindCommand(trace, "3B 05 01 00 00 00 00 00 00 7F");
    const std::size_t final = FindCommand(trace, FinalFlashCdb(p));
    EXPECT_LT(critical, final);
    for (std::size_t i = 0; i < trace.size(); ++i) {
      if (i == critical && p == Platform::Nt) expected.push_back(kReasonMade);
      expected.push_back(trace[i]);
      if (i == final && p == Platform::Nt) expected.push_back(kReasonDestroyed);
    }
    expected.push_back(kAwakeReleased);
    return expected;
  }

  // The drive's commands among the events; unheld: as a flash without the
  // hold would have traced them.
  static std::vector<std::string> Commands(const std::vector<std::string>& events,
                                           bool unheld = false) {
    std::vector<std::string> commands;
    for (const std::string& e : events)
      if (FlashRun::IsCommand(e)) commands.push_back(unheld ? WithoutHold(e) : e);
    return commands;
  }
};

// A flash as ever, then the same flash with its final command held while
// the window is asked to end the session, to close, to let the system
// sleep, and is clicked and typed at: it refuses or ignores each, keeps
// answering, and completes with the same trace.
TEST_P(GuardE2e, TheFlashHoldsTheSystemAndItsWindowAnswersWhileTheDriveWorks) {
  std::vector<std::string> plain;
  {
    FlashRun run(p, "plain-" + Name(p), "");
    plain = Flash(run, false, [](const Process&, HWND) {});
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(plain, Framed(Commands(plain)));
  }

  FlashRun run(p, "held-" + Name(p), "hold = burn 1 at-wait\n");
  const std::vector<std::string> held = Flash(run, true, [&](const Process& program, HWND window) {
    const std::string title = TextOf(window);
    const std::string caption = Caption(window);
    const std::vector<std::string> list = ComboItems(Control(window, kIdComboBox1));
    const int position = ProgressPosition(Control(window, kIdProgressBar));
    EXPECT_FALSE(caption.empty());
    // Past Windows' five seconds without a look at the messages, after
    // which a window counts as hung.
    Sleep(6000);
    EXPECT_FALSE(IsHungAppWindow(window));
    EXPECT_EQ(Ask(window, WM_NULL), std::optional<LRESULT>(0)) << "no answer within 1 s";
    EXPECT_EQ(Ask(window, WM_QUERYENDSESSION, 0, 0), std::optional<LRESULT>(FALSE));
    EXPECT_EQ(Ask(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF),
              std::optional<LRESULT>(FALSE));
    EXPECT_EQ(Ask(window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0),
              std::optional<LRESULT>(BROADCAST_QUERY_DENY));
    EXPECT_EQ(Ask(window, WM_CLOSE), std::optional<LRESULT>(0));
    // Posted: a close request, a FLASH press, a click on it, Enter and
    // Escape; all are looked at while the command is held.
    Close(window);
    Click(window, kIdFlashButton);
    HWND button = Control(window, kIdFlashButton);
    PostMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    for (WPARAM key : {VK_RETURN, VK_ESCAPE, VK_SPACE}) {
      PostMessageA(window, WM_KEYDOWN, key, 0);
      PostMessageA(window, WM_KEYUP, key, 0xC0000001);
    }
    EXPECT_EQ(Ask(window, WM_NULL), std::optional<LRESULT>(0));
    Sleep(500);
    Screenshot(window, "final-command-held");
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(program.Running());
    EXPECT_FALSE(WaitForDialog(program, 500ms).has_value()) << "something was started";
    EXPECT_EQ(TextOf(window), title);
    EXPECT_EQ(Caption(window), caption);
    EXPECT_EQ(ComboItems(Control(window, kIdComboBox1)), list);
    EXPECT_EQ(ProgressPosition(Control(window, kIdProgressBar)), position);
    EXPECT_EQ(run.CountCommands(FinalFlashCdb(p)), 1u);
  });
  ASSERT_FALSE(held.empty());
  EXPECT_EQ(held, Framed(Commands(held)));
  EXPECT_EQ(Commands(held, true), Commands(plain)) << "the held flash sent something else";
}

// A battery below 10%: the press is refused in one message box, nothing is
// asked or sent, and on mains power the next press goes on.
TEST_P(GuardE2e, ALowBatteryRefusesThePressUntilTheComputerIsPluggedIn) {
  const char* supplies = std::getenv("QRW_POWER_SUPPLY");
  if (supplies == nullptr)
    GTEST_SKIP() << "no stand-in power supply: it needs root and a mount namespace of its own";
  const std::string ac = std::string("Z:") + supplies + "/AC/online";
  std::ofstream(ac) << "0\n";

  FlashRun run(p, "battery-" + Name(p), "");
  Process program = run.Start();
  HWND window = OpenFlashWindow(program);
  ASSERT_NE(window, nullptr);
  const std::size_t commands = run.Trace().size();
  const std::string caption = Caption(window);
  const std::string line = ListLine(window);

  Click(window, kIdFlashButton);
  const auto refusal = WaitForDialog(program);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->title, kApplicationTitle);
  EXPECT_EQ(refusal->text,
            "The computer is running on battery (5% left). Connect it to mains power before you "
            "flash the drive.");
  EXPECT_TRUE(refusal->ok);
  EXPECT_FALSE(refusal->yes);
  Answer(*refusal, IDOK);
  EXPECT_FALSE(WaitForDialog(program, 1s).has_value());
  EXPECT_EQ(run.Trace().size(), commands) << "a command was sent";
  EXPECT_EQ(Caption(window), caption);
  EXPECT_EQ(ListLine(window), line);
  EXPECT_TRUE(IsEnabled(Control(window, kIdFlashButton)));

  // Plugged in: the next press asks for the confirmation (declined here).
  std::ofstream(ac) << "1\n";
  Click(window, kIdFlashButton);
  const auto confirm = WaitForDialog(program);
  ASSERT_TRUE(confirm.has_value());
  EXPECT_EQ(confirm->text, "\nUpdate FW:1.00 to FW:1.10 ?\n");
  Answer(*confirm, IDNO);
  CloseProgram(program, window);
}

INSTANTIATE_TEST_SUITE_P(BothPlatforms, GuardE2e, testing::Values(Platform::Nt, Platform::W9x),
                         [](const auto& info) { return Name(info.param); });

}  // namespace
