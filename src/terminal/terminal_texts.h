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

}  // namespace terminal::texts
