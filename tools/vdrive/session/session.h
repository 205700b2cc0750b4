// One process's share of a virtual-drive session under Wine, used by the two
// Wine fronts (the SG device shim and WNASPI32.DLL). A session is what the
// environment names:
//   QRW_VDRIVE_SCENARIO  the scenario file (required; without it the fronts
//                        stay out of the way);
//   QRW_VDRIVE_TRACE     a file that receives one trace line per command,
//                        appended, so a test reads the whole session;
//   QRW_VDRIVE_STATE     a journal of every command the session's drives have
//                        run, so that the drive a process finds is the drive
//                        the earlier processes left (a flashed drive reports
//                        its new revision to the next run);
//   QRW_VDRIVE_RELEASE   a file whose appearance ends every "at-wait" hold, so
//                        that a test decides how long a held command stays
//                        with the drive while it looks at the program.
// Every process of the session replays the journal into fresh drives built
// from the scenario before its own first command, and again before each
// command (catching up with what another process has journalled meanwhile).
// Replayed commands are not traced again. One process at a time is expected
// to talk to the drives.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "vdrive/vdrive.h"

namespace vdrive {

inline constexpr const char* kStateEnvironment = "QRW_VDRIVE_STATE";
inline constexpr const char* kReleaseEnvironment = "QRW_VDRIVE_RELEASE";

struct SessionPaths {
  std::string scenario;
  std::string trace;    // empty: no trace file
  std::string journal;  // empty: state lives as long as the process
  std::string release;  // empty: a front holds "at-wait" requests its own while
};

// The paths from the environment; nullopt when no scenario is named.
std::optional<SessionPaths> SessionPathsFromEnvironment();

class Session {
 public:
  // Loads the scenario; on failure returns null and says why in *error.
  static std::unique_ptr<Session> Open(const SessionPaths& paths,
                                       std::string* error);

  Bus& Drives() { return bus_; }

  // Runs one command on one drive of the bus and journals it.
  Answer Execute(Drive& drive, std::span<const std::uint8_t> cdb,
                 Direction direction, std::span<std::uint8_t> data);

  // Whether the session names a release file for "at-wait" holds.
  bool HoldsUntilReleased() const { return !paths_.release.empty(); }
  // Waits until the release file exists; ten minutes at most, so that a
  // test that never releases cannot hang its run for ever.
  void AwaitRelease() const;

  // Appends a line of the front's own (for example a refused request) to the
  // trace file, so that a test sees it in place.
  void Note(const std::string& line);

 private:
  Session(const Scenario& scenario, SessionPaths paths);
  void CatchUp();
  void Journal(std::size_t driveIndex, std::span<const std::uint8_t> cdb,
               Direction direction, std::span<const std::uint8_t> data);
  std::size_t IndexOf(const Drive& drive);
  void AppendTraceLine(const std::string& line);

  SessionPaths paths_;
  Bus bus_;
  std::uint64_t replayed_ = 0;  // journal bytes already applied
};

}  // namespace vdrive
