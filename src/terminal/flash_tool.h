// qrwflash's two commands over a flash program's package: list the CD-ROM
// drives with what the package makes of each, and flash one of them with
// the flash procedure's NT variant through the terminal's seams.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "package/package_region.h"
#include "platform/burn_guard.h"
#include "platform/power.h"
#include "platform/scsi_generic.h"
#include "terminal/console.h"
#include "terminal/drive_run.h"

namespace terminal {

inline constexpr int kExitFlashed = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;

struct Options {
  std::optional<std::string> device;  // one node, no discovery
  bool all = false;                   // every drive the program accepts, at once
  std::vector<std::string> devices;   // these nodes, at once
  bool assumeYes = false;
  bool ignorePower = false;  // flash on a nearly flat battery all the same
};

// One drive as `drives` lists it.
struct ListedDrive {
  std::string device;  // the node as shown
  std::string line;    // its list line; empty without an answer
  bool accepted = false;
  std::string whyNot;  // empty when accepted
};

// Every CD-ROM device with its INQUIRY line and whether the package accepts
// it. 0 when at least one is accepted, 3 when none is, 1 when a device named
// with --device cannot be used. The drives land in *listed when given, the
// nodes that cannot be used in *problems.
int ListDrives(const package::PackageView& package, const Options& options,
               platform::ScsiGeneric& sg, Console& console, Interrupt& interrupt,
               std::vector<ListedDrive>* listed = nullptr,
               std::vector<std::string>* problems = nullptr);

// The battery check, the warning, the matching drives (a choice among
// several), the revision check and confirmation, the flash. 0 flashed, 1 a
// command failed or a device cannot be used, 2 several drives and --yes
// without --device, 3 refused (on a nearly flat battery, declined, no
// matching drive, already at the new revision, or interrupted before the
// critical entry).
// From the warning's Yes until it ends, the flash holds `guard`; where the
// system cannot be asked, one line says so and the flash goes on.
// The chosen drive's run lands in *runs when given (for --json).
int FlashDrive(const package::PackageView& package, const Options& options,
               platform::ScsiGeneric& sg, platform::PowerSource& power, platform::BurnGuard& guard,
               Console& console, Interrupt& interrupt, std::vector<DriveRun>* runs = nullptr);

// Longest device node that still leaves a whole list line (79 characters)
// for the address and the 28 identification characters.
inline constexpr std::size_t kMaxNodeLength = 37;

// What keeps a node from being used, or nothing. forFlash adds the rule of
// the CD-ROM block devices (WRITE BUFFER needs CAP_SYS_RAWIO there);
// checkType asks sysfs for a CD-ROM (a node named by the user).
std::optional<std::string> NodeProblem(platform::ScsiGeneric& sg, const std::string& node,
                                       bool forFlash, bool checkType);

// The CD-ROM nodes a run may use (those of --device, or every one found),
// and what keeps the others from being used.
struct Nodes {
  std::vector<std::string> usable;
  std::vector<std::string> problems;
};
Nodes FindNodes(platform::ScsiGeneric& sg, const Options& options, bool forFlash);
void TellProblems(const std::vector<std::string>& problems, Console& console);
// The run's last line, on the error stream, and its exit status.
int Ending(Console& console, const std::string& what, int status);

// The burn guard for one run: held when made, let go when it ends.
class GuardHeld {
 public:
  GuardHeld(platform::BurnGuard& guard, Console& console);
  ~GuardHeld() { guard_.Release(); }
  GuardHeld(const GuardHeld&) = delete;
  GuardHeld& operator=(const GuardHeld&) = delete;

 private:
  platform::BurnGuard& guard_;
};

}  // namespace terminal
