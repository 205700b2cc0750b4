#include "vdrive/wnaspi32/aspi_library.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>

#include "vdrive/aspi_srb.h"

namespace vdrive::aspi {
namespace {

// How long an at-wait request stays pending: long enough that the caller
// is already waiting on its event.
constexpr std::chrono::milliseconds kAtWaitDelay{20};

void PutText(std::uint8_t* block, std::size_t at, std::size_t width, std::string_view text) {
  for (std::size_t i = 0; i < width; ++i) {
    block[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

std::uint8_t Finish(std::uint8_t* srb, std::uint8_t status) {
  srb[header::kStatus] = status;
  return status;
}

// Once a thread of the library runs, FreeLibrary must not unmap the code it
// runs in: the program may unload the library before the thread is done.
void PinLibrary() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(&PinLibrary), &self);
}

}  // namespace

AspiLibrary::AspiLibrary(std::unique_ptr<Session> session) : session_(std::move(session)) {}

std::uint32_t AspiLibrary::SupportInfo() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!session_) return std::uint32_t{kFailedInit} << 8;
  CompleteLateRequests();
  return session_->Drives().SupportInfo();
}

std::uint32_t AspiLibrary::Send(std::uint8_t* srb) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!session_) return Finish(srb, kFailedInit);
  // An abort is served before the requests still in flight are finished,
  // so that an aborted request never writes into its block again.
  if (srb[header::kCmd] == kAbortSrb) {
    const std::uint32_t returned = Abort(srb);
    CompleteLateRequests();
    return returned;
  }
  CompleteLateRequests();
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

std::uint32_t AspiLibrary::HostAdapterInquiry(std::uint8_t* srb) {
  const Bus& bus = session_->Drives();
  if (srb[header::kHaId] >= std::max<std::uint8_t>(bus.AdapterCount(), 1)) {
    return Finish(srb, kInvalidAdapter);
  }
  srb[hainquiry::kCount] = bus.AdapterCount();
  srb[hainquiry::kScsiId] = 7;
  PutText(srb, hainquiry::kManagerId, hainquiry::kTextWidth, "ASPI for WIN32");
  PutText(srb, hainquiry::kIdentifier, hainquiry::kTextWidth, "QRW VIRTUAL BUS");
  return Finish(srb, kComplete);
}

std::uint32_t AspiLibrary::DeviceType(std::uint8_t* srb) {
  const Drive* drive = session_->Drives().ByAddress(srb[header::kHaId], srb[devtype::kTarget]);
  if (drive == nullptr || srb[devtype::kLun] != 0) {
    srb[devtype::kDeviceType] = devtype::kNoDevice;
    return Finish(srb, kNoDevice);
  }
  srb[devtype::kDeviceType] = devtype::kCdRom;
  return Finish(srb, kComplete);
}

// The SRB_Status an execute request is refused with, or kPending when the
// library takes it.
std::uint8_t AspiLibrary::ExecRefusal(const std::uint8_t* srb) {
  Bus& bus = session_->Drives();
  const std::uint8_t flags = srb[header::kFlags];
  const std::uint8_t cdbLength = srb[exec::kCdbLen];
  const bool bothWays = (flags & exec::kDirIn) != 0 && (flags & exec::kDirOut) != 0;
  if (srb[header::kHaId] >= bus.AdapterCount()) return kInvalidAdapter;
  if (cdbLength == 0 || cdbLength > exec::kCdbCapacity || bothWays) return kInvalidSrb;
  if (bus.ByAddress(srb[header::kHaId], srb[exec::kTarget]) == nullptr || srb[exec::kLun] != 0) {
    return kNoDevice;
  }
  if (GetLe32(srb, exec::kBufLen) > 0 && GetLe32(srb, exec::kBufPointer) == 0) return kInvalidSrb;
  return kPending;
}

// Without a direction bit nothing moves, whatever the length says.
Direction AspiLibrary::DirectionOf(const std::uint8_t* srb) {
  const std::uint8_t flags = srb[header::kFlags];
  if (GetLe32(srb, exec::kBufLen) == 0) return Direction::None;
  if ((flags & exec::kDirIn) != 0) return Direction::In;
  if ((flags & exec::kDirOut) != 0) return Direction::Out;
  return Direction::None;
}

std::uint32_t AspiLibrary::ExecScsi(std::uint8_t* srb) {
  if (const std::uint8_t refusal = ExecRefusal(srb); refusal != kPending) {
    return Finish(srb, refusal);
  }
  Drive& drive = *session_->Drives().ByAddress(srb[header::kHaId], srb[exec::kTarget]);
  const std::uint32_t length = GetLe32(srb, exec::kBufLen);
  const Direction direction = DirectionOf(srb);
  Pending request;
  request.srb = srb;
  request.buffer = reinterpret_cast<std::uint8_t*>(GetLe32(srb, exec::kBufPointer));
  if ((srb[header::kFlags] & exec::kEventNotify) != 0) {
    request.event = reinterpret_cast<HANDLE>(GetLe32(srb, exec::kPostProc));
  }
  // Data for the host is held back until the request completes.
  std::span<std::uint8_t> data;
  if (direction == Direction::Out) data = {request.buffer, length};
  if (direction == Direction::In) {
    request.dataIn.assign(length, 0);
    data = request.dataIn;
  }
  request.answer =
      session_->Execute(drive, {srb + exec::kCdb, srb[exec::kCdbLen]}, direction, data);
  request.delivery = request.answer.delivery;
  if (direction == Direction::In) request.dataIn.resize(request.answer.moved);
  return Deliver(std::move(request));
}

std::uint32_t AspiLibrary::Deliver(Pending request) {
  std::uint8_t* srb = request.srb;
  if (request.delivery == Delivery::Now) {
    Complete(request);
    return srb[header::kStatus];
  }
  pending_.push_back(std::move(request));
  if (pending_.back().delivery == Delivery::AtWait) {
    PinLibrary();
    std::thread([this, srb] { CompleteAtWait(srb); }).detach();
  }
  return Finish(srb, kPending);
}

void AspiLibrary::CompleteAtWait(std::uint8_t* srb) {
  std::this_thread::sleep_for(kAtWaitDelay);
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = std::find_if(pending_.begin(), pending_.end(), [srb](const Pending& p) {
    return p.srb == srb && p.delivery == Delivery::AtWait;
  });
  if (found == pending_.end()) return;
  Complete(*found);
  pending_.erase(found);
}

void AspiLibrary::Complete(Pending& request) {
  CompleteExec(request.srb, request.answer, request.dataIn, request.buffer);
  if (request.event != nullptr) SetEvent(request.event);
}

void AspiLibrary::CompleteLateRequests() {
  for (Pending& request : pending_) {
    if (request.delivery == Delivery::AfterWait) Complete(request);
  }
  std::erase_if(pending_, [](const Pending& p) { return p.delivery == Delivery::AfterWait; });
}

std::uint32_t AspiLibrary::Abort(std::uint8_t* srb) {
  auto* target = reinterpret_cast<std::uint8_t*>(GetLe32(srb, abort::kToAbort));
  const auto found = std::find_if(pending_.begin(), pending_.end(),
                                  [target](const Pending& p) { return p.srb == target; });
  if (target == nullptr || found == pending_.end()) return Finish(srb, kAbortFailed);
  Finish(found->srb, kAborted);
  if (found->event != nullptr) SetEvent(found->event);
  pending_.erase(found);
  return Finish(srb, kComplete);
}

}  // namespace vdrive::aspi
