// The Windows 9x transport through the ASPI for Win32 library.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>

#include "platform/aspi.h"
#include "scsi/request.h"

namespace scsi {

inline constexpr std::chrono::milliseconds kAspiCompletionWait{180000};

class AspiTransport {
 public:
  explicit AspiTransport(platform::AspiLibrary& library,
                         std::chrono::milliseconds waitLimit = kAspiCompletionWait)
      : library_(library), waitLimit_(waitLimit) {}

  // One SRB_ExecSCSICmd with event notification; waits for completion. A
  // request still pending when the wait ends is ended with SC_ABORT_SRB
  // before the block or its buffer is used again and comes back with
  // delivered = false and the values it held when the wait ended (status
  // 00). A request for which no event could be created is not sent and
  // comes back the same way.
  ScsiResult W9xSendRequest(const ScsiRequest& request);

  platform::AspiLibrary& Library() { return library_; }

 private:
  void FillRequest(const ScsiRequest& request);
  ScsiResult ReadResult() const;
  void AbortPending(std::uint8_t adapter);

  platform::AspiLibrary& library_;
  std::chrono::milliseconds waitLimit_;
  std::array<std::uint8_t, 80> srb_{};  // shared, cleared before each request
  std::array<std::uint8_t, 12> abort_{};  // SRB_Abort
};

}  // namespace scsi
