// WNASPI32.DLL's own logic: the ASPI for Win32 library on one virtual bus.
// The requests are served by the dispatcher the in-process front uses too;
// this library adds what only a DLL has: real events, its lock, the
// session's journal, and a thread of its own that completes an at-wait
// request a moment after the send (or once the session's release file
// exists), while the caller waits on its event.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>

#include "vdrive/aspi_dispatch.h"
#include "vdrive/session/session.h"
#include "vdrive/vdrive.h"

namespace vdrive::aspi {

class AspiLibrary : private DispatchHost {
 public:
  // Without a session (the scenario could not be read) the library reports
  // SS_FAILED_INIT and refuses every request.
  explicit AspiLibrary(std::unique_ptr<Session> session);

  std::uint32_t SupportInfo();
  std::uint32_t Send(std::uint8_t* srb);

 private:
  std::uint8_t* Memory(std::uint32_t field) override;
  void Signal(std::uint32_t event) override;
  Answer Execute(Drive& drive, std::span<const std::uint8_t> cdb, Direction direction,
                 std::span<std::uint8_t> data) override;
  void PendingAtWait(std::uint8_t* srb) override;
  void CompleteAtWait(std::uint8_t* srb);

  std::mutex lock_;
  std::unique_ptr<Session> session_;
  std::unique_ptr<Dispatcher> dispatcher_;
};

}  // namespace vdrive::aspi
