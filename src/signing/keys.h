// Ed25519 keys of flash program makers, with libsodium (no cryptography of
// our own), and their two text files:
//
//   NAME.pub  one line: "qrwflash-ed25519 KEYID PUBLICKEY COMMENT"
//   NAME.key  one line: "qrwflash-ed25519-secret KEYID SEED"
//
// KEYID is the key id as 16 upper-case hex digits: the first 8 bytes of
// BLAKE2b-256 of the 32-byte public key (libsodium's crypto_generichash, no
// key). PUBLICKEY and SEED are 32 bytes each in standard base64 (44
// characters with padding); the secret key is the seed libsodium derives the
// key pair from. COMMENT is 1 to 64 printable ASCII characters (spaces
// allowed). Each file is that one line, ended by a line feed; nothing else.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "package/signature_record.h"

namespace signing {

inline constexpr std::size_t kSeedSize = 32;
inline constexpr std::size_t kMaxCommentSize = 64;
inline constexpr const char* kPublicKeyKind = "qrwflash-ed25519";
inline constexpr const char* kSecretKeyKind = "qrwflash-ed25519-secret";

using Seed = std::array<std::uint8_t, kSeedSize>;

struct PublicKeyFile {
  package::PublicKey publicKey{};
  package::KeyId keyId{};
  std::string comment;
};

// A secret key in memory; its bytes are wiped when it goes.
class SecretKey {
 public:
  explicit SecretKey(const Seed& seed);
  ~SecretKey();
  SecretKey(const SecretKey&) = delete;
  SecretKey& operator=(const SecretKey&) = delete;

  const package::PublicKey& PublicKey() const { return publicKey_; }
  const package::KeyId& KeyId() const { return keyId_; }
  // The Ed25519 signature of message.
  package::SignatureBytes Sign(const std::uint8_t* message, std::size_t size) const;
  // The secret key file's text.
  std::string FileText() const;

 private:
  std::array<std::uint8_t, 64> secret_{};  // libsodium's form: seed, public key
  package::PublicKey publicKey_{};
  package::KeyId keyId_{};
};

// libsodium ready; false when it cannot start (no entropy source).
bool SodiumReady();

package::KeyId KeyIdOf(const package::PublicKey& publicKey);

// A fresh random seed; nothing when libsodium cannot start.
std::optional<Seed> NewSeed();

// The public key file's text.
std::string PublicKeyText(const PublicKeyFile& key);

// A comment a key file can hold, or what is wrong with it.
std::optional<std::string> CommentProblem(const std::string& comment);

// A key file's text read, or what is wrong with it ("is empty", "is not
// text", ...: the words that follow its path).
template <typename Key>
struct Parsed {
  std::optional<Key> key;
  std::string problem;
};
Parsed<PublicKeyFile> ParsePublicKeyText(const std::string& text);
Parsed<Seed> ParseSecretKeyText(const std::string& text);

// Key files are one short line; anything larger is no key file.
inline constexpr std::size_t kMaxKeyFileSize = 4096;

}  // namespace signing
