#include "vdrive/aspi_srb.h"

#include <algorithm>

namespace vdrive::aspi {

std::size_t BlockSize(std::uint8_t command) {
  switch (command) {
    case kHostAdapterInquiry:
      return hainquiry::kSize;
    case kGetDeviceType:
      return devtype::kSize;
    case kExecScsiCommand:
      return exec::kSize;
    case kAbortSrb:
      return abort::kSize;
    default:
      return header::kSize;
  }
}

std::uint8_t CompleteExec(std::uint8_t* srb, const Answer& answer,
                          const std::vector<std::uint8_t>& dataIn, std::uint8_t* buffer) {
  std::copy(dataIn.begin(), dataIn.end(), buffer);
  std::uint8_t status = answer.status == kStatusGood ? kComplete : kError;
  srb[exec::kHaStat] = 0;
  srb[exec::kTargStat] = answer.status;
  if (answer.callError) {
    status = kError;
    srb[exec::kHaStat] = kHostSelectionTimeout;
    srb[exec::kTargStat] = 0;
  }
  if (answer.status == kStatusCheckCondition) {
    const auto sense = FixedSenseData(answer.sense);
    const std::size_t room = std::min<std::size_t>(srb[exec::kSenseLen], exec::kSenseCapacity);
    std::copy_n(sense.begin(), std::min(room, sense.size()), srb + exec::kSenseArea);
  }
  status = answer.aspiStatus.value_or(status);
  srb[header::kStatus] = status;
  return status;
}

}  // namespace vdrive::aspi
