// The file operations on Windows, both families, through the ANSI functions
// alone: Windows 9x has the wide-character file functions only as stubs that
// fail. A small library of its own, so that qrwpack.exe links it without the
// window layer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform::win32 {

class Win32Files : public Files {
 public:
  // The family as GetVersionExA reports it, asked once.
  Win32Files();
  // A given family (kPlatformWin32Windows or kPlatformWin32Nt).
  explicit Win32Files(std::uint32_t platformId);

  PathStatus Status(const std::string& path) override;
  ReadResult Read(const std::string& path, std::size_t size,
                  std::vector<std::uint8_t>& bytes) override;
  CreateResult CreateNew(const std::string& path, std::unique_ptr<NewFile>& file) override;
  bool Remove(const std::string& path) override;
  // NT: MoveFileExA replacing in one step. 9x, where MoveFileExA does
  // nothing: the earlier file moved aside with MoveFileA (ReplaceMovingAside).
  bool Replace(const std::string& from, const std::string& to) override;
  bool Replaceable(const std::string& path) override;
  // The process id, the tick count and a counter.
  std::uint32_t NameSeed() override;

 private:
  bool nt_;
  std::uint32_t counter_ = 0;
};

// For qrwpack.exe, which names the system's reason on a failure's line: the
// system's words for GetLastError of the last call that failed, to be asked
// right after that call.
std::string LastErrorText();
// Makes the folder and every missing folder above it (either separator);
// true when it is there afterwards. On failure LastErrorText says why.
bool MakeFolders(const std::string& path);

}  // namespace platform::win32
