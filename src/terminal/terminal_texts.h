// What the terminal tool says beyond the flash program's own texts.
#pragma once

namespace terminal::texts {

inline constexpr const char* kPrompt = "[y/N] ";
inline constexpr const char* kFlashAnyway = "Flash it anyway?";
inline constexpr const char* kYesAnswered = "[y/N] y (--yes)";
inline constexpr const char* kWhichDrive = "Several drives match. Which one shall be flashed? [1-%u] ";
inline constexpr const char* kSeveralWithYes =
    "several drives match; name the one to flash with --device";
inline constexpr const char* kPowerCycle =
    "The drive takes the new firmware after its power is cycled: switch the "
    "drive (or the computer it is in) off and on again. The computer is not "
    "restarted.";
inline constexpr const char* kInterruptStopping =
    "Interrupted: stopped after the current command, before the critical "
    "entry. Nothing was burnt; the drive keeps its firmware.";
inline constexpr const char* kInterruptHeld =
    "Interrupt held: the drive is in its critical phase and must not be left "
    "in it. qrwflash goes on until the flash command has answered.";
inline constexpr const char* kInterruptNotActedOn =
    "The interrupt came during the critical phase and was not acted on.";

// The last line of every run that ends with a status other than 0, when
// nothing before it has said why already.
inline constexpr const char* kDeclined = "declined: the drive was not flashed and keeps its firmware";
inline constexpr const char* kRevisionRefused =
    "the revision check refused the drive: it was not flashed and keeps its firmware";
inline constexpr const char* kNoMatchingDrive = "no drive matches this flash program: nothing was flashed";
inline constexpr const char* kNoDriveAccepted = "no drive is accepted by this flash program";
inline constexpr const char* kNoDriveChosen = "no drive chosen: nothing was flashed";
inline constexpr const char* kNotHeldOff = "qrwflash: sleep and shutdown are not held off: %s";
inline constexpr const char* kOnBattery =
    "the computer is running on battery (%d%% left): connect it to mains power, or pass "
    "--ignore-power";
// %s: where the flash stopped (kStoppedAt), or nothing before its first step.
inline constexpr const char* kFailedBeforeCritical =
    "the flash stopped%s before the drive's critical entry: nothing was burnt "
    "and the drive keeps its firmware. Mend what the lines above report (a "
    "disc in the tray, a drive that does not settle, a command it refused) "
    "and run the flash again.";
inline constexpr const char* kFailedInCritical =
    "the flash stopped%s after the drive's critical entry: the drive may not "
    "start with what its flash holds. Keep its power on and run the flash "
    "again.";
inline constexpr const char* kStoppedAt = " at \"%s\",";

inline constexpr const char* kNoNodes = "no CD-ROM device found (no /dev/sg* of type 5, no /dev/sr*)";
inline constexpr const char* kAccepted = "accepted by this flash program";
inline constexpr const char* kNotAccepted = "not for this flash program";
inline constexpr const char* kNoAnswer = "no answer to INQUIRY";

inline constexpr const char* kPermissionOpen =
    "%s: permission denied. Flashing sends WRITE BUFFER and vendor commands, "
    "which need the device node opened for reading and writing: run qrwflash "
    "as root (or with CAP_SYS_RAWIO), or use the drive's /dev/sg* node with "
    "write access for your user.";
inline constexpr const char* kPermissionRawIo =
    "%s: the kernel passes WRITE BUFFER and vendor commands to a CD-ROM block "
    "device (/dev/sr*) only for root or a process with CAP_SYS_RAWIO; the "
    "cdrom group is not enough. Run qrwflash as root (or with CAP_SYS_RAWIO), "
    "or use the drive's /dev/sg* node with write access for your user.";
inline constexpr const char* kCannotOpen = "%s: cannot open: %s";
inline constexpr const char* kNotScsi = "%s: not a SCSI device (it does not take SG_IO)";
inline constexpr const char* kNotCdRom = "%s: not a CD-ROM device (SCSI device type %d)";
inline constexpr const char* kNodeTooLong =
    "%s: the device name is too long for a drive line; use a shorter path to the node";
inline constexpr const char* kTemplate =
    "%s is the template (QRWFLASH.EXE, the builder): it carries no firmware "
    "image. Give a flash program made from it.";

inline constexpr const char* kJsonWithoutYes =
    "--json asks no questions: give --yes with it to flash (nothing was sent)";

inline constexpr const char* kJsonWithDryRun =
    "--dry-run prints commands, not a JSON document: give one of --dry-run and --json";

// --dry-run.
inline constexpr const char* kDryRunChip =
    "The flash profile a flash sends is the one for the flash chip the drive names when "
    "asked (DF 11); a dry run asks nothing, and shows the one for maker %02X, device %02X, "
    "the first of the program's table.";
inline constexpr const char* kDryRunDrive =
    "Commands a flash of %s to %s would send, in order (operation and CDB, direction, length, "
    "digest of the bytes sent or of those a drive that takes the flash returns, time limit):";
inline constexpr const char* kDryRunSkipped = "Not flashed: %s: %s";
inline constexpr const char* kDryRunEnd =
    "Dry run: nothing was sent to any drive but the identification (INQUIRY) that qrwflash "
    "drives sends; no drive was flashed.";

// Several drives in one run (--all, or --device more than once).
inline constexpr const char* kAllWithDevice =
    "--all flashes every drive the program accepts: give --all or name the drives with "
    "--device, not both";
inline constexpr const char* kSameDrive = "%s and %s name the same drive: name each drive once";
inline constexpr const char* kDrivesToFlash = "Drives to flash:";
inline constexpr const char* kDrivesSkipped = "Skipped (not touched):";
inline constexpr const char* kUpdateSeveral = "Update %u drives to FW:%s ?";
inline constexpr const char* kSkippedCurrent = "already at the new revision";
inline constexpr const char* kSkippedOther = "not for this flash program";
inline constexpr const char* kRefusedByCheck = "refused by the revision check";
inline constexpr const char* kNarrowTerminal =
    "qrwflash: the terminal is %d columns wide, too narrow for a drive's line (%d): each "
    "drive's steps follow as whole lines";
inline constexpr const char* kWaiting = "waiting";
inline constexpr const char* kStoppedBefore = "stopped at \"%s\" before the critical entry: nothing burnt";
inline constexpr const char* kStoppedAfter =
    "stopped at \"%s\" after the critical entry: keep its power on and flash it again";
inline constexpr const char* kInterruptedBefore = "interrupted before the critical entry: nothing burnt";
inline constexpr const char* kHeldNote = "interrupt held in the critical phase, not acted on";
inline constexpr const char* kSeveralDeclined = "declined: no drive was flashed; each keeps its firmware";
inline constexpr const char* kSeveralFailed =
    "%u of %u drives failed: the table above says where each stopped. Mend what it reports "
    "and flash those drives again (--device names each)";
inline constexpr const char* kSeveralInterrupted =
    "interrupted: the drives before their critical entry stopped with nothing burnt, those "
    "past it finished (the table above says which)";
inline constexpr const char* kSeveralRefused =
    "the revision check refused %u drives: they were not flashed and keep their firmware";

}  // namespace terminal::texts
