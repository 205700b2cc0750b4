// Keys: libsodium's Ed25519 against RFC 8032's first test vector, the key id
// against Python's hashlib (BLAKE2b-256, first 8 bytes), and every way a key
// file can be wrong, each with its words.
#include <gtest/gtest.h>

#include <string>

#include "signing/keys.h"
#include "support/bytes.h"

namespace signing {
namespace {

using testsupport::Bytes;

// The RFC's hex, unspaced, as Hex takes it.
Bytes Hex(const std::string& digits) {
  std::string spaced;
  for (std::size_t i = 0; i < digits.size(); i += 2) spaced += digits.substr(i, 2) + " ";
  return testsupport::Hex(spaced);
}

// RFC 8032, 7.1, TEST 1.
const Bytes kSeed = Hex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60");
const Bytes kPublic = Hex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
const Bytes kEmptyMessageSignature = Hex(
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b");
// python3 -c "import hashlib; print(hashlib.blake2b(bytes.fromhex('d75a...511a'), digest_size=32).hexdigest()[:16])"
const char* kKeyId = "7849AC3049680BE1";
const char* kPublicBase64 = "11qYAYKxCrfVS/7TyWQHOg7hcvPapiMlrwIaaPcHURo=";
const char* kSeedBase64 = "nWGxne/9WmC6hEr0kuwsxERJxWl7MmkZcDusAxyuf2A=";

Seed TestSeed() {
  Seed seed{};
  std::copy(kSeed.begin(), kSeed.end(), seed.begin());
  return seed;
}

TEST(Keys, Rfc8032VectorAndKeyId) {
  ASSERT_TRUE(SodiumReady());
  const SecretKey key(TestSeed());
  EXPECT_EQ(Bytes(key.PublicKey().begin(), key.PublicKey().end()), kPublic);
  const package::SignatureBytes signature = key.Sign(nullptr, 0);
  EXPECT_EQ(Bytes(signature.begin(), signature.end()), kEmptyMessageSignature);
  EXPECT_EQ(package::KeyIdText(key.KeyId()), kKeyId);
  EXPECT_EQ(key.FileText(), std::string("qrwflash-ed25519-secret ") + kKeyId + " " + kSeedBase64 + "\n");
  EXPECT_EQ(PublicKeyText({key.PublicKey(), key.KeyId(), "Quarvel-IT release"}),
            std::string("qrwflash-ed25519 ") + kKeyId + " " + kPublicBase64 + " Quarvel-IT release\n");
}

const std::string kGoodPublic =
    std::string("qrwflash-ed25519 ") + kKeyId + " " + kPublicBase64 + " Quarvel-IT release\n";
const std::string kGoodSecret = std::string("qrwflash-ed25519-secret ") + kKeyId + " " + kSeedBase64 + "\n";

TEST(Keys, GoodFilesRead) {
  const Parsed<PublicKeyFile> pub = ParsePublicKeyText(kGoodPublic);
  ASSERT_TRUE(pub.key) << pub.problem;
  EXPECT_EQ(pub.key->comment, "Quarvel-IT release");
  EXPECT_EQ(package::KeyIdText(pub.key->keyId), kKeyId);
  EXPECT_EQ(Bytes(pub.key->publicKey.begin(), pub.key->publicKey.end()), kPublic);
  const Parsed<Seed> secret = ParseSecretKeyText(kGoodSecret);
  ASSERT_TRUE(secret.key) << secret.problem;
  EXPECT_EQ(*secret.key, TestSeed());
  // The line feed at the end may be missing.
  EXPECT_TRUE(ParsePublicKeyText(kGoodPublic.substr(0, kGoodPublic.size() - 1)).key);
}

struct BadKeyFile {
  const char* name;
  std::string text;
  const char* problem;
};

class BadPublicKeyFiles : public ::testing::TestWithParam<BadKeyFile> {};

TEST_P(BadPublicKeyFiles, RefusedWithTheReason) {
  const Parsed<PublicKeyFile> parsed = ParsePublicKeyText(GetParam().text);
  EXPECT_FALSE(parsed.key);
  EXPECT_EQ(parsed.problem, GetParam().problem);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadPublicKeyFiles,
    ::testing::Values(
        BadKeyFile{"Empty", "", "is empty"},
        BadKeyFile{"OnlyTheKind", "qrwflash-ed25519\n", "is cut short"},
        BadKeyFile{"NoComment", Replaced(kGoodPublic, " Quarvel-IT release", ""), "is cut short"},
        BadKeyFile{"CutInTheKey", kGoodPublic.substr(0, 40), "is cut short"},
        BadKeyFile{"ASecretKey", kGoodSecret, "is a secret key, not a public key"},
        BadKeyFile{"AnotherKind", "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIB user@host\n",
                   "is not a qrwflash key file"},
        BadKeyFile{"NotText", std::string("qrwflash-ed25519 \x01\x02\x80", 20), "is not text"},
        BadKeyFile{"WindowsLineEnd", Replaced(kGoodPublic, "\n", "\r\n"), "is not text"},
        BadKeyFile{"TrailingRubbish", kGoodPublic + "rubbish\n", "has something after its one line"},
        BadKeyFile{"TwoKeys", kGoodPublic + kGoodPublic, "has something after its one line"},
        BadKeyFile{"TooLarge", std::string(5000, 'a'), "is too large to be a key file"},
        BadKeyFile{"KeyIdNotHex", Replaced(kGoodPublic, kKeyId, "7849AC3049680BEZ"), "holds no valid key id"},
        BadKeyFile{"KeyIdShort", Replaced(kGoodPublic, kKeyId, "7849AC3049680B"), "holds no valid key id"},
        BadKeyFile{"KeyNotBase64", Replaced(kGoodPublic, "11qY", "11q!"), "holds no valid public key"},
        BadKeyFile{"KeyTooShort", Replaced(kGoodPublic, kPublicBase64, "11qYAYKxCrfVS/7TyWQHOg=="),
                   "holds no valid public key"},
        BadKeyFile{"KeyIdOfAnotherKey", Replaced(kGoodPublic, kKeyId, "7849AC3049680BE2"),
                   "has a key id that does not match its key"}),
    [](const ::testing::TestParamInfo<BadKeyFile>& info) { return std::string(info.param.name); });

class BadSecretKeyFiles : public ::testing::TestWithParam<BadKeyFile> {};

TEST_P(BadSecretKeyFiles, RefusedWithTheReason) {
  const Parsed<Seed> parsed = ParseSecretKeyText(GetParam().text);
  EXPECT_FALSE(parsed.key);
  EXPECT_EQ(parsed.problem, GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadSecretKeyFiles,
    ::testing::Values(
        BadKeyFile{"Empty", "", "is empty"},
        BadKeyFile{"APublicKey", kGoodPublic, "is a public key, not a secret key"},
        BadKeyFile{"CutShort", std::string("qrwflash-ed25519-secret ") + kKeyId + "\n", "is cut short"},
        BadKeyFile{"SomethingAfterTheKey", Replaced(kGoodSecret, "\n", " comment\n"),
                   "has something after its key"},
        BadKeyFile{"TrailingRubbish", kGoodSecret + "\n", "has something after its one line"},
        BadKeyFile{"NotText", std::string("\x7F" "ELF\x02\x01", 6), "is not text"},
        BadKeyFile{"SeedNotBase64", Replaced(kGoodSecret, "nWGx", "nWG-"), "holds no valid secret key"},
        BadKeyFile{"KeyIdOfAnotherKey", Replaced(kGoodSecret, kKeyId, "0000000000000000"),
                   "has a key id that does not match its key"}),
    [](const ::testing::TestParamInfo<BadKeyFile>& info) { return std::string(info.param.name); });

TEST(Keys, Comments) {
  EXPECT_FALSE(CommentProblem("Quarvel-IT release 2026"));
  EXPECT_EQ(CommentProblem(""), "a comment cannot be empty");
  EXPECT_EQ(CommentProblem(std::string(65, 'a')), "a comment holds at most 64 characters");
  EXPECT_EQ(CommentProblem("bell\a"), "a comment holds printable ASCII characters only");
}

}  // namespace
}  // namespace signing
