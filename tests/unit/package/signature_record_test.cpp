// The signature record: its bytes field by field, what a signature covers,
// and how the program-file reader finds the record (once, whole, apart from
// the region and the seal) or tells a program from before signatures.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "package/program_file.h"
#include "package/signature_record.h"
#include "support/bytes.h"
#include "support/key_word.h"
#include "support/pattern.h"
#include "support/synthetic_template.h"

namespace package {
namespace {

using testsupport::Bytes;
using testsupport::Hex;

TEST(SignatureRecord, FieldsLieAtTheirOffsets) {
  Bytes record(kSignatureRecordSize, 0);
  std::memcpy(record.data(), "QRWSIGN1", 8);
  KeyId id;
  PublicKey publicKey;
  SignatureBytes signature;
  for (std::size_t i = 0; i < id.size(); ++i) id[i] = static_cast<std::uint8_t>(0xA0 + i);
  for (std::size_t i = 0; i < publicKey.size(); ++i) publicKey[i] = static_cast<std::uint8_t>(i);
  for (std::size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<std::uint8_t>(0x80 + i);
  WriteSignatureRecord(record.data(), id, publicKey, signature);
  EXPECT_EQ(Bytes(record.begin(), record.begin() + 16), Hex("51 52 57 53 49 47 4E 31 A0 A1 A2 A3 A4 A5 A6 A7"));
  EXPECT_EQ(record[16], 0x00);
  EXPECT_EQ(record[47], 0x1F);
  EXPECT_EQ(record[48], 0x80);
  EXPECT_EQ(record[111], 0xBF);
  const SignatureFields fields = ReadSignatureRecord(record.data());
  EXPECT_FALSE(fields.empty);
  EXPECT_EQ(fields.keyId, id);
  EXPECT_EQ(fields.publicKey, publicKey);
  EXPECT_EQ(fields.signature, signature);
  EXPECT_EQ(KeyIdText(id), "A0A1A2A3A4A5A6A7");
  ClearSignatureRecord(record.data());
  EXPECT_EQ(Bytes(record.begin(), record.begin() + 8), Hex("51 52 57 53 49 47 4E 31"));
  EXPECT_TRUE(ReadSignatureRecord(record.data()).empty);
}

TEST(SignatureRecord, AnyByteAfterTheMarkerMakesItNonEmpty) {
  for (std::size_t at : {8u, 15u, 16u, 47u, 48u, 111u}) {
    Bytes record(kSignatureRecordSize, 0);
    record[at] = 1;
    EXPECT_FALSE(ReadSignatureRecord(record.data()).empty) << "byte " << at;
  }
  Bytes markerOnly(kSignatureRecordSize, 0);
  std::memset(markerOnly.data(), 0xFF, kSignatureMarkerSize);
  EXPECT_TRUE(ReadSignatureRecord(markerOnly.data()).empty);
}

TEST(SignatureRecord, TheMessageIsPrefixKeyIdRegionAndSeal) {
  const Bytes region = testsupport::Pattern(kRegionSize, 7);
  const Bytes seal = testsupport::Pattern(kSealSize, 8);
  const KeyId id{1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<std::uint8_t> message = SignedMessage(PackageView(region.data(), seal.data()), id);
  const std::string prefix = "qrwflash signed flash program v1";
  ASSERT_EQ(message.size(), prefix.size() + 1 + 8 + kRegionSize + kSealSize);
  EXPECT_EQ(std::string(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(prefix.size())),
            prefix);
  std::size_t at = prefix.size();
  EXPECT_EQ(message[at], 0);
  EXPECT_EQ(Bytes(message.begin() + static_cast<std::ptrdiff_t>(at + 1),
                  message.begin() + static_cast<std::ptrdiff_t>(at + 9)),
            Bytes(id.begin(), id.end()));
  at += 9;
  EXPECT_EQ(Bytes(message.begin() + static_cast<std::ptrdiff_t>(at),
                  message.begin() + static_cast<std::ptrdiff_t>(at + kRegionSize)),
            region);
  EXPECT_EQ(Bytes(message.end() - static_cast<std::ptrdiff_t>(kSealSize), message.end()), seal);
}

// -- the reader ---------------------------------------------------------------

ProgramFile Read(const Bytes& bytes) {
  return ReadProgramBytes(bytes, testsupport::TestKeyWord(), testsupport::TestSealMarker(),
                          testsupport::TestSignatureMarker());
}

TEST(SignatureRecordReader, FindsTheRecordBesideTheSeal) {
  const testsupport::SyntheticTemplate t = testsupport::SyntheticTemplate::Make(5000, 3000);
  const ProgramFile file = Read(t.bytes);
  ASSERT_EQ(file.problem, ProgramFileProblem::None) << file.message;
  EXPECT_EQ(file.signatureAt, t.signatureAt);
  EXPECT_EQ(file.Package().Signature(), file.bytes.data() + t.signatureAt);
}

struct ReaderCase {
  const char* name;
  std::function<void(testsupport::SyntheticTemplate&)> change;
  ProgramFileProblem problem;
  bool found;  // with problem None: whether the record counts
  const char* message;
};

class SignatureRecordReaderCases : public ::testing::TestWithParam<ReaderCase> {};

void PutMarker(Bytes& bytes, std::size_t at) {
  const SignatureMarker marker = testsupport::TestSignatureMarker();
  std::copy(marker.begin(), marker.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST_P(SignatureRecordReaderCases, TellsWhatIsWrong) {
  const ReaderCase& c = GetParam();
  testsupport::SyntheticTemplate t = testsupport::SyntheticTemplate::Make(5000, 3000);
  c.change(t);
  const ProgramFile file = Read(t.bytes);
  EXPECT_EQ(file.problem, c.problem);
  EXPECT_EQ(file.message, c.message);
  if (c.problem == ProgramFileProblem::None) {
    EXPECT_EQ(file.signatureAt != kNoSignatureRecord, c.found);
    EXPECT_EQ(file.Package().Signature() != nullptr, c.found);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SignatureRecordReaderCases,
    ::testing::Values(
        ReaderCase{"Missing",
                   [](auto& t) { std::memset(t.bytes.data() + t.signatureAt, 0, kSignatureMarkerSize); },
                   ProgramFileProblem::None, false, ""},
        ReaderCase{"Doubled", [](auto& t) { PutMarker(t.bytes, t.signatureAt + 300); },
                   ProgramFileProblem::SignatureDoubled,
                   false, "the signature record occurs 2 times; a program holds it exactly once"},
        ReaderCase{"CutShort", [](auto& t) { t.bytes.resize(t.signatureAt + kSignatureRecordSize - 1); },
                   ProgramFileProblem::SignatureTruncated, false, "the signature record is cut short"},
        ReaderCase{"MarkerAtTheVeryEnd", [](auto& t) { t.bytes.resize(t.signatureAt + kSignatureMarkerSize); },
                   ProgramFileProblem::SignatureTruncated, false, "the signature record is cut short"},
        ReaderCase{"WholeAtTheVeryEnd", [](auto& t) { t.bytes.resize(t.signatureAt + kSignatureRecordSize); },
                   ProgramFileProblem::None, true, ""},
        ReaderCase{"OnlyInsideTheImage",
                   [](auto& t) {
                     std::memset(t.bytes.data() + t.signatureAt, 0, kSignatureMarkerSize);
                     PutMarker(t.bytes, t.ImageArea() + 100);
                   },
                   ProgramFileProblem::None, false, ""},
        ReaderCase{"OverlappingTheSealRecord",
                   [](auto& t) {
                     std::memset(t.bytes.data() + t.signatureAt, 0, kSignatureMarkerSize);
                     PutMarker(t.bytes, t.sealAt - 50);
                   },
                   ProgramFileProblem::None, false, ""},
        ReaderCase{"RightAfterTheSealRecord",
                   [](auto& t) {
                     std::memset(t.bytes.data() + t.signatureAt, 0, kSignatureMarkerSize);
                     PutMarker(t.bytes, t.sealAt + kSealSize);
                   },
                   ProgramFileProblem::None, true, ""}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace package
