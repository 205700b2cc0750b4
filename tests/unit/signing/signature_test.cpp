// A program's signature: good as signed, and a mismatch wherever a byte it
// covers (or the record itself) changes; what qrwflash makes of each state
// with and without trusted keys; and which key files it trusts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "package/program_file.h"
#include "package/seal.h"
#include "signing/program_signature.h"
#include "signing/trust.h"
#include "support/bytes.h"
#include "support/key_word.h"
#include "support/synthetic_template.h"
#include "support/temp_folder.h"

namespace signing {
namespace {

using testsupport::Bytes;

Seed SeedOf(std::uint8_t fill) {
  Seed seed;
  seed.fill(fill);
  return seed;
}

// A synthetic program, sealed and signed by the key of seed 1.
struct SignedProgram {
  testsupport::SyntheticTemplate t = testsupport::SyntheticTemplate::Make(5000, 3000);

  SignedProgram() {
    t.bytes[t.ImageArea()] = 0x42;  // no longer a template
    package::WriteSeal(t.bytes.data() + t.sealAt, package::PackageView(t.bytes.data() + t.RegionStart()));
    KeySigner(SeedOf(1)).Sign(package::PackageView(t.bytes.data() + t.RegionStart(), t.bytes.data() + t.sealAt),
                              t.bytes.data() + t.signatureAt);
  }
  SignatureCheck Check() const {
    const package::ProgramFile file = package::ReadProgramBytes(
        t.bytes, testsupport::TestKeyWord(), testsupport::TestSealMarker(), testsupport::TestSignatureMarker());
    EXPECT_EQ(file.problem, package::ProgramFileProblem::None) << file.message;
    return CheckSignature(file.Package());
  }
};

TEST(ProgramSignature, GoodAsSignedWithTheSignersKey) {
  const SignedProgram program;
  const SignatureCheck check = program.Check();
  EXPECT_EQ(check.state, SignatureState::Good);
  EXPECT_TRUE(check.hasRecord);
  const SecretKey key(SeedOf(1));
  EXPECT_EQ(check.keyId, key.KeyId());
  EXPECT_EQ(check.publicKey, key.PublicKey());
}

TEST(ProgramSignature, EmptyAndMissingRecordsAreUnsigned) {
  testsupport::SyntheticTemplate t = testsupport::SyntheticTemplate::Make(5000, 3000);
  const package::PackageView sealed(t.bytes.data() + t.RegionStart(), t.bytes.data() + t.sealAt);
  const SignatureCheck missing = CheckSignature(sealed);
  EXPECT_EQ(missing.state, SignatureState::Unsigned);
  EXPECT_FALSE(missing.hasRecord);
  const SignatureCheck empty = CheckSignature(
      package::PackageView(sealed.Region(), sealed.Seal(), t.bytes.data() + t.signatureAt));
  EXPECT_EQ(empty.state, SignatureState::Unsigned);
  EXPECT_TRUE(empty.hasRecord);
}

struct Flip {
  const char* name;
  std::function<std::size_t(const testsupport::SyntheticTemplate&)> at;
};

class FlippedByte : public ::testing::TestWithParam<Flip> {};

TEST_P(FlippedByte, NoLongerMatchesAndKeepsTheRecordsKeyId) {
  SignedProgram program;
  const package::KeyId signer = SecretKey(SeedOf(1)).KeyId();
  program.t.bytes[GetParam().at(program.t)] ^= 0x01;
  const SignatureCheck check = program.Check();
  EXPECT_EQ(check.state, SignatureState::Mismatch);
  if (std::string(GetParam().name) != "KeyId") {
    EXPECT_EQ(check.keyId, signer);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FlippedByte,
    ::testing::Values(
        Flip{"Image", [](const auto& t) { return t.ImageArea() + 0x20000; }},
        Flip{"ModelText", [](const auto& t) { return t.k + package::kModelOffset + 2; }},
        Flip{"ProfileBlock", [](const auto& t) { return t.RegionStart() + 10; }},
        Flip{"SealCrc", [](const auto& t) { return t.sealAt + package::kSealCrcOffset; }},
        Flip{"SealComplement", [](const auto& t) { return t.sealAt + package::kSealComplementOffset + 3; }},
        Flip{"KeyId", [](const auto& t) { return t.signatureAt + package::kRecordKeyIdOffset + 3; }},
        Flip{"PublicKey", [](const auto& t) { return t.signatureAt + package::kRecordPublicKeyOffset; }},
        Flip{"SignatureFirst", [](const auto& t) { return t.signatureAt + package::kRecordSignatureOffset; }},
        Flip{"SignatureLast", [](const auto& t) { return t.signatureAt + package::kSignatureRecordSize - 1; }}),
    [](const ::testing::TestParamInfo<Flip>& info) { return std::string(info.param.name); });

TEST(ProgramSignature, ASignatureMadeForAnotherKeyIdDoesNotMatch) {
  // The record's key and signature kept, its key id that of another key
  // whose id the record cannot prove: a mismatch, never "signed by".
  SignedProgram program;
  const package::KeyId other = SecretKey(SeedOf(2)).KeyId();
  std::copy(other.begin(), other.end(), program.t.bytes.begin() +
                                            static_cast<std::ptrdiff_t>(program.t.signatureAt + 8));
  EXPECT_EQ(program.Check().state, SignatureState::Mismatch);
}

// -- what qrwflash makes of it --------------------------------------------------

Trust TrustOf(std::initializer_list<std::uint8_t> seeds, bool configured) {
  Trust trust;
  trust.configured = configured;
  for (std::uint8_t seed : seeds) {
    const SecretKey key(SeedOf(seed));
    trust.keys.push_back({"k" + std::to_string(seed) + ".pub",
                          {key.PublicKey(), key.KeyId(), "Maker " + std::to_string(seed)}});
  }
  return trust;
}

SignatureCheck CheckOf(SignatureState state, std::uint8_t seed, bool hasRecord = true) {
  const SecretKey key(SeedOf(seed));
  return {state, hasRecord, key.KeyId(), key.PublicKey()};
}

struct JudgeCase {
  const char* name;
  SignatureCheck check;
  Trust trust;
  bool yes;
  bool allowUntrusted;
  Verdict verdict;
  std::string line;
  std::string reason;
};

class Judging : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(Judging, VerdictAndLines) {
  const JudgeCase& c = GetParam();
  const Judgement judgement = Judge(c.check, c.trust, "P.EXE", c.yes, c.allowUntrusted);
  EXPECT_EQ(judgement.verdict, c.verdict);
  EXPECT_EQ(judgement.line, c.line);
  EXPECT_EQ(judgement.reason, c.reason);
}

const std::string kId1 = package::KeyIdText(SecretKey(SeedOf(1)).KeyId());
const std::string kNotTrusted = "Signed by key " + kId1 + ", which this system does not trust.";
const std::string kUnsigned = "This flash program is not signed.";
const std::string kRefused = "not signed by a trusted key: pass --allow-untrusted to flash it anyway";

INSTANTIATE_TEST_SUITE_P(
    Table, Judging,
    ::testing::Values(
        JudgeCase{"TrustedAndGood", CheckOf(SignatureState::Good, 1), TrustOf({1}, true), false, false,
                  Verdict::Go, "Signed by Maker 1 (key " + kId1 + ").", ""},
        JudgeCase{"TrustedSecondOfTwo", CheckOf(SignatureState::Good, 1), TrustOf({2, 1}, true), true, false,
                  Verdict::Go, "Signed by Maker 1 (key " + kId1 + ").", ""},
        JudgeCase{"GoodNoKeyTrusted", CheckOf(SignatureState::Good, 1), TrustOf({}, false), true, false,
                  Verdict::Go, kNotTrusted, ""},
        JudgeCase{"GoodOtherKeyTrusted", CheckOf(SignatureState::Good, 1), TrustOf({2}, true), false, false,
                  Verdict::Ask, kNotTrusted, ""},
        JudgeCase{"UnsignedNoKeyTrusted", CheckOf(SignatureState::Unsigned, 0), TrustOf({}, false), true,
                  false, Verdict::Go, kUnsigned, ""},
        JudgeCase{"UnsignedKeyTrusted", CheckOf(SignatureState::Unsigned, 0), TrustOf({2}, true), false,
                  false, Verdict::Ask, kUnsigned, ""},
        JudgeCase{"UnsignedYesAlone", CheckOf(SignatureState::Unsigned, 0), TrustOf({2}, true), true, false,
                  Verdict::Refuse, kUnsigned, kRefused},
        JudgeCase{"UnsignedAllowUntrusted", CheckOf(SignatureState::Unsigned, 0), TrustOf({2}, true), true,
                  true, Verdict::Go, kUnsigned, ""},
        JudgeCase{"ConfiguredButNoKeyUsable", CheckOf(SignatureState::Unsigned, 0), TrustOf({}, true), true,
                  false, Verdict::Refuse, kUnsigned, kRefused},
        JudgeCase{"NoRecord", CheckOf(SignatureState::Unsigned, 0, false), TrustOf({}, false), false, false,
                  Verdict::Go, "This flash program is not signed (it has no signature record).", ""},
        JudgeCase{"MismatchTrustedKey", CheckOf(SignatureState::Mismatch, 1), TrustOf({1}, true), false,
                  true, Verdict::Changed, "",
                  "P.EXE was changed after it was signed (key " + kId1 + "): get a fresh copy"},
        JudgeCase{"MismatchNothingConfigured", CheckOf(SignatureState::Mismatch, 1), TrustOf({}, false),
                  false, false, Verdict::Changed, "",
                  "P.EXE was changed after it was signed (key " + kId1 + "): get a fresh copy"}),
    [](const ::testing::TestParamInfo<JudgeCase>& info) { return std::string(info.param.name); });

// -- which key files are trusted -------------------------------------------------

class TrustFolder : public ::testing::Test {
 protected:
  testsupport::ScratchFolder scratch{"qrw-trust"};
  std::filesystem::path root = scratch.Path() / "root";
  std::filesystem::path folder = root / "etc/qrwflash/trusted.d";

  void SetUp() override {
    std::filesystem::create_directories(folder);
    for (auto p = folder; p != scratch.Path(); p = p.parent_path()) chmod(p.c_str(), 0755);
    chmod(scratch.Path().c_str(), 0755);
  }
  std::string WriteKey(const std::filesystem::path& path, std::uint8_t seed, const std::string& comment) {
    const SecretKey key(SeedOf(seed));
    std::ofstream(path) << PublicKeyText({key.PublicKey(), key.KeyId(), comment});
    chmod(path.c_str(), 0644);
    return path.string();
  }
  Trust Load(const std::vector<std::string>& files = {}) { return LoadTrust(root.string(), files); }
};

TEST_F(TrustFolder, KeysInNameOrderAndOnlyPubFiles) {
  WriteKey(folder / "b.pub", 2, "Second");
  WriteKey(folder / "a.pub", 1, "First");
  WriteKey(folder / "c.pub.off", 3, "Off");
  const Trust trust = Load();
  EXPECT_TRUE(trust.configured);
  ASSERT_EQ(trust.keys.size(), 2u);
  EXPECT_EQ(trust.keys[0].key.comment, "First");
  EXPECT_EQ(trust.keys[1].key.comment, "Second");
  EXPECT_TRUE(trust.problems.empty());
}

TEST_F(TrustFolder, NoKeyFileIsNotConfigured) {
  EXPECT_FALSE(Load().configured);
  std::filesystem::remove_all(root / "etc/qrwflash");
  const Trust notInstalled = Load();
  EXPECT_FALSE(notInstalled.configured);
  EXPECT_TRUE(notInstalled.problems.empty());
}

TEST_F(TrustFolder, WritableByOthersIsNotTrustedButConfigured) {
  const std::string path = WriteKey(folder / "maker.pub", 1, "Maker");
  chmod(path.c_str(), 0666);
  const Trust trust = Load();
  EXPECT_TRUE(trust.configured);
  EXPECT_TRUE(trust.keys.empty());
  EXPECT_EQ(trust.problems,
            std::vector<std::string>{"not trusting " + path + ": users other than root and its owner may write it"});
}

TEST_F(TrustFolder, AFolderWritableByOthersTrustsNothingInIt) {
  WriteKey(folder / "maker.pub", 1, "Maker");
  chmod((root / "etc/qrwflash").c_str(), 0777);
  const Trust trust = Load();
  EXPECT_TRUE(trust.configured);
  EXPECT_TRUE(trust.keys.empty());
  EXPECT_EQ(trust.problems,
            std::vector<std::string>{"not trusting " + folder.string() +
                                     ": users other than root and its owner may write its folder " +
                                     (root / "etc/qrwflash").string()});
}

TEST_F(TrustFolder, TrustedFolderMissingOrAFile) {
  std::filesystem::remove(folder);
  Trust trust = Load();
  EXPECT_FALSE(trust.configured);
  EXPECT_EQ(trust.problems, std::vector<std::string>{"not trusting " + folder.string() + ": it does not exist"});
  std::ofstream(folder.string()) << "x";
  trust = Load();
  EXPECT_TRUE(trust.keys.empty());
  EXPECT_EQ(trust.problems, std::vector<std::string>{"not trusting " + folder.string() + ": it is not a folder"});
}

TEST_F(TrustFolder, BadKeyFilesAndTrustOptions) {
  std::ofstream((folder / "empty.pub").string()) << "";
  chmod((folder / "empty.pub").c_str(), 0644);
  const std::string extra = WriteKey(scratch.Path() / "extra.pub", 4, "Extra");
  const std::string missing = (scratch.Path() / "missing.pub").string();
  const Trust trust = Load({extra, missing});
  EXPECT_TRUE(trust.configured);
  ASSERT_EQ(trust.keys.size(), 1u);
  EXPECT_EQ(trust.keys[0].key.comment, "Extra");
  EXPECT_EQ(trust.problems, (std::vector<std::string>{
                                "not trusting " + (folder / "empty.pub").string() + ": it is empty",
                                "not trusting " + missing + ": cannot find it"}));
}

}  // namespace
}  // namespace signing
