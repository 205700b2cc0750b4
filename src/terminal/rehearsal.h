// The send operation of a dry run. Until Begin it passes everything to the
// drive (the drive check's INQUIRY, whose answer it keeps); from Begin on it
// sends nothing and answers every command as an empty drive that takes the
// flash would (no medium to TEST UNIT READY, the image and the profile read
// back as they were written), writing down each command in the text form
// of the virtual drive's traces, with the command's time limit in place of
// the drive's answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "package/package_region.h"
#include "scsi/pass_through.h"

namespace terminal {

class Rehearsal final : public scsi::PassThrough {
 public:
  Rehearsal(scsi::PassThrough& inner, const package::PackageView& package)
      : inner_(inner), package_(package) {}

  // From now on nothing is sent; `device` names the lines.
  void Begin(const std::string& device);
  bool Rehearsing() const { return rehearsing_; }
  const std::vector<std::string>& Lines() const { return lines_; }

  std::optional<platform::Handle> OpenDriveDevice(char letter) override;
  void CloseDevice(platform::Handle handle) override;
  std::uint32_t LastError() override { return rehearsing_ ? 0 : inner_.LastError(); }
  scsi::Opening OpenForFlash(char letter) override;
  scsi::ScsiResult NTSendRequest(const scsi::ScsiRequest& request) override;
  scsi::ScsiResult NTSendRequest(const scsi::ScsiRequest& request,
                                 platform::Handle handle) override;
  void CloseDeviceHandle() override;
  std::string DeviceName(char letter) const override { return inner_.DeviceName(letter); }

 private:
  scsi::ScsiResult Sent(const scsi::ScsiRequest& request, const scsi::ScsiResult& result);
  scsi::ScsiResult Answer(const scsi::ScsiRequest& request);
  std::uint32_t Moved(const scsi::ScsiRequest& request);

  scsi::PassThrough& inner_;
  package::PackageView package_;
  bool rehearsing_ = false;
  std::string device_;
  std::vector<std::string> lines_;
  std::vector<std::uint8_t> inquiry_;  // the drive check's answer
  std::vector<std::uint8_t> profile_;  // the profile record "written"
};

}  // namespace terminal
