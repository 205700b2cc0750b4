// Key files on disk (the formats are in signing/keys.h): made by qrwpack
// keygen, the secret one read by qrwpack sign and build --sign, the public
// ones by qrwflash's trust (signing/trust.h).
#pragma once

#include <optional>
#include <string>

#include "signing/keys.h"

namespace signing {

// A key file read, or what is wrong with it: a whole line for the user that
// names the file ("PATH is empty", "cannot read PATH: ...").
template <typename Key>
struct KeyFileRead {
  std::optional<Key> key;
  std::string problem;
  std::string reason;  // the same without the path: "it is empty"
};

// A secret key file. It is refused when a user other than its owner may
// read or write it (any group or other permission bit), as ssh refuses an
// unprotected private key.
KeyFileRead<Seed> ReadSecretKeyFile(const std::string& path);

// A public key file's text and key; the caller judges who may write it.
KeyFileRead<PublicKeyFile> ReadPublicKeyFile(const std::string& path);

// Makes a fresh key pair: NAME.key (mode 0600) and NAME.pub (mode 0644),
// neither of which may exist already. Nothing on success, else the line
// saying why (and neither file is left behind).
std::optional<std::string> WriteKeyPair(const std::string& name, const std::string& comment,
                                        package::KeyId& keyId);

}  // namespace signing
