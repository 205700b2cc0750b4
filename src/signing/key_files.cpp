#include "signing/key_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>


namespace signing {

namespace {

// An open file, closed when it goes.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string SystemReason() { return std::strerror(errno); }

// The permission bits as chmod takes them: "0644".
std::string ModeText(mode_t mode) {
  std::string text = "0";
  for (int shift : {6, 3, 0}) text += static_cast<char>('0' + ((mode >> shift) & 7));
  return text;
}

// The whole of a small regular file; the open file's status in `status`.
// Nothing, with the line in `problem` (and the words about the file in
// `reason`), when it cannot be read.
std::optional<std::string> ReadSmallFile(const std::string& path, struct stat& status,
                                         std::string& problem, std::string& reason) {
  const Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0 || fstat(fd.get(), &status) != 0) {
    reason = SystemReason();
    problem = "cannot read " + path + ": " + reason;
    reason = "cannot read it: " + reason;
    return std::nullopt;
  }
  if (!S_ISREG(status.st_mode)) {
    problem = path + " is not a file";
    reason = "it is not a file";
    return std::nullopt;
  }
  std::string text;
  char block[1024];
  ssize_t got;
  while (text.size() <= kMaxKeyFileSize && (got = read(fd.get(), block, sizeof block)) > 0)
    text.append(block, static_cast<std::size_t>(got));
  if (got < 0) {
    reason = SystemReason();
    problem = "cannot read " + path + ": " + reason;
    reason = "cannot read it: " + reason;
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> WriteNewFile(const std::string& path, const std::string& text,
                                        mode_t mode) {
  const Fd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (fd.get() < 0)
    return errno == EEXIST ? path + " exists already; not overwriting it"
                           : "cannot create " + path + ": " + SystemReason();
  // The mode, whatever the umask: a secret key must not be born readable.
  if (fchmod(fd.get(), mode) != 0 ||
      write(fd.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()) ||
      fsync(fd.get()) != 0) {
    const std::string reason = SystemReason();
    unlink(path.c_str());
    return "cannot write " + path + ": " + reason;
  }
  return std::nullopt;
}

// A key file's parsed text, its problem named after its path.
template <typename Key>
KeyFileRead<Key> Judged(const std::string& path, const Parsed<Key>& parsed) {
  KeyFileRead<Key> read;
  read.key = parsed.key;
  if (!parsed.key) {
    read.problem = path + " " + parsed.problem;
    read.reason = "it " + parsed.problem;
  }
  return read;
}

}  // namespace

KeyFileRead<Seed> ReadSecretKeyFile(const std::string& path) {
  KeyFileRead<Seed> read;
  struct stat status {};
  const std::optional<std::string> text = ReadSmallFile(path, status, read.problem, read.reason);
  if (!text) return read;
  if ((status.st_mode & 077) != 0) {
    read.problem = path + ": other users may read this secret key (mode " + ModeText(status.st_mode) +
                   "); make it its owner's alone (chmod 600)";
    return read;
  }
  if (!SodiumReady()) {
    read.problem = "cannot start libsodium";
    return read;
  }
  return Judged(path, ParseSecretKeyText(*text));
}

KeyFileRead<PublicKeyFile> ReadPublicKeyFile(const std::string& path) {
  KeyFileRead<PublicKeyFile> read;
  struct stat status {};
  const std::optional<std::string> text = ReadSmallFile(path, status, read.problem, read.reason);
  if (!text) return read;
  return Judged(path, ParsePublicKeyText(*text));
}

std::optional<std::string> WriteKeyPair(const std::string& name, const std::string& comment,
                                        package::KeyId& keyId) {
  if (auto problem = CommentProblem(comment)) return *problem;
  const std::optional<Seed> seed = NewSeed();
  if (!seed) return "cannot start libsodium";
  const SecretKey key(*seed);
  const std::string secretPath = name + ".key";
  const std::string publicPath = name + ".pub";
  struct stat status {};
  for (const std::string& path : {secretPath, publicPath})
    if (lstat(path.c_str(), &status) == 0) return path + " exists already; not overwriting it";
  if (auto problem = WriteNewFile(secretPath, key.FileText(), 0600)) return problem;
  if (auto problem = WriteNewFile(publicPath,
                                  PublicKeyText({key.PublicKey(), key.KeyId(), comment}), 0644)) {
    unlink(secretPath.c_str());
    return problem;
  }
  keyId = key.KeyId();
  return std::nullopt;
}

}  // namespace signing
