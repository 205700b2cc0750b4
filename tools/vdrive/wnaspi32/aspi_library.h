// WNASPI32.DLL's own logic: the ASPI for Win32 library on one virtual bus.
// Decodes the request blocks the program sends, runs SCSI commands on the
// session's drives, writes status and sense back and signals the caller's
// event. A request the scenario holds stays pending: completed a moment
// later from a thread of the library (at-wait), at the library's next call
// (after-wait), or only ended by SC_ABORT_SRB (never).
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "vdrive/session/session.h"
#include "vdrive/vdrive.h"

namespace vdrive::aspi {

class AspiLibrary {
 public:
  // Without a session (the scenario could not be read) the library reports
  // SS_FAILED_INIT and refuses every request.
  explicit AspiLibrary(std::unique_ptr<Session> session);

  std::uint32_t SupportInfo();
  std::uint32_t Send(std::uint8_t* srb);

 private:
  struct Pending {
    std::uint8_t* srb = nullptr;
    Delivery delivery = Delivery::Never;
    Answer answer;
    Bytes dataIn;  // what the drive returned, copied into the buffer at completion
    std::uint8_t* buffer = nullptr;
    HANDLE event = nullptr;
  };

  std::uint32_t HostAdapterInquiry(std::uint8_t* srb);
  std::uint32_t DeviceType(std::uint8_t* srb);
  std::uint8_t ExecRefusal(const std::uint8_t* srb);
  static Direction DirectionOf(const std::uint8_t* srb);
  std::uint32_t ExecScsi(std::uint8_t* srb);
  std::uint32_t Deliver(Pending request);
  std::uint32_t Abort(std::uint8_t* srb);
  void Complete(Pending& request);
  void CompleteLateRequests();
  void CompleteAtWait(std::uint8_t* srb);

  std::mutex lock_;
  std::unique_ptr<Session> session_;
  std::vector<Pending> pending_;
};

}  // namespace vdrive::aspi
