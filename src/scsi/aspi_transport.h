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
  // request still pending when the wait ends is aborted before the block is
  // used again and comes back with delivered = false.
  ScsiResult W9xSendRequest(const ScsiRequest& request);

  platform::AspiLibrary& Library() { return library_; }

 private:
  platform::AspiLibrary& library_;
  std::chrono::milliseconds waitLimit_;
  std::array<std::uint8_t, 80> srb_{};  // shared, cleared before each request
};

}  // namespace scsi
