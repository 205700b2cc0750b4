// The file operations on POSIX systems: the native tools and tests.
#pragma once

#include <cstdint>

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

}  // namespace platform::posix
