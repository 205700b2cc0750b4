#include "terminal/several_drives.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <streambuf>
#include <thread>

#include "flash/flash_session.h"
#include "flash/mode_texts.h"
#include "flash/power_check.h"
#include "flash/revision_check.h"
#include "package/package_texts.h"
#include "scsi/sg_pass_through.h"
#include "terminal/drive_board.h"
#include "terminal/interrupt_gate.h"
#include "terminal/terminal_seams.h"
#include "terminal/terminal_texts.h"
#include "text/format.h"
#include "text/printable.h"

namespace terminal {

namespace {

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
        os_(interrupt_),
        sgPass_(*sg_),
        gate_(sgPass_, interrupt_, console_),
        session_(flash::BuildSession(flash::SessionParts{.passThrough = &gate_,
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
  TerminalOs os_;
  scsi::SgPassThrough sgPass_;
  InterruptGate gate_;
  std::unique_ptr<flash::FlashSession> session_;
};

// Two names of one drive: the same node (a link to it, say), or the sg and
// sr nodes of one SCSI device, which sit at the same address.
bool SameNode(platform::ScsiGeneric& sg, const std::string& a, const std::string& b) {
  std::error_code error;
  const std::filesystem::path pa = std::filesystem::weakly_canonical(a, error);
  const std::filesystem::path pb = std::filesystem::weakly_canonical(b, error);
  if (pa == pb) return true;
  const auto addressOf = [&sg](const std::string& node) -> std::optional<platform::ScsiAddress> {
    const std::optional<platform::Handle> handle = sg.Open(node);
    if (!handle) return std::nullopt;
    std::optional<platform::ScsiAddress> address = sg.Address(*handle);
    sg.Close(*handle);
    return address;
  };
  const std::optional<platform::ScsiAddress> x = addressOf(a);
  const std::optional<platform::ScsiAddress> y = addressOf(b);
  return x && y && x->host == y->host && x->channel == y->channel && x->target == y->target &&
         x->lun == y->lun;
}

std::optional<std::string> SameDriveTwice(platform::ScsiGeneric& sg,
                                          const std::vector<std::string>& devices) {
  for (std::size_t i = 0; i < devices.size(); ++i)
    for (std::size_t j = i + 1; j < devices.size(); ++j)
      if (SameNode(sg, devices[i], devices[j]))
        return text::Format(texts::kSameDrive, devices[i].c_str(), devices[j].c_str());
  return std::nullopt;
}

void Settle(DriveRun& run, const Worker& worker) {
  SettleRun(run, worker.View().Result(), worker.View().NewLine(), worker.Held(), worker.LastSent());
}

int CountOf(const std::vector<DriveRun>& runs, DriveRun::Outcome outcome) {
  return static_cast<int>(std::count_if(runs.begin(), runs.end(),
                                        [outcome](const DriveRun& r) { return r.outcome == outcome; }));
}

// The nodes of the run: every usable CD-ROM node (--all), or the named
// ones, each of which must be usable. Nothing when the run ends here.
std::optional<std::vector<std::string>> RunNodes(platform::ScsiGeneric& sg, const Options& options,
                                                 Console& console, int& status) {
  Nodes nodes;
  if (options.all) {
    nodes = FindNodes(sg, Options{}, true);
  } else {
    for (const std::string& node : options.devices) {
      if (std::optional<std::string> problem = NodeProblem(sg, node, true, true)) {
        nodes.problems.push_back(*problem);
      } else {
        nodes.usable.push_back(node);
      }
    }
  }
  TellProblems(nodes.problems, console);
  if (!nodes.problems.empty() && (!options.all || nodes.usable.empty())) {
    status = kExitFailed;
    return std::nullopt;
  }
  return nodes.usable;
}

void ListForConfirmation(const std::vector<DriveRun>& runs, const std::vector<bool>& toFlash,
                         const std::string& next, Console& console) {
  console.out << texts::kDrivesToFlash << "\n";
  for (std::size_t i = 0; i < runs.size(); ++i)
    if (toFlash[i])
      console.out << "  " << text::Printable(runs[i].line) << "  -> " << text::Printable(next) << "\n";
  if (std::find(toFlash.begin(), toFlash.end(), false) != toFlash.end()) {
    console.out << texts::kDrivesSkipped << "\n";
    for (std::size_t i = 0; i < runs.size(); ++i)
      if (!toFlash[i])
        console.out << "  " << text::Printable(runs[i].line.empty() ? runs[i].device : runs[i].line)
                    << ": " << runs[i].reason << "\n";
  }
}

}  // namespace

std::string SummaryTable(const std::vector<DriveRun>& runs) {
  std::vector<std::vector<std::string>> rows = {
      {"Device", "Identity", "Before", "After", "Outcome", "Reason"}};
  for (const DriveRun& r : runs)
    rows.push_back({text::Printable(r.device), text::Printable(r.identity), text::Printable(r.before),
                    text::Printable(r.after), OutcomeName(r.outcome), text::Printable(r.reason)});
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  std::string table;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      std::string cell = row[c];
      if (c + 1 < row.size()) cell.resize(widths[c] + 2, ' ');
      line += cell;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    table += line + "\n";
  }
  return table;
}

int SeveralStatus(const std::vector<DriveRun>& runs) {
  if (CountOf(runs, DriveRun::Outcome::Failed) > 0) return kExitFailed;
  if (CountOf(runs, DriveRun::Outcome::Refused) > 0 || CountOf(runs, DriveRun::Outcome::Interrupted) > 0)
    return kExitRefused;
  return kExitFlashed;
}

int FlashSeveral(const package::PackageView& package, const Options& options,
                 const ScsiGenericMaker& makeSg, platform::PowerSource& power,
                 platform::BurnGuard& guard, Console& console,
                 const volatile std::sig_atomic_t& requested, std::vector<DriveRun>* runsOut) {
  std::vector<DriveRun> ownRuns;
  std::vector<DriveRun>& runs = runsOut ? *runsOut : ownRuns;
  const std::unique_ptr<platform::ScsiGeneric> sg = makeSg();
  if (!options.all) {
    if (const std::optional<std::string> same = SameDriveTwice(*sg, options.devices))
      return Ending(console, *same, kExitUsage);
  }
  if (!options.ignorePower) {
    if (const std::optional<int> left = flash::LowBatteryRefusal(power.Read()))
      return Ending(console, text::Format(texts::kOnBattery, *left), kExitRefused);
  }
  Interrupt interrupt(requested);
  TerminalDialogs dialogs(console, interrupt, options.assumeYes);
  const package::PackageTexts packageTexts = package::FormPackageTexts(package);
  const bool rangeWildcard = package::IsRangeWildcard(package);
  if (dialogs.Ask(platform::DialogKind::Warning, flash::WarningText(packageTexts, rangeWildcard),
                  platform::DialogButtons::YesNo) != platform::Answer::Yes)
    return Ending(console, texts::kDeclined, kExitRefused);
  // Once for the whole run, from the first drive command until the last
  // drive has ended.
  const GuardHeld held(guard, console);

  int status = kExitFlashed;
  const std::optional<std::vector<std::string>> nodes = RunNodes(*sg, options, console, status);
  if (!nodes) return status;

  // The drive checks, one drive after another; each drive's trace begins
  // with its own, as a flash of that drive alone begins.
  const std::string next = flash::NewRevision(package);
  std::vector<std::unique_ptr<Worker>> workers;
  std::vector<flash::FoundDrive> found;
  std::vector<bool> toFlash;
  std::string noDriveText = flash::NoDriveTextHead(packageTexts, rangeWildcard);
  for (const std::string& node : *nodes) {
    workers.push_back(std::make_unique<Worker>(package, makeSg(), node, requested));
    found.push_back(workers.back()->Identify());
    const flash::FoundDrive& d = found.back();
    DriveRun run = RunOf(workers.back()->Shown(), d.line);
    bool flashIt = false;
    switch (d.whyNot) {
      case flash::FoundDrive::WhyNot::CannotOpen:
        run.outcome = DriveRun::Outcome::Failed;
        run.reason = workers.back()->OpeningProblem(d);
        TellProblems({run.reason}, console);
        break;
      case flash::FoundDrive::WhyNot::NoAnswer:
        run.reason = texts::kNoAnswer;
        break;
      case flash::FoundDrive::WhyNot::OtherDrive:
        noDriveText += d.line + "\n";
        run.reason = run.before == next ? texts::kSkippedCurrent : texts::kSkippedOther;
        break;
      case flash::FoundDrive::WhyNot::Nothing:
        if (flash::DecideRevision(package, d.line).refused) {
          run.outcome = DriveRun::Outcome::Refused;
          run.reason = texts::kRefusedByCheck;
        } else {
          flashIt = true;
          run.after = "?";
        }
        break;
    }
    runs.push_back(run);
    toFlash.push_back(flashIt);
  }
  if (interrupt.Requested()) {
    console.out << texts::kInterruptStopping << std::endl;
    return kExitRefused;
  }
  const unsigned count = static_cast<unsigned>(std::count(toFlash.begin(), toFlash.end(), true));
  if (count == 0) {
    if (CountOf(runs, DriveRun::Outcome::Failed) > 0) return kExitFailed;
    console.out << text::Printable(noDriveText) << std::flush;
    return Ending(console, texts::kNoMatchingDrive, kExitRefused);
  }

  ListForConfirmation(runs, toFlash, next, console);
  console.out << text::Format(texts::kUpdateSeveral, count, text::Printable(next).c_str()) << std::endl;
  if (!dialogs.AskYesNo()) return Ending(console, texts::kSeveralDeclined, kExitRefused);

  std::vector<std::string> shown;
  for (std::size_t i = 0; i < runs.size(); ++i)
    if (toFlash[i]) shown.push_back(runs[i].device);
  DriveBoard board(console, shown);
  std::vector<std::thread> threads;
  for (std::size_t i = 0, row = 0; i < workers.size(); ++i) {
    if (!toFlash[i]) continue;
    workers[i]->ShowOn(board, row++);
  }
  board.Begin();
  for (std::size_t i = 0; i < workers.size(); ++i) {
    if (!toFlash[i]) continue;
    threads.emplace_back([&worker = *workers[i], &drive = found[i]] { worker.Flash(drive); });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < workers.size(); ++i)
    if (toFlash[i]) Settle(runs[i], *workers[i]);

  console.out << "\n" << SummaryTable(runs);
  if (CountOf(runs, DriveRun::Outcome::Flashed) > 0) console.out << texts::kPowerCycle << "\n";
  console.out << std::flush;
  const int failed = CountOf(runs, DriveRun::Outcome::Failed);
  const int tried = static_cast<int>(runs.size()) - CountOf(runs, DriveRun::Outcome::Skipped) -
                    CountOf(runs, DriveRun::Outcome::Refused);
  switch (SeveralStatus(runs)) {
    case kExitFailed:
      return Ending(console,
                    text::Format(texts::kSeveralFailed, static_cast<unsigned>(failed),
                                 static_cast<unsigned>(tried)),
                    kExitFailed);
    case kExitRefused:
      if (CountOf(runs, DriveRun::Outcome::Interrupted) > 0)
        return Ending(console, texts::kSeveralInterrupted, kExitRefused);
      return Ending(console,
                    text::Format(texts::kSeveralRefused,
                                 static_cast<unsigned>(CountOf(runs, DriveRun::Outcome::Refused))),
                    kExitRefused);
    default:
      return kExitFlashed;
  }
}

}  // namespace terminal
