// A run over several drives (--all, or --device more than once): one
// warning and one confirmation for them all, then every drive flashed at
// the same time by a worker of its own (a thread with its own session,
// device and chunk buffer), so that a row of drives takes about the time of
// its slowest one, and a summary table at the end.
#pragma once

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/package_region.h"
#include "platform/burn_guard.h"
#include "platform/power.h"
#include "platform/scsi_generic.h"
#include "terminal/console.h"
#include "terminal/drive_run.h"
#include "terminal/flash_tool.h"

namespace terminal {

// Each worker talks to its drive through a SCSI generic access of its own.
using ScsiGenericMaker = std::function<std::unique_ptr<platform::ScsiGeneric>()>;

// --all (options.all) or the drives of options.devices. Wrong usage (the
// same drive twice) is 2 before anything is asked; otherwise as FlashDrive:
// the battery check, the warning, the guard held once for the whole run,
// the drives identified, listed and confirmed once, then flashed.
// `requested` is the interrupt request the signal handler sets.
// Every drive's run lands in *runs when given (for --json).
int FlashSeveral(const package::PackageView& package, const Options& options,
                 const ScsiGenericMaker& makeSg, platform::PowerSource& power,
                 platform::BurnGuard& guard, Console& console,
                 const volatile std::sig_atomic_t& requested, std::vector<DriveRun>* runs = nullptr);

// --dry-run: the drives identified (their INQUIRY, as `drives` sends it,
// and nothing else), the program, the drive and the revision checked as a
// flash checks them, then for the chosen drive (or each drive of --all or
// several --device) the commands its flash would send, in order, as trace
// lines with their time limits. Nothing is asked; 0 when there was a drive
// to show, otherwise as a flash would end.
int DryRun(const package::PackageView& package, const Options& options,
           const ScsiGenericMaker& makeSg, Console& console,
           const volatile std::sig_atomic_t& requested);

}  // namespace terminal
