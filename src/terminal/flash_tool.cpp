#include "terminal/flash_tool.h"

#include <scsi/scsi.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <vector>

#include "drive/drive_entry.h"
#include "flash/flash_session.h"
#include "flash/mode_texts.h"
#include "flash/power_check.h"
#include "package/package_texts.h"
#include "scsi/sg_pass_through.h"
#include "terminal/interrupt_gate.h"
#include "terminal/terminal_seams.h"
#include "terminal/terminal_texts.h"
#include "text/format.h"
#include "text/printable.h"

namespace terminal {

namespace {

// One run's wiring: a pass-through session on the terminal's seams, its
// commands sent by SG_IO through the interrupt gate.
struct Wiring {
  Wiring(const package::PackageView& package, platform::ScsiGeneric& sg, Console& console,
         Interrupt& interrupt, bool assumeYes)
      : view(package),
        texts(package::FormPackageTexts(view)),
        bar(console, flash::kChunkLength),
        shown(console, interrupt, bar),
        dialogs(console, interrupt, assumeYes),
        os(interrupt),
        sgPass(sg),
        gate(sgPass, interrupt, console),
        session(flash::BuildSession(flash::SessionParts{.passThrough = &gate,
                                                        .dialogs = dialogs,
                                                        .os = os,
                                                        .observer = shown,
                                                        .package = view,
                                                        .emptySlots = true})) {}

