// The Win32 implementation of the operating-system seams: OS queries,
// profile strings, the standard dialogs, the cursor, NT device I/O, the ASPI
// library and the restart.
#pragma once

#include "platform/win32/win32_api.h"

#include <cstdint>
#include <string>

#include "platform/aspi.h"
#include "platform/device_io.h"
#include "platform/os.h"
#include "platform/restart.h"
#include "platform/ui.h"

namespace platform::win32 {

class Win32Os : public Os {
 public:
  std::uint32_t PlatformId() override;
  std::string LogicalDriveStrings(std::uint32_t maxChars) override;
  std::uint32_t DriveType(const std::string& root) override;
  void Sleep(std::chrono::milliseconds duration) override;
  void PostQuit(int exitCode) override;
  std::string CurrentFolder() override;
  std::string ExePath() override;
  bool FileExists(const std::string& path) override;

  // Whether start-up asked to quit: the window is then never shown.
  bool QuitPosted() const { return quitPosted_; }

 private:
  bool quitPosted_ = false;
};

class Win32ProfileReader : public ProfileReader {
 public:
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& defaultValue,
                   const std::string& path) override;
};

// MessageBoxA boxes, owned by the main window while it is shown. Before
// that (start-up runs with the window still hidden) a box has no owner, so
// that it stands on its own in the task bar instead of hiding behind a
// window nobody can see.
class Win32Dialogs : public Dialogs {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  void Message(const std::string& text) override;
  Answer Ask(DialogKind kind, const std::string& text,
             DialogButtons buttons) override;
  void SystemBox(const std::string& text, const std::string& title) override;

 private:
  HWND Owner() const;
  HWND owner_ = nullptr;
};

// The process-wide cursor: the window procedure asks Current() on
// WM_SETCURSOR, so the hourglass stays while the mouse moves.
class Win32Cursor : public Cursor {
 public:
  void Hourglass() override;
  void Default() override;
  HCURSOR Current() const;

 private:
  bool hourglass_ = false;
};

class Win32DeviceIo : public DeviceIo {
 public:
  std::optional<Handle> Open(const char* path, std::uint32_t access,
                             std::uint32_t share, std::uint32_t creation,
                             std::uint32_t flags) override;
  bool Control(Handle handle, std::uint32_t code, void* in,
               std::uint32_t inLength, void* out,
               std::uint32_t outLength) override;
  void Close(Handle handle) override;
  std::uint32_t LastError() override;
  void PutAddress(std::uint8_t* field, void* buffer) override;
};

class Win32AspiLibrary : public AspiLibrary {
 public:
  ~Win32AspiLibrary() override;
  bool Load(const std::string& name) override;
  bool Loaded() const override { return module_ != nullptr; }
  void Unload() override;
  bool LookUp(const std::string& entry) override;
  std::uint32_t GetSupportInfo() override;
  std::uint32_t SendCommand(std::uint8_t* srb) override;
  void PutAddress(std::uint8_t* field, void* buffer) override;
  void PutEvent(std::uint8_t* field, EventHandle event) override;
  EventHandle CreateEvent() override;
  WaitResult Wait(EventHandle event, std::chrono::milliseconds limit) override;
  void ResetEvent(EventHandle event) override;
  void CloseEvent(EventHandle event) override;

 private:
  // The library's entry points are cdecl.
  using SupportInfoFn = DWORD(__cdecl*)();
  using SendCommandFn = DWORD(__cdecl*)(void*);
  HMODULE module_ = nullptr;
  SupportInfoFn supportInfo_ = nullptr;
  SendCommandFn sendCommand_ = nullptr;
};

class Win32Restart : public Restart {
 public:
  ~Win32Restart() override;
  bool OpenProcessToken() override;
  bool LookupShutdownPrivilege() override;
  std::uint32_t EnableShutdownPrivilege() override;
  void ExitWindows(std::uint32_t flags) override;

 private:
  HANDLE token_ = nullptr;
  LUID shutdownPrivilege_{};
};

}  // namespace platform::win32
