// A flash session as a terminal shows it: dialogs become prompts, the
// status captions become lines, the progress bar a bar over the chunks
// (drawn only when standard output is a terminal).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "drive/transfer_cursor.h"
#include "flash/flash_observer.h"
#include "platform/os.h"
#include "platform/ui.h"
#include "terminal/console.h"

namespace terminal {

// Answers questions at the prompt, or yes to all of them with --yes.
class TerminalDialogs final : public platform::Dialogs {
 public:
  TerminalDialogs(Console& console, Interrupt& interrupt, bool assumeYes)
      : console_(console), interrupt_(interrupt), assumeYes_(assumeYes) {}

  void Message(const std::string& text) override;
  platform::Answer Ask(platform::DialogKind kind, const std::string& text,
                       platform::DialogButtons buttons) override;
  void SystemBox(const std::string& text, const std::string& title) override;

  // Reads y/yes (any case) as Yes; anything else, end of input and an
  // interrupted read as No.
  bool AskYesNo();

 private:
  Console& console_;
  Interrupt& interrupt_;
  bool assumeYes_;
};

// The transfer cursor keeps its values exactly; while its step is one chunk
// it is drawn as "[#####.....]  5/20 chunks" on one line that redraws.
class TerminalBar final : public drive::TransferCursor {
 public:
  TerminalBar(Console& console, std::int32_t chunkLength)
      : console_(console), chunkLength_(chunkLength) {}

  void SetMin(std::int32_t value) override { min_ = value; }
  void SetMax(std::int32_t value) override { max_ = value; }
  void SetPosition(std::int32_t value) override;
  void SetStep(std::int32_t value) override { step_ = value; }
  void StepIt() override;
  std::int32_t Min() const override { return min_; }
  std::int32_t Max() const override { return max_; }
  std::int32_t Position() const override { return position_; }
  std::int32_t Step() const override { return step_; }

  // Ends the bar's line before another line is written.
  void EndLine();
  static std::string Drawing(std::int32_t done, std::int32_t total);

 private:
  void Draw();

  Console& console_;
  std::int32_t chunkLength_;
  std::int32_t min_ = 0, max_ = 100, position_ = 0, step_ = 10;
  bool lineOpen_ = false;
  std::string lastDrawn_;
};

// What the session reports, on the terminal: every caption on a line of
// its own; the critical entry holds interrupts from then on; where the
// window would offer the restart the drive's power must be cycled instead
// (the terminal never restarts the computer).
class TerminalView final : public flash::FlashObserver {
 public:
  TerminalView(Console& console, Interrupt& interrupt, TerminalBar& bar)
      : console_(console), interrupt_(interrupt), bar_(bar) {}

  void Caption(const std::string& text) override;
  drive::TransferCursor& Progress() override { return bar_; }
  void Busy(bool) override {}
  // The list is shown once, before the flash; the line is kept for the
  // revision after it.
  void DriveLineChanged(int, const std::string& line) override { newLine_ = line; }
  void PhaseChanged(flash::Phase phase) override;
  void RestartNotOffered() override;
  bool StopRequested() const override { return interrupt_.Stopped(); }
  void Finished(const flash::FlashResult& result) override { result_ = result; }

  const std::vector<std::string>& Shown() const { return shown_; }
  // How the press ended; none when it never reached a drive.
  const std::optional<flash::FlashResult>& Result() const { return result_; }
  const std::optional<std::string>& NewLine() const { return newLine_; }

 private:
  Console& console_;
  Interrupt& interrupt_;
  TerminalBar& bar_;
  std::optional<std::string> newLine_;
  std::vector<std::string> shown_;
  std::optional<flash::FlashResult> result_;
};

// The procedure's pauses; once a stop is decided they are skipped, so that
// the empty-drive wait ends at once.
class TerminalOs final : public platform::Os {
 public:
  explicit TerminalOs(Interrupt& interrupt) : interrupt_(interrupt) {}

  std::uint32_t PlatformId() override { return platform::kPlatformWin32Nt; }
  std::string LogicalDriveStrings(std::uint32_t) override { return std::string(1, '\0'); }
  std::uint32_t DriveType(const std::string&) override { return 0; }
  void Sleep(std::chrono::milliseconds duration) override;
  void PostQuit(int) override { quit_ = true; }
  std::string CurrentFolder() override { return "."; }
  std::string ExePath() override { return ""; }
  bool FileExists(const std::string&) override { return false; }
  bool QuitPosted() const { return quit_; }

 private:
  Interrupt& interrupt_;
  bool quit_ = false;
};

}  // namespace terminal
