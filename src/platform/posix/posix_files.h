// The file operations on POSIX systems: the native tools and tests.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

namespace platform::posix {

class PosixFiles : public Files {
 public:
  PathStatus Status(const std::string& path) override;
  ReadResult Read(const std::string& path, std::size_t size,
                  std::vector<std::uint8_t>& bytes) override;
  // The file mapped for reading: no fresh memory, the page cache's pages.
  ReadResult Hold(const std::string& path, std::size_t size,
                  std::unique_ptr<HeldBytes>& held) override;
  CreateResult CreateNew(const std::string& path, std::unique_ptr<NewFile>& file) override;
  bool Remove(const std::string& path) override;
  // rename(2): replaces in one step.
  bool Replace(const std::string& from, const std::string& to) override;
  bool Replaceable(const std::string& path) override;
  // The process id, a monotonic clock and a counter.
  std::uint32_t NameSeed() override;

 private:
  std::uint32_t counter_ = 0;
};

// For the command-line tools, which name the system's reason on a failure's
// line: the system's words for the error of the last call that failed
// (strerror of errno), to be asked right after that call.
std::string LastErrorText();
// Makes the folder and every missing folder above it; true when it is
// there afterwards. On failure LastErrorText says why.
bool MakeFolders(const std::string& path);

}  // namespace platform::posix
