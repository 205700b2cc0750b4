#include "terminal/several_drives.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

#include "flash/mode_texts.h"
#include "flash/power_check.h"
#include "flash/revision_check.h"
#include "package/package_texts.h"
#include "terminal/drive_board.h"
#include "terminal/drive_worker.h"
#include "terminal/terminal_seams.h"
#include "terminal/terminal_texts.h"
#include "text/format.h"
#include "text/printable.h"

namespace terminal {

namespace {

// Two names of one drive: the same node (a link to it, say), or the sg and
// sr nodes of one SCSI device, which sit at the same address.
bool SameNode(platform::ScsiGeneric& sg, const std::string& a, const std::string& b) {
  std::error_code errorA, errorB;
  const std::filesystem::path pa = std::filesystem::weakly_canonical(a, errorA);
  const std::filesystem::path pb = std::filesystem::weakly_canonical(b, errorB);
  if (!errorA && !errorB && pa == pb) return true;
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

// The drives of a run, each identified by its worker's drive check, one
// after another (each drive's trace begins with its own, as a flash of
// that drive alone begins), and what the run makes of each.
struct Identified {
  std::vector<std::unique_ptr<Worker>> workers;
  std::vector<flash::FoundDrive> found;
  std::vector<DriveRun> runs;
  std::vector<bool> toFlash;
  std::string noDriveText;
};

Identified IdentifyAll(const package::PackageView& package, const std::vector<std::string>& nodes,
                       const ScsiGenericMaker& makeSg, const volatile std::sig_atomic_t& requested,
                       Console& console) {
  Identified drives;
  const std::string next = flash::NewRevision(package);
  drives.noDriveText = flash::NoDriveTextHead(package::FormPackageTexts(package),
                                              package::IsRangeWildcard(package));
  for (const std::string& node : nodes) {
    drives.workers.push_back(std::make_unique<Worker>(package, makeSg(), node, requested));
    drives.found.push_back(drives.workers.back()->Identify());
    const flash::FoundDrive& d = drives.found.back();
    DriveRun run = RunOf(drives.workers.back()->Shown(), d.line);
    bool flashIt = false;
    switch (d.whyNot) {
      case flash::FoundDrive::WhyNot::CannotOpen:
        run.outcome = DriveRun::Outcome::Failed;
        run.reason = drives.workers.back()->OpeningProblem(d);
        TellProblems({run.reason}, console);
        break;
      case flash::FoundDrive::WhyNot::NoAnswer:
        run.reason = texts::kNoAnswer;
        break;
      case flash::FoundDrive::WhyNot::OtherDrive:
        drives.noDriveText += d.line + "\n";
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
    drives.runs.push_back(run);
    drives.toFlash.push_back(flashIt);
  }
  return drives;
}

// No drive left to flash: a drive that could not be opened fails the run;
// otherwise the detected drives are listed, as a single flash lists them.
int NothingToFlash(const Identified& drives, Console& console) {
  if (CountOf(drives.runs, DriveRun::Outcome::Failed) > 0) return kExitFailed;
  console.out << text::Printable(drives.noDriveText) << std::flush;
  return Ending(console, texts::kNoMatchingDrive, kExitRefused);
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

// The table printed at the end: device, identity, revisions, outcome and
// reason, columns as wide as their longest entry.
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

// The exit status of a run: 0 when every drive it flashed flashed, 1 when
// any failed, 3 when none failed but any was refused or interrupted.
int SeveralStatus(const std::vector<DriveRun>& runs) {
  if (CountOf(runs, DriveRun::Outcome::Failed) > 0) return kExitFailed;
  if (CountOf(runs, DriveRun::Outcome::Refused) > 0 || CountOf(runs, DriveRun::Outcome::Interrupted) > 0)
    return kExitRefused;
  return kExitFlashed;
}

}  // namespace

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
  if (dialogs.Ask(platform::DialogKind::Warning,
                  flash::WarningText(package::FormPackageTexts(package), package::IsRangeWildcard(package)),
                  platform::DialogButtons::YesNo) != platform::Answer::Yes)
    return Ending(console, texts::kDeclined, kExitRefused);
  // Once for the whole run, from the first drive command until the last
  // drive has ended.
  const GuardHeld held(guard, console);

  int status = kExitFlashed;
  const std::optional<std::vector<std::string>> nodes = RunNodes(*sg, options, console, status);
  if (!nodes) return status;

  Identified drives = IdentifyAll(package, *nodes, makeSg, requested, console);
  runs = drives.runs;
  const std::vector<std::unique_ptr<Worker>>& workers = drives.workers;
  const std::vector<flash::FoundDrive>& found = drives.found;
  const std::vector<bool>& toFlash = drives.toFlash;
  const std::string next = flash::NewRevision(package);
  if (interrupt.Requested()) {
    console.out << texts::kInterruptStopping << std::endl;
    return kExitRefused;
  }
  const unsigned count = static_cast<unsigned>(std::count(toFlash.begin(), toFlash.end(), true));
  if (count == 0) return NothingToFlash(drives, console);

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

int DryRun(const package::PackageView& package, const Options& options,
           const ScsiGenericMaker& makeSg, Console& console,
           const volatile std::sig_atomic_t& requested) {
  const std::unique_ptr<platform::ScsiGeneric> sg = makeSg();
  if (!options.all && options.devices.size() > 1) {
    if (const std::optional<std::string> same = SameDriveTwice(*sg, options.devices))
      return Ending(console, *same, kExitUsage);
  }
  int status = kExitFlashed;
  std::vector<std::string> nodes;
  if (options.all || !options.devices.empty()) {
    const std::optional<std::vector<std::string>> named = RunNodes(*sg, options, console, status);
    if (!named) return status;
    nodes = *named;
  } else {
    const Nodes found = FindNodes(*sg, options, true);
    TellProblems(found.problems, console);
    if (!found.problems.empty() && (options.device || found.usable.empty())) return kExitFailed;
    nodes = found.usable;
  }
  const Identified drives = IdentifyAll(package, nodes, makeSg, requested, console);
  const std::size_t count = static_cast<std::size_t>(std::count(drives.toFlash.begin(), drives.toFlash.end(), true));
  if (count == 0) return NothingToFlash(drives, console);
  // As a flash without --device: one drive, or the user names it.
  if (count > 1 && !options.all && options.devices.empty())
    return Ending(console, texts::kSeveralWithYes, kExitUsage);

  if (package::CheckNewFormatBIN(package.ImageArea()).NeedsFlashProfile) {
    const std::uint8_t* chip = package.ProfileTable();
    console.out << text::Format(texts::kDryRunChip, unsigned{chip[0]}, unsigned{chip[1]}) << "\n";
  }
  for (std::size_t i = 0; i < drives.workers.size(); ++i) {
    const DriveRun& run = drives.runs[i];
    if (!drives.toFlash[i]) {
      console.out << text::Format(texts::kDryRunSkipped, text::Printable(run.line.empty() ? run.device : run.line).c_str(),
                                  run.reason.c_str())
                  << "\n";
      continue;
    }
    console.out << text::Format(texts::kDryRunDrive, text::Printable(run.line).c_str(),
                                text::Printable(flash::NewRevision(package)).c_str())
                << "\n";
    for (const std::string& line : drives.workers[i]->Rehearse(drives.found[i]))
      console.out << text::Printable(line) << "\n";
  }
  console.out << texts::kDryRunEnd << std::endl;
  return kExitFlashed;
}

}  // namespace terminal
