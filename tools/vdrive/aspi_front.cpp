// The ASPI for Win32 library's side: WNASPI32.DLL as it reads the request
// blocks it is sent, with completion through the caller's event.
#include <algorithm>

#include "vdrive/aspi_srb.h"
#include "vdrive/inprocess.h"

namespace vdrive {
namespace {

using namespace aspi;  // the blocks as the library reads them

void SetLe32(std::uint8_t* bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutText(std::uint8_t* bytes, std::size_t at, std::size_t width, std::string_view text) {
  for (std::size_t i = 0; i < width; ++i) {
    bytes[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

std::uint8_t Finish(std::uint8_t* srb, std::uint8_t status) {
  srb[header::kStatus] = status;
  return status;
}

}  // namespace

bool AspiFront::Load(const std::string& name) {
  loadNames_.push_back(name);
  loaded_ = !bus_.Aspi().loadFails;
  return loaded_;
}

bool AspiFront::LookUp(const std::string& entry) {
  if (!loaded_) return false;
  if (entry == "GetASPI32SupportInfo") supportInfoFound_ = !bus_.Aspi().missingSupportInfo;
  if (entry == "SendASPI32Command") sendCommandFound_ = !bus_.Aspi().missingSendCommand;
  return (entry == "GetASPI32SupportInfo" && supportInfoFound_) ||
         (entry == "SendASPI32Command" && sendCommandFound_);
}

std::uint32_t AspiFront::GetSupportInfo() { return bus_.SupportInfo(); }

void AspiFront::PutAddress(std::uint8_t* field, void* buffer) {
  SetLe32(field, 0, addresses_.TokenFor(buffer));
}

void AspiFront::PutEvent(std::uint8_t* field, platform::EventHandle event) {
  SetLe32(field, 0, static_cast<std::uint32_t>(event));
}

platform::EventHandle AspiFront::CreateEvent() {
  if (failEvents_) return 0;
  const platform::EventHandle event = nextEvent_;
  nextEvent_ += 4;
  events_[event] = false;
  return event;
}

void AspiFront::ResetEvent(platform::EventHandle event) {
  ++resets_;
  const auto known = events_.find(event);
  if (known != events_.end()) known->second = false;
}

void AspiFront::CloseEvent(platform::EventHandle event) { events_.erase(event); }

platform::WaitResult AspiFront::Wait(platform::EventHandle event, std::chrono::milliseconds) {
  ++waits_;
  const auto known = events_.find(event);
  if (known == events_.end()) return platform::WaitResult::Failed;
  const auto atWait = std::find_if(pending_.begin(), pending_.end(), [event](const Pending& p) {
    return p.event == event && p.delivery == Delivery::AtWait;
  });
  if (atWait != pending_.end()) {
    Complete(*atWait);
    pending_.erase(atWait);
  }
  if (!known->second) return platform::WaitResult::TimedOut;
  known->second = false;  // an automatic-reset event is reset by the wait
  return platform::WaitResult::Signalled;
}

std::uint32_t AspiFront::SendCommand(std::uint8_t* srb) {
  const std::uint8_t command = srb[header::kCmd];
  requests_.push_back({Bytes(srb, srb + BlockSize(command)), srb, 0});
  // An abort is served before the library finishes requests still in
  // flight, so that an aborted request never writes into its block again.
  std::uint32_t returned = 0;
  if (command == kAbortSrb) {
    returned = Abort(srb);
    CompleteLateRequests();
  } else {
    CompleteLateRequests();
    returned = Serve(command, srb);
  }
  requests_.back().returned = returned;
  return returned;
}

std::uint32_t AspiFront::Serve(std::uint8_t command, std::uint8_t* srb) {
  switch (command) {
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

std::uint32_t AspiFront::HostAdapterInquiry(std::uint8_t* srb) {
  if (srb[header::kHaId] >= std::max<std::uint8_t>(bus_.AdapterCount(), 1)) {
    return Finish(srb, kInvalidAdapter);
  }
  srb[hainquiry::kCount] = bus_.AdapterCount();
  srb[hainquiry::kScsiId] = 7;
  PutText(srb, hainquiry::kManagerId, 16, "ASPI for WIN32");
  PutText(srb, hainquiry::kIdentifier, 16, "QRW VIRTUAL BUS");
  return Finish(srb, kComplete);
}

std::uint32_t AspiFront::DeviceType(std::uint8_t* srb) {
  const Drive* drive = bus_.ByAddress(srb[header::kHaId], srb[devtype::kTarget]);
  if (drive == nullptr || srb[devtype::kLun] != 0) {
    srb[devtype::kDeviceType] = devtype::kNoDevice;
    return Finish(srb, kNoDevice);
  }
  srb[devtype::kDeviceType] = devtype::kCdRom;
  return Finish(srb, kComplete);
}

// The SRB_Status an execute request is refused with; kPending when the
// library takes it.
std::uint8_t AspiFront::ExecRefusal(const std::uint8_t* srb) const {
  const std::uint8_t flags = srb[header::kFlags];
  const std::uint8_t cdbLength = srb[exec::kCdbLen];
  const bool bothWays = (flags & exec::kDirIn) != 0 && (flags & exec::kDirOut) != 0;
  if (srb[header::kHaId] >= bus_.AdapterCount()) return kInvalidAdapter;
  if (cdbLength == 0 || cdbLength > exec::kCdbCapacity || bothWays) return kInvalidSrb;
  if (bus_.ByAddress(srb[header::kHaId], srb[exec::kTarget]) == nullptr || srb[exec::kLun] != 0) {
    return kNoDevice;
  }
  const bool noBuffer = addresses_.PointerFor(GetLe32(srb, exec::kBufPointer)) == nullptr;
  if (GetLe32(srb, exec::kBufLen) > 0 && noBuffer) return kInvalidSrb;
  return kPending;
}

std::uint32_t AspiFront::ExecScsi(std::uint8_t* srb) {
  if (const std::uint8_t refusal = ExecRefusal(srb); refusal != kPending) {
    return Finish(srb, refusal);
  }
  const std::uint8_t flags = srb[header::kFlags];
  const std::uint32_t length = GetLe32(srb, exec::kBufLen);
  const bool dirIn = (flags & exec::kDirIn) != 0;
  const bool dirOut = (flags & exec::kDirOut) != 0;
  Drive* drive = bus_.ByAddress(srb[header::kHaId], srb[exec::kTarget]);

  Pending request;
  request.srb = srb;
  request.buffer =
      static_cast<std::uint8_t*>(addresses_.PointerFor(GetLe32(srb, exec::kBufPointer)));
  if ((flags & exec::kEventNotify) != 0) request.event = GetLe32(srb, exec::kPostProc);

  // Data for the host is held back until the request completes.
  const Direction direction = length == 0 || !(dirIn || dirOut)
                                  ? Direction::None
                                  : (dirIn ? Direction::In : Direction::Out);
  std::span<std::uint8_t> data;
  if (direction == Direction::Out) data = {request.buffer, length};
  if (direction == Direction::In) {
    request.dataIn.assign(length, 0);
    data = request.dataIn;
  }
  request.answer = drive->Execute({srb + exec::kCdb, srb[exec::kCdbLen]}, direction, data);
  request.delivery = request.answer.delivery;
  if (direction == Direction::In) request.dataIn.resize(request.answer.moved);

  if (request.delivery == Delivery::Now) {
    Complete(request);
    return srb[header::kStatus];
  }
  pending_.push_back(std::move(request));
  return Finish(srb, kPending);
}

void AspiFront::Complete(Pending& request) {
  CompleteExec(request.srb, request.answer, request.dataIn, request.buffer);
  const auto event = events_.find(request.event);
  if (request.event != 0 && event != events_.end()) event->second = true;
}

void AspiFront::CompleteLateRequests() {
  for (Pending& request : pending_) {
    if (request.delivery == Delivery::AfterWait) Complete(request);
  }
  std::erase_if(pending_, [](const Pending& p) { return p.delivery == Delivery::AfterWait; });
}

std::uint32_t AspiFront::Abort(std::uint8_t* srb) {
  auto* target = static_cast<std::uint8_t*>(addresses_.PointerFor(GetLe32(srb, abort::kToAbort)));
  const auto found = std::find_if(pending_.begin(), pending_.end(),
                                  [target](const Pending& p) { return p.srb == target; });
  if (target == nullptr || found == pending_.end()) return Finish(srb, kAbortFailed);
  Finish(found->srb, kAborted);
  pending_.erase(found);
  return Finish(srb, kComplete);
}

}  // namespace vdrive