  package::PackageView view;
  package::PackageTexts texts;
  TerminalBar bar;
  TerminalView shown;
  TerminalDialogs dialogs;
  TerminalOs os;
  scsi::SgPassThrough sgPass;
  InterruptGate gate;
  std::unique_ptr<flash::FlashSession> session;
  // The accepted drives in list order.
  std::vector<flash::FoundDrive> choices;
};

}  // namespace

Nodes FindNodes(platform::ScsiGeneric& sg, const Options& options, bool forFlash) {
  Nodes nodes;
  const std::vector<std::string> candidates =
      options.device ? std::vector<std::string>{*options.device} : sg.CdRomNodes();
  for (const std::string& node : candidates) {
    if (std::optional<std::string> problem =
            NodeProblem(sg, node, forFlash, options.device.has_value())) {
      nodes.problems.push_back(*problem);
    } else if (nodes.usable.size() < drive::kDriveSlots) {
      nodes.usable.push_back(node);
    }
  }
  return nodes;
}

void TellProblems(const std::vector<std::string>& problems, Console& console) {
  for (const std::string& problem : problems)
    console.err << "qrwflash: " << text::Printable(problem) << std::endl;
}

int Ending(Console& console, const std::string& what, int status) {
  console.err << "qrwflash: " << what << std::endl;
  return status;
}

GuardHeld::GuardHeld(platform::BurnGuard& guard, Console& console) : guard_(guard) {
  if (const std::optional<std::string> reason = guard_.Hold())
    console.err << text::Format(texts::kNotHeldOff, text::Printable(*reason).c_str()) << std::endl;
}

namespace {

// The nodes take the letters A, B, ... in order; the accepted drives
// become the choices.
std::vector<flash::FoundDrive> Discover(Wiring& w, const std::vector<std::string>& nodes) {
  w.sgPass.SetNodes(nodes);
  std::vector<char> letters;
  for (std::size_t i = 0; i < nodes.size(); ++i) letters.push_back(scsi::SgPassThrough::LetterOf(i));
  std::vector<flash::FoundDrive> found = w.session->DiscoverLetters(letters);
  for (const flash::FoundDrive& d : found)
    if (d.accepted) w.choices.push_back(d);
  return found;
}

// The lines for the drives whose device could not be opened by the drive
// check (it went away, or was taken, after the node was looked at), in the
// words of a node that cannot be opened.
std::vector<std::string> OpeningProblems(const std::vector<flash::FoundDrive>& found,
                                         const std::vector<std::string>& nodes,
                                         platform::ScsiGeneric& sg) {
  std::vector<std::string> problems;
  for (std::size_t i = 0; i < found.size() && i < nodes.size(); ++i) {
    if (found[i].whyNot != flash::FoundDrive::WhyNot::CannotOpen) continue;
    problems.push_back(text::Format(texts::kCannotOpen, nodes[i].c_str(),
                                    sg.ErrorText(found[i].opening.systemError).c_str()));
  }
  return problems;
}

// Several matching drives: the user picks one by number.
std::optional<int> ChooseDrive(Wiring& w, Console& console) {
  const int count = static_cast<int>(w.choices.size());
  for (int i = 0; i < count; ++i)
    console.out << "  " << (i + 1) << ") " << text::Printable(w.choices[static_cast<std::size_t>(i)].line)
                << "\n";
  console.out << text::Format(texts::kWhichDrive, static_cast<unsigned>(count)) << std::flush;
  std::string answer;
  if (!std::getline(console.in, answer)) {
    console.out << std::endl;
    return std::nullopt;
  }
  if (console.echoAnswers) console.out << text::Printable(answer) << std::endl;
  try {
    std::size_t used = 0;
    const int number = std::stoi(answer, &used);
    if (used == answer.size() && number >= 1 && number <= count) return number - 1;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

int Stopping(Console& console) {
  console.out << texts::kInterruptStopping << std::endl;
  return kExitRefused;
}

int Outcome(const Wiring& w, const Interrupt& interrupt, Console& console) {
  const std::optional<flash::FlashResult>& result = w.shown.Result();
  if (result && result->outcome == flash::Outcome::Interrupted) return Stopping(console);
  if (interrupt.Held()) console.out << texts::kInterruptNotActedOn << std::endl;
  if (result && result->outcome == flash::Outcome::Flashed) return kExitFlashed;
  if (result && result->outcome == flash::Outcome::Declined)
    return Ending(console, texts::kDeclined, kExitRefused);
  if (result && result->outcome == flash::Outcome::Refused)
    return Ending(console, texts::kRevisionRefused, kExitRefused);
  // A failing command has shown its report; this says where the flash
  // stopped and what that means for the drive.
  const std::string caption = result ? text::Printable(result->caption) : "";
  const bool critical = result && result->critical;
  const std::string where = caption.empty() ? "" : text::Format(texts::kStoppedAt, caption.c_str());
  return Ending(console,
                text::Format(critical ? texts::kFailedInCritical : texts::kFailedBeforeCritical,
                             where.c_str()),
                kExitFailed);
}

}  // namespace

std::optional<std::string> NodeProblem(platform::ScsiGeneric& sg, const std::string& node,
                                       bool forFlash, bool checkType) {
  const std::optional<platform::Handle> handle = sg.Open(node);
  if (!handle) {
    const std::uint32_t error = sg.LastError();
    if (error == EACCES || error == EPERM || error == EROFS)
      return text::Format(texts::kPermissionOpen, node.c_str());
    return text::Format(texts::kCannotOpen, node.c_str(), sg.ErrorText(error).c_str());
  }
  std::optional<std::string> problem;
  const std::optional<int> version = sg.VersionNumber(*handle);
  if (!version || *version < scsi::kSgMinimumVersion) {
    problem = text::Format(texts::kNotScsi, node.c_str());
  } else if (checkType) {
    const std::optional<int> type = sg.DeviceType(node);
    if (!type) {
      problem = text::Format(texts::kNotScsi, node.c_str());
    } else if (*type != TYPE_ROM) {
      problem = text::Format(texts::kNotCdRom, node.c_str(), *type);
    }
  }
  if (!problem && forFlash && sg.IsBlockDevice(*handle) && !sg.HasRawIo())
    problem = text::Format(texts::kPermissionRawIo, node.c_str());
  if (!problem && sg.ShownName(node).size() > kMaxNodeLength)
    problem = text::Format(texts::kNodeTooLong, node.c_str());
  sg.Close(*handle);
  return problem;
}

int ListDrives(const package::PackageView& package, const Options& options,
               platform::ScsiGeneric& sg, Console& console, Interrupt& interrupt,
               std::vector<ListedDrive>* listed, std::vector<std::string>* problems) {
  const Nodes nodes = FindNodes(sg, options, false);
  TellProblems(nodes.problems, console);
  if (problems) *problems = nodes.problems;
  if (options.device && nodes.usable.empty()) return kExitFailed;
  if (nodes.usable.empty() && nodes.problems.empty()) console.out << texts::kNoNodes << "\n";
  Wiring w(package, sg, console, interrupt, options.assumeYes);
  bool anyAccepted = false;
  const std::vector<flash::FoundDrive> found = Discover(w, nodes.usable);
  const std::vector<std::string> openingProblems = OpeningProblems(found, nodes.usable, sg);
  TellProblems(openingProblems, console);
  if (problems) problems->insert(problems->end(), openingProblems.begin(), openingProblems.end());
  if (options.device && !openingProblems.empty()) return kExitFailed;
  for (std::size_t i = 0; i < found.size(); ++i) {
    const flash::FoundDrive& d = found[i];
    if (d.whyNot == flash::FoundDrive::WhyNot::CannotOpen) continue;
    if (listed) {
      const bool answered = d.whyNot != flash::FoundDrive::WhyNot::NoAnswer;
      listed->push_back(ListedDrive{sg.ShownName(nodes.usable[i]), answered ? d.line : "", d.accepted,
                                    d.accepted ? "" : answered ? texts::kSkippedOther : texts::kNoAnswer});
    }
    const std::string line = d.whyNot == flash::FoundDrive::WhyNot::NoAnswer
                                 ? nodes.usable[i] + ": " + texts::kNoAnswer
                                 : d.line;
    console.out << text::Printable(line) << "  (" << (d.accepted ? texts::kAccepted : texts::kNotAccepted)
                << ")\n";
    anyAccepted = anyAccepted || d.accepted;
  }
  console.out << std::flush;
  return anyAccepted ? kExitFlashed : Ending(console, texts::kNoDriveAccepted, kExitRefused);
}

int FlashDrive(const package::PackageView& package, const Options& options,
               platform::ScsiGeneric& sg, platform::PowerSource& power, platform::BurnGuard& guard,
               Console& console, Interrupt& interrupt, std::vector<DriveRun>* runs) {
  // Before anything is asked or sent: a flat battery must not end a burn.
  if (!options.ignorePower) {
    if (const std::optional<int> left = flash::LowBatteryRefusal(power.Read()))
      return Ending(console, text::Format(texts::kOnBattery, *left), kExitRefused);
  }
  Wiring w(package, sg, console, interrupt, options.assumeYes);
  const bool rangeWildcard = package::IsRangeWildcard(w.view);
  if (w.dialogs.Ask(platform::DialogKind::Warning, flash::WarningText(w.texts, rangeWildcard),
                    platform::DialogButtons::YesNo) != platform::Answer::Yes)
    return Ending(console, texts::kDeclined, kExitRefused);
  // Held from the first drive command on, and let go however the run ends.
  const GuardHeld held(guard, console);

  // A node that cannot be used is told even when others can: it may be the
  // drive the user means.
  const Nodes nodes = FindNodes(sg, options, true);
  TellProblems(nodes.problems, console);
  if (!nodes.problems.empty() && (options.device || nodes.usable.empty())) return kExitFailed;
  std::string noDriveText = flash::NoDriveTextHead(w.texts, rangeWildcard);
  const std::vector<flash::FoundDrive> found = Discover(w, nodes.usable);
  for (const flash::FoundDrive& d : found)
    if (d.whyNot == flash::FoundDrive::WhyNot::OtherDrive) noDriveText += d.line + "\n";
  if (interrupt.Stopped()) return Stopping(console);
  // As the window does, a drive that could not be opened ends the run: it
  // may be the drive the user means, and nothing has been sent to any.
  const std::vector<std::string> openingProblems = OpeningProblems(found, nodes.usable, sg);
  TellProblems(openingProblems, console);
  if (!openingProblems.empty()) return kExitFailed;
  if (w.choices.empty()) {
    console.out << text::Printable(noDriveText) << std::flush;
    return Ending(console, texts::kNoMatchingDrive, kExitRefused);
  }
  int position = 0;
  if (w.choices.size() > 1) {
    if (options.assumeYes) {
      console.err << "qrwflash: " << texts::kSeveralWithYes << std::endl;
      return kExitUsage;
    }
    const std::optional<int> chosen = ChooseDrive(w, console);
    if (!chosen) return Ending(console, texts::kNoDriveChosen, kExitRefused);
    position = *chosen;
  }
  const flash::FoundDrive& chosen = w.choices[static_cast<std::size_t>(position)];
  console.out << "Drive: " << text::Printable(chosen.line) << std::endl;
  w.session->Flash(flash::ChosenDrive{position, chosen.slot, chosen.line});
  w.bar.EndLine();
  w.gate.CloseDeviceHandle();
  if (runs) {
    DriveRun run = RunOf(w.sgPass.DeviceName(chosen.entry.DriveLetter), chosen.line);
    SettleRun(run, w.shown.Result(), w.shown.NewLine(), interrupt.Held(), w.gate.LastSent());
    runs->push_back(run);
  }
  return Outcome(w, interrupt, console);
}

}  // namespace terminal
