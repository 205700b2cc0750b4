#include "terminal/interrupt_gate.h"

namespace terminal {

bool InterruptGate::Stops() {
  interrupt_.ReportIfHeld(console_);
  return interrupt_.Stops();
}

scsi::ScsiResult InterruptGate::NotSent(const scsi::ScsiRequest& request) const {
  return scsi::NotSent(request, kInterruptedCall);
}

std::optional<platform::Handle> InterruptGate::OpenDriveDevice(char letter) {
  refusedOpen_ = Stops();
  if (refusedOpen_) return std::nullopt;
  return inner_.OpenDriveDevice(letter);
}

std::uint32_t InterruptGate::LastError() {
  return refusedOpen_ ? kInterruptedCall : inner_.LastError();
}

scsi::Opening InterruptGate::OpenForFlash(char letter) {
  if (Stops()) {
    scsi::Opening refused;
    refused.failure = scsi::Opening::Failure::Open;
    refused.systemError = kInterruptedCall;
    return refused;
  }
  return inner_.OpenForFlash(letter);
}

scsi::ScsiResult InterruptGate::NTSendRequest(const scsi::ScsiRequest& request) {
  if (Stops()) return NotSent(request);
  lastSent_ = Sent{request, inner_.NTSendRequest(request)};
  return lastSent_->result;
}

scsi::ScsiResult InterruptGate::NTSendRequest(const scsi::ScsiRequest& request,
                                              platform::Handle handle) {
  if (Stops()) return NotSent(request);
  lastSent_ = Sent{request, inner_.NTSendRequest(request, handle)};
  return lastSent_->result;
}

}  // namespace terminal
