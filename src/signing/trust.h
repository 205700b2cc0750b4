// The public keys qrwflash trusts, and what it makes of a program's
// signature with them. Keys come from every *.pub in /etc/qrwflash/trusted.d/
// (under the device-tree root) and from each --trust FILE. As sshd's
// StrictModes, a key file, its folder or a folder above it that a user other
// than root (or the key file's owner) may write is not trusted: whoever could
// write it could make any program look like the maker's. A folder with the
// sticky bit that belongs to root (/tmp) is taken as safe: nobody else can
// replace what lies in it.
//
// Trust is enforced where it is configured: once a key file is found (usable
// or not) or --trust is given, a program that no trusted key signed needs a
// yes; on a system without key files everything flashes as before.
#pragma once

#include <string>
#include <vector>

#include "signing/keys.h"
#include "signing/program_signature.h"

namespace signing {

inline constexpr const char* kTrustedFolder = "/etc/qrwflash/trusted.d";

struct TrustedKey {
  std::string path;
  PublicKeyFile key;
};

struct Trust {
  std::vector<TrustedKey> keys;
  bool configured = false;
  // One line each ("not trusting PATH: REASON") for what was not taken.
  std::vector<std::string> problems;

  // The trusted key with this public key, or nullptr.
  const TrustedKey* Find(const package::PublicKey& publicKey) const;
};

// The keys of root + kTrustedFolder (root "" is the system's own) and of
// each of trustFiles, in that order.
Trust LoadTrust(const std::string& root, const std::vector<std::string>& trustFiles);

// What qrwflash does with a program before anything else it shows.
enum class Verdict {
  Go,          // show the line and go on
  Ask,         // show the line, then ask "Flash it anyway?"
  Refuse,      // the line is the reason: status 3
  Changed,     // the signature does not match: the line is the reason, status 1
};

struct Judgement {
  Verdict verdict = Verdict::Go;
  std::string line;    // the signature's state, shown first (none for Changed)
  std::string reason;  // the last line of a refusal (Refuse, Changed)
};

// programName is shown in the Changed line as the user named it.
Judgement Judge(const SignatureCheck& check, const Trust& trust, const std::string& programName,
                bool assumeYes, bool allowUntrusted);

}  // namespace signing
