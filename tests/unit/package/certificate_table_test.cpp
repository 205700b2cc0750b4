// Authenticode and the builder: a template signed after it was linked gives
// the very program its unsigned self gives (no certificate table, the
// security directory entry and the checksum zero, the file ending where the
// unsigned build ends); a security directory the builder cannot follow is
// refused with its reason; the reader tells a signed program's table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/builder.h"
#include "package/certificate_table.h"
#include "package/program_file.h"
#include "platform/posix/posix_files.h"
#include "support/build_observer.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/key_word.h"
#include "support/pattern.h"
#include "support/pe_image.h"
#include "support/synthetic_template.h"
#include "support/temp_folder.h"

namespace {

using testsupport::Bytes;
using testsupport::PeImage;
using testsupport::SyntheticTemplate;

const package::ModelTexts kModel = {"QRW-20410C", "QUARVEL QRW-20410C      ", "1.00-1.09",
                                    "Quarvel-IT", "None"};

// The synthetic template as the one section of a PE file.
SyntheticTemplate InPe(SyntheticTemplate t) {
  t.bytes = PeImage::Around(t.bytes);
  t.k += PeImage::kBodyAt;
  t.sealAt += PeImage::kBodyAt;
  return t;
}

// A table as a signer appends one: a WIN_CERTIFICATE header (length,
// revision 2.0, PKCS#7) and its body, in 8-byte units.
Bytes CertificateTable(std::size_t size) {
  Bytes table = testsupport::Pattern(size, 40);
  testsupport::PutLe32(table, 0, static_cast<std::uint32_t>(size));
  testsupport::PutLe16(table, 4, 0x0200);
  testsupport::PutLe16(table, 6, 0x0002);
  return table;
}

struct Built {
  bool ok = false;
  Bytes output;
  testsupport::RecordingObserver observer;
};

Built BuildFrom(const Bytes& templateBytes) {
  testsupport::ScratchFolder folder;
  testsupport::WriteFile(folder / "QRWFLASH.EXE", templateBytes);
  testsupport::WriteFile(folder / "1.10.BIN", testsupport::Pattern(327680, 41));
  package::BuildRequest request;
  request.imagePath = folder / "1.10.BIN";
  request.binFileName = "1.10.BIN";
  request.templatePath = folder / "QRWFLASH.EXE";
  request.outputFolder = folder.Path().string();
  request.model = kModel;
  request.keyWord = testsupport::TestKeyWord();
  request.sealMarker = testsupport::TestSealMarker();
  platform::posix::PosixFiles disk;
  Built built;
  built.ok = package::BuildFlashProgram(request, built.observer, disk);
  built.output = testsupport::ReadFile(folder / "1.10.EXE");
  if (!built.ok) {
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"1.10.BIN", "QRWFLASH.EXE"}));
  }
  return built;
}

TEST(SignedTemplate, BuildsTheProgramOfItsUnsignedSelf) {
  const SyntheticTemplate unsignedTemplate = InPe(SyntheticTemplate::Make());
  Bytes signedTemplate = unsignedTemplate.bytes;
  PeImage::Sign(signedTemplate, CertificateTable(1464), 0x0005AB50);

  const Built plain = BuildFrom(unsignedTemplate.bytes);
  const Built fromSigned = BuildFrom(signedTemplate);
  ASSERT_TRUE(plain.ok);
  ASSERT_TRUE(fromSigned.ok) << fromSigned.observer.failures.front();
  EXPECT_EQ(fromSigned.output.size(), unsignedTemplate.bytes.size());
  EXPECT_TRUE(fromSigned.output == plain.output);
  EXPECT_EQ(testsupport::ToHex(fromSigned.output, PeImage::kSecurityEntryAt, 8), "00 00 00 00 00 00 00 00");
  EXPECT_EQ(testsupport::ToHex(fromSigned.output, PeImage::kChecksumAt, 4), "00 00 00 00");
  // The bar runs over what is copied, step for step as for the unsigned one.
  EXPECT_EQ(fromSigned.observer.starts, plain.observer.starts);
  EXPECT_EQ(fromSigned.observer.steps, plain.observer.steps);
  EXPECT_EQ(fromSigned.observer.captions.back(), "Build 1.10.EXE ok!");
}

// Each way a security directory cannot be followed: its message, and no file.
struct Entry {
  std::uint32_t at;
  std::uint32_t size;
};
struct BadDirectory {
  const char* name;
  // The entry for the template tpl, whose file is end bytes long before
  // appended zero bytes are added.
  Entry (*entry)(const SyntheticTemplate& tpl, std::uint32_t end);
  std::size_t appended;
  std::string problem;  // "@" stands for the entry's address in hex
};

