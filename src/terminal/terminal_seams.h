// The window's seams as a terminal shows them: dialogs become prompts,
// the status caption becomes lines, the progress bar a bar over the chunks
// (drawn only when standard output is a terminal).
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/restart.h"
#include "platform/ui.h"
#include "terminal/console.h"

namespace terminal {

// Answers questions at the prompt, or yes to all of them with --yes. The
// restart offer at the end of a flash is not asked: the terminal never
// restarts the computer, it says that the drive needs its power cycled.
class TerminalDialogs final : public platform::Dialogs {
 public:
  TerminalDialogs(Console& console, Interrupt& interrupt, bool assumeYes)
      : console_(console), interrupt_(interrupt), assumeYes_(assumeYes) {}

  void Message(const std::string& text) override;
  platform::Answer Ask(platform::DialogKind kind, const std::string& text,
                       platform::DialogButtons buttons) override;
  void SystemBox(const std::string& text, const std::string& title) override;

  // A question answered No (the warning, the confirmation).
  bool Declined() const { return declined_; }
  // A notice with only OK: the revision check refusing the drive.
  bool Refused() const { return refused_; }
  bool PowerCycleTold() const { return powerCycleTold_; }
  // Reads y/yes (any case) as Yes; anything else, end of input and an
  // interrupted read as No.
  bool AskYesNo();

 private:
  Console& console_;
  Interrupt& interrupt_;
  bool assumeYes_;
  bool declined_ = false;
  bool refused_ = false;
  bool powerCycleTold_ = false;
};

// The transfer cursor keeps its values exactly; while its step is one chunk
// it is drawn as "[#####.....]  5/20 chunks" on one line that redraws.
class TerminalBar final : public platform::ProgressBar {
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
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void SetTop(int top) override { top_ = top; }
  int Top() const override { return top_; }
  void Repaint() override {}

  // Ends the bar's line before another line is written.
  void EndLine();
  static std::string Drawing(std::int32_t done, std::int32_t total);

 private:
  void Draw();

  Console& console_;
  std::int32_t chunkLength_;
  std::int32_t min_ = 0, max_ = 100, position_ = 0, step_ = 10;
  bool visible_ = true;
  int top_ = 0;
  bool lineOpen_ = false;
  std::string lastDrawn_;
};

// GroupBox2: every caption on a line of its own. The critical entry's
// caption marks the start of the critical phase.
class StatusLines final : public platform::TextControl {
 public:
  StatusLines(Console& console, Interrupt& interrupt, TerminalBar& bar)
      : console_(console), interrupt_(interrupt), bar_(bar) {}

  void SetText(const std::string& text) override;
  std::string Text() const override { return text_; }
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void SetTop(int top) override { top_ = top; }
  int Top() const override { return top_; }
  void Repaint() override {}

  const std::vector<std::string>& Shown() const { return shown_; }
  bool Completed() const;

 private:
  Console& console_;
  Interrupt& interrupt_;
  TerminalBar& bar_;
  std::string text_;
  std::vector<std::string> shown_;
  bool visible_ = true;
  int top_ = 0;
};

class QuietCursor final : public platform::Cursor {
 public:
  void Hourglass() override {}
  void Default() override {}
};

// ComboBox1: the matching drives' lines; the selection is the drive chosen.
class DriveChoices final : public platform::ComboBox {
 public:
  int AddItem(const std::string& text) override;
  void InsertItem(int index, const std::string& text) override;
  void DeleteItem(int index) override;
  int Count() const override { return static_cast<int>(items_.size()); }
  std::string ItemText(int index) const override;
  void SetItemIndex(int index) override { selected_ = index; }
  int ItemIndex() const override { return selected_; }
  void SetVisible(bool visible) override { visible_ = visible; }
  bool Visible() const override { return visible_; }
  void SetTop(int top) override { top_ = top; }
  int Top() const override { return top_; }
  void Repaint() override {}

 private:
  std::vector<std::string> items_;
  int selected_ = -1;
  bool visible_ = true;
  int top_ = 0;
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

// The terminal never restarts the computer: every step refuses.
class NoRestart final : public platform::Restart {
 public:
  bool OpenProcessToken() override { return false; }
  bool LookupShutdownPrivilege() override { return false; }
  std::uint32_t EnableShutdownPrivilege() override { return 1; }
  void ExitWindows(std::uint32_t) override {}
};

}  // namespace terminal
