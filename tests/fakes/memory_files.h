// The file operations in memory, for the builder's tests and its fuzz
// target: folders and files in a map, every operation written to a log, and
// the faults a real disk and Windows have: a full disk, a failing write or
// close, a move that fails, a read-only folder, a locked file (a running
// program's), a file that cannot be opened or read. Told to behave like
// Windows 9x, a move never replaces and Replace takes the moving-aside way
// of the Win32 implementation on that family.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/moving_aside.h"

namespace fakes {

class MemoryFiles : public platform::Files {
 public:
  using Bytes = std::vector<std::uint8_t>;
  enum class Family { Nt, Windows9x };

  explicit MemoryFiles(Family family = Family::Nt) : family_(family) {}

  // --- content --------------------------------------------------------------
  void AddFolder(const std::string& folder) { folders_.insert(folder); }
  // A file of these bytes; its folder is made too.
  void Put(const std::string& path, Bytes bytes) {
    folders_.insert(FolderOf(path));
    files_[path] = Entry{std::move(bytes), std::nullopt};
  }
  // A file that claims a size without holding the bytes (a sparse file):
  // reading it is a fault of the code under test.
  void PutSizeOnly(const std::string& path, std::uint64_t size) {
    folders_.insert(FolderOf(path));
    files_[path] = Entry{{}, size};
  }
  bool Has(const std::string& path) const { return files_.count(path) > 0; }
  // The file's bytes; empty when there is none (check Has).
  const Bytes& Get(const std::string& path) const {
    static const Bytes kNone;
    const auto it = files_.find(path);
    return it == files_.end() ? kNone : it->second.bytes;
  }
  // Names of the files in a folder, sorted.
  std::vector<std::string> Names(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& [path, entry] : files_)
      if (FolderOf(path) == folder) names.push_back(path.substr(folder.size() + 1));
    return names;
  }

  // --- faults ---------------------------------------------------------------
  std::optional<std::uint64_t> spaceLeft;  // bytes that still fit on the disk
  bool closeFails = false;
  std::set<int> failingMoves;               // numbers (from 1) of the moves that fail
  std::set<std::string> readOnlyFolders;    // no file made, moved or removed there
  std::set<std::string> lockedFiles;        // not written, moved, replaced or removed
  std::set<std::string> unopenable;         // opening for reading fails
  std::set<std::string> unreadable;         // opens, but reading fails
  std::uint32_t nextSeed = 0x00C0FFEE;      // NameSeed gives it, then counts up

  // Every operation in order: "status P", "read P", "create P", "write P N",
  // "close P", "remove P", "replace A B", "move A B", "replaceable P";
  // a failed one ends in " failed".
  std::vector<std::string> log;
  int moves = 0;  // moves tried (a Replace on the NT family is one)

  // --- platform::Files --------------------------------------------------------
  platform::PathStatus Status(const std::string& path) override {
    log.push_back("status " + path);
    if (folders_.count(path)) return {platform::PathKind::Folder, 0};
    const auto it = files_.find(path);
    if (it == files_.end()) return {platform::PathKind::Missing, 0};
    return {platform::PathKind::RegularFile, it->second.Size()};
  }

  platform::ReadResult Read(const std::string& path, std::size_t size, Bytes& bytes) override {
    const auto it = files_.find(path);
    if (it == files_.end() || unopenable.count(path))
      return Logged("read " + path, platform::ReadResult::OpenFailed);
    const Entry& entry = it->second;
    if (entry.claimedSize || unreadable.count(path) || entry.bytes.size() < size)
      return Logged("read " + path, platform::ReadResult::ReadFailed);
    log.push_back("read " + path);
    bytes.assign(entry.bytes.begin(), entry.bytes.begin() + static_cast<std::ptrdiff_t>(size));
    return platform::ReadResult::Ok;
  }

  platform::CreateResult CreateNew(const std::string& path,
                                   std::unique_ptr<platform::NewFile>& file) override {
    if (Has(path) || folders_.count(path))
      return Logged("create " + path, platform::CreateResult::Exists);
    if (!Writable(FolderOf(path))) return Logged("create " + path, platform::CreateResult::Failed);
    log.push_back("create " + path);
    files_[path] = Entry{};
    file = std::make_unique<Writer>(*this, path);
    return platform::CreateResult::Created;
  }

