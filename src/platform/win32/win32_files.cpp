#include "platform/win32/win32_files.h"

#include "platform/moving_aside.h"
#include "platform/os.h"
#include "platform/win32/win32_api.h"

namespace platform::win32 {

namespace {

// Windows 9x refuses FILE_SHARE_DELETE as an invalid parameter: read and
// write sharing only, as the C runtime's fopen asks.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::uint32_t SystemPlatformId() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return kPlatformWin32Nt;
  return version.dwPlatformId;
}

// A file handle closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (Open()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE Get() const { return handle_; }
  bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

 private:
  HANDLE handle_;
};

class Win32NewFile : public NewFile {
 public:
  explicit Win32NewFile(HANDLE handle) : handle_(handle) {}

  bool Write(const std::uint8_t* bytes, std::size_t size) override {
    while (size > 0) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(size < 0x100000 ? size : 0x100000);
      if (!WriteFile(handle_.Get(), bytes, chunk, &written, nullptr) || written == 0) return false;
      bytes += written;
      size -= written;
    }
    return true;
  }

  bool Close() override { return CloseHandle(handle_.Release()) != FALSE; }

 private:
  Handle handle_;
};

// The plain moves of Windows 9x: MoveFileA never replaces.
class AnsiMoves : public PlainMoves {
 public:
  explicit AnsiMoves(Win32Files& files) : files_(files) {}
  bool Exists(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool Move(const std::string& from, const std::string& to) override {
    return MoveFileA(from.c_str(), to.c_str()) != FALSE;
  }
  bool Remove(const std::string& path) override { return files_.Remove(path); }
  std::uint32_t NameSeed() override { return files_.NameSeed(); }

 private:
  Win32Files& files_;
};

}  // namespace

Win32Files::Win32Files() : Win32Files(SystemPlatformId()) {}

Win32Files::Win32Files(std::uint32_t platformId) : nt_(platformId == kPlatformWin32Nt) {}

PathStatus Win32Files::Status(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    return {missing ? PathKind::Missing : PathKind::Other, 0};
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return {PathKind::Folder, 0};
  // The size comes from the open file's directory entry; nothing is read.
  Handle file(CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Open()) return {PathKind::Other, 0};
  DWORD high = 0;
  const DWORD low = GetFileSize(file.Get(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return {PathKind::Other, 0};
  return {PathKind::RegularFile, (static_cast<std::uint64_t>(high) << 32) | low};
}

ReadResult Win32Files::Read(const std::string& path, std::size_t size,
                            std::vector<std::uint8_t>& bytes) {
  Handle file(CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Open()) return ReadResult::OpenFailed;
  bytes.resize(size);
  std::size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(size - done < 0x100000 ? size - done : 0x100000);
    if (!ReadFile(file.Get(), bytes.data() + done, chunk, &got, nullptr) || got == 0)
      return ReadResult::ReadFailed;
    done += got;
  }
  return ReadResult::Ok;
}

CreateResult Win32Files::CreateNew(const std::string& path, std::unique_ptr<NewFile>& file) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateResult::Exists
                                                                       : CreateResult::Failed;
  }
  file = std::make_unique<Win32NewFile>(handle);
  return CreateResult::Created;
}

bool Win32Files::Remove(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool Win32Files::Replace(const std::string& from, const std::string& to) {
  if (nt_) return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  AnsiMoves moves(*this);
  return ReplaceMovingAside(moves, from, to);
}

bool Win32Files::Replaceable(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError() == ERROR_FILE_NOT_FOUND;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  return Handle(CreateFileA(path.c_str(), GENERIC_WRITE, kShareReadWrite, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr))
      .Open();
}

std::uint32_t Win32Files::NameSeed() {
  return static_cast<std::uint32_t>(GetCurrentProcessId()) * 0x9E3779B1u ^ GetTickCount() ^
         (++counter_ << 20);
}

std::string LastErrorText() {
  const DWORD error = GetLastError();
  char words[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, words, sizeof words, nullptr);
  std::string text(words, length);
  // The system's words end with a line end, which the failure's line has
  // of its own.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  if (text.empty()) text = "error " + std::to_string(error);
  return text;
}

namespace {

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

// Each folder from the top down; one that cannot be made but is there (a
// drive's root, a share) is no failure.
bool MakeFolders(const std::string& path) {
  std::size_t end = 0;
  do {
    end = path.find_first_of("\\/", end + 1);
    const std::string folder = path.substr(0, end);
    if (CreateDirectoryA(folder.c_str(), nullptr)) continue;
    const DWORD error = GetLastError();
    if (!IsFolder(folder)) {
      SetLastError(error == ERROR_ALREADY_EXISTS ? ERROR_DIRECTORY : error);
      return false;
    }
  } while (end != std::string::npos);
  return true;
}

}  // namespace platform::win32
