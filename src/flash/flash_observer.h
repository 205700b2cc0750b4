// What a flash session tells the front that shows it: every caption, the
// progress, the busy cursor, the chosen drive's new list line, the critical
// phase, and how the press ended. The fronts learn what happened from here
// alone.
#pragma once

#include <string>

#include "drive/transfer_cursor.h"

namespace flash {

enum class Phase {
  CommandsBegun,  // the first drive command of the sequence is about to be sent; the
                  // sequence ends with Finished
  CriticalBegun,  // the critical entry is about to be sent
  CriticalEnded,  // the final flash command has answered, or the run stopped after the entry
};

enum class Outcome {
  Flashed,      // the final flash command succeeded
  Declined,     // the confirmation was answered No
  Refused,      // the revision check refused the drive
  Failed,       // a command or the opening failed
  Interrupted,  // stopped on the front's request before the critical entry; a failure
                // after it is Failed, whatever the front asked
};

struct FlashResult {
  Outcome outcome = Outcome::Failed;
  // Refused: the refusal as shown. Failed: the last report shown (empty when
  // the run stopped without one).
  std::string reason;
  // The status caption as the press left it.
  std::string caption;
  // The critical entry was begun in this run.
  bool critical = false;
};

class FlashObserver {
 public:
  virtual ~FlashObserver() = default;

  // The status caption after each change, suffixes included.
  virtual void Caption(const std::string& text) = 0;
  // The progress as the front shows it: the transfer cursor, set by the
  // procedure and the buffer commands, which read their offsets back from
  // it.
  virtual drive::TransferCursor& Progress() = 0;
  // The hourglass while the drive works; the arrow again after.
  virtual void Busy(bool busy) = 0;
  // The flashed drive's list line at list position `position` is now `line`.
  virtual void DriveLineChanged(int position, const std::string& line) = 0;
  virtual void PhaseChanged(Phase phase) = 0;
  // Where the restart offer would come in a session without a restart
  // (the front never restarts the computer).
  virtual void RestartNotOffered() = 0;
  // Asked when a run stops early: whether the front asked it to stop.
  virtual bool StopRequested() const = 0;
  // Once per press that had a drive to work on, after its cleanup.
  virtual void Finished(const FlashResult& result) = 0;
};

}  // namespace flash
