#include "signing/trust.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>

#include "signing/key_files.h"

namespace signing {

namespace {

std::string NotTrusting(const std::string& path, const std::string& reason) {
  return "not trusting " + path + ": " + reason;
}

// A folder nobody but root and `owner` can change what it holds.
std::optional<std::string> FolderProblem(const std::string& folder, uid_t owner) {
  struct stat status {};
  if (stat(folder.c_str(), &status) != 0) return "cannot look at its folder " + folder;
  const bool rootsSticky = status.st_uid == 0 && (status.st_mode & S_ISVTX) != 0;
  if (status.st_uid != 0 && status.st_uid != owner)
    return "its folder " + folder + " belongs to another user";
  if ((status.st_mode & 022) != 0 && !rootsSticky)
    return "users other than root and its owner may write its folder " + folder;
  return std::nullopt;
}

std::string Parent(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

// Who may change the file (or folder) at path, and every folder above it
// up to `top` (an absolute path without symbolic links, or "/"): nothing
// when only root and its owner, the user running this, may.
std::optional<std::string> WriterProblem(const std::string& path, const std::string& top) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return "cannot find it";
  const std::string real = resolved;
  struct stat status {};
  if (stat(real.c_str(), &status) != 0) return "cannot look at it";
  const uid_t me = geteuid();
  if (status.st_uid != 0 && status.st_uid != me)
    return "it belongs to user " + std::to_string(status.st_uid) +
           ", neither root nor the user running qrwflash";
  if ((status.st_mode & 022) != 0) return "users other than root and its owner may write it";
  for (std::string folder = Parent(real);; folder = Parent(folder)) {
    if (auto problem = FolderProblem(folder, status.st_uid)) return problem;
    if (folder == top || folder == "/") break;
  }
  return std::nullopt;
}

std::string RealTop(const std::string& root) {
  if (root.empty()) return "/";
  char resolved[PATH_MAX];
  return realpath(root.c_str(), resolved) != nullptr ? std::string(resolved) : "/";
}

void TakeKeyFile(Trust& trust, const std::string& path, const std::string& top) {
  trust.configured = true;
  if (auto problem = WriterProblem(path, top)) {
    trust.problems.push_back(NotTrusting(path, *problem));
    return;
  }
  KeyFileRead<PublicKeyFile> read = ReadPublicKeyFile(path);
  if (!read.key) {
    trust.problems.push_back(NotTrusting(path, read.reason));
    return;
  }
  trust.keys.push_back({path, *read.key});
}

bool EndsWithPub(const std::string& name) {
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".pub") == 0;
}

// The *.pub files of the trusted folder, in name order. A system without
// /etc/qrwflash (qrwflash not installed) has no trusted folder to speak of.
void TakeTrustedFolder(Trust& trust, const std::string& root) {
  const std::string folder = root + kTrustedFolder;
  struct stat status {};
  if (stat(Parent(folder).c_str(), &status) != 0) return;
  if (stat(folder.c_str(), &status) != 0) {
    trust.problems.push_back(NotTrusting(folder, "it does not exist"));
    return;
  }
  if (!S_ISDIR(status.st_mode)) {
    trust.problems.push_back(NotTrusting(folder, "it is not a folder"));
    return;
  }
  const std::string top = RealTop(root);
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir))
      if (EndsWithPub(entry->d_name)) names.push_back(entry->d_name);
    closedir(dir);
  } else {
    trust.configured = true;
    trust.problems.push_back(NotTrusting(folder, "cannot read it"));
    return;
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) return;
  if (auto problem = WriterProblem(folder, top)) {
    trust.configured = true;
    trust.problems.push_back(NotTrusting(folder, *problem));
    return;
  }
  for (const std::string& name : names) TakeKeyFile(trust, folder + "/" + name, top);
}

std::string KeyText(const package::KeyId& keyId) { return "key " + package::KeyIdText(keyId); }

}  // namespace

const TrustedKey* Trust::Find(const package::PublicKey& publicKey) const {
  for (const TrustedKey& trusted : keys)
    if (trusted.key.publicKey == publicKey) return &trusted;
  return nullptr;
}

Trust LoadTrust(const std::string& root, const std::vector<std::string>& trustFiles) {
  Trust trust;
  TakeTrustedFolder(trust, root);
  for (const std::string& path : trustFiles) TakeKeyFile(trust, path, "/");
  return trust;
}

Judgement Judge(const SignatureCheck& check, const Trust& trust, const std::string& programName,
                bool assumeYes, bool allowUntrusted) {
  Judgement judgement;
  switch (check.state) {
    case SignatureState::Mismatch:
      judgement.verdict = Verdict::Changed;
      judgement.reason = programName + " was changed after it was signed (" + KeyText(check.keyId) +
                       "): get a fresh copy";
      return judgement;
    case SignatureState::Good:
      if (const TrustedKey* trusted = trust.Find(check.publicKey)) {
        judgement.line = "Signed by " + trusted->key.comment + " (" + KeyText(check.keyId) + ").";
        return judgement;
      }
      judgement.line = "Signed by " + KeyText(check.keyId) + ", which this system does not trust.";
      break;
    case SignatureState::Unsigned:
      judgement.line = check.hasRecord
                           ? "This flash program is not signed."
                           : "This flash program is not signed (it has no signature record).";
      break;
  }
  if (!trust.configured || allowUntrusted) return judgement;
  if (assumeYes) {
    judgement.verdict = Verdict::Refuse;
    judgement.reason = "not signed by a trusted key: pass --allow-untrusted to flash it anyway";
    return judgement;
  }
  judgement.verdict = Verdict::Ask;
  return judgement;
}

}  // namespace signing
