// File operations of the builder, behind one interface so that the same
// build runs on both Windows families, natively and in memory. Paths are the
// system's own narrow strings (ANSI on Windows: the wide-character file
// functions are stubs that fail on Windows 9x). No operation throws; each
// reports its outcome in its result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum class PathKind {
  Missing,      // nothing of that name
  RegularFile,  // a file whose size is known
  Folder,
  Other,        // something else, or a file whose size cannot be learned
};

struct PathStatus {
  PathKind kind = PathKind::Missing;
  std::uint64_t size = 0;  // bytes; meaningful for a regular file only
};

enum class ReadResult { Ok, OpenFailed, ReadFailed };

enum class CreateResult {
  Created,
  Exists,  // something of that name is already there
  Failed,
};

// A file made by Files::CreateNew, open for writing.
class NewFile {
 public:
  // Closes the file if Close was not called; the file stays.
  virtual ~NewFile() = default;
  // Appends all bytes; false when not all of them were written (a full
  // disk, for one).
  virtual bool Write(const std::uint8_t* bytes, std::size_t size) = 0;
  // False when what was written may not have reached the file. Called once.
  virtual bool Close() = 0;
};

// A file's bytes held for reading (Files::Hold).
class HeldBytes {
 public:
  virtual ~HeldBytes() = default;
  virtual const std::uint8_t* Data() const = 0;
  virtual std::size_t Size() const = 0;
};

class Files {
 public:
  virtual ~Files() = default;

  // Kind and size of a path, learned without reading the file.
  virtual PathStatus Status(const std::string& path) = 0;
  // Exactly size bytes from the start of the file: OpenFailed when it cannot
  // be opened, ReadFailed when it holds fewer bytes or reading fails.
  virtual ReadResult Read(const std::string& path, std::size_t size,
                          std::vector<std::uint8_t>& bytes) = 0;
  // The same bytes as Read, held for reading for as long as held lives. By
  // default they are read into memory; a system may hand out the file's
  // own pages instead, which for a program-sized file costs less than the
  // fresh memory to read it into (PosixFiles maps the file).
  virtual ReadResult Hold(const std::string& path, std::size_t size,
                          std::unique_ptr<HeldBytes>& held);
  // Makes a new, empty file; never opens or truncates one that is there.
  virtual CreateResult CreateNew(const std::string& path, std::unique_ptr<NewFile>& file) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Puts the closed file `from` in the place of `to`, whether or not `to`
  // exists. On failure `to` is as it was and `from` is still there.
  virtual bool Replace(const std::string& from, const std::string& to) = 0;
  // Whether Replace could put another file in the place of path: true when
  // nothing is there, false for a folder or a file that cannot be opened for
  // writing (on Windows, the file of a running program).
  virtual bool Replaceable(const std::string& path) = 0;
  // A number for unique file names: it differs between processes and from
  // one call to the next, and every target has what it is made of.
  virtual std::uint32_t NameSeed() = 0;
};

namespace detail {
class BytesInMemory : public HeldBytes {
 public:
  const std::uint8_t* Data() const override { return bytes.data(); }
  std::size_t Size() const override { return bytes.size(); }
  std::vector<std::uint8_t> bytes;
};
}  // namespace detail

inline ReadResult Files::Hold(const std::string& path, std::size_t size,
                              std::unique_ptr<HeldBytes>& held) {
  auto inMemory = std::make_unique<detail::BytesInMemory>();
  const ReadResult result = Read(path, size, inMemory->bytes);
  if (result == ReadResult::Ok) held = std::move(inMemory);
  return result;
}

// name + suffix + the seed as eight lower-case hex digits.
inline std::string TaggedName(const std::string& name, const char* suffix, std::uint32_t seed) {
  static const char kHex[] = "0123456789abcdef";
  std::string tagged = name + suffix;
  for (int shift = 28; shift >= 0; shift -= 4) tagged += kHex[(seed >> shift) & 15];
  return tagged;
}

}  // namespace platform
