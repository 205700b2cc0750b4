#include "vdrive/wnaspi32/aspi_library.h"

#include <chrono>
#include <thread>

#include "vdrive/aspi_srb.h"

namespace vdrive::aspi {
namespace {

// How long an at-wait request stays pending: long enough that the caller
// is already waiting on its event.
constexpr std::chrono::milliseconds kAtWaitDelay{20};

// Once a thread of the library runs, FreeLibrary must not unmap the code it
// runs in: the program may unload the library before the thread is done.
void PinLibrary() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCSTR>(&PinLibrary), &self);
}

}  // namespace

AspiLibrary::AspiLibrary(std::unique_ptr<Session> session) : session_(std::move(session)) {
  DispatchHost& host = *this;
  if (session_) dispatcher_ = std::make_unique<Dispatcher>(session_->Drives(), host);
}

std::uint32_t AspiLibrary::SupportInfo() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!dispatcher_) return std::uint32_t{kFailedInit} << 8;
  return dispatcher_->SupportInfo();
}

std::uint32_t AspiLibrary::Send(std::uint8_t* srb) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!dispatcher_) {
    srb[header::kStatus] = kFailedInit;
    return kFailedInit;
  }
  return dispatcher_->Send(srb);
}

// The program runs in the same 32-bit address space: a field is the address.
std::uint8_t* AspiLibrary::Memory(std::uint32_t field) {
  return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(field));
}

void AspiLibrary::Signal(std::uint32_t event) {
  SetEvent(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(event)));
}

Answer AspiLibrary::Execute(Drive& drive, std::span<const std::uint8_t> cdb, Direction direction,
                            std::span<std::uint8_t> data) {
  return session_->Execute(drive, cdb, direction, data);
}

void AspiLibrary::PendingAtWait(std::uint8_t* srb) {
  PinLibrary();
  std::thread([this, srb] { CompleteAtWait(srb); }).detach();
}

void AspiLibrary::CompleteAtWait(std::uint8_t* srb) {
  if (session_->HoldsUntilReleased()) {
    session_->AwaitRelease();
  } else {
    std::this_thread::sleep_for(kAtWaitDelay);
  }
  std::lock_guard<std::mutex> guard(lock_);
  dispatcher_->CompleteAtWait(srb);
}

}  // namespace vdrive::aspi
