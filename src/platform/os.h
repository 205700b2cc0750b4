// Operating-system services the core needs, behind one interface so that the
// whole logic runs natively against fakes. The Win32 implementation lives in
// platform/win32/.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace platform {

inline constexpr std::uint32_t kPlatformWin32Windows = 1;  // Windows 9x
inline constexpr std::uint32_t kPlatformWin32Nt = 2;       // the NT family
inline constexpr std::uint32_t kDriveCdRom = 5;

class Os {
 public:
  virtual ~Os() = default;

  // GetVersionExA with a 148-byte record: the platform id only.
  virtual std::uint32_t PlatformId() = 0;
  // GetLogicalDriveStringsA asking for at most maxChars characters: the raw
  // text, consecutive zero-terminated roots ("D:\" NUL "E:\" NUL ... NUL).
  virtual std::string LogicalDriveStrings(std::uint32_t maxChars) = 0;
  // GetDriveTypeA of a root such as "E:\".
  virtual std::uint32_t DriveType(const std::string& root) = 0;
  virtual void Sleep(std::chrono::milliseconds duration) = 0;
  // PostQuitMessage: the program ends when the event loop next runs.
  virtual void PostQuit(int exitCode) = 0;
  // The current drive's letter, ":\" and the current directory of that drive
  // without its drive prefix, e.g. "C:\FLASH" (no trailing backslash unless
  // it is the root).
  virtual std::string CurrentFolder() = 0;
  // Full path of the program's own executable file.
  virtual std::string ExePath() = 0;
  virtual bool FileExists(const std::string& path) = 0;
};

// GetPrivateProfileStringA with a 2,048-byte value buffer.
class ProfileReader {
 public:
  virtual ~ProfileReader() = default;
  virtual std::string Read(const std::string& section, const std::string& key,
                           const std::string& defaultValue,
                           const std::string& path) = 0;
};

}  // namespace platform
