// The ASPI for Win32 library's request handling, shared by the virtual
// drive's two ASPI fronts (in-process and WNASPI32.DLL), so that a request
// behaves the same in a native test and under Wine: SC_HA_INQUIRY,
// SC_GET_DEV_TYPE, SC_EXEC_SCSI_CMD with its held completions, and
// SC_ABORT_SRB. A front supplies what only it knows: how a 32-bit field
// names a buffer or a block, how an event is signalled and how a command
// reaches its drive.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vdrive/vdrive.h"

namespace vdrive::aspi {

class DispatchHost {
 public:
  virtual ~DispatchHost() = default;
  // The memory a 32-bit address field names (SRB_BufPointer, SRB_ToAbort);
  // null when it names nothing the host owns.
  virtual std::uint8_t* Memory(std::uint32_t field) = 0;
  // Signals the event a 32-bit SRB_PostProc field names.
  virtual void Signal(std::uint32_t event) = 0;
  // Runs one command on a drive of the bus.
  virtual Answer Execute(Drive& drive, std::span<const std::uint8_t> cdb, Direction direction,
                         std::span<std::uint8_t> data) = 0;
  // An execute request was left pending to complete at the caller's wait;
  // the host arranges for CompleteAtWait to be called then.
  virtual void PendingAtWait(std::uint8_t*) {}
};

class Dispatcher {
 public:
  Dispatcher(Bus& bus, DispatchHost& host) : bus_(bus), host_(host) {}

  // SendASPI32Command: serves the block and returns its SRB_Status. Requests
  // held back from earlier calls complete first, except that an abort is
  // served before them, so that an aborted request never writes into its
  // block again.
  std::uint32_t Send(std::uint8_t* srb);
  // GetASPI32SupportInfo, also the library's next call for held requests.
  std::uint32_t SupportInfo();

  // Completes the at-wait request of this block, or of this event; false
  // when none is pending (completed or aborted meanwhile).
  bool CompleteAtWait(const std::uint8_t* srb);
  bool CompleteAtWaitOf(std::uint32_t event);

  // Requests the library still owns (pending, not aborted).
  std::size_t Outstanding() const { return pending_.size(); }

 private:
  struct Pending {
    std::uint8_t* srb = nullptr;
    Delivery delivery = Delivery::Never;
    Answer answer;
    Bytes dataIn;  // what the drive returned, copied into the buffer at completion
    std::uint8_t* buffer = nullptr;
    std::uint32_t event = 0;  // 0: the caller asked for no event
  };

  std::uint32_t Serve(std::uint8_t* srb);
  std::uint32_t HostAdapterInquiry(std::uint8_t* srb);
  std::uint32_t DeviceType(std::uint8_t* srb);
  std::uint8_t ExecRefusal(const std::uint8_t* srb);
  std::uint32_t ExecScsi(std::uint8_t* srb);
  std::uint32_t Abort(std::uint8_t* srb);
  void Complete(Pending& request);
  void CompleteLateRequests();
  template <typename Match>
  bool CompleteAtWaitWhere(Match match);

  Bus& bus_;
  DispatchHost& host_;
  std::vector<Pending> pending_;
};

}  // namespace vdrive::aspi
