// The offer to restart the computer after a successful flash, in the form of
// each platform.
#pragma once

#include "platform/restart.h"
#include "platform/ui.h"

namespace flash {

inline constexpr std::uint32_t kRestartFlags =
    platform::kExitReboot | platform::kExitForce;

// NT family: the shutdown privilege of the own process is enabled before the
// restart; each failing step shows its "Exit Error" box and ends the offer.
// Returns whether the user answered Yes.
bool OfferRestartNt(platform::Dialogs& dialogs, platform::Restart& restart,
                    platform::Cursor& cursor);

// Windows 9x: no privilege step. Returns whether the user answered Yes.
bool OfferRestart9x(platform::Dialogs& dialogs, platform::Restart& restart,
                    platform::Cursor& cursor);

}  // namespace flash
