#include "drive/report.h"

#include "drive/messages.h"
#include "text/format.h"

namespace drive {

std::string FormatReport(std::string_view label, const scsi::ScsiResult& result) {
  std::string text = std::string(label) + text::Format(messages::kReport, unsigned{result.status},
                                                      unsigned{result.senseByte2},
                                                      unsigned{result.asc}, unsigned{result.ascq});
  // A call that never reached the drive leaves status and sense at zero,
  // which would read as success: the system error tells the user why.
  if (!result.delivered && result.systemError != 0) {
    text += text::Format(messages::kSystemError, static_cast<unsigned>(result.systemError));
  }
  if (!result.delivered && (result.hostStatus != 0 || result.driverStatus != 0)) {
    text += text::Format(messages::kHostDriverStatus, unsigned{result.hostStatus},
                         unsigned{result.driverStatus});
  }
  return text;
}

void ReportCommandFailure(platform::Dialogs& dialogs, std::string_view label,
                          const scsi::ScsiResult& result) {
  dialogs.Message(FormatReport(label, result));
}

std::string OpeningText(const scsi::Opening& opening) {
  switch (opening.failure) {
    case scsi::Opening::Failure::None:
      return "";
    case scsi::Opening::Failure::Open: {
      std::string text = messages::kErrorOpening + std::to_string(opening.systemError);
      if (!opening.device.empty()) text += " (" + opening.device + ": " + opening.systemText + ")";
      return text;
    }
    case scsi::Opening::Failure::Probe:
      return text::Format(messages::kProbeFailed, static_cast<int>(opening.systemError));
  }
  return "";
}

}  // namespace drive
