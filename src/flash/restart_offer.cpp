#include "flash/restart_offer.h"

#include "flash/flash_texts.h"

namespace flash {

namespace {

using platform::Answer;
using platform::DialogButtons;
using platform::DialogKind;

bool UserWantsRestart(platform::Dialogs& dialogs, const char* offer) {
  return dialogs.Ask(DialogKind::Confirm, offer, DialogButtons::YesNo) == Answer::Yes;
}

// The shutdown privilege must be held by the process before ExitWindowsEx
// may reboot an NT system.
bool EnableShutdownPrivilege(platform::Dialogs& dialogs, platform::Restart& restart) {
  if (!restart.OpenProcessToken()) {
    dialogs.SystemBox(kExitError, kTitleOpenToken);
    return false;
  }
  if (!restart.LookupShutdownPrivilege()) {
    dialogs.SystemBox(kExitError, kTitleLookupPrivilege);
    return false;
  }
  // AdjustTokenPrivileges reports a privilege the account does not hold only
  // through the last error, not through its result.
  if (restart.EnableShutdownPrivilege() != 0) {
    dialogs.SystemBox(kExitError, kTitleAdjustPrivileges);
    return false;
  }
  return true;
}

void RestartNow(platform::Restart& restart, platform::Cursor& cursor) {
  cursor.Default();
  restart.ExitWindows(kRestartFlags);
}

}  // namespace

bool OfferRestartNt(platform::Dialogs& dialogs, platform::Restart& restart,
                    platform::Cursor& cursor) {
  if (!UserWantsRestart(dialogs, kRestartOfferNt)) return false;
  if (EnableShutdownPrivilege(dialogs, restart)) RestartNow(restart, cursor);
  return true;
}

bool OfferRestart9x(platform::Dialogs& dialogs, platform::Restart& restart,
                    platform::Cursor& cursor) {
  if (!UserWantsRestart(dialogs, kRestartOffer9x)) return false;
  RestartNow(restart, cursor);
  return true;
}

}  // namespace flash
