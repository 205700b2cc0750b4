// NT device I/O: CreateFileA, DeviceIoControl, CloseHandle, GetLastError.
// Request records are built by the core as explicit little-endian bytes; the
// only thing the core cannot write portably is a 32-bit buffer address, so
// the platform writes it (PutAddress) into the record's 4-byte field.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

using Handle = std::uintptr_t;

class DeviceIo {
 public:
  virtual ~DeviceIo() = default;

  // CreateFileA(path, access, share, NULL, creation, flags, NULL). Returns no
  // handle on failure; LastError() then tells why.
  virtual std::optional<Handle> Open(const char* path, std::uint32_t access,
                                     std::uint32_t share,
                                     std::uint32_t creation,
                                     std::uint32_t flags) = 0;
  // DeviceIoControl(handle, code, in, inLength, out, outLength, &returned,
  // NULL). The call's own result; the count of returned bytes is not used.
  virtual bool Control(Handle handle, std::uint32_t code, void* in,
                       std::uint32_t inLength, void* out,
                       std::uint32_t outLength) = 0;
  virtual void Close(Handle handle) = 0;
  virtual std::uint32_t LastError() = 0;

  // Writes the address of buffer (null: 0) into the 4 bytes at field, in
  // the record's byte order, so the driver finds the command's data there.
  virtual void PutAddress(std::uint8_t* field, void* buffer) = 0;
};

}  // namespace platform
