#include "platform/posix/posix_files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace platform::posix {

namespace {

// A file descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int Get() const { return fd_; }
  bool Open() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

class PosixNewFile : public NewFile {
 public:
  explicit PosixNewFile(int fd) : fd_(fd) {}

  bool Write(const std::uint8_t* bytes, std::size_t size) override {
    while (size > 0) {
      const ssize_t written = ::write(fd_.Get(), bytes, size);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return false;
      bytes += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }

  bool Close() override { return ::close(fd_.Release()) == 0; }

 private:
  Descriptor fd_;
};

// The first bytes of a file, mapped read-only. A file cut short while it is
// held would make reading the lost pages fault: the builder holds the
// preparer's own inputs for the moment of one build.
class MappedBytes : public HeldBytes {
 public:
  MappedBytes(void* start, std::size_t size) : start_(start), size_(size) {}
  ~MappedBytes() override { ::munmap(start_, size_); }
  MappedBytes(const MappedBytes&) = delete;
  MappedBytes& operator=(const MappedBytes&) = delete;

  const std::uint8_t* Data() const override { return static_cast<const std::uint8_t*>(start_); }
  std::size_t Size() const override { return size_; }

 private:
  void* start_;
  std::size_t size_;
};

}  // namespace

PathStatus PosixFiles::Status(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0)
    return {errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Other, 0};
  if (S_ISREG(info.st_mode)) return {PathKind::RegularFile, static_cast<std::uint64_t>(info.st_size)};
  if (S_ISDIR(info.st_mode)) return {PathKind::Folder, 0};
  return {PathKind::Other, 0};
}

ReadResult PosixFiles::Read(const std::string& path, std::size_t size,
                            std::vector<std::uint8_t>& bytes) {
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Open()) return ReadResult::OpenFailed;
  bytes.resize(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd.Get(), bytes.data() + done, size - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return ReadResult::ReadFailed;
    done += static_cast<std::size_t>(got);
  }
  return ReadResult::Ok;
}

ReadResult PosixFiles::Hold(const std::string& path, std::size_t size,
                            std::unique_ptr<HeldBytes>& held) {
  // Nothing to map (mmap takes no empty range).
  if (size == 0) return Files::Hold(path, size, held);
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Open()) return ReadResult::OpenFailed;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::uint64_t>(info.st_size) < size)
    return ReadResult::ReadFailed;
  // Populated at once: one call instead of a fault for each run of pages.
  void* start = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd.Get(), 0);
  if (start == MAP_FAILED) return ReadResult::ReadFailed;
  held = std::make_unique<MappedBytes>(start, size);
  return ReadResult::Ok;
}

CreateResult PosixFiles::CreateNew(const std::string& path, std::unique_ptr<NewFile>& file) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno == EEXIST ? CreateResult::Exists : CreateResult::Failed;
  file = std::make_unique<PosixNewFile>(fd);
  return CreateResult::Created;
}

bool PosixFiles::Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool PosixFiles::Replace(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool PosixFiles::Replaceable(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (!S_ISREG(info.st_mode)) return false;
  return Descriptor(::open(path.c_str(), O_WRONLY | O_CLOEXEC)).Open();
}

std::uint32_t PosixFiles::NameSeed() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const auto ticks = static_cast<std::uint32_t>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
  return static_cast<std::uint32_t>(::getpid()) * 0x9E3779B1u ^ ticks ^ (++counter_ << 20);
}

std::string LastErrorText() { return std::strerror(errno); }

namespace {

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

// Each folder from the top down; one that cannot be made but is there (the
// root, a folder of someone else's) is no failure.
bool MakeFolders(const std::string& path) {
  std::size_t end = 0;
  do {
    end = path.find('/', end + 1);
    const std::string folder = path.substr(0, end);
    if (::mkdir(folder.c_str(), 0777) == 0) continue;
    const int error = errno;
    if (!IsFolder(folder)) {
      errno = error == EEXIST ? ENOTDIR : error;
      return false;
    }
  } while (end != std::string::npos);
  return true;
}

}  // namespace platform::posix
