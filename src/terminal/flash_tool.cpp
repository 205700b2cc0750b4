#include "terminal/flash_tool.h"

#include <cerrno>
#include <iostream>
#include <vector>

#include "drive/drive_commands.h"
#include "drive/drive_entry.h"
#include "flash/flash_procedure.h"
#include "flash/mode_texts.h"
#include "package/package_texts.h"
#include "platform/aspi.h"
#include "scsi/aspi_transport.h"
#include "scsi/sg_pass_through.h"
#include "terminal/interrupt_gate.h"
#include "terminal/terminal_seams.h"
#include "terminal/terminal_texts.h"
#include "text/format.h"

namespace terminal {

namespace {

constexpr int kCdRomType = 5;

// The NT variant never loads ASPI; the drive commands' context still names
// a library, one that has nothing.
class NoAspi final : public platform::AspiLibrary {
 public:
  bool Load(const std::string&) override { return false; }
  bool Loaded() const override { return false; }
  void Unload() override {}
  bool LookUp(const std::string&) override { return false; }
  std::uint32_t GetSupportInfo() override { return 0; }
  std::uint32_t SendCommand(std::uint8_t*) override { return 0; }
  void PutAddress(std::uint8_t*, void*) override {}
  void PutEvent(std::uint8_t*, platform::EventHandle) override {}
  platform::EventHandle CreateEvent() override { return 0; }
  platform::WaitResult Wait(platform::EventHandle, std::chrono::milliseconds) override {
    return platform::WaitResult::Failed;
  }
  void ResetEvent(platform::EventHandle) override {}
  void CloseEvent(platform::EventHandle) override {}
};

// One run's wiring: the procedure on the terminal's seams and SG_IO.
struct Wiring {
  Wiring(const package::PackageView& package, platform::ScsiGeneric& sg, Console& console,
         Interrupt& interrupt, bool assumeYes)
      : view(package),
        format(package::CheckNewFormatBIN(view.ImageArea())),
        texts(package::FormPackageTexts(view)),
        bar(console, flash::kChunkLength),
        status(console, interrupt, bar),
        dialogs(console, interrupt, assumeYes),
        os(interrupt),
        sgPass(sg),
        gate(sgPass, interrupt, console),
        aspi(noAspi),
        commands(drive::CommandContext{gate, aspi, dialogs, os, bar, view}),
        procedure(flash::FlashWiring{commands, gate, status, bar, choices, cursor, dialogs, os,
                                     restart, view, format, table, itemToEntry}) {}

