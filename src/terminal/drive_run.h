// What became of one drive of a flash run, in values: for the summary
// table of a run over several drives and for --json.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "flash/flash_observer.h"
#include "scsi/request.h"
#include "terminal/interrupt_gate.h"

namespace terminal {

// The command a failed flash ended on, and its outcome as the drive (or
// the system, for a call that never reached it) gave it.
struct FailedCommand {
  scsi::ScsiRequest request;
  scsi::ScsiResult result;
  std::string report;  // the report shown ("Write Buffer> Status: 02, ...")
};

struct DriveRun {
  enum class Outcome { Flashed, Failed, Interrupted, Refused, Declined, Skipped };
  std::string device;    // the node as shown
  std::string line;      // the drive's list line ("0-0-0 /dev/sg1: ..."); empty without an answer
  std::string identity;  // vendor and product, as INQUIRY gives them
  std::string before;    // revision before the run
  std::string after;     // after it; "?" when the drive was not read again
  Outcome outcome = Outcome::Skipped;
  std::string reason;  // why it was not flashed, or a note on its flash
  bool critical = false;  // the critical entry was begun
  std::optional<FailedCommand> failure;
};

const char* OutcomeName(DriveRun::Outcome outcome);

// A drive as its drive check found it: its list line gives the identity
// and the revision, which stays as it is until a flash changes it.
DriveRun RunOf(const std::string& device, const std::string& line);

// How the drive's flash ended: its result, the list line the procedure
// read afterwards (none: not read again), whether an interrupt was held in
// its critical phase, and the last command its transport sent.
void SettleRun(DriveRun& run, const std::optional<flash::FlashResult>& result,
               const std::optional<std::string>& newLine, bool held,
               const std::optional<InterruptGate::Sent>& lastSent);

// The list line's parts: the address ("0-0-0"), vendor, product and
// revision, blanks at the ends left out.
struct LineParts {
  std::string address, vendor, product, revision;
};
LineParts PartsOf(const std::string& line);

}  // namespace terminal
