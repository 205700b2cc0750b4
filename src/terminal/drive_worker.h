// One drive of a run over several drives (or of a dry run): its worker
// with its own SCSI generic access, session, transport, interrupt state and
// (inside the procedure) chunk buffer, showing its steps on a DriveBoard.
// The drive check runs on the caller's thread, the flash on a thread of its
// own.
#pragma once

#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "flash/flash_session.h"
#include "package/package_region.h"
#include "platform/scsi_generic.h"
#include "scsi/sg_pass_through.h"
#include "terminal/drive_board.h"
#include "terminal/interrupt_gate.h"
#include "terminal/rehearsal.h"
#include "terminal/terminal_seams.h"
#include "terminal/terminal_texts.h"
#include "text/format.h"

namespace terminal {

using Note = std::function<void(const std::string&)>;

// A stream whose every whole line becomes a note of one drive: what the
// session's seams write to their console (an interrupt held) reaches the
// board as the drive's own line.
class NoteBuffer final : public std::streambuf {
 public:
  explicit NoteBuffer(Note note) : note_(std::move(note)) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return c;
    if (c == '\n') {
      if (!pending_.empty()) note_(pending_);
      pending_.clear();
    } else {
      pending_ += traits_type::to_char_type(c);
    }
    return c;
  }

 private:
  Note note_;
  std::string pending_;
};

// The run's one confirmation stands for every drive: a worker's session
// hears Yes, and its messages (a command's report) become notes.
class WorkerDialogs final : public platform::Dialogs {
 public:
  WorkerDialogs(Note note, const Interrupt& interrupt) : note_(std::move(note)), interrupt_(interrupt) {}

  void Message(const std::string& text) override {
    // A command refused because of the interrupt is no drive failure.
    if (!interrupt_.Stopped()) note_(text);
  }
  platform::Answer Ask(platform::DialogKind, const std::string& text,
                       platform::DialogButtons buttons) override {
    if (buttons == platform::DialogButtons::Ok) {
      note_(text);
      return platform::Answer::Ok;
    }
    return platform::Answer::Yes;
  }
  void SystemBox(const std::string& text, const std::string& title) override {
    note_(title + ": " + text);
  }

 private:
  Note note_;
  const Interrupt& interrupt_;
};

// The transfer cursor of one drive: keeps its values exactly, and tells the
// board the chunks done while its step is one chunk.
class WorkerCursor final : public drive::TransferCursor {
 public:
  using Shown = std::function<void(int done, int total)>;
  explicit WorkerCursor(Shown shown) : shown_(std::move(shown)) {}

  void SetMin(std::int32_t value) override { min_ = value; }
  void SetMax(std::int32_t value) override { max_ = value; }
  void SetPosition(std::int32_t value) override { position_ = value; }
  void SetStep(std::int32_t value) override { step_ = value; }
  void StepIt() override {
    position_ += step_;
    if (step_ != flash::kChunkLength || max_ <= 0) return;
    const int total = max_ / flash::kChunkLength;
    shown_(std::clamp(position_ / flash::kChunkLength, 0, total), total);
  }
  std::int32_t Min() const override { return min_; }
  std::int32_t Max() const override { return max_; }
  std::int32_t Position() const override { return position_; }
  std::int32_t Step() const override { return step_; }

 private:
  Shown shown_;
  std::int32_t min_ = 0, max_ = 100, position_ = 0, step_ = 10;
};

// What one drive's session reports, for the board and the summary.
class WorkerView final : public flash::FlashObserver {
 public:
  using StepShown = std::function<void(const std::string&)>;
  WorkerView(Interrupt& interrupt, Console& console, WorkerCursor& cursor, StepShown step)
      : interrupt_(interrupt), console_(console), cursor_(cursor), step_(std::move(step)) {}

  void Caption(const std::string& text) override {
    interrupt_.ReportIfHeld(console_);
    if (!interrupt_.Stopped()) step_(text);
  }
  drive::TransferCursor& Progress() override { return cursor_; }
  void Busy(bool) override {}
  void DriveLineChanged(int, const std::string& line) override { newLine_ = line; }
  void PhaseChanged(flash::Phase phase) override {
    if (phase == flash::Phase::CriticalBegun) interrupt_.EnterCritical();
  }
  // Said once for the whole run, below the table.
  void RestartNotOffered() override {}
  bool StopRequested() const override { return interrupt_.Stopped(); }
  void Finished(const flash::FlashResult& result) override { result_ = result; }

  const std::optional<flash::FlashResult>& Result() const { return result_; }
  const std::optional<std::string>& NewLine() const { return newLine_; }

 private:
  Interrupt& interrupt_;
  Console& console_;
  WorkerCursor& cursor_;
  StepShown step_;
  std::optional<flash::FlashResult> result_;
  std::optional<std::string> newLine_;
};

