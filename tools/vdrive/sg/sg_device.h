// The SCSI generic device as Wine's pass-through code meets it on Linux: the
// three requests its CD-ROM ioctls send (SG_GET_VERSION_NUM, SG_IO,
// SCSI_IOCTL_GET_IDLUN), answered by one virtual drive of a session.
// Each request returns 0 or a negative errno, as the kernel's sg driver
// would; the shim turns that into the ioctl's -1 and errno.
#pragma once

#include <scsi/sg.h>

#include <chrono>
#include <cstdint>

#include "vdrive/session/session.h"
#include "vdrive/vdrive.h"

namespace vdrive::sg {

// What SG_GET_VERSION_NUM reports: the sg driver 3.5.36. Wine's
// IOCTL_SCSI_GET_INQUIRY_DATA wants at least 30000.
inline constexpr int kSgVersion = 30536;
// A version below Wine's minimum, for a probe that must fail with
// ERROR_NOT_SUPPORTED (50).
inline constexpr int kSgTooOldVersion = 20000;
inline constexpr std::uint32_t kErrorNotSupported = 50;

// Block-device major number reported for the file: SCSI CD-ROM, so that Wine
// asks SCSI_IOCTL_GET_IDLUN for the address.
inline constexpr unsigned kScsiCdromMajor = 11;

// Lives as long as the process, one per served drive: it remembers that
// Wine has just asked the version, which marks the next INQUIRY as Wine's
// own probe.
class SgDevice {
 public:
  // slowAtWait: a request held "at-wait" answers late but succeeds, as a
  // synchronous pass-through call does (the native front, or a session that
  // names a release file, where a test needs a command to stay with the
  // drive for a while); otherwise every held request fails with ETIME, as
  // Wine reports it.
  SgDevice(Session& session, Drive& drive, bool slowAtWait = false)
      : session_(session), drive_(drive), slowAtWait_(slowAtWait) {}

  // A held request's wait (WaitWhileHeld) is left to a caller that gives
  // `heldForCaller`, so that it can serve other drives meanwhile, as a
  // kernel serves its devices; without it Io waits itself.
  int Io(sg_io_hdr_t& request, bool* heldForCaller = nullptr);
  // How long a held "at-wait" request stays with the drive: until the
  // session's release file appears, or kSlowRequest.
  void WaitWhileHeld() const;
  int VersionNum(int* version);
  // SCSI_IOCTL_GET_IDLUN: word 0 = target | lun << 8 | channel << 16 |
  // host << 24, word 1 = the host's unique id.
  int IdLun(std::uint32_t* idlun);

 private:
  int AnswerProbe(sg_io_hdr_t& request);

  Session& session_;
  Drive& drive_;
  bool probeArmed_ = false;
  bool slowAtWait_ = false;
};

// How long a slow request stays with the drive when the session names no
// release file.
inline constexpr std::chrono::milliseconds kSlowRequest{2000};

// The errno that Wine turns back into the given Windows system error code
// (its errno_to_status and RtlNtStatusToDosError); codes Wine cannot
// produce from an errno come out as 31 (ERROR_GEN_FAILURE).
int ErrnoForSystemError(std::uint32_t systemError);

}  // namespace vdrive::sg