class BadDirectoryTest : public testing::TestWithParam<BadDirectory> {};

TEST_P(BadDirectoryTest, IsRefusedWithItsReason) {
  const BadDirectory& c = GetParam();
  const SyntheticTemplate tpl = InPe(SyntheticTemplate::Make(5000, 4000));
  Bytes bytes = tpl.bytes;
  const Entry entry = c.entry(tpl, static_cast<std::uint32_t>(bytes.size()));
  testsupport::PutLe32(bytes, PeImage::kSecurityEntryAt, entry.at);
  testsupport::PutLe32(bytes, PeImage::kSecurityEntryAt + 4, entry.size);
  bytes.resize(bytes.size() + c.appended, 0);
  std::string problem = c.problem;
  if (const auto at = problem.find('@'); at != std::string::npos)
    problem.replace(at, 1, testsupport::Hex8(entry.at));
  const Built built = BuildFrom(bytes);
  EXPECT_FALSE(built.ok);
  EXPECT_EQ(built.observer.failures,
            std::vector<std::string>{
                "Building fail: cannot leave out the certificate table of QRWFLASH.EXE: " + problem});
}

std::string NameOf(const testing::TestParamInfo<BadDirectory>& info) { return info.param.name; }

constexpr const char* kOutside = "the security directory points outside the file";
constexpr const char* kOdd = "not whole 8-byte certificate entries";

INSTANTIATE_TEST_SUITE_P(
    Cases, BadDirectoryTest,
    testing::Values(
        BadDirectory{"PastTheEnd", [](const SyntheticTemplate&, std::uint32_t end) { return Entry{end, 8}; },
                     0, kOutside},
        BadDirectory{"RunsPastTheEnd",
                     [](const SyntheticTemplate&, std::uint32_t end) { return Entry{end, 16}; }, 8, kOutside},
        // Sums of these wrap in 32 bits.
        BadDirectory{"HugeSize", [](const SyntheticTemplate&, std::uint32_t) { return Entry{0x200, 0xFFFFFFF8}; },
                     0, kOutside},
        BadDirectory{"HugeAddress", [](const SyntheticTemplate&, std::uint32_t) { return Entry{0xFFFFFFF8, 16}; },
                     0, kOutside},
        BadDirectory{"SizeZero", [](const SyntheticTemplate&, std::uint32_t end) { return Entry{end, 0}; }, 8,
                     std::string("the security directory names 0 bytes at 0x@, ") + kOdd},
        BadDirectory{"AddressZero", [](const SyntheticTemplate&, std::uint32_t) { return Entry{0, 8}; }, 0,
                     std::string("the security directory names 8 bytes at 0x@, ") + kOdd},
        BadDirectory{"SizeNotInEights",
                     [](const SyntheticTemplate&, std::uint32_t end) { return Entry{end, 12}; }, 12,
                     std::string("the security directory names 12 bytes at 0x@, ") + kOdd},
        BadDirectory{"AddressNotInEights",
                     [](const SyntheticTemplate&, std::uint32_t end) { return Entry{end + 4, 8}; }, 12,
                     std::string("the security directory names 8 bytes at 0x@, ") + kOdd},
        BadDirectory{"NotAtTheEnd", [](const SyntheticTemplate&, std::uint32_t end) { return Entry{end, 8}; },
                     16, "the certificate table does not end the file"},
        BadDirectory{"HoldsTheHeaders",
                     [](const SyntheticTemplate&, std::uint32_t end) {
                       const auto at = static_cast<std::uint32_t>(PeImage::kSecurityEntryAt & ~7u);
                       return Entry{at, end - at};
                     },
                     0, "the certificate table holds the PE headers that name it"},
        BadDirectory{"OverlapsThePackage",
                     [](const SyntheticTemplate& t, std::uint32_t end) {
                       const auto at = static_cast<std::uint32_t>((t.ImageArea() + 4096) & ~std::size_t{7});
                       return Entry{at, end - at};
                     },
                     0, "the certificate table or its directory entry overlaps the package"},
        BadDirectory{"OverlapsTheSeal",
                     [](const SyntheticTemplate& t, std::uint32_t end) {
                       const auto at = static_cast<std::uint32_t>(t.sealAt & ~std::size_t{7});
                       return Entry{at, end - at};
                     },
                     0, "the certificate table or its directory entry overlaps the seal record"}),
    NameOf);

