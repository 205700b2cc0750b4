#include "terminal/json_reports.h"

#include "text/format.h"

namespace terminal {

namespace {

text::Json TextOrNull(const std::string& value) {
  return value.empty() ? text::Json() : text::Json(value);
}

text::Json Head(const JsonHead& head) {
  text::Json document = text::Json::Object();
  document.Set("command", head.command);
  document.Set("program", head.program);
  document.Set("signature", TextOrNull(head.signature));
  document.Set("problem", TextOrNull(head.problem));
  return document;
}

// The drive's identity from its list line; nulls for a drive that gave no
// line (no answer to INQUIRY).
void SetIdentity(text::Json& drive, const std::string& line) {
  const LineParts parts = PartsOf(line);
  drive.Set("address", TextOrNull(parts.address));
  drive.Set("vendor", TextOrNull(parts.vendor));
  drive.Set("product", TextOrNull(parts.product));
  drive.Set("revision", TextOrNull(parts.revision));
}

std::string CdbText(const scsi::ScsiRequest& request) {
  std::string cdb;
  for (std::uint8_t i = 0; i < request.cdbLength; ++i)
    cdb += text::Format(i == 0 ? "%02X" : " %02X", unsigned{request.cdb[i]});
  return cdb;
}

text::Json FailureJson(const FailedCommand& failure) {
  text::Json json = text::Json::Object();
  json.Set("operation", text::Format("%02X", unsigned{failure.request.cdb[0]}));
  json.Set("cdb", CdbText(failure.request));
  json.Set("delivered", failure.result.delivered);
  json.Set("status", unsigned{failure.result.status});
  json.Set("senseKey", unsigned{failure.result.senseByte2});
  json.Set("asc", unsigned{failure.result.asc});
  json.Set("ascq", unsigned{failure.result.ascq});
  json.Set("systemError", static_cast<unsigned long>(failure.result.systemError));
  json.Set("hostStatus", unsigned{failure.result.hostStatus});
  json.Set("driverStatus", unsigned{failure.result.driverStatus});
  json.Set("report", failure.report);
  return json;
}

}  // namespace

text::Json DrivesDocument(const JsonHead& head, const std::vector<ListedDrive>& drives,
                          const std::vector<std::string>& problems, int status) {
  text::Json document = Head(head);
  text::Json list = text::Json::Array();
  for (const ListedDrive& d : drives) {
    text::Json drive = text::Json::Object();
    drive.Set("device", d.device);
    SetIdentity(drive, d.line);
    drive.Set("accepted", d.accepted);
    drive.Set("whyNot", TextOrNull(d.whyNot));
    list.Add(std::move(drive));
  }
  document.Set("drives", std::move(list));
  text::Json unusable = text::Json::Array();
  for (const std::string& problem : problems) unusable.Add(problem);
  document.Set("unusable", std::move(unusable));
  document.Set("status", status);
  return document;
}

text::Json FlashDocument(const JsonHead& head, const std::vector<DriveRun>& runs, int status) {
  text::Json document = Head(head);
  text::Json list = text::Json::Array();
  for (const DriveRun& run : runs) {
    text::Json drive = text::Json::Object();
    drive.Set("device", run.device);
    SetIdentity(drive, run.line);
    drive.Set("revisionAfter", run.after == "?" ? text::Json() : TextOrNull(run.after));
    drive.Set("outcome", OutcomeName(run.outcome));
    drive.Set("reason", TextOrNull(run.reason));
    drive.Set("criticalEntered", run.critical);
    drive.Set("failure", run.failure ? FailureJson(*run.failure) : text::Json());
    list.Add(std::move(drive));
  }
  document.Set("drives", std::move(list));
  document.Set("status", status);
  return document;
}

}  // namespace terminal
