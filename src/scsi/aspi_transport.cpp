#include "scsi/aspi_transport.h"

#include <algorithm>

#include "scsi/bytes.h"
#include "scsi/record_layout.h"

namespace scsi {
namespace {

std::uint8_t DirectionBits(Direction direction) {
  switch (direction) {
    case Direction::In:
      return aspi_srb::kDirIn;
    case Direction::Out:
      return aspi_srb::kDirOut;
    case Direction::None:
      break;
  }
  return 0x00;
}

}  // namespace

void AspiTransport::FillRequest(const ScsiRequest& request) {
  using namespace aspi_srb;
  srb_.fill(0);
  srb_[kCmd] = kExecScsiCommand;
  srb_[kHaId] = request.adapter;
  srb_[kFlags] = DirectionBits(request.direction);
  srb_[kTarget] = request.target;
  srb_[kLun] = 0;  // the drive's logical unit is not used through ASPI
  PutLe32(&srb_[kBufLen], request.transferLength);
  library_.PutAddress(&srb_[kBufPointer], request.data);
  srb_[kSenseLen] = kSenseLength;
  srb_[kCdbLen] = request.cdbLength;
  std::copy_n(request.cdb.begin(), std::min<std::size_t>(request.cdbLength, kCdbCapacity),
              &srb_[kCdb]);
}

ScsiResult AspiTransport::ReadResult() const {
  ScsiResult result;
  result.status = srb_[aspi_srb::kStatus];
  result.senseByte2 = srb_[aspi_srb::kSenseByte2];
  result.asc = srb_[aspi_srb::kSenseAsc];
  result.ascq = srb_[aspi_srb::kSenseAscq];
  return result;
}

// The library still owns a pending block and the command's buffer: it is
// told to end the request before either is used again.
void AspiTransport::AbortPending(std::uint8_t adapter) {
  using namespace aspi_srb;
  abort_.fill(0);
  abort_[kCmd] = kAbortRequest;
  abort_[kHaId] = adapter;
  library_.PutAddress(&abort_[kToAbort], srb_.data());
  library_.SendCommand(abort_.data());
}

ScsiResult AspiTransport::W9xSendRequest(const ScsiRequest& request) {
  FillRequest(request);
  const platform::EventHandle event = library_.CreateEvent();
  if (event == 0) {
    ScsiResult unsent;
    unsent.delivered = false;
    return unsent;
  }
  srb_[aspi_srb::kFlags] |= aspi_srb::kEventNotify;
  library_.PutEvent(&srb_[aspi_srb::kPostProc], event);
  library_.SendCommand(srb_.data());
  if (srb_[aspi_srb::kStatus] == aspi_srb::kStatusPending &&
      library_.Wait(event, waitLimit_) == platform::WaitResult::Signalled) {
    library_.ResetEvent(event);
  }
  ScsiResult result = ReadResult();
  if (result.status == aspi_srb::kStatusPending) {
    result.delivered = false;
    AbortPending(request.adapter);
  }
  library_.CloseEvent(event);
  return result;
}

}  // namespace scsi
