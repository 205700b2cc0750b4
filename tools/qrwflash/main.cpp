// qrwflash: the flash procedure of a QRW flash program, run from a Linux
// terminal over SG_IO, with the package read out of the program's file.
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "package/package_texts.h"
#include "package/program_file.h"
#include "platform/linux/linux_power.h"
#include "platform/linux/logind_inhibitor.h"
#include "platform/linux/linux_scsi_generic.h"
#include "terminal/console.h"
#include "terminal/flash_tool.h"
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

// The package of a flash program file, or the reason it is refused. A seal
// record that is missing is refused like a broken one: a damaged marker
// must not pass for a program from before the seal.
std::optional<package::ProgramFile> ReadFlashProgram(const std::string& path, std::ostream& err) {
  package::ProgramFile file = package::ReadProgramFile(path);
  if (file.problem == package::ProgramFileProblem::CannotRead) {
    err << "qrwflash: " << text::Printable(file.message) << std::endl;
    return std::nullopt;
  }
  if (file.problem != package::ProgramFileProblem::None) {
    err << "qrwflash: not a flash program: " << text::Printable(file.message) << std::endl;
    return std::nullopt;
  }
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

// Tests lay out a /sys and /dev of their own under this folder.
std::string DeviceRoot() {
  const char* root = std::getenv("QRWFLASH_ROOT");
  return root ? root : "";
}

constexpr const char* kVersion = "qrwflash " QRW_VERSION;
constexpr const char* kDescription =
    "qrwflash " QRW_VERSION
    ": flash the firmware of a QUARVEL QRW CD-RW drive from Linux with a flash "
    "program (for example 1.10.EXE): the same warning, drive check, revision "
    "check and flash sequence as the program itself, sent over SG_IO.";
constexpr const char* kFooter =
    "Exit status: 0 flashed (drives: a drive is accepted), 1 a command failed "
    "or a device cannot be used, 2 wrong usage, 3 refused (declined, no "
    "matching drive, already at the new revision, interrupted before the "
    "critical entry, or the computer on a battery below 10%).";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{kDescription, "qrwflash"};
  app.footer(kFooter);
  app.set_version_flag("--version", kVersion, "Show the version and exit");
  app.require_subcommand(1, 1);
  std::string program;
  std::string device;
  bool assumeYes = false;
  bool ignorePower = false;

  CLI::App* drives = app.add_subcommand(
      "drives", "List the CD-ROM drives with their INQUIRY line and whether the program accepts each");
  drives->add_option("PROGRAM.EXE", program, "the flash program file")->required();
  drives->add_option("--device", device, "look at this device node only (no discovery)");

  CLI::App* flash = app.add_subcommand(
      "flash",
      "Flash a matching drive with the program's firmware. Refused on a battery below 10%; "
      "while it runs, a systemd-logind inhibitor lock holds off sleep, shutdown, idle and the "
      "power, suspend, hibernate and lid keys (see man qrwflash)");
  flash->add_option("PROGRAM.EXE", program, "the flash program file")->required();
  flash->add_option("--device", device,
                    "flash the drive at this node (/dev/sg*, /dev/sr*); skips discovery");
  flash->add_flag("-y,--yes", assumeYes, "answer yes to the warning and the confirmation");
  flash->add_flag("--ignore-power", ignorePower,
                  "flash even when the computer runs on a battery below 10% (refused otherwise)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? terminal::kExitFlashed : terminal::kExitUsage;
  }

  std::optional<package::ProgramFile> file = ReadFlashProgram(program, std::cerr);
  if (!file) return terminal::kExitFailed;

  CatchInterrupts();
  terminal::Interrupt interrupt(interruptRequested);
  terminal::Console console{std::cin, std::cout, std::cerr, isatty(STDOUT_FILENO) == 1,
                            isatty(STDIN_FILENO) != 1};
  platform::linux_sg::LinuxScsiGeneric sg(DeviceRoot());
  terminal::Options options;
  if (!device.empty()) options.device = device;
  options.assumeYes = assumeYes;
  options.ignorePower = ignorePower;
  if (*drives) return terminal::ListDrives(file->Package(), options, sg, console, interrupt);
  platform::linux_sg::LinuxPowerSupplies power(DeviceRoot());
  platform::linux_sg::LogindInhibitor inhibitor;
  return terminal::FlashDrive(file->Package(), options, sg, power, inhibitor, console, interrupt);
}