  package::PackageView view;
  package::ImageFormat format;
  package::PackageTexts texts;
  TerminalBar bar;
  StatusLines status;
  TerminalDialogs dialogs;
  QuietCursor cursor;
  DriveChoices choices;
  TerminalOs os;
  NoRestart restart;
  scsi::SgPassThrough sgPass;
  InterruptGate gate;
  NoAspi noAspi;
  scsi::AspiTransport aspi;
  drive::DriveTable table = drive::InitialDriveTable();
  std::array<int, drive::kDriveSlots> itemToEntry{};
  drive::DriveCommands commands;
  flash::FlashProcedure procedure;
};

struct Nodes {
  std::vector<std::string> usable;
  std::vector<std::string> problems;
};

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

void TellProblems(const Nodes& nodes, Console& console) {
  for (const std::string& problem : nodes.problems)
    console.err << "qrwflash: " << Printable(problem) << std::endl;
}

struct Detected {
  std::string line;
  bool accepted = false;
};

// NTDiscovery's walk over the nodes: the matching drives take the table's
// slots in list order, so that a list position names its slot.
std::vector<Detected> Discover(Wiring& w, const std::vector<std::string>& nodes) {
  w.sgPass.SetNodes(nodes);
  std::vector<Detected> detected;
  std::size_t slot = 0;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    drive::DriveEntry& entry = w.table[slot];
    entry = drive::DriveEntry{};
    entry.DriveLetter = scsi::SgPassThrough::LetterOf(i);
    entry.SetText("");
    const bool accepted = w.commands.NTCheckInquiry(entry);
    detected.push_back({entry.Text(), accepted});
    if (!accepted) continue;
    const int item = w.choices.AddItem(entry.Text());
    w.itemToEntry[static_cast<std::size_t>(item)] = static_cast<int>(slot);
    ++slot;
  }
  return detected;
}

// Several matching drives: the user picks one by number.
std::optional<int> ChooseDrive(Wiring& w, Console& console) {
  for (int i = 0; i < w.choices.Count(); ++i)
    console.out << "  " << (i + 1) << ") " << Printable(w.choices.ItemText(i)) << "\n";
  console.out << text::Format(texts::kWhichDrive, static_cast<unsigned>(w.choices.Count()))
              << std::flush;
  std::string answer;
  if (!std::getline(console.in, answer)) {
    console.out << std::endl;
    return std::nullopt;
  }
  if (console.echoAnswers) console.out << Printable(answer) << std::endl;
  try {
    std::size_t used = 0;
    const int number = std::stoi(answer, &used);
    if (used == answer.size() && number >= 1 && number <= w.choices.Count()) return number - 1;
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

// The run's last line, on the error stream, and its exit status.
int Ending(Console& console, const std::string& what, int status) {
  console.err << "qrwflash: " << what << std::endl;
  return status;
}

int Outcome(const Wiring& w, const Interrupt& interrupt, Console& console) {
  if (interrupt.Stopped()) {
    console.out << texts::kInterruptStopping << std::endl;
    return kExitRefused;
  }
  if (interrupt.Held()) console.out << texts::kInterruptNotActedOn << std::endl;
  if (w.status.Completed()) return kExitFlashed;
  if (w.dialogs.Declined()) return Ending(console, texts::kDeclined, kExitRefused);
  if (w.dialogs.Refused()) return Ending(console, texts::kRevisionRefused, kExitRefused);
  // A failing command has shown its report; this says where the flash
  // stopped and what that means for the drive.
  const std::string caption = Printable(w.status.Text());
  const std::string where = caption.empty() ? "" : text::Format(texts::kStoppedAt, caption.c_str());
  return Ending(console,
                text::Format(interrupt.Critical() ? texts::kFailedInCritical
                                                  : texts::kFailedBeforeCritical,
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
    } else if (*type != kCdRomType) {
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
               platform::ScsiGeneric& sg, Console& console, Interrupt& interrupt) {
  const Nodes nodes = FindNodes(sg, options, false);
  TellProblems(nodes, console);
  if (options.device && nodes.usable.empty()) return kExitFailed;
  if (nodes.usable.empty() && nodes.problems.empty()) console.out << texts::kNoNodes << "\n";
  Wiring w(package, sg, console, interrupt, options.assumeYes);
  bool anyAccepted = false;
  const std::vector<Detected> detected = Discover(w, nodes.usable);
  for (std::size_t i = 0; i < detected.size(); ++i) {
    const Detected& d = detected[i];
    const std::string line = d.line.empty() ? nodes.usable[i] + ": " + texts::kNoAnswer : d.line;
    console.out << Printable(line) << "  (" << (d.accepted ? texts::kAccepted : texts::kNotAccepted)
                << ")\n";
    anyAccepted = anyAccepted || d.accepted;
  }
  console.out << std::flush;
  return anyAccepted ? kExitFlashed : Ending(console, texts::kNoDriveAccepted, kExitRefused);
}

int FlashDrive(const package::PackageView& package, const Options& options,
               platform::ScsiGeneric& sg, Console& console, Interrupt& interrupt) {
  Wiring w(package, sg, console, interrupt, options.assumeYes);
  const bool rangeWildcard = package::IsRangeWildcard(w.view);
  if (w.dialogs.Ask(platform::DialogKind::Warning, flash::WarningText(w.texts, rangeWildcard),
                    platform::DialogButtons::YesNo) != platform::Answer::Yes)
    return Outcome(w, interrupt, console);

  // A node that cannot be used is told even when others can: it may be the
  // drive the user means.
  const Nodes nodes = FindNodes(sg, options, true);
  TellProblems(nodes, console);
  if (!nodes.problems.empty() && (options.device || nodes.usable.empty())) return kExitFailed;
  std::string noDriveText = flash::NoDriveTextHead(w.texts, rangeWildcard);
  for (const Detected& d : Discover(w, nodes.usable))
    if (!d.accepted && !d.line.empty()) noDriveText += d.line + "\n";
  if (interrupt.Stopped()) return Outcome(w, interrupt, console);
  if (w.choices.Count() == 0) {
    console.out << Printable(noDriveText) << std::flush;
    return Ending(console, texts::kNoMatchingDrive, kExitRefused);
  }
  int position = 0;
  if (w.choices.Count() > 1) {
    if (options.assumeYes) {
      console.err << "qrwflash: " << texts::kSeveralWithYes << std::endl;
      return kExitUsage;
    }
    const std::optional<int> chosen = ChooseDrive(w, console);
    if (!chosen) return Ending(console, texts::kNoDriveChosen, kExitRefused);
    position = *chosen;
  }
  // The NT flash takes the list position as the table slot: the chosen drive
  // is the one list item.
  if (position != 0) {
    w.table[0] = w.table[static_cast<std::size_t>(w.itemToEntry[static_cast<std::size_t>(position)])];
    const std::string line = w.choices.ItemText(position);
    while (w.choices.Count() > 0) w.choices.DeleteItem(0);
    w.choices.AddItem(line);
  } else {
    while (w.choices.Count() > 1) w.choices.DeleteItem(1);
  }
  w.itemToEntry[0] = 0;
  w.choices.SetItemIndex(0);
  console.out << "Drive: " << Printable(w.choices.ItemText(0)) << std::endl;
  w.procedure.FlashModeClick(platform::kPlatformWin32Nt);
  w.bar.EndLine();
  w.gate.CloseDeviceHandle();
  return Outcome(w, interrupt, console);
}

}  // namespace terminal
