// The one-line failure report of a drive command.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui.h"
#include "scsi/request.h"

namespace scsi {

// label + "> Status: %02X, SenseCode: %02X %02X %02X" (upper-case hex), with
// the system error added when the request never reached the drive.
std::string FormatReport(std::string_view label, const ScsiResult& result);

// Shows FormatReport in a plain message box and returns when dismissed.
void ReportCommandFailure(platform::Dialogs& dialogs, std::string_view label,
                          const ScsiResult& result);

}  // namespace scsi