// The PE headers as FindCertificateTable reads them, one variation each.
struct HeaderCase {
  const char* name;
  void (*change)(Bytes& file);
  package::CertificateTableState state;
};

TEST(FindCertificateTable, ReadsTheSecurityDirectoryOfEitherKindOfHeader) {
  constexpr std::size_t kTable = 64;
  const HeaderCase cases[] = {
      {"signed PE32", [](Bytes&) {}, package::CertificateTableState::Present},
      {"signed PE32+: the directories 16 bytes further",
       [](Bytes& f) {
         testsupport::PutLe16(f, PeImage::kOptionalAt, 0x20B);
         std::copy_n(f.begin() + PeImage::kSecurityEntryAt, 8, f.begin() + PeImage::kSecurityEntryAt + 16);
         std::fill_n(f.begin() + PeImage::kSecurityEntryAt, 8, 0);
         testsupport::PutLe32(f, PeImage::kDirectoryCountAt + 16, 16);
       },
       package::CertificateTableState::Present},
      {"four directories: none is the security directory",
       [](Bytes& f) { testsupport::PutLe32(f, PeImage::kDirectoryCountAt, 4); },
       package::CertificateTableState::None},
      {"an optional header too short to hold it",
       [](Bytes& f) { testsupport::PutLe16(f, PeImage::kPeAt + 20, 96 + 4 * 8); },
       package::CertificateTableState::None},
      {"an unknown optional header", [](Bytes& f) { testsupport::PutLe16(f, PeImage::kOptionalAt, 0x107); },
       package::CertificateTableState::None},
      {"no PE signature: a DOS program", [](Bytes& f) { f[PeImage::kPeAt + 1] = 'X'; },
       package::CertificateTableState::None},
      {"e_lfanew past the end", [](Bytes& f) { testsupport::PutLe32(f, 0x3C, 0xFFFFFFFE); },
       package::CertificateTableState::None},
      {"headers cut short before the entry",
       [](Bytes& f) {
         testsupport::PutLe32(f, 0x3C, static_cast<std::uint32_t>(f.size() - 100));
         testsupport::PutText(f, f.size() - 100, std::string("PE\0\0", 4));
         testsupport::PutLe16(f, f.size() - 100 + 20, 224);
         testsupport::PutLe16(f, f.size() - 100 + 24, 0x10B);
       },
       package::CertificateTableState::Unusable},
  };
  for (const HeaderCase& c : cases) {
    Bytes file = PeImage::Around(testsupport::Pattern(3000, 42));
    const auto tableAt = static_cast<std::uint32_t>(file.size());
    PeImage::Sign(file, CertificateTable(kTable), 0x1234);
    c.change(file);
    const package::CertificateTable table = package::FindCertificateTable(file.data(), file.size());
    EXPECT_EQ(table.state, c.state) << c.name;
    if (c.state == package::CertificateTableState::Present) {
      EXPECT_EQ(table.at, tableAt) << c.name;
      EXPECT_EQ(table.size, kTable) << c.name;
    }
    if (c.state == package::CertificateTableState::Unusable) {
      EXPECT_EQ(package::CertificateProblemText(table),
                "the PE headers are cut short before the security directory");
    }
  }
}

// A program signed after it was built reads as before, its table told.
TEST(ProgramFileOfASignedProgram, ReadsThePackageAndTellsTheTable) {
  SyntheticTemplate program = InPe(SyntheticTemplate::Make(5000, 3000));
  package::WriteSeal(program.bytes.data() + program.sealAt,
                     package::PackageView(program.bytes.data() + program.RegionStart()));
  const std::size_t unsignedSize = program.bytes.size();
  PeImage::Sign(program.bytes, CertificateTable(1464), 0x0005AB50);
  const package::ProgramFile file = package::ReadProgramBytes(
      program.bytes, testsupport::TestKeyWord(), testsupport::TestSealMarker(),
      testsupport::TestSignatureMarker());
  ASSERT_EQ(file.problem, package::ProgramFileProblem::None) << file.message;
  EXPECT_EQ(file.keyWordAt, program.k);
  EXPECT_EQ(file.seal.state, package::SealState::Intact);
  EXPECT_EQ(file.certificates.state, package::CertificateTableState::Present);
  EXPECT_EQ(file.certificates.at, unsignedSize);
  EXPECT_EQ(file.certificates.size, 1464u);
}

}  // namespace
