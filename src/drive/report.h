// The words a person reads when the transport reports a failure: the
// one-line failure report of a drive command and the failed opening at the
// start of a flash.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui.h"
#include "scsi/pass_through.h"
#include "scsi/request.h"

namespace drive {

// label + "> Status: %02X, SenseCode: %02X %02X %02X" (upper-case hex), with
// the system error added when the request never reached the drive.
std::string FormatReport(std::string_view label, const scsi::ScsiResult& result);

// Shows FormatReport in a plain message box and returns when dismissed.
void ReportCommandFailure(platform::Dialogs& dialogs, std::string_view label,
                          const scsi::ScsiResult& result);

// "Error opening: <code>", on Linux followed by " (<node>: <reason>)", or
// "Error reading inquiry data information; error was <code>". Empty for an
// opening that succeeded.
std::string OpeningText(const scsi::Opening& opening);

}  // namespace drive
