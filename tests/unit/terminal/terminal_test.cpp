// The terminal's seams of the flash procedure: prompts, caption lines, the
// bar over the chunks, and the interrupt gate in front of the transport.
#include <gtest/gtest.h>

#include <sstream>
#include <utility>

#include "flash/flash_texts.h"
#include "terminal/interrupt_gate.h"
#include "terminal/terminal_seams.h"

namespace {

using platform::Answer;
using platform::DialogButtons;
using platform::DialogKind;

// The system's and the terminal's texts, written out here.
const std::string kRestartOfferNt =
    "\nYou have successfully completed installation!\n The new changes will not take effect "
    "until\n you reboot your system.\n\n Do you want to reboot your system now?\n";
const std::string kPowerCycle =
    "The drive takes the new firmware after its power is cycled: switch the drive (or the "
    "computer it is in) off and on again. The computer is not restarted.\n";
const std::string kHeld =
    "\nInterrupt held: the drive is in its critical phase and must not be left in it. qrwflash "
    "goes on until the flash command has answered.\n";

struct Terminal {
  explicit Terminal(const std::string& input = "", bool tty = false)
      : in(input), console{in, out, err, tty}, interrupt(requested) {}
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  terminal::Console console;
  volatile std::sig_atomic_t requested = 0;
  terminal::Interrupt interrupt;
};

struct AnswerCase {
  const char* typed;
  Answer answer;
};

// Answers from a file or a pipe are shown after their prompt, as printable
// text, so that what follows starts a line of its own.
TEST(TerminalDialogs, ShowsAnswersNotTypedAtATerminal) {
  const std::pair<const char*, const char*> cases[] = {
      {"n\n", "\nUpdate FW:1.00 to FW:1.10 ?\n[y/N] n\n"},
      {"y\x1b[2J\n", "\nUpdate FW:1.00 to FW:1.10 ?\n[y/N] y?[2J\n"},
      {"", "\nUpdate FW:1.00 to FW:1.10 ?\n[y/N] \n"}};
  for (const auto& [typed, shown] : cases) {
    Terminal t(typed);
    t.console.echoAnswers = true;
    terminal::TerminalDialogs dialogs(t.console, t.interrupt, false);
    dialogs.Ask(DialogKind::Confirm, "\nUpdate FW:1.00 to FW:1.10 ?\n", DialogButtons::YesNo);
    EXPECT_EQ(t.out.str(), shown) << "typed \"" << typed << "\"";
  }
}

TEST(TerminalDialogs, ReadsYesOnlyFromYOrYes) {
  for (const AnswerCase& c : {AnswerCase{"y\n", Answer::Yes}, AnswerCase{"YES\n", Answer::Yes},
                              AnswerCase{"Yes\n", Answer::Yes}, AnswerCase{"n\n", Answer::No},
                              AnswerCase{"\n", Answer::No}, AnswerCase{"yy\n", Answer::No},
                              AnswerCase{" y\n", Answer::No}, AnswerCase{"", Answer::No}}) {
    Terminal t(c.typed);
    terminal::TerminalDialogs dialogs(t.console, t.interrupt, false);
    EXPECT_EQ(dialogs.Ask(DialogKind::Confirm, "\nUpdate FW:1.00 to FW:1.10 ?\n", DialogButtons::YesNo),
              c.answer)
        << "typed \"" << c.typed << "\"";
    EXPECT_EQ(t.out.str().substr(0, 35), "\nUpdate FW:1.00 to FW:1.10 ?\n[y/N] ");
  }
}

TEST(TerminalDialogs, YesAnswersWithoutReading) {
  Terminal t("n\n");
  terminal::TerminalDialogs dialogs(t.console, t.interrupt, true);
  EXPECT_EQ(dialogs.Ask(DialogKind::Warning, "Go on?", DialogButtons::YesNo), Answer::Yes);
  EXPECT_EQ(t.out.str(), "Go on?\n[y/N] y (--yes)\n");
}

TEST(TerminalDialogs, AnInterruptAtThePromptIsNo) {
  Terminal t("y\n");
  t.requested = 1;
  terminal::TerminalDialogs dialogs(t.console, t.interrupt, false);
  EXPECT_EQ(dialogs.Ask(DialogKind::Confirm, "Go on?", DialogButtons::YesNo), Answer::No);
}

// The terminal never restarts the computer: where the window offers the
// restart, the user is told to cycle the drive's power.
TEST(TerminalView, WhereTheRestartWouldBeOfferedThePowerCycleNoteIsShown) {
  Terminal t("y\n");
  terminal::TerminalBar bar(t.console, 16384);
  terminal::TerminalView view(t.console, t.interrupt, bar);
  view.RestartNotOffered();
  EXPECT_EQ(t.out.str(), kPowerCycle);
}

TEST(TerminalDialogs, ControlBytesNeverReachTheTerminal) {
  Terminal t;
  terminal::TerminalDialogs dialogs(t.console, t.interrupt, true);
  dialogs.Message(std::string("A\x1b[2J\x07\tB\x7f\xc3\n", 11));
  EXPECT_EQ(t.out.str(), "A?[2J??B??\n\n");
}

TEST(TerminalBar, KeepsItsValuesExactlyAndDrawsOnlyChunkSteps) {
  Terminal t("", true);
  terminal::TerminalBar bar(t.console, 16384);
  bar.SetMax(327680);
  bar.SetStep(16384);
  bar.SetPosition(0);
  EXPECT_EQ(t.out.str(), "");
  bar.StepIt();
  bar.StepIt();
  EXPECT_EQ(bar.Position(), 32768);
  EXPECT_EQ(t.out.str(), "\r[##......................................]  1/20 chunks"
                         "\r[####....................................]  2/20 chunks");
  // The final flash command's values: kept, never drawn.
  t.out.str("");
  bar.SetMax(200);
  bar.SetStep(1);
  bar.SetPosition(196);
  bar.StepIt();
  bar.SetPosition(500);
  EXPECT_EQ(bar.Position(), 500);
  EXPECT_EQ(t.out.str(), "");
  bar.EndLine();
  EXPECT_EQ(t.out.str(), "\n");
}

TEST(TerminalBar, DrawsNothingWhenNotATerminal) {
  Terminal t("", false);
  terminal::TerminalBar bar(t.console, 16384);
  bar.SetMax(262144);
  bar.SetStep(16384);
  for (int i = 0; i < 16; ++i) bar.StepIt();
  EXPECT_EQ(bar.Position(), 262144);
  EXPECT_EQ(t.out.str(), "");
  EXPECT_EQ(terminal::TerminalBar::Drawing(16, 16),
            "[########################################]  16/16 chunks");
}

// The critical phase begins with the critical entry; from then on an
// interrupt is held and said once.
TEST(TerminalView, EachCaptionALineAndTheCriticalEntryHoldsInterrupts) {
  Terminal t;
  terminal::TerminalBar bar(t.console, 16384);
  terminal::TerminalView view(t.console, t.interrupt, bar);
  view.Caption("Write BIN to drive's DRAM... ");
  view.Caption("");
  EXPECT_FALSE(t.interrupt.Critical());
  view.PhaseChanged(flash::Phase::CriticalBegun);
  view.Caption("Drive entry critical... ");
  EXPECT_TRUE(t.interrupt.Critical());
  t.requested = 1;
  EXPECT_FALSE(t.interrupt.Stops());
  view.Caption("Flash Completed.");
  view.Caption("");
  EXPECT_EQ(t.out.str(), "Write BIN to drive's DRAM... \nDrive entry critical... \n" + kHeld +
                             "Flash Completed.\n");
  EXPECT_EQ(view.Shown(), (std::vector<std::string>{"Write BIN to drive's DRAM... ",
                                                     "Drive entry critical... ",
                                                     "Flash Completed."}));
}

// A transport that records what reaches it.
class RecordingPassThrough final : public scsi::PassThrough {
 public:
  std::optional<platform::Handle> OpenDriveDevice(char) override { ++opens; return 7; }
  void CloseDevice(platform::Handle) override {}
  std::uint32_t LastError() override { return 2; }
  scsi::Opening OpenForFlash(char) override { ++opens; return {}; }
  scsi::ScsiResult NTSendRequest(const scsi::ScsiRequest&) override { ++sent; return {}; }
  scsi::ScsiResult NTSendRequest(const scsi::ScsiRequest&, platform::Handle) override {
    ++sent;
    return {};
  }
  void CloseDeviceHandle() override {}
  std::string DeviceName(char) const override { return "/dev/sg0"; }
  int opens = 0;
  int sent = 0;
};

TEST(InterruptGate, BeforeTheCriticalEntryAnInterruptStopsEveryFurtherCommand) {
  Terminal t;
  RecordingPassThrough inner;
  terminal::InterruptGate gate(inner, t.interrupt, t.console);
  scsi::ScsiRequest request;
  request.adapter = 1;
  EXPECT_TRUE(gate.NTSendRequest(request).delivered);
  t.requested = 1;
  const scsi::ScsiResult refused = gate.NTSendRequest(request);
  EXPECT_FALSE(refused.delivered);
  EXPECT_EQ(refused.systemError, 4u);
  EXPECT_EQ(refused.returnedAdapter, 1);
  EXPECT_FALSE(gate.NTSendRequest(request, 7).delivered);
  EXPECT_FALSE(gate.OpenDriveDevice('A'));
  EXPECT_EQ(gate.LastError(), 4u);
  EXPECT_EQ(inner.sent, 1);
  EXPECT_EQ(inner.opens, 0);
  EXPECT_TRUE(t.interrupt.Stopped());
  // Once taken, the stop stands even if the critical caption came later.
  t.interrupt.EnterCritical();
  EXPECT_FALSE(gate.NTSendRequest(request).delivered);
  EXPECT_EQ(inner.sent, 1);
}

TEST(InterruptGate, InTheCriticalPhaseEveryCommandGoesThroughAndTheInterruptIsHeld) {
  Terminal t;
  RecordingPassThrough inner;
  terminal::InterruptGate gate(inner, t.interrupt, t.console);
  t.interrupt.EnterCritical();
  t.requested = 1;
  scsi::ScsiRequest request;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(gate.NTSendRequest(request).delivered);
  EXPECT_EQ(inner.sent, 3);
  EXPECT_FALSE(t.interrupt.Stopped());
  EXPECT_TRUE(t.interrupt.Held());
  EXPECT_EQ(t.out.str(), kHeld);
}

}  // namespace
