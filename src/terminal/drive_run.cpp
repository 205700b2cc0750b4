#include "terminal/drive_run.h"

#include "drive/report.h"
#include "flash/revision_check.h"
#include "terminal/terminal_texts.h"
#include "text/format.h"

namespace terminal {

namespace {

// A list line ends with the 28 identification characters: vendor (8),
// product (16), revision (4).
constexpr std::size_t kIdentification = 28;
constexpr std::size_t kVendor = 8;
constexpr std::size_t kProduct = 16;

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Where the flash stopped, before or after the critical entry, after the
// report the drive's command gave.
std::string FailureReason(const flash::FlashResult& result) {
  std::string reason = result.reason;
  if (result.caption.empty()) return reason;
  if (!reason.empty()) reason += "; ";
  return reason + text::Format(result.critical ? texts::kStoppedAfter : texts::kStoppedBefore,
                               result.caption.c_str());
}

}  // namespace

const char* OutcomeName(DriveRun::Outcome outcome) {
  switch (outcome) {
    case DriveRun::Outcome::Flashed: return "flashed";
    case DriveRun::Outcome::Failed: return "failed";
    case DriveRun::Outcome::Interrupted: return "interrupted";
    case DriveRun::Outcome::Refused: return "refused";
    case DriveRun::Outcome::Declined: return "declined";
    case DriveRun::Outcome::Skipped: return "skipped";
  }
  return "";
}

LineParts PartsOf(const std::string& line) {
  LineParts parts;
  if (line.size() < kIdentification) return parts;
  const std::size_t at = line.size() - kIdentification;
  parts.address = line.substr(0, line.find(' '));
  parts.vendor = Trimmed(line.substr(at, kVendor));
  parts.product = Trimmed(line.substr(at + kVendor, kProduct));
  parts.revision = Trimmed(line.substr(at + kVendor + kProduct));
  return parts;
}

DriveRun RunOf(const std::string& device, const std::string& line) {
  DriveRun run;
  run.device = device;
  run.line = line;
  if (line.size() >= kIdentification)
    run.identity = Trimmed(line.substr(line.size() - kIdentification, kVendor + kProduct));
  run.before = flash::CurrentRevision(line);
  run.after = run.before;
  return run;
}

void SettleRun(DriveRun& run, const std::optional<flash::FlashResult>& result,
               const std::optional<std::string>& newLine, bool held,
               const std::optional<InterruptGate::Sent>& lastSent) {
  run.after = run.before;
  if (!result) {
    run.outcome = DriveRun::Outcome::Failed;
    return;
  }
  run.critical = result->critical;
  switch (result->outcome) {
    case flash::Outcome::Flashed:
      run.outcome = DriveRun::Outcome::Flashed;
      run.after = newLine ? flash::CurrentRevision(*newLine) : "?";
      if (held) run.reason = texts::kHeldNote;
      return;
    case flash::Outcome::Interrupted:
      run.outcome = DriveRun::Outcome::Interrupted;
      run.reason = texts::kInterruptedBefore;
      return;
    case flash::Outcome::Declined:
      run.outcome = DriveRun::Outcome::Declined;
      run.reason = texts::kDeclined;
      return;
    case flash::Outcome::Refused:
      run.outcome = DriveRun::Outcome::Refused;
      run.reason = texts::kRefusedByCheck;
      return;
    case flash::Outcome::Failed:
      run.outcome = DriveRun::Outcome::Failed;
      run.reason = FailureReason(*result);
      // Before the critical entry nothing was burnt; after it, what the
      // drive holds is unknown until it is read again.
      if (result->critical) run.after = "?";
      // A flash that ended on a command the drive did not take (rather
      // than on a compare, a disc in the tray or an opening) names it.
      if (lastSent && !scsi::IsGood(lastSent->result))
        run.failure = FailedCommand{lastSent->request, lastSent->result, result->reason};
      return;
  }
}

}  // namespace terminal
