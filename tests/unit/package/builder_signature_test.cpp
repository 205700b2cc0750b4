// The builder and the template's signature record: every output carries the
// record empty (the window has no key) or filled by the request's signer over
// the output's own region and seal; a template without exactly one record is
// refused. Everything else is the output it always was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/builder.h"
#include "package/seal.h"
#include "platform/posix/posix_files.h"
#include "support/build_observer.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/key_word.h"
#include "support/pattern.h"
#include "support/synthetic_template.h"
#include "support/temp_folder.h"

namespace {

using testsupport::Bytes;

// Writes a recognisable record and keeps what it was given to sign.
class RecordingSigner : public package::RecordSigner {
 public:
  void Sign(const package::PackageView& sealed, std::uint8_t* record) const override {
    region.assign(sealed.Region(), sealed.Region() + package::kRegionSize);
    seal.assign(sealed.Seal(), sealed.Seal() + package::kSealSize);
    recordSeen.assign(record, record + package::kSignatureRecordSize);
    for (std::size_t i = package::kSignatureMarkerSize; i < package::kSignatureRecordSize; ++i)
      record[i] = static_cast<std::uint8_t>(i);
  }
  mutable Bytes region, seal, recordSeen;
};

class BuilderSignature : public testing::Test {
 public:
  testsupport::ScratchFolder folder;
  platform::posix::PosixFiles disk;
  testsupport::RecordingObserver observer;
  testsupport::SyntheticTemplate tpl = testsupport::SyntheticTemplate::Make();
  const Bytes image = testsupport::Pattern(327680, 5);

  bool Build(bool withMarker, const package::RecordSigner* signer = nullptr) {
    testsupport::WriteFile(folder / "QRWFLASH.EXE", tpl.bytes);
    testsupport::WriteFile(folder / "1.10.BIN", image);
    package::BuildRequest request;
    request.imagePath = folder / "1.10.BIN";
    request.binFileName = "1.10.BIN";
    request.templatePath = folder / "QRWFLASH.EXE";
    request.outputFolder = folder.Path().string();
    request.model = {"QRW-20410C", "QUARVEL QRW-20410C      ", "1.00-1.09", "Quarvel-IT", "None"};
    request.keyWord = testsupport::TestKeyWord();
    request.sealMarker = testsupport::TestSealMarker();
    if (withMarker) request.signatureMarker = testsupport::TestSignatureMarker();
    request.signer = signer;
    observer = {};
    return package::BuildFlashProgram(request, observer, disk);
  }
  Bytes Output() const { return testsupport::ReadFile(folder / "1.10.EXE"); }
  Bytes RecordOf(const Bytes& bytes) const {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(tpl.signatureAt),
                 bytes.begin() + static_cast<std::ptrdiff_t>(tpl.signatureAt + package::kSignatureRecordSize));
  }
  void PutRecordBytes(std::uint8_t value) {
    std::fill_n(tpl.bytes.begin() + static_cast<std::ptrdiff_t>(tpl.signatureAt + 8), 104, value);
  }
};

TEST_F(BuilderSignature, TheWindowsBuildEmptiesARecordTheTemplateFilled) {
  PutRecordBytes(0x5A);
  ASSERT_TRUE(Build(false));
  const Bytes copied = Output();
  const int steps = observer.steps;
  ASSERT_TRUE(Build(true));
  const Bytes out = Output();
  Bytes empty(package::kSignatureRecordSize, 0);
  const auto marker = testsupport::TestSignatureMarker();
  std::copy(marker.begin(), marker.end(), empty.begin());
  EXPECT_EQ(RecordOf(out), empty);
  // Everything but the record is the output it always was, step for step.
  Bytes expected = copied;
  std::copy(empty.begin(), empty.end(), expected.begin() + static_cast<std::ptrdiff_t>(tpl.signatureAt));
  EXPECT_TRUE(out == expected);
  EXPECT_EQ(observer.steps, steps);
}

TEST_F(BuilderSignature, ASignerSignsTheOutputsRegionAndSeal) {
  PutRecordBytes(0x5A);
  RecordingSigner signer;
  ASSERT_TRUE(Build(true, &signer));
  const Bytes out = Output();
  EXPECT_EQ(signer.region, Bytes(out.begin() + static_cast<std::ptrdiff_t>(tpl.RegionStart()),
                                 out.begin() + static_cast<std::ptrdiff_t>(tpl.RegionStart() + package::kRegionSize)));
  EXPECT_EQ(signer.seal, Bytes(out.begin() + static_cast<std::ptrdiff_t>(tpl.sealAt),
                               out.begin() + static_cast<std::ptrdiff_t>(tpl.sealAt + package::kSealSize)));
  EXPECT_EQ(package::CheckSeal(package::PackageView(out.data() + tpl.RegionStart(), out.data() + tpl.sealAt)).state,
            package::SealState::Intact);
  // The signer is handed an empty record, never the template's.
  EXPECT_EQ(Bytes(signer.recordSeen.begin() + 8, signer.recordSeen.end()), Bytes(104, 0));
  const Bytes record = RecordOf(out);
  for (std::size_t i = 8; i < record.size(); ++i) ASSERT_EQ(record[i], i) << "record byte " << i;
}

TEST_F(BuilderSignature, ATemplateWithoutExactlyOneRecordIsRefused) {
  const Bytes original = tpl.bytes;
  std::fill_n(tpl.bytes.begin() + static_cast<std::ptrdiff_t>(tpl.signatureAt), 8, 0);
  EXPECT_FALSE(Build(true));
  EXPECT_EQ(observer.failures, std::vector<std::string>{"Building fail: not found signature record in QRWFLASH.EXE"});
  tpl.bytes = original;
  const auto marker = testsupport::TestSignatureMarker();
  std::copy(marker.begin(), marker.end(), tpl.bytes.begin() + static_cast<std::ptrdiff_t>(tpl.signatureAt + 400));
  EXPECT_FALSE(Build(true));
  EXPECT_EQ(observer.failures,
            std::vector<std::string>{"Building fail: the signature record occurs 2 times in QRWFLASH.EXE"});
  tpl.bytes = original;
  tpl.bytes.resize(tpl.signatureAt + 50);
  EXPECT_FALSE(Build(true));
  EXPECT_EQ(observer.failures, std::vector<std::string>{"Building fail: some problem in QRWFLASH.EXE"});
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"1.10.BIN", "QRWFLASH.EXE"}));
}

}  // namespace
