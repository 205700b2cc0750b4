// The ASPI for Win32 library (WNASPI32.DLL) and the event used for request
// completion. Like DeviceIo, addresses and handles inside the request block
// are written by the platform (PutAddress, PutEvent): the core builds every
// other byte itself.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

using EventHandle = std::uintptr_t;

enum class WaitResult { Signalled, TimedOut, Failed };

class AspiLibrary {
 public:
  virtual ~AspiLibrary() = default;

  virtual bool Load(const std::string& name) = 0;  // LoadLibraryA
  virtual bool Loaded() const = 0;
  virtual void Unload() = 0;                       // FreeLibrary
  // GetProcAddress; a found entry point is kept for the calls below.
  virtual bool LookUp(const std::string& entry) = 0;

  virtual std::uint32_t GetSupportInfo() = 0;  // GetASPI32SupportInfo()
  // SendASPI32Command(srb). The block must stay in place until the request
  // has completed or been aborted: the library writes into it later.
  virtual std::uint32_t SendCommand(std::uint8_t* srb) = 0;

  virtual void PutAddress(std::uint8_t* field, void* buffer) = 0;
  virtual void PutEvent(std::uint8_t* field, EventHandle event) = 0;

  // CreateEventA(NULL, FALSE, FALSE, NULL); 0 on failure.
  virtual EventHandle CreateEvent() = 0;
  virtual WaitResult Wait(EventHandle event,
                          std::chrono::milliseconds limit) = 0;
  virtual void ResetEvent(EventHandle event) = 0;
  virtual void CloseEvent(EventHandle event) = 0;
};

}  // namespace platform
