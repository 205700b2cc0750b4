#include "signing/keys.h"

#include <sodium.h>

#include <algorithm>
#include <vector>

namespace signing {

namespace {

std::string Base64(const std::uint8_t* bytes, std::size_t size) {
  std::vector<char> text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL));
  sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
  return std::string(text.data());
}

// Exactly 32 bytes in standard base64, nothing before or after.
std::optional<std::array<std::uint8_t, 32>> FromBase64(const std::string& text) {
  std::array<std::uint8_t, 32> bytes{};
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                        &end, sodium_base64_VARIANT_ORIGINAL) != 0 ||
      length != bytes.size() || end != text.data() + text.size())
    return std::nullopt;
  return bytes;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<package::KeyId> KeyIdFromText(const std::string& text) {
  if (text.size() != 2 * package::kKeyIdSize) return std::nullopt;
  package::KeyId id{};
  for (std::size_t i = 0; i < id.size(); ++i) {
    const int high = HexDigit(text[2 * i]);
    const int low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    id[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return id;
}

bool Printable(char c) { return c >= 0x20 && c <= 0x7E; }

// The kind word of a key file judged: empty when it is `kind`.
std::string KindProblem(const std::string& word, const char* kind) {
  if (word == kind) return "";
  if (word == kPublicKeyKind) return "is a public key, not a secret key";
  if (word == kSecretKeyKind) return "is a secret key, not a public key";
  return "is not a qrwflash key file";
}

// The one line of a key file of `kind` split at single spaces into at most
// four fields (the last takes the rest of the line), or what is wrong with
// the file as a whole or with its kind.
struct Line {
  std::vector<std::string> fields;
  std::string problem;
};

Line SplitKeyFile(const std::string& text, const char* kind) {
  constexpr std::size_t fields = 4;
  Line line;
  if (text.empty()) {
    line.problem = "is empty";
    return line;
  }
  if (text.size() > kMaxKeyFileSize) {
    line.problem = "is too large to be a key file";
    return line;
  }
  if (!std::all_of(text.begin(), text.end(), [](char c) { return Printable(c) || c == '\n'; })) {
    line.problem = "is not text";
    return line;
  }
  const std::size_t end = text.find('\n');
  if (end != std::string::npos && end + 1 != text.size()) {
    line.problem = "has something after its one line";
    return line;
  }
  const std::string body = text.substr(0, end);
  std::size_t from = 0;
  while (line.fields.size() + 1 < fields) {
    const std::size_t space = body.find(' ', from);
    if (space == std::string::npos) break;
    line.fields.push_back(body.substr(from, space - from));
    from = space + 1;
  }
  line.fields.push_back(body.substr(from));
  line.problem = KindProblem(line.fields[0], kind);
  return line;
}

}  // namespace

bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

package::KeyId KeyIdOf(const package::PublicKey& publicKey) {
  std::array<std::uint8_t, 32> hash{};
  crypto_generichash(hash.data(), hash.size(), publicKey.data(), publicKey.size(), nullptr, 0);
  package::KeyId id{};
  std::copy_n(hash.begin(), id.size(), id.begin());
  return id;
}

std::optional<Seed> NewSeed() {
  if (!SodiumReady()) return std::nullopt;
  Seed seed{};
  randombytes_buf(seed.data(), seed.size());
  return seed;
}

SecretKey::SecretKey(const Seed& seed) {
  static_assert(crypto_sign_SECRETKEYBYTES == 64 && crypto_sign_PUBLICKEYBYTES == 32 &&
                crypto_sign_SEEDBYTES == kSeedSize && crypto_sign_BYTES == package::kSignatureSize);
  crypto_sign_seed_keypair(publicKey_.data(), secret_.data(), seed.data());
  keyId_ = KeyIdOf(publicKey_);
}

SecretKey::~SecretKey() { sodium_memzero(secret_.data(), secret_.size()); }

package::SignatureBytes SecretKey::Sign(const std::uint8_t* message, std::size_t size) const {
  package::SignatureBytes signature{};
  crypto_sign_detached(signature.data(), nullptr, message, size, secret_.data());
  return signature;
}

std::string SecretKey::FileText() const {
  // The seed is the first half of libsodium's secret key.
  return std::string(kSecretKeyKind) + " " + package::KeyIdText(keyId_) + " " +
         Base64(secret_.data(), kSeedSize) + "\n";
}

std::string PublicKeyText(const PublicKeyFile& key) {
  return std::string(kPublicKeyKind) + " " + package::KeyIdText(key.keyId) + " " +
         Base64(key.publicKey.data(), key.publicKey.size()) + " " + key.comment + "\n";
}

std::optional<std::string> CommentProblem(const std::string& comment) {
  if (comment.empty()) return "a comment cannot be empty";
  if (comment.size() > kMaxCommentSize)
    return "a comment holds at most " + std::to_string(kMaxCommentSize) + " characters";
  if (!std::all_of(comment.begin(), comment.end(), Printable))
    return "a comment holds printable ASCII characters only";
  return std::nullopt;
}

Parsed<PublicKeyFile> ParsePublicKeyText(const std::string& text) {
  Parsed<PublicKeyFile> parsed;
  const Line line = SplitKeyFile(text, kPublicKeyKind);
  parsed.problem = line.problem;
  if (!parsed.problem.empty()) return parsed;
  if (line.fields.size() < 4 || line.fields[3].empty()) {
    parsed.problem = "is cut short";
    return parsed;
  }
  PublicKeyFile key;
  const auto id = KeyIdFromText(line.fields[1]);
  const auto publicKey = FromBase64(line.fields[2]);
  if (!id) parsed.problem = "holds no valid key id";
  else if (!publicKey) parsed.problem = "holds no valid public key";
  else if (CommentProblem(line.fields[3])) parsed.problem = "holds no valid comment";
  else if (KeyIdOf(*publicKey) != *id) parsed.problem = "has a key id that does not match its key";
  if (!parsed.problem.empty()) return parsed;
  key.keyId = *id;
  key.publicKey = *publicKey;
  key.comment = line.fields[3];
  parsed.key = key;
  return parsed;
}

Parsed<Seed> ParseSecretKeyText(const std::string& text) {
  Parsed<Seed> parsed;
  const Line line = SplitKeyFile(text, kSecretKeyKind);
  parsed.problem = line.problem;
  if (!parsed.problem.empty()) return parsed;
  if (line.fields.size() < 3) {
    parsed.problem = "is cut short";
    return parsed;
  }
  if (line.fields.size() > 3) {
    parsed.problem = "has something after its key";
    return parsed;
  }
  const auto id = KeyIdFromText(line.fields[1]);
  const auto seed = FromBase64(line.fields[2]);
  if (!id) parsed.problem = "holds no valid key id";
  else if (!seed) parsed.problem = "holds no valid secret key";
  else if (SecretKey(*seed).KeyId() != *id) parsed.problem = "has a key id that does not match its key";
  if (!parsed.problem.empty()) return parsed;
  parsed.key = *seed;
  return parsed;
}

}  // namespace signing
