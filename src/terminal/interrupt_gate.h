// The send operation as the terminal runs it: every command passes the
// interrupt first. Before the critical entry an interrupt stops the flash at
// the next command, which is never sent; from the critical entry on every
// command goes through, and the interrupt is only reported as held.
#pragma once

#include <cerrno>

#include "scsi/pass_through.h"
#include "terminal/console.h"

namespace terminal {

inline constexpr std::uint32_t kInterruptedCall = EINTR;

class InterruptGate final : public scsi::PassThrough {
 public:
  InterruptGate(scsi::PassThrough& inner, Interrupt& interrupt, Console& console)
      : inner_(inner), interrupt_(interrupt), console_(console) {}

  std::optional<platform::Handle> OpenDriveDevice(char letter) override;
  void CloseDevice(platform::Handle handle) override { inner_.CloseDevice(handle); }
  std::uint32_t LastError() override;
  scsi::Opening OpenForFlash(char letter) override;
  scsi::ScsiResult NTSendRequest(const scsi::ScsiRequest& request) override;
  scsi::ScsiResult NTSendRequest(const scsi::ScsiRequest& request,
                                 platform::Handle handle) override;
  void CloseDeviceHandle() override { inner_.CloseDeviceHandle(); }
  std::string DeviceName(char letter) const override { return inner_.DeviceName(letter); }

  // The last command that went to the drive and how it ended: the command
  // a failed flash ended on, when it ended on one.
  struct Sent {
    scsi::ScsiRequest request;
    scsi::ScsiResult result;
  };
  const std::optional<Sent>& LastSent() const { return lastSent_; }

 private:
  bool Stops();
  scsi::ScsiResult NotSent(const scsi::ScsiRequest& request) const;

  scsi::PassThrough& inner_;
  Interrupt& interrupt_;
  Console& console_;
  bool refusedOpen_ = false;
  std::optional<Sent> lastSent_;
};

}  // namespace terminal
