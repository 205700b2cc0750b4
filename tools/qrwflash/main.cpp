// qrwflash: the flash procedure of a QRW flash program, run from a Linux
// terminal over SG_IO, with the package read out of the program's file.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "package/package_texts.h"
#include "package/program_file.h"
#include "platform/linux/linux_power.h"
#include "platform/linux/logind_inhibitor.h"
#include "signing/program_signature.h"
#include "signing/trust.h"
#include "platform/linux/linux_scsi_generic.h"
#include "terminal/console.h"
#include "terminal/flash_tool.h"
#include "terminal/json_reports.h"
#include "terminal/several_drives.h"
#include "terminal/terminal_seams.h"
#include "terminal/terminal_texts.h"
#include "text/format.h"
#include "text/printable.h"

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void OnInterrupt(int) { interruptRequested = 1; }

// Without SA_RESTART: a prompt's read ends at once, and reads as No. A
// reader of the output that goes away (a pipe closed, `| head`) must not end
// the program in the middle of a flash: the writes fail, the flash goes on.
void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

// A program's seal and mode: a seal record that is missing is refused like a
// broken one: a damaged marker must not pass for a program from before the
// seal.
std::optional<package::ProgramFile> CheckedProgram(const std::string& path,
                                                   package::ProgramFile file, std::ostream& err) {
  if (file.seal.state == package::SealState::Broken) {
    err << "qrwflash: " << text::Printable(path) << ": "
        << package::DamagedProgramText(file.seal) << std::endl;
    return std::nullopt;
  }
  if (package::IsTemplate(file.Package())) {
    err << "qrwflash: " << text::Format(terminal::texts::kTemplate, text::Printable(path).c_str())
        << std::endl;
    return std::nullopt;
  }
  return file;
}

// The package of a flash program file, or the reason it is refused: a file
// that is not a program, or a program whose signature does not match.
std::optional<package::ProgramFile> ReadFlashProgram(const std::string& path,
                                                     const signing::Judgement& judgement,
                                                     package::ProgramFile file, std::ostream& err) {
  if (file.problem == package::ProgramFileProblem::CannotRead) {
    err << "qrwflash: " << text::Printable(file.message) << std::endl;
    return std::nullopt;
  }
  if (file.problem != package::ProgramFileProblem::None) {
    err << "qrwflash: not a flash program: " << text::Printable(file.message) << std::endl;
    return std::nullopt;
  }
  // Before the seal: a changed byte of a signed program breaks both, and the
  // signature is what says the program is not its maker's.
  if (judgement.verdict == signing::Verdict::Changed) {
    err << "qrwflash: " << text::Printable(judgement.reason) << std::endl;
    return std::nullopt;
  }
  return CheckedProgram(path, std::move(file), err);
}

