#include "scsi/report.h"

#include <cstdio>

#include "scsi/messages.h"

namespace scsi {

std::string FormatReport(std::string_view label, const ScsiResult& result) {
  char line[64];
  std::snprintf(line, sizeof line, messages::kReport, unsigned{result.status},
                unsigned{result.senseByte2}, unsigned{result.asc}, unsigned{result.ascq});
  std::string text = std::string(label) + line;
  // A call that never reached the drive leaves status and sense at zero,
  // which would read as success: the system error tells the user why.
  if (!result.delivered && result.systemError != 0) {
    char error[40];
    std::snprintf(error, sizeof error, messages::kSystemError,
                  static_cast<unsigned>(result.systemError));
    text += error;
  }
  if (!result.delivered && (result.hostStatus != 0 || result.driverStatus != 0)) {
    char status[48];
    std::snprintf(status, sizeof status, messages::kHostDriverStatus,
                  unsigned{result.hostStatus}, unsigned{result.driverStatus});
    text += status;
  }
  return text;
}

void ReportCommandFailure(platform::Dialogs& dialogs, std::string_view label,
                          const ScsiResult& result) {
  dialogs.Message(FormatReport(label, result));
}

}  // namespace scsi