  bool Remove(const std::string& path) override {
    const bool ok = Has(path) && !lockedFiles.count(path) && Writable(FolderOf(path));
    if (ok) files_.erase(path);
    return Logged("remove " + path, ok);
  }

  bool Replace(const std::string& from, const std::string& to) override {
    log.push_back("replace " + from + " " + to);
    if (family_ == Family::Windows9x) {
      Moves moves(*this);
      return platform::ReplaceMovingAside(moves, from, to);
    }
    return Move(from, to, true);
  }

  bool Replaceable(const std::string& path) override {
    const bool ok = folders_.count(path) == 0 && lockedFiles.count(path) == 0;
    return Logged("replaceable " + path, ok);
  }

  std::uint32_t NameSeed() override { return nextSeed++; }

 private:
  struct Entry {
    Bytes bytes;
    std::optional<std::uint64_t> claimedSize;
    std::uint64_t Size() const { return claimedSize ? *claimedSize : bytes.size(); }
  };

  static constexpr std::size_t kFirstReserve = 1 << 20;

  class Writer : public platform::NewFile {
   public:
    Writer(MemoryFiles& files, std::string path) : files_(files), path_(std::move(path)) {}
    bool Write(const std::uint8_t* bytes, std::size_t size) override {
      std::size_t fits = size;
      if (files_.spaceLeft) fits = static_cast<std::size_t>(std::min<std::uint64_t>(size, *files_.spaceLeft));
      Bytes& content = files_.files_[path_].bytes;
      // Room for a whole program at the first write, rather than a copy at
      // every doubling: the fuzz targets write hundreds of thousands of
      // files. Pages nobody writes to are never touched.
      if (content.empty()) content.reserve(kFirstReserve);
      content.insert(content.end(), bytes, bytes + fits);
      if (files_.spaceLeft) *files_.spaceLeft -= fits;
      return files_.Logged("write " + path_ + " " + std::to_string(size), fits == size);
    }
    bool Close() override { return files_.Logged("close " + path_, !files_.closeFails); }

   private:
    MemoryFiles& files_;
    std::string path_;
  };

  // The plain moves of Windows 9x: a move never replaces.
  class Moves : public platform::PlainMoves {
   public:
    explicit Moves(MemoryFiles& files) : files_(files) {}
    bool Exists(const std::string& path) override {
      return files_.Has(path) || files_.folders_.count(path);
    }
    bool Move(const std::string& from, const std::string& to) override {
      return files_.Move(from, to, false);
    }
    bool Remove(const std::string& path) override { return files_.Remove(path); }
    std::uint32_t NameSeed() override { return files_.NameSeed(); }

   private:
    MemoryFiles& files_;
  };

  static std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
  }

  bool Writable(const std::string& folder) const {
    return folders_.count(folder) && !readOnlyFolders.count(folder);
  }

  bool Move(const std::string& from, const std::string& to, bool replacing) {
    const int number = ++moves;
    const bool ok = failingMoves.count(number) == 0 && Has(from) && !folders_.count(to) &&
                    (replacing || !Has(to)) && !lockedFiles.count(from) &&
                    !lockedFiles.count(to) && Writable(FolderOf(from)) &&
                    Writable(FolderOf(to));
    if (ok) {
      Entry moved = std::move(files_[from]);
      files_.erase(from);
      files_[to] = std::move(moved);
    }
    return Logged("move " + from + " " + to, ok);
  }

  template <typename Result>
  Result Logged(const std::string& what, Result result) {
    log.push_back(what);
    if (!IsSuccess(result)) log.back() += " failed";
    return result;
  }
  static bool IsSuccess(bool ok) { return ok; }
  static bool IsSuccess(platform::ReadResult r) { return r == platform::ReadResult::Ok; }
  static bool IsSuccess(platform::CreateResult r) { return r == platform::CreateResult::Created; }

  Family family_;
  std::set<std::string> folders_;
  std::map<std::string, Entry> files_;
};

}  // namespace fakes