// The worker's pauses: the terminal's, none while rehearsing (no drive
// waits for them).
class WorkerOs final : public platform::Os {
 public:
  WorkerOs(TerminalOs& inner, const Rehearsal& rehearsal) : inner_(inner), rehearsal_(rehearsal) {}

  std::uint32_t PlatformId() override { return inner_.PlatformId(); }
  std::string LogicalDriveStrings(std::uint32_t size) override { return inner_.LogicalDriveStrings(size); }
  std::uint32_t DriveType(const std::string& root) override { return inner_.DriveType(root); }
  void Sleep(std::chrono::milliseconds duration) override {
    if (!rehearsal_.Rehearsing()) inner_.Sleep(duration);
  }
  void PostQuit(int code) override { inner_.PostQuit(code); }
  std::string CurrentFolder() override { return inner_.CurrentFolder(); }
  std::string ExePath() override { return inner_.ExePath(); }
  bool FileExists(const std::string& path) override { return inner_.FileExists(path); }

 private:
  TerminalOs& inner_;
  const Rehearsal& rehearsal_;
};

// One drive of the run: its own SCSI generic access, session, transport,
// interrupt state and (inside the procedure) chunk buffer. The drive check
// runs on the caller's thread, the flash on a thread of its own.
class Worker {
 public:
  Worker(const package::PackageView& package, std::unique_ptr<platform::ScsiGeneric> sg,
         std::string node, const volatile std::sig_atomic_t& requested)
      : sg_(std::move(sg)),
        node_(std::move(node)),
        noteBuffer_([this](const std::string& text) { Tell(text); }),
        notes_(&noteBuffer_),
        console_{in_, notes_, notes_},
        interrupt_(requested),
        cursor_([this](int done, int total) {
          if (board_) board_->Progress(index_, done, total);
        }),
        view_(interrupt_, console_, cursor_,
              [this](const std::string& caption) {
                if (board_) board_->Step(index_, caption);
              }),
        dialogs_([this](const std::string& text) { Tell(text); }, interrupt_),
        terminalOs_(interrupt_),
        os_(terminalOs_, rehearsal_),
        sgPass_(*sg_),
        gate_(sgPass_, interrupt_, console_),
        rehearsal_(gate_, package),
        session_(flash::BuildSession(flash::SessionParts{.passThrough = &rehearsal_,
                                                         .dialogs = dialogs_,
                                                         .os = os_,
                                                         .observer = view_,
                                                         .package = package,
                                                         .emptySlots = true})) {}
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  flash::FoundDrive Identify() {
    sgPass_.SetNodes({node_});
    return session_->DiscoverLetters({scsi::SgPassThrough::LetterOf(0)}).front();
  }
  std::string OpeningProblem(const flash::FoundDrive& found) {
    return text::Format(texts::kCannotOpen, node_.c_str(),
                        sg_->ErrorText(found.opening.systemError).c_str());
  }
  std::string Shown() { return sg_->ShownName(node_); }

  void ShowOn(DriveBoard& board, std::size_t index) {
    board_ = &board;
    index_ = index;
  }
  void Flash(const flash::FoundDrive& found) {
    session_->Flash(flash::ChosenDrive{0, found.slot, found.line});
    gate_.CloseDeviceHandle();
  }
  // The flash played against the rehearsal's answers instead of the drive:
  // the commands it would send, as trace lines. Nothing reaches the drive.
  std::vector<std::string> Rehearse(const flash::FoundDrive& found) {
    rehearsal_.Begin(Shown());
    session_->Flash(flash::ChosenDrive{0, found.slot, found.line});
    return rehearsal_.Lines();
  }

  const WorkerView& View() const { return view_; }
  const std::optional<InterruptGate::Sent>& LastSent() const { return gate_.LastSent(); }
  bool Held() const { return interrupt_.Held(); }

 private:
  void Tell(const std::string& text) {
    if (board_) board_->Note(index_, text);
  }

  std::unique_ptr<platform::ScsiGeneric> sg_;
  std::string node_;
  DriveBoard* board_ = nullptr;
  std::size_t index_ = 0;
  std::istringstream in_;
  NoteBuffer noteBuffer_;
  std::ostream notes_;
  Console console_;
  Interrupt interrupt_;
  WorkerCursor cursor_;
  WorkerView view_;
  WorkerDialogs dialogs_;
  TerminalOs terminalOs_;
  WorkerOs os_;
  scsi::SgPassThrough sgPass_;
  InterruptGate gate_;
  Rehearsal rehearsal_;
  std::unique_ptr<flash::FlashSession> session_;
};

}  // namespace terminal