// The width of the terminal on standard output; 0 without one.
int TerminalColumns() {
  struct winsize size {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

// Tests lay out a /sys and /dev of their own under this folder.
std::string DeviceRoot() {
  const char* root = std::getenv("QRWFLASH_ROOT");
  return root ? root : "";
}

// --trust FILE, as often as needed: one key file each time.
void AddTrustOption(CLI::App& command, std::vector<std::string>& files) {
  command.add_option("--trust", files, "trust the public key in FILE (besides those of /etc/qrwflash/trusted.d)")
      ->type_name("FILE")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

constexpr const char* kVersion = "qrwflash " QRW_VERSION;
constexpr const char* kDescription =
    "qrwflash " QRW_VERSION
    ": flash the firmware of a QUARVEL QRW CD-RW drive from Linux with a flash "
    "program (for example 1.10.EXE): the same warning, drive check, revision "
    "check and flash sequence as the program itself, sent over SG_IO.";
constexpr const char* kFooter =
    "Exit status: 0 flashed (drives: a drive is accepted), 1 a command failed, "
    "a device cannot be used or the program was changed after it was signed, "
    "2 wrong usage, 3 refused (declined, not signed by a trusted key, no "
    "matching drive, already at the new revision, interrupted before the "
    "critical entry, or the computer on a battery below 10%). With --all or several "
    "--device: 0 every drive flashed, 1 any failed, 3 none failed but any was refused "
    "or interrupted.";

// The signature's line, and for a flash of a program that no trusted key
// signed where trust is configured, the question or the refusal. Nothing
// when the run goes on, else its exit status.
std::optional<int> SignatureGate(const signing::Judgement& judgement, bool flashing,
                                 terminal::Console& console, terminal::Interrupt& interrupt) {
  console.out << text::Printable(judgement.line) << std::endl;
  if (!flashing) return std::nullopt;
  switch (judgement.verdict) {
    case signing::Verdict::Refuse:
      console.err << "qrwflash: " << judgement.reason << std::endl;
      return terminal::kExitRefused;
    case signing::Verdict::Ask:
      console.out << terminal::texts::kFlashAnyway << std::endl;
      if (terminal::TerminalDialogs(console, interrupt, false).AskYesNo()) return std::nullopt;
      console.err << "qrwflash: " << terminal::texts::kDeclined << std::endl;
      return terminal::kExitRefused;
    case signing::Verdict::Go:
    case signing::Verdict::Changed: break;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{kDescription, "qrwflash"};
  app.footer(kFooter);
  app.set_version_flag("--version", kVersion, "Show the version and exit");
  app.require_subcommand(1, 1);
  std::string program;
  std::string device;
  std::vector<std::string> flashDevices;
  bool all = false;
  bool assumeYes = false;
  bool ignorePower = false;
  bool allowUntrusted = false;
  bool json = false;
  bool dryRun = false;
  std::vector<std::string> trustFiles;

  CLI::App* drives = app.add_subcommand(
      "drives", "List the CD-ROM drives with their INQUIRY line and whether the program accepts each");
  drives->add_option("PROGRAM.EXE", program, "the flash program file")->required();
  drives->add_option("--device", device, "look at this device node only (no discovery)");
  AddTrustOption(*drives, trustFiles);
  drives->add_flag("--json", json,
                   "write one JSON document on standard output (the lines go to standard error)");

  CLI::App* flash = app.add_subcommand(
      "flash",
      "Flash a matching drive with the program's firmware. Refused on a battery below 10%; "
      "while it runs, a systemd-logind inhibitor lock holds off sleep, shutdown, idle and the "
      "power, suspend, hibernate and lid keys (see man qrwflash)");
  flash->add_option("PROGRAM.EXE", program, "the flash program file")->required();
  flash->add_option("--device", flashDevices,
                    "flash the drive at this node (/dev/sg*, /dev/sr*); skips discovery. Given "
                    "more than once: flash these drives at the same time")
      ->type_name("PATH")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  flash->add_flag("--all", all,
                  "flash every drive the program accepts, all at the same time, after one "
                  "warning and one confirmation; a summary table at the end");
  flash->add_flag("-y,--yes", assumeYes, "answer yes to the warning and the confirmation");
  flash->add_flag("--ignore-power", ignorePower,
                  "flash even when the computer runs on a battery below 10% (refused otherwise)");
  AddTrustOption(*flash, trustFiles);
  flash->add_flag("--allow-untrusted", allowUntrusted,
                  "flash a program that no trusted key signed without asking");
  flash->add_flag("--dry-run", dryRun,
                  "identify the drives and check them as a flash would, then print the commands "
                  "the flash would send, in order; nothing but the identification is sent");
  flash->add_flag("--json", json,
                  "write one JSON document on standard output (the lines go to standard "
                  "error); needs --yes");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? terminal::kExitFlashed : terminal::kExitUsage;
  }

  if (all && !flashDevices.empty()) {
    std::cerr << "qrwflash: " << terminal::texts::kAllWithDevice << std::endl;
    return terminal::kExitUsage;
  }
  if (json && dryRun) {
    std::cerr << "qrwflash: " << terminal::texts::kJsonWithDryRun << std::endl;
    return terminal::kExitUsage;
  }
  if (json && *flash && !assumeYes) {
    std::cerr << "qrwflash: " << terminal::texts::kJsonWithoutYes << std::endl;
    return terminal::kExitUsage;
  }
  terminal::JsonHead head{*drives ? "drives" : "flash", text::Printable(program), "", ""};
  std::vector<terminal::ListedDrive> listed;
  std::vector<std::string> unusable;
  std::vector<terminal::DriveRun> runs;
  // With --json, the run's one document on standard output, whatever it ended with.
  const auto ending = [&](int status) {
    if (json)
      std::cout << (*drives ? terminal::DrivesDocument(head, listed, unusable, status)
                            : terminal::FlashDocument(head, runs, status))
                       .Document()
                << std::flush;
    return status;
  };

  // Trust and the signature before anything else is shown.
  const signing::Trust trust = signing::LoadTrust(DeviceRoot(), trustFiles);
  for (const std::string& problem : trust.problems)
    std::cerr << "qrwflash: " << text::Printable(problem) << std::endl;
  package::ProgramFile read = package::ReadProgramFile(program);
  const signing::Judgement judgement =
      signing::Judge(read.problem == package::ProgramFileProblem::None
                         ? signing::CheckSignature(read.Package())
                         : signing::SignatureCheck{},
                     trust, text::Printable(program), assumeYes, allowUntrusted);
  std::ostringstream refusal;
  std::optional<package::ProgramFile> file =
      ReadFlashProgram(program, judgement, std::move(read), refusal);
  std::cerr << refusal.str() << std::flush;
  if (!file) {
    std::string line = refusal.str();
    while (!line.empty() && line.back() == '\n') line.pop_back();
    head.problem = line.substr(line.rfind('\n') == std::string::npos ? 0 : line.rfind('\n') + 1);
    return ending(terminal::kExitFailed);
  }
  head.signature = text::Printable(judgement.line);

  CatchInterrupts();
  terminal::Interrupt interrupt(interruptRequested);
  // With --json, standard output carries the document alone: the lines a
  // person reads go to standard error, without a bar.
  terminal::Console console{std::cin, json ? std::cerr : std::cout, std::cerr,
                            !json && isatty(STDOUT_FILENO) == 1, isatty(STDIN_FILENO) != 1,
                            json ? 0 : TerminalColumns()};
  if (auto status = SignatureGate(judgement, static_cast<bool>(*flash), console, interrupt))
    return ending(*status);
  platform::linux_sg::LinuxScsiGeneric sg(DeviceRoot());
  terminal::Options options;
  if (!device.empty()) options.device = device;
  if (flashDevices.size() == 1) options.device = flashDevices.front();
  if (flashDevices.size() > 1) options.devices = flashDevices;
  options.all = all;
  options.assumeYes = assumeYes;
  options.ignorePower = ignorePower;
  if (*drives)
    return ending(terminal::ListDrives(file->Package(), options, sg, console, interrupt, &listed,
                                       &unusable));
  const terminal::ScsiGenericMaker makeSg = [] {
    return std::make_unique<platform::linux_sg::LinuxScsiGeneric>(DeviceRoot());
  };
  if (dryRun) return terminal::DryRun(file->Package(), options, makeSg, console, interruptRequested);
  platform::linux_sg::LinuxPowerSupplies power(DeviceRoot());
  platform::linux_sg::LogindInhibitor inhibitor;
  if (options.all || !options.devices.empty()) {
    return ending(terminal::FlashSeveral(file->Package(), options, makeSg, power, inhibitor,
                                         console, interruptRequested, &runs));
  }
  return ending(
      terminal::FlashDrive(file->Package(), options, sg, power, inhibitor, console, interrupt, &runs));
}
