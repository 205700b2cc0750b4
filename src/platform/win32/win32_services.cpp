#include "platform/win32/win32_services.h"

#include <algorithm>
#include <vector>

#include "platform/win32/win32_guard.h"

namespace platform::win32 {

namespace {

// Platform records are little-endian and their addresses 32 bits wide.
void PutLittleEndian32(std::uint8_t* field, std::uint32_t value) {
  field[0] = static_cast<std::uint8_t>(value);
  field[1] = static_cast<std::uint8_t>(value >> 8);
  field[2] = static_cast<std::uint8_t>(value >> 16);
  field[3] = static_cast<std::uint8_t>(value >> 24);
}

std::uint32_t Address32(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

constexpr DWORD kProfileValueSize = 2048;
constexpr DWORD kTokenAdjustAndQuery = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;  // 0x28
constexpr const char* kShutdownPrivilege = "SeShutdownPrivilege";

const char* DialogTitle(DialogKind kind) {
  switch (kind) {
    case DialogKind::Warning: return "Warning";
    case DialogKind::Confirm: return "Confirm";
    case DialogKind::Error: return "Error";
  }
  return "";
}

UINT DialogIcon(DialogKind kind) {
  switch (kind) {
    case DialogKind::Warning: return MB_ICONWARNING;
    case DialogKind::Confirm: return MB_ICONQUESTION;
    case DialogKind::Error: return MB_ICONERROR;
  }
  return 0;
}

}  // namespace

// ---- Os -------------------------------------------------------------------

std::uint32_t Win32Os::PlatformId() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
  GetVersionExA(&info);
  return info.dwPlatformId;
}

std::string Win32Os::LogicalDriveStrings(std::uint32_t maxChars) {
  std::vector<char> buffer(maxChars + 1, '\0');
  const DWORD length = GetLogicalDriveStringsA(maxChars, buffer.data());
  // A result larger than the buffer is the size it would need: nothing was
  // written, so there are no roots to report.
  if (length == 0 || length > maxChars) return std::string(1, '\0');
  return std::string(buffer.data(), length + 1);
}

std::uint32_t Win32Os::DriveType(const std::string& root) {
  return GetDriveTypeA(root.c_str());
}

void Win32Os::Sleep(std::chrono::milliseconds duration) {
  AnswerWindowMessages();
  ::Sleep(static_cast<DWORD>(duration.count()));
  AnswerWindowMessages();
}

void Win32Os::PostQuit(int exitCode) {
  quitPosted_ = true;
  PostQuitMessage(exitCode);
}

std::string Win32Os::CurrentFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  if (length == 0 || length > MAX_PATH) return std::string();
  return std::string(buffer, length);
}

std::string Win32Os::ExePath() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, length);
}

bool Win32Os::FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// ---- ProfileReader --------------------------------------------------------

std::string Win32ProfileReader::Read(const std::string& section, const std::string& key,
                                     const std::string& defaultValue,
                                     const std::string& path) {
  std::vector<char> value(kProfileValueSize, '\0');
  const DWORD length =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(),
                               value.data(), kProfileValueSize, path.c_str());
  return std::string(value.data(), length);
}

// ---- Dialogs --------------------------------------------------------------

HWND Win32Dialogs::Owner() const {
  return owner_ != nullptr && IsWindowVisible(owner_) ? owner_ : nullptr;
}

void Win32Dialogs::Message(const std::string& text) {
  MessageBoxA(Owner(), text.c_str(), kApplicationTitle, MB_OK);
}

Answer Win32Dialogs::Ask(DialogKind kind, const std::string& text, DialogButtons buttons) {
  const UINT style = DialogIcon(kind) | (buttons == DialogButtons::YesNo ? MB_YESNO : MB_OK);
  switch (MessageBoxA(Owner(), text.c_str(), DialogTitle(kind), style)) {
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    default: return Answer::Ok;
  }
}

void Win32Dialogs::SystemBox(const std::string& text, const std::string& title) {
  MessageBoxA(nullptr, text.c_str(), title.c_str(), 0);
}

// ---- Cursor ---------------------------------------------------------------

void Win32Cursor::Hourglass() {
  hourglass_ = true;
  SetCursor(Current());
}

void Win32Cursor::Default() {
  hourglass_ = false;
  SetCursor(Current());
}

HCURSOR Win32Cursor::Current() const {
  return LoadCursor(nullptr, hourglass_ ? IDC_WAIT : IDC_ARROW);
}

// ---- DeviceIo -------------------------------------------------------------

