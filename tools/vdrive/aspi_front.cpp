// The ASPI for Win32 library in-process: loading, entry points and events
// of WNASPI32.DLL as the program sees them; the requests themselves go to
// the dispatcher shared with the DLL front.
#include "vdrive/aspi_srb.h"
#include "vdrive/bytes.h"
#include "vdrive/inprocess.h"

namespace vdrive {
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

bool AspiFront::Signalled(platform::EventHandle event) const {
  const auto known = events_.find(event);
  return known != events_.end() && known->second;
}

// An at-wait request completes while the caller waits on its event.
platform::WaitResult AspiFront::Wait(platform::EventHandle event, std::chrono::milliseconds) {
  ++waits_;
  const auto known = events_.find(event);
  if (known == events_.end()) return platform::WaitResult::Failed;
  dispatcher_.CompleteAtWaitOf(static_cast<std::uint32_t>(event));
  if (!known->second) return platform::WaitResult::TimedOut;
  known->second = false;  // an automatic-reset event is reset by the wait
  return platform::WaitResult::Signalled;
}

std::uint32_t AspiFront::SendCommand(std::uint8_t* srb) {
  requests_.push_back({Bytes(srb, srb + aspi::BlockSize(srb[aspi::header::kCmd])), srb, 0});
  const std::uint32_t returned = dispatcher_.Send(srb);
  requests_.back().returned = returned;
  return returned;
}

std::uint8_t* AspiFront::Memory(std::uint32_t field) {
  return static_cast<std::uint8_t*>(addresses_.PointerFor(field));
}

void AspiFront::Signal(std::uint32_t event) {
  const auto known = events_.find(event);
  if (known != events_.end()) known->second = true;
}

Answer AspiFront::Execute(Drive& drive, std::span<const std::uint8_t> cdb, Direction direction,
                          std::span<std::uint8_t> data) {
  return drive.Execute(cdb, direction, data);
}

}  // namespace vdrive
