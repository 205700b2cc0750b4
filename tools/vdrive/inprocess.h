// In-process fronts of the virtual drive: the platform's DeviceIo and
// AspiLibrary served by a Bus of virtual drives, for the native tests of the
// drive commands, discovery and flash sequence. Each front decodes the host's
// request records from the platform's published layouts on its own, as the
// CD-ROM class driver or the ASPI library would, and records every call.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/aspi.h"
#include "platform/device_io.h"
#include "vdrive/aspi_dispatch.h"
#include "vdrive/vdrive.h"

namespace vdrive {

// Buffer addresses travel in 32-bit record fields; on a 64-bit host the
// fronts hand out 32-bit tokens and map them back to the pointers.
class AddressBook {
 public:
  std::uint32_t TokenFor(void* pointer);        // 0 for null
  void* PointerFor(std::uint32_t token) const;  // null when unknown

 private:
  std::map<std::uint32_t, void*> pointers_;
  std::map<void*, std::uint32_t> tokens_;
  std::uint32_t next_ = 0x00010000;
};

// The fields of a pass-through record the driver acts on.
struct PassThroughFields {
  std::uint8_t cdbLength = 0;
  std::uint8_t senseLength = 0;
  std::uint32_t length = 0;
  std::uint32_t senseOffset = 0;
  std::uint32_t bufferField = 0;  // offset (buffered) or address token (direct)
  Direction direction = Direction::None;
};

// The NT CD-ROM class driver's pass-through, by drive letter.
class DeviceIoFront : public platform::DeviceIo {
 public:
  explicit DeviceIoFront(Bus& bus) : bus_(bus) {}

  struct OpenCall {
    std::string path;
    std::uint32_t access = 0;
    std::uint32_t share = 0;
    std::uint32_t creation = 0;
    std::uint32_t flags = 0;
    std::optional<platform::Handle> handle;
  };
  struct ControlCall {
    platform::Handle handle = 0;
    std::uint32_t code = 0;
    std::uint32_t inLength = 0;
    std::uint32_t outLength = 0;
    Bytes block;     // the input block as the driver received it
    Bytes returned;  // the output block as the driver left it
    bool result = false;
  };

  std::optional<platform::Handle> Open(const char* path, std::uint32_t access, std::uint32_t share,
                                       std::uint32_t creation, std::uint32_t flags) override;
  bool Control(platform::Handle handle, std::uint32_t code, void* in, std::uint32_t inLength,
               void* out, std::uint32_t outLength) override;
  void Close(platform::Handle handle) override;
  std::uint32_t LastError() override { return lastError_; }
  void PutAddress(std::uint8_t* field, void* buffer) override;

  // The buffer a 32-bit address field names (null when unknown).
  void* Resolve(std::uint32_t token) const { return addresses_.PointerFor(token); }
  const std::vector<OpenCall>& Opens() const { return opens_; }
  const std::vector<ControlCall>& Calls() const { return calls_; }
  std::vector<platform::Handle> OpenHandles() const;
  void ClearRecords() {
    opens_.clear();
    calls_.clear();
  }
  // Closing a handle that is not open is recorded here.
  std::uint32_t BadCloses() const { return badCloses_; }

 private:
  bool PassThrough(Drive& drive, bool direct, std::uint8_t* in, std::uint32_t inLength,
                   std::uint8_t* out, std::uint32_t outLength);
  // The error of a data buffer the record names wrongly, if any.
  std::optional<std::uint32_t> LocateData(const PassThroughFields& fields, bool direct,
                                          const std::uint8_t* in, std::uint32_t inLength,
                                          std::uint32_t outLength, Bytes& scratch,
                                          std::span<std::uint8_t>& data);
  bool InquiryData(Drive& drive, std::uint8_t* out, std::uint32_t outLength);
  bool Fail(std::uint32_t error);

  Bus& bus_;
  AddressBook addresses_;
  std::map<platform::Handle, Drive*> handles_;
  platform::Handle nextHandle_ = 0x100;
  std::uint32_t lastError_ = 0;
  std::uint32_t badCloses_ = 0;
  std::vector<OpenCall> opens_;
  std::vector<ControlCall> calls_;
};

// WNASPI32.DLL in-process: the library's requests are served by the
// dispatcher the DLL front uses too; this front adds the events (a wait
// completes an at-wait request at once) and the 32-bit address tokens.
class AspiFront : public platform::AspiLibrary, private aspi::DispatchHost {
 public:
  explicit AspiFront(Bus& bus) : bus_(bus), dispatcher_(bus, *this) {}

  struct Request {
    Bytes block;                            // the SRB as the library received it
    const std::uint8_t* address = nullptr;  // where the caller keeps it
    std::uint32_t returned = 0;
  };

  bool Load(const std::string& name) override;
  bool Loaded() const override { return loaded_; }
  void Unload() override { loaded_ = false; }
  bool LookUp(const std::string& entry) override;
  std::uint32_t GetSupportInfo() override { return dispatcher_.SupportInfo(); }
  std::uint32_t SendCommand(std::uint8_t* srb) override;
  void PutAddress(std::uint8_t* field, void* buffer) override;
  void PutEvent(std::uint8_t* field, platform::EventHandle event) override;
  platform::EventHandle CreateEvent() override;
  platform::WaitResult Wait(platform::EventHandle event, std::chrono::milliseconds limit) override;
  void ResetEvent(platform::EventHandle event) override;
  void CloseEvent(platform::EventHandle event) override;

  void* Resolve(std::uint32_t token) const { return addresses_.PointerFor(token); }
  const std::vector<Request>& Requests() const { return requests_; }
  const std::vector<std::string>& LoadedNames() const { return loadNames_; }
  void ClearRecords() { requests_.clear(); }
  std::size_t OpenEvents() const { return events_.size(); }
  std::uint32_t Waits() const { return waits_; }
  std::uint32_t Resets() const { return resets_; }
  // Requests still owned by the library (pending, not aborted).
  std::size_t Outstanding() const { return dispatcher_.Outstanding(); }
  // Make CreateEvent fail (returns 0) from now on.
  void FailEvents(bool fail) { failEvents_ = fail; }
  // Whether the event is signalled now (without waiting on it).
  bool Signalled(platform::EventHandle event) const;

 private:
  std::uint8_t* Memory(std::uint32_t field) override;
  void Signal(std::uint32_t event) override;
  Answer Execute(Drive& drive, std::span<const std::uint8_t> cdb, Direction direction,
                 std::span<std::uint8_t> data) override;

  Bus& bus_;
  aspi::Dispatcher dispatcher_;
  AddressBook addresses_;
  bool loaded_ = false;
  bool supportInfoFound_ = false;
  bool sendCommandFound_ = false;
  bool failEvents_ = false;
  std::vector<std::string> loadNames_;
  std::map<platform::EventHandle, bool> events_;  // handle -> signalled
  platform::EventHandle nextEvent_ = 0x200;
  std::uint32_t waits_ = 0;
  std::uint32_t resets_ = 0;
  std::vector<Request> requests_;
};

}  // namespace vdrive