std::optional<Handle> Win32DeviceIo::Open(const char* path, std::uint32_t access,
                                          std::uint32_t share, std::uint32_t creation,
                                          std::uint32_t flags) {
  HANDLE handle = CreateFileA(path, access, share, nullptr, creation, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  return reinterpret_cast<Handle>(handle);
}

bool Win32DeviceIo::Control(Handle handle, std::uint32_t code, void* in,
                            std::uint32_t inLength, void* out, std::uint32_t outLength) {
  bool done = false;
  DWORD error = 0;
  auto call = [&] {
    DWORD returned = 0;
    done = DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, in, inLength, out, outLength,
                           &returned, nullptr) != FALSE;
    error = GetLastError();
  };
  WhileAnswering(call);
  // The caller reads the command's own error afterwards, on this thread.
  SetLastError(error);
  return done;
}

void Win32DeviceIo::Close(Handle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

std::uint32_t Win32DeviceIo::LastError() { return GetLastError(); }

void Win32DeviceIo::PutAddress(std::uint8_t* field, void* buffer) {
  PutLittleEndian32(field, Address32(buffer));
}

// ---- AspiLibrary ----------------------------------------------------------

Win32AspiLibrary::~Win32AspiLibrary() { Unload(); }

bool Win32AspiLibrary::Load(const std::string& name) {
  Unload();
  module_ = LoadLibraryA(name.c_str());
  return module_ != nullptr;
}

void Win32AspiLibrary::Unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
  supportInfo_ = nullptr;
  sendCommand_ = nullptr;
}

bool Win32AspiLibrary::LookUp(const std::string& entry) {
  if (module_ == nullptr) return false;
  FARPROC address = GetProcAddress(module_, entry.c_str());
  if (address == nullptr) return false;
  if (entry == "GetASPI32SupportInfo")
    supportInfo_ = reinterpret_cast<SupportInfoFn>(reinterpret_cast<void*>(address));
  else if (entry == "SendASPI32Command")
    sendCommand_ = reinterpret_cast<SendCommandFn>(reinterpret_cast<void*>(address));
  return true;
}

// Without its entry point the library has no answer: 0 carries ASPI status 0
// (pending), which is never taken for "available".
std::uint32_t Win32AspiLibrary::GetSupportInfo() {
  return supportInfo_ != nullptr ? supportInfo_() : 0;
}

// SS_ERR (4) when the entry point was never found.
std::uint32_t Win32AspiLibrary::SendCommand(std::uint8_t* srb) {
  if (sendCommand_ == nullptr) return 0x04;
  const DWORD status = sendCommand_(srb);
  AnswerWindowMessages();
  return status;
}

void Win32AspiLibrary::PutAddress(std::uint8_t* field, void* buffer) {
  PutLittleEndian32(field, Address32(buffer));
}

void Win32AspiLibrary::PutEvent(std::uint8_t* field, EventHandle event) {
  PutLittleEndian32(field, static_cast<std::uint32_t>(event));
}

EventHandle Win32AspiLibrary::CreateEvent() {
  return reinterpret_cast<EventHandle>(CreateEventA(nullptr, FALSE, FALSE, nullptr));
}

// The limit is waited in slices, with the window's sent messages answered
// between them: the final flash command may take minutes.
WaitResult Win32AspiLibrary::Wait(EventHandle event, std::chrono::milliseconds limit) {
  constexpr DWORD kSlice = 100;
  const DWORD total = static_cast<DWORD>(limit.count());
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    const DWORD left = elapsed < total ? total - elapsed : 0;
    switch (WaitForSingleObject(reinterpret_cast<HANDLE>(event), std::min(left, kSlice))) {
      case WAIT_OBJECT_0: return WaitResult::Signalled;
      case WAIT_TIMEOUT: break;
      default: return WaitResult::Failed;
    }
    if (left <= kSlice) return WaitResult::TimedOut;
    AnswerWindowMessages();
  }
}

void Win32AspiLibrary::ResetEvent(EventHandle event) {
  ::ResetEvent(reinterpret_cast<HANDLE>(event));
}

void Win32AspiLibrary::CloseEvent(EventHandle event) {
  CloseHandle(reinterpret_cast<HANDLE>(event));
}

// ---- Restart --------------------------------------------------------------

Win32Restart::~Win32Restart() {
  if (token_ != nullptr) CloseHandle(token_);
}

bool Win32Restart::OpenProcessToken() {
  if (token_ != nullptr) CloseHandle(token_);
  token_ = nullptr;
  return ::OpenProcessToken(GetCurrentProcess(), kTokenAdjustAndQuery, &token_) != FALSE;
}

bool Win32Restart::LookupShutdownPrivilege() {
  return LookupPrivilegeValueA(nullptr, kShutdownPrivilege, &shutdownPrivilege_) != FALSE;
}

std::uint32_t Win32Restart::EnableShutdownPrivilege() {
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Luid = shutdownPrivilege_;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  // The call's own result is not used: it succeeds even when the account
  // does not hold the privilege, and only the last error tells.
  AdjustTokenPrivileges(token_, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
  return GetLastError();
}

void Win32Restart::ExitWindows(std::uint32_t flags) { ExitWindowsEx(flags, 0); }

}  // namespace platform::win32
