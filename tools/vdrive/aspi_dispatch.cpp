#include "vdrive/aspi_dispatch.h"

#include <algorithm>
#include <string_view>

#include "vdrive/aspi_srb.h"

namespace vdrive::aspi {
namespace {

void PutText(std::uint8_t* block, std::size_t at, std::size_t width, std::string_view text) {
  for (std::size_t i = 0; i < width; ++i) {
    block[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

std::uint8_t Finish(std::uint8_t* srb, std::uint8_t status) {
  srb[header::kStatus] = status;
  return status;
}

// Without a direction bit nothing moves, whatever the length says.
Direction DirectionOf(const std::uint8_t* srb) {
  const std::uint8_t flags = srb[header::kFlags];
  if (GetLe32(srb, exec::kBufLen) == 0) return Direction::None;
  if ((flags & exec::kDirIn) != 0) return Direction::In;
  if ((flags & exec::kDirOut) != 0) return Direction::Out;
  return Direction::None;
}

}  // namespace

std::uint32_t Dispatcher::Send(std::uint8_t* srb) {
  if (srb[header::kCmd] == kAbortSrb) {
    const std::uint32_t returned = Abort(srb);
    CompleteLateRequests();
    return returned;
  }
  CompleteLateRequests();
  return Serve(srb);
}

std::uint32_t Dispatcher::SupportInfo() {
  CompleteLateRequests();
  return bus_.SupportInfo();
}

std::uint32_t Dispatcher::Serve(std::uint8_t* srb) {
  switch (srb[header::kCmd]) {
    case kHostAdapterInquiry:
      return HostAdapterInquiry(srb);
    case kGetDeviceType:
      return DeviceType(srb);
    case kExecScsiCommand:
      return ExecScsi(srb);
    default:
      return Finish(srb, kInvalidSrb);
  }
}

std::uint32_t Dispatcher::HostAdapterInquiry(std::uint8_t* srb) {
  if (srb[header::kHaId] >= std::max<std::uint8_t>(bus_.AdapterCount(), 1)) {
    return Finish(srb, kInvalidAdapter);
  }
  srb[hainquiry::kCount] = bus_.AdapterCount();
  srb[hainquiry::kScsiId] = 7;
  PutText(srb, hainquiry::kManagerId, hainquiry::kTextWidth, "ASPI for WIN32");
  PutText(srb, hainquiry::kIdentifier, hainquiry::kTextWidth, "QRW VIRTUAL BUS");
  return Finish(srb, kComplete);
}

std::uint32_t Dispatcher::DeviceType(std::uint8_t* srb) {
  const Drive* drive = bus_.ByAddress(srb[header::kHaId], srb[devtype::kTarget]);
  if (drive == nullptr || srb[devtype::kLun] != 0) {
    srb[devtype::kDeviceType] = devtype::kNoDevice;
    return Finish(srb, kNoDevice);
  }
  srb[devtype::kDeviceType] = devtype::kCdRom;
  return Finish(srb, kComplete);
}

// The SRB_Status an execute request is refused with, or kPending when the
// library takes it.
std::uint8_t Dispatcher::ExecRefusal(const std::uint8_t* srb) {
  const std::uint8_t flags = srb[header::kFlags];
  const std::uint8_t cdbLength = srb[exec::kCdbLen];
  const bool bothWays = (flags & exec::kDirIn) != 0 && (flags & exec::kDirOut) != 0;
  if (srb[header::kHaId] >= bus_.AdapterCount()) return kInvalidAdapter;
  if (cdbLength == 0 || cdbLength > exec::kCdbCapacity || bothWays) return kInvalidSrb;
  if (bus_.ByAddress(srb[header::kHaId], srb[exec::kTarget]) == nullptr || srb[exec::kLun] != 0) {
    return kNoDevice;
  }
  const bool noBuffer = host_.Memory(GetLe32(srb, exec::kBufPointer)) == nullptr;
  if (GetLe32(srb, exec::kBufLen) > 0 && noBuffer) return kInvalidSrb;
  return kPending;
}

std::uint32_t Dispatcher::ExecScsi(std::uint8_t* srb) {
  if (const std::uint8_t refusal = ExecRefusal(srb); refusal != kPending) {
    return Finish(srb, refusal);
  }
  Drive& drive = *bus_.ByAddress(srb[header::kHaId], srb[exec::kTarget]);
  const std::uint32_t length = GetLe32(srb, exec::kBufLen);
  const Direction direction = DirectionOf(srb);
  Pending request;
  request.srb = srb;
  request.buffer = host_.Memory(GetLe32(srb, exec::kBufPointer));
  if ((srb[header::kFlags] & exec::kEventNotify) != 0) {
    request.event = GetLe32(srb, exec::kPostProc);
  }
  // Data for the host is held back until the request completes.
  std::span<std::uint8_t> data;
  if (direction == Direction::Out) data = {request.buffer, length};
  if (direction == Direction::In) {
    request.dataIn.assign(length, 0);
    data = request.dataIn;
  }
  request.answer = host_.Execute(drive, {srb + exec::kCdb, srb[exec::kCdbLen]}, direction, data);
  request.delivery = request.answer.delivery;
  if (direction == Direction::In) request.dataIn.resize(request.answer.moved);

  if (request.delivery == Delivery::Now) {
    Complete(request);
    return srb[header::kStatus];
  }
  pending_.push_back(std::move(request));
  if (pending_.back().delivery == Delivery::AtWait) host_.PendingAtWait(srb);
  return Finish(srb, kPending);
}

void Dispatcher::Complete(Pending& request) {
  CompleteExec(request.srb, request.answer, request.dataIn, request.buffer);
  if (request.event != 0) host_.Signal(request.event);
}

void Dispatcher::CompleteLateRequests() {
  for (Pending& request : pending_) {
    if (request.delivery == Delivery::AfterWait) Complete(request);
  }
  std::erase_if(pending_, [](const Pending& p) { return p.delivery == Delivery::AfterWait; });
}

template <typename Match>
bool Dispatcher::CompleteAtWaitWhere(Match match) {
  const auto found = std::find_if(pending_.begin(), pending_.end(), [&](const Pending& p) {
    return p.delivery == Delivery::AtWait && match(p);
  });
  if (found == pending_.end()) return false;
  Complete(*found);
  pending_.erase(found);
  return true;
}

bool Dispatcher::CompleteAtWait(const std::uint8_t* srb) {
  return CompleteAtWaitWhere([srb](const Pending& p) { return p.srb == srb; });
}

bool Dispatcher::CompleteAtWaitOf(std::uint32_t event) {
  return CompleteAtWaitWhere([event](const Pending& p) { return p.event == event; });
}

// An aborted request's event is signalled, as for any ending of a request
// the caller may be waiting on.
std::uint32_t Dispatcher::Abort(std::uint8_t* srb) {
  const std::uint8_t* target = host_.Memory(GetLe32(srb, abort::kToAbort));
  const auto found = std::find_if(pending_.begin(), pending_.end(),
                                  [target](const Pending& p) { return p.srb == target; });
  if (target == nullptr || found == pending_.end()) return Finish(srb, kAbortFailed);
  Finish(found->srb, kAborted);
  if (found->event != 0) host_.Signal(found->event);
  pending_.erase(found);
  return Finish(srb, kComplete);
}

}  // namespace vdrive::aspi
