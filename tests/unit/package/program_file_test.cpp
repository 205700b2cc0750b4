// The program-file reader: a program's package found by its key-word and its
// seal record by the marker, each exactly once and inside the file, with
// every problem named; and the generated programs read with the marks built
// into this test (the template package of the build).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/program_file.h"
#include "package/seal.h"
#include "support/bytes.h"
#include "support/key_word.h"
#include "support/synthetic_template.h"
#include "support/temp_folder.h"

namespace package {
namespace {

using testsupport::Bytes;

const SealMarker kMarker = testsupport::TestSealMarker();

// A program file laid out as the linker lays one out: code, the region, data
// holding the seal record.
struct SyntheticProgram {
  Bytes bytes;
  std::size_t k = 0;
  std::size_t sealAt = 0;

  static SyntheticProgram Make() {
    SyntheticProgram p;
    const testsupport::SyntheticTemplate t = testsupport::SyntheticTemplate::Make(5000, 3000);
    p.bytes = t.bytes;
    p.k = t.k;
    p.sealAt = t.sealAt;
    return p;
  }
  std::size_t RegionStart() const { return k - kKeyWordInRegion; }
  void Seal() {
    WriteSeal(bytes.data() + sealAt, PackageView(bytes.data() + RegionStart()));
  }
  ProgramFile Read() const {
    return ReadProgramBytes(bytes, testsupport::TestKeyWord(), kMarker,
                            testsupport::TestSignatureMarker());
  }
};

TEST(ProgramFile, FindsThePackageAndAnEmptySeal) {
  const SyntheticProgram program = SyntheticProgram::Make();
  const ProgramFile file = program.Read();
  ASSERT_EQ(file.problem, ProgramFileProblem::None) << file.message;
  EXPECT_EQ(file.message, "");
  EXPECT_EQ(file.keyWordAt, program.k);
  EXPECT_EQ(file.sealAt, program.sealAt);
  EXPECT_EQ(file.bytes, program.bytes);
  EXPECT_EQ(file.Package().Region(), file.bytes.data() + program.RegionStart());
  EXPECT_EQ(file.Package().Seal(), file.bytes.data() + program.sealAt);
  EXPECT_EQ(file.Package().Model(), "OLD-MODEL");
  EXPECT_EQ(file.seal.state, SealState::Empty);
}

TEST(ProgramFile, SealedProgramIsIntactAndADamagedOneBroken) {
  SyntheticProgram program = SyntheticProgram::Make();
  program.Seal();
  const ProgramFile sealed = program.Read();
  ASSERT_EQ(sealed.problem, ProgramFileProblem::None) << sealed.message;
  EXPECT_EQ(sealed.seal.state, SealState::Intact);
  const std::uint32_t crc = sealed.seal.stored;
  program.bytes[program.k + kImageAreaOffset + 100] ^= 0x80;
  const ProgramFile damaged = program.Read();
  ASSERT_EQ(damaged.problem, ProgramFileProblem::None) << damaged.message;
  EXPECT_EQ(damaged.seal.state, SealState::Broken);
  EXPECT_EQ(damaged.seal.stored, crc);
  EXPECT_NE(damaged.seal.computed, crc);
}

struct ProblemCase {
  const char* name;
  void (*change)(SyntheticProgram&);
  ProgramFileProblem problem;
  const char* message;
};

void Append(Bytes& bytes, const Bytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }

const ProblemCase kProblems[] = {
    {"KeyWordMissing", [](SyntheticProgram& p) { p.bytes[p.k + 3] = 'X'; },
     ProgramFileProblem::KeyWordMissing,
     "the key-word occurs 0 times; a program holds it exactly once"},
    {"KeyWordDoubled",
     [](SyntheticProgram& p) {
       const auto keyWord = testsupport::TestKeyWord();
       std::copy(keyWord.begin(), keyWord.end(), p.bytes.begin() + 100);
     },
     ProgramFileProblem::KeyWordDoubled,
     "the key-word occurs 2 times; a program holds it exactly once"},
    {"PackageCutShortInTheImage",
     [](SyntheticProgram& p) { p.bytes.resize(p.k + kImageAreaOffset + 1000); },
     ProgramFileProblem::PackageTruncated, "the package is truncated"},
    {"PackageEndsOneByteShort",
     [](SyntheticProgram& p) {
       p.bytes.resize(p.k + kHeaderSize + kImageAreaSize - 1);
     },
     ProgramFileProblem::PackageTruncated, "the package is truncated"},
    {"KeyWordTooNearTheStart",
     [](SyntheticProgram& p) { p.bytes.erase(p.bytes.begin(), p.bytes.begin() + p.RegionStart() + 1); },
     ProgramFileProblem::PackageTruncated, "the package is truncated"},
    {"SealMissing",
     [](SyntheticProgram& p) { p.bytes.resize(p.sealAt); },
     ProgramFileProblem::SealMissing, "the seal record is missing; a program holds it exactly once"},
    {"SealDoubled",
     [](SyntheticProgram& p) { Append(p.bytes, Bytes(p.bytes.begin() + p.sealAt, p.bytes.begin() + p.sealAt + 16)); },
     ProgramFileProblem::SealDoubled,
     "the seal record occurs 2 times; a program holds it exactly once"},
    {"SealCutShort",
     [](SyntheticProgram& p) { p.bytes.resize(p.sealAt + kSealSize - 1); },
     ProgramFileProblem::SealTruncated, "the seal record is cut short"},
    {"SealMarkerAtTheVeryEnd",
     [](SyntheticProgram& p) { p.bytes.resize(p.sealAt + kSealMarkerSize); },
     ProgramFileProblem::SealTruncated, "the seal record is cut short"},
    {"SealMarkerOnlyInsideTheImage",
     [](SyntheticProgram& p) {
       p.bytes.resize(p.sealAt);
       std::copy(kMarker.begin(), kMarker.end(), p.bytes.begin() + p.k + kImageAreaOffset + 64);
     },
     ProgramFileProblem::SealMissing,
     "the seal record is missing: its marker occurs only inside the package"},
    {"SealRecordRunningIntoThePackage",
     [](SyntheticProgram& p) {
       p.bytes.resize(p.sealAt);
       std::copy(kMarker.begin(), kMarker.end(), p.bytes.begin() + p.RegionStart() - 10);
     },
     ProgramFileProblem::SealMissing,
     "the seal record is missing: its marker occurs only inside the package"},
};

class ProgramFileProblems : public testing::TestWithParam<ProblemCase> {};

TEST_P(ProgramFileProblems, AreNamedAndNothingIsJudged) {
  SyntheticProgram program = SyntheticProgram::Make();
  program.Seal();
  GetParam().change(program);
  const ProgramFile file = program.Read();
  EXPECT_EQ(file.problem, GetParam().problem);
  EXPECT_EQ(file.message, GetParam().message);
  EXPECT_EQ(file.seal.state, SealState::Empty);
  EXPECT_EQ(file.bytes.size(), program.bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Table, ProgramFileProblems, testing::ValuesIn(kProblems),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramFile, SealRecordRightBeforeTheRegionIsOutsideIt) {
  SyntheticProgram program = SyntheticProgram::Make();
  Bytes record(program.bytes.begin() + program.sealAt, program.bytes.begin() + program.sealAt + 16);
  program.bytes.resize(program.sealAt);
  std::copy(record.begin(), record.end(), program.bytes.begin() + program.RegionStart() - 16);
  const ProgramFile file = program.Read();
  ASSERT_EQ(file.problem, ProgramFileProblem::None) << file.message;
  EXPECT_EQ(file.sealAt, program.RegionStart() - 16);
}

TEST(ProgramFile, UnreadableFileNamesThePath) {
  testsupport::ScratchFolder folder;
  const ProgramFile file = ReadProgramFile(folder / "none.EXE");
  EXPECT_EQ(file.problem, ProgramFileProblem::CannotRead);
  EXPECT_EQ(file.message, "cannot read " + (folder / "none.EXE"));
  const ProgramFile directory = ReadProgramFile(folder.Path().string());
  EXPECT_EQ(directory.problem, ProgramFileProblem::CannotRead);
}

// The generated programs, read with the key-word and marker of the package
// built into this test executable.
std::string Generated(const std::string& name) { return std::string(QRW_FIRMWARE_DIR) + "/" + name; }

TEST(ProgramFile, ReadsTheGeneratedTemplateWithItsEmptySeal) {
  const ProgramFile file = ReadProgramFile(Generated("QRWFLASH.sealed"));
  ASSERT_EQ(file.problem, ProgramFileProblem::None) << file.message;
  EXPECT_EQ(file.keyWordAt, kKeyWordInRegion);
  EXPECT_EQ(file.sealAt, kRegionSize);
  EXPECT_EQ(file.seal.state, SealState::Empty);
}

TEST(ProgramFile, ProblemsOfAFileNameIt) {
  const std::string path = Generated("QRWFLASH.region");
  const ProgramFile file = ReadProgramFile(path);
  EXPECT_EQ(file.problem, ProgramFileProblem::SealMissing);
  EXPECT_EQ(file.message, path + ": the seal record is missing; a program holds it exactly once");
}

}  // namespace
}  // namespace package
