// The flash program builder on synthetic templates laid out as the
// program's file, against a literal model of the builder's step-by-step copy
// (byte for byte, progress step for step).
#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

#include "package/builder.h"
#include "package/package_texts.h"
#include "package/seal.h"
#include "platform/posix/posix_files.h"
#include "support/build_observer.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/key_word.h"
#include "support/pattern.h"
#include "support/sealed_output.h"
#include "support/synthetic_template.h"
#include "support/temp_folder.h"

namespace {

using testsupport::Bytes;
using testsupport::RecordingObserver;
using testsupport::ScratchFolder;
using testsupport::SyntheticTemplate;

const package::ModelTexts kModel = {"QRW-20412C", "QUARVEL QRW-20412C      ", "2.00-2.05",
                                    "Quarvel-IT", "FLASH-ALL"};

// The 133 bytes from K+15: five 25-byte texts with a zero byte and zero
// filler, the upper-cased first five characters of the name, three zeros.
Bytes HeaderFor(const package::ModelTexts& model, const std::string& name) {
  Bytes header(133, 0);
  testsupport::PutText(header, 0, model.Model);
  testsupport::PutText(header, 25, model.Inquiry);
  testsupport::PutText(header, 50, model.FwRange);
  testsupport::PutText(header, 75, model.Vendor);
  testsupport::PutText(header, 100, model.Note);
  for (std::size_t i = 0; i < 5 && i < name.size(); ++i)
    header[125 + i] = static_cast<std::uint8_t>(std::toupper(static_cast<unsigned char>(name[i])));
  return header;
}

// The builder's copy written out plainly: one byte at a time, a progress
// step at every multiple of 1024, and a key-word scan that never backs up.
struct Reference {
  bool found = false;
  Bytes output;
  int steps = 0;
};

Reference StepByStepCopy(const Bytes& tpl, const Bytes& header, const Bytes& image) {
  const auto keyWord = testsupport::TestKeyWord();
  Reference r;
  const std::size_t size = tpl.size();
  std::size_t j = 0;
  std::size_t m = 0;
  for (; j < size; ++j) {
    r.output.push_back(tpl[j]);
    if (j % 1024 == 0) ++r.steps;
    if (tpl[j] == keyWord[m]) {
      if (++m == 15) break;
    } else {
      m = 0;
    }
  }
  if (j == size) return r;
  r.found = true;
  r.output.insert(r.output.end(), header.begin(), header.end());
  r.output.insert(r.output.end(), image.begin(), image.end());
  r.steps += static_cast<int>(image.size() / 1024);
  j += 133 + image.size();
  for (; j < size - 1; ++j) {
    r.output.push_back(tpl[j + 1]);
    if (j % 1024 == 0) ++r.steps;
  }
  return r;
}

class BuilderTest : public testing::Test {
 public:
  ScratchFolder folder;
  platform::posix::PosixFiles disk;
  RecordingObserver observer;
  SyntheticTemplate tpl = SyntheticTemplate::Make();

  std::string TemplatePath() const { return folder / "QRWFLASH.EXE"; }

  package::BuildRequest Request(const std::string& name) const {
    package::BuildRequest request;
    request.imagePath = package::JoinPath(folder.Path().string(), name);
    request.binFileName = name;
    request.templatePath = TemplatePath();
    request.outputFolder = folder.Path().string();
    request.model = kModel;
    request.keyWord = testsupport::TestKeyWord();
    request.sealMarker = testsupport::TestSealMarker();
    return request;
  }

  bool Build(const std::string& name, const Bytes& image) {
    testsupport::WriteFile(TemplatePath(), tpl.bytes);
    testsupport::WriteFile(folder / name, image);
    return package::BuildFlashProgram(Request(name), observer, disk);
  }

  Bytes Output(const std::string& name) const { return testsupport::ReadFile(folder / name); }
};

TEST_F(BuilderTest, FullImageFillsTheAreaAndKeepsTheTemplateLength) {
  const Bytes image = testsupport::Pattern(327680, 7);
  ASSERT_TRUE(Build("1.10.BIN", image));
  const Reference ref = StepByStepCopy(tpl.bytes, HeaderFor(kModel, "1.10.BIN"), image);
  ASSERT_TRUE(ref.found);
  const Bytes out = Output("1.10.EXE");
  EXPECT_EQ(out.size(), tpl.bytes.size());
  EXPECT_TRUE(out == WithSeal(ref.output, tpl));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), out.begin() + tpl.ImageArea()));
  EXPECT_EQ(observer.captions,
            (std::vector<std::string>{"Building 1.10.BIN  Please wait... ", "Build 1.10.EXE ok!"}));
  EXPECT_EQ(observer.starts, std::vector<std::int32_t>{static_cast<std::int32_t>(tpl.bytes.size())});
  EXPECT_EQ(observer.steps, ref.steps);
  EXPECT_EQ(observer.done, 1);
  EXPECT_TRUE(observer.failures.empty());
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "QRWFLASH.EXE"}));
}

TEST_F(BuilderTest, OldSizeImageKeepsTheLastQuarterOfTheArea) {
  const Bytes image = testsupport::Pattern(262144, 8);
  ASSERT_TRUE(Build("1.10.BIN", image));
  const Reference ref = StepByStepCopy(tpl.bytes, HeaderFor(kModel, "1.10.BIN"), image);
  const Bytes out = Output("1.10.EXE");
  EXPECT_TRUE(out == WithSeal(ref.output, tpl));
  EXPECT_EQ(observer.steps, ref.steps);
  const std::size_t keptFrom = tpl.ImageArea() + 262144;
  EXPECT_TRUE(std::equal(out.begin() + keptFrom, out.begin() + keptFrom + 65536,
                         tpl.bytes.begin() + keptFrom));
}

TEST_F(BuilderTest, EmptyImageLeavesATemplateThatStartsAsBuilder) {
  ASSERT_TRUE(Build("1.10.BIN", {}));
  const Bytes out = Output("1.10.EXE");
  EXPECT_TRUE(out == WithSeal(StepByStepCopy(tpl.bytes, HeaderFor(kModel, "1.10.BIN"), {}).output, tpl));
  const package::PackageView view(out.data() + tpl.k - package::kKeyWordInRegion);
  EXPECT_TRUE(package::IsTemplate(view));
  EXPECT_EQ(view.Model(), "QRW-20412C");
}

TEST_F(BuilderTest, NamesTheOutputAfterFourCharactersAndTheRevisionAfterFive) {
  ASSERT_TRUE(Build("ab.bin", testsupport::Pattern(262144, 9)));
  const Bytes out = Output("ab.b.EXE");
  ASSERT_EQ(out.size(), tpl.bytes.size());
  const package::PackageView view(out.data() + tpl.k - package::kKeyWordInRegion);
  EXPECT_EQ(view.NewRevision(), "AB.BI");
  EXPECT_EQ(Bytes(view.At(package::kNewRevisionOffset), view.At(package::kImageAreaOffset)),
            (Bytes{'A', 'B', '.', 'B', 'I', 0, 0, 0}));
  EXPECT_EQ(observer.captions.back(), "Build ab.b.EXE ok!");
}

TEST_F(BuilderTest, ShortNameIsRightAlignedInTheOutputNameAndEndsTheRevision) {
  ASSERT_TRUE(Build("a.b", testsupport::Pattern(262144, 10)));
  const Bytes out = Output(" a.b.EXE");
  ASSERT_EQ(out.size(), tpl.bytes.size());
  const package::PackageView view(out.data() + tpl.k - package::kKeyWordInRegion);
  EXPECT_EQ(Bytes(view.At(package::kNewRevisionOffset), view.At(package::kImageAreaOffset)),
            (Bytes{'A', '.', 'B', 0, 0, 0, 0, 0}));
  EXPECT_EQ(observer.captions.back(), "Build  a.b.EXE ok!");
}

TEST_F(BuilderTest, BuildingAgainOverwritesTheEarlierOutput) {
  ASSERT_TRUE(Build("1.10.BIN", testsupport::Pattern(327680, 11)));
  const Bytes second = testsupport::Pattern(327680, 12);
  ASSERT_TRUE(Build("1.10.BIN", second));
  EXPECT_TRUE(Output("1.10.EXE") ==
              WithSeal(StepByStepCopy(tpl.bytes, HeaderFor(kModel, "1.10.BIN"), second).output, tpl));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "QRWFLASH.EXE"}));
}

// The seal record is the only byte outside the header and the image that
// the builder writes, and the output reads as intact.
TEST_F(BuilderTest, OutputCarriesAnIntactSealOverItsRegion) {
  ASSERT_TRUE(Build("1.10.BIN", testsupport::Pattern(327680, 18)));
  const Bytes out = Output("1.10.EXE");
  ASSERT_EQ(out.size(), tpl.bytes.size());
  std::vector<std::size_t> changedOutside;
  for (std::size_t i = 0; i < out.size(); ++i)
    if (out[i] != tpl.bytes[i] && (i < tpl.k + 15 || i >= tpl.ImageArea() + 327680))
      changedOutside.push_back(i);
  ASSERT_FALSE(changedOutside.empty());
  EXPECT_GE(changedOutside.front(), tpl.sealAt + 8);
  EXPECT_LT(changedOutside.back(), tpl.sealAt + 16);
  const package::PackageView view(out.data() + tpl.RegionStart(), out.data() + tpl.sealAt);
  const std::uint32_t crc =
      static_cast<std::uint32_t>(::crc32(0, view.Region(), package::kRegionSize));
  EXPECT_EQ(package::CheckSeal(view), (package::SealCheck{package::SealState::Intact, crc, crc}));
}

TEST_F(BuilderTest, UpperCasesTheRevisionWithTheAnsiCodePage) {
  EXPECT_EQ(package::AnsiUpper('a'), 'A');
  EXPECT_EQ(package::AnsiUpper('\xE9'), '\xC9');  // e acute
  EXPECT_EQ(package::AnsiUpper('\xFF'), '\x9F');  // y diaeresis
  EXPECT_EQ(package::AnsiUpper('\x9A'), '\x8A');  // s caron
  EXPECT_EQ(package::AnsiUpper('\xF7'), '\xF7');  // division sign
  EXPECT_EQ(package::AnsiUpper('\xDF'), '\xDF');  // sharp s has no capital here
  EXPECT_EQ(package::AnsiUpper('.'), '.');
}

// The scan that never backs up misses the key-word right after a partial
// match, such as a lone "T" directly before it.
TEST_F(BuilderTest, FindsTheKeyWordRightAfterALoneT) {
  tpl.bytes[tpl.k - 1] = 'T';
  const Bytes image = testsupport::Pattern(327680, 13);
  ASSERT_FALSE(StepByStepCopy(tpl.bytes, {}, {}).found);
  ASSERT_TRUE(Build("1.10.BIN", image));
  Bytes expected = tpl.bytes;
  const Bytes header = HeaderFor(kModel, "1.10.BIN");
  std::copy(header.begin(), header.end(), expected.begin() + tpl.k + 15);
  std::copy(image.begin(), image.end(), expected.begin() + tpl.ImageArea());
  EXPECT_TRUE(Output("1.10.EXE") == WithSeal(expected, tpl));
  EXPECT_TRUE(observer.failures.empty());
}

// An image longer than the area would overwrite the program that follows
// the package in the copy: it is refused before anything is written.
TEST_F(BuilderTest, RefusesAnImageLongerThanTheAreaBeforeWritingAnything) {
  const Bytes image = testsupport::Pattern(327680 + 1024, 14);
  ASSERT_TRUE(StepByStepCopy(tpl.bytes, {}, {}).found);  // room enough in the template
  EXPECT_FALSE(Build("1.10.BIN", image));
  EXPECT_EQ(observer.failures, std::vector<std::string>{
                                   "Building fail: 1.10.BIN is larger than the 327680-byte image area"});
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"1.10.BIN", "QRWFLASH.EXE"}));
}

TEST_F(BuilderTest, RefusesAHugeImageWithoutReadingIt) {
  testsupport::WriteFile(TemplatePath(), tpl.bytes);
  { std::ofstream create(folder / "1.10.BIN"); }
  testsupport::fs::resize_file(folder / "1.10.BIN", std::uintmax_t{5} << 30);  // sparse
  EXPECT_FALSE(package::BuildFlashProgram(Request("1.10.BIN"), observer, disk));
  EXPECT_EQ(observer.failures, std::vector<std::string>{
                                   "Building fail: 1.10.BIN is larger than the 327680-byte image area"});
  EXPECT_TRUE(observer.starts.empty());
}

// A failed build leaves nothing behind and never costs an earlier output.
TEST_F(BuilderTest, FailedBuildKeepsTheEarlierOutputAndLeavesNoPartialFile) {
  const Bytes good = testsupport::Pattern(327680, 15);
  ASSERT_TRUE(Build("1.10.BIN", good));
  const Bytes earlier = Output("1.10.EXE");
  tpl.bytes[tpl.k] = 'X';  // the key-word is gone
  EXPECT_FALSE(Build("1.10.BIN", good));
  EXPECT_EQ(observer.failures,
            std::vector<std::string>{"Building fail: not found key-word in QRWFLASH.EXE"});
  EXPECT_TRUE(Output("1.10.EXE") == earlier);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"1.10.BIN", "1.10.EXE", "QRWFLASH.EXE"}));
}

TEST_F(BuilderTest, TemplateWithoutKeyWordIsScannedWholeAndLeavesNoFile) {
  tpl.bytes[tpl.k + 3] = '9';
  std::vector<std::string> namesWhileShown;
  observer.onFailure = [&] { namesWhileShown = folder.Names(); };
  EXPECT_FALSE(Build("1.10.BIN", testsupport::Pattern(327680, 16)));
  EXPECT_EQ(namesWhileShown, (std::vector<std::string>{"1.10.BIN", "QRWFLASH.EXE"}));
  EXPECT_EQ(observer.failures,
            std::vector<std::string>{"Building fail: not found key-word in QRWFLASH.EXE"});
  EXPECT_EQ(observer.steps, StepByStepCopy(tpl.bytes, {}, {}).steps);
  EXPECT_EQ(observer.captions, std::vector<std::string>{"Building 1.10.BIN  Please wait... "});
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"1.10.BIN", "QRWFLASH.EXE"}));
}

// Each failure shows its one message, keeps the first caption and leaves
// the folder as it was.
struct FailureCase {
  const char* name;
  std::function<void(BuilderTest&, package::BuildRequest&)> arrange;
  std::string message;  // "@" stands for the scratch folder
};

class BuilderFailureTest : public BuilderTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(BuilderFailureTest, ShowsItsMessageAndLeavesNothingBehind) {
  testsupport::WriteFile(TemplatePath(), tpl.bytes);
  testsupport::WriteFile(folder / "1.10.BIN", testsupport::Pattern(327680, 17));
  package::BuildRequest request = Request("1.10.BIN");
  GetParam().arrange(*this, request);
  const std::vector<std::string> before = folder.Names();
  EXPECT_FALSE(package::BuildFlashProgram(request, observer, disk));
  std::string message = GetParam().message;
  if (const auto at = message.find('@'); at != std::string::npos)
    message.replace(at, 1, folder.Path().string());
  EXPECT_EQ(observer.failures, std::vector<std::string>{message});
  EXPECT_EQ(observer.captions,
            std::vector<std::string>{"Building " + request.binFileName + "  Please wait... "});
  EXPECT_EQ(observer.done, 0);
  EXPECT_EQ(folder.Names(), before);
}

std::string NameOf(const testing::TestParamInfo<FailureCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, BuilderFailureTest,
    testing::Values(
        FailureCase{"ImageMissing",
                    [](BuilderTest&, package::BuildRequest& r) {
                      r.binFileName = "2.00.BIN";
                      r.imagePath += "-gone";
                    },
                    "Open 2.00.BIN fail!"},
        FailureCase{"NoFileSelected",
                    [](BuilderTest& t, package::BuildRequest& r) {
                      r.binFileName = "";
                      r.imagePath = package::JoinPath(t.folder.Path().string(), "");
                    },
                    "Open  fail!"},
        FailureCase{"ImageIsAFolder",
                    [](BuilderTest& t, package::BuildRequest& r) {
                      testsupport::fs::create_directory(t.folder / "9.99.BIN");
                      r.binFileName = "9.99.BIN";
                      r.imagePath = t.folder / "9.99.BIN";
                    },
                    "Open 9.99.BIN fail!"},
        FailureCase{"ImageOfOddSize",
                    [](BuilderTest& t, package::BuildRequest&) {
                      testsupport::WriteFile(t.folder / "1.10.BIN", testsupport::Pattern(1001, 1));
                    },
                    "Building fail: 1.10.BIN holds 1001 bytes; a firmware image holds 262144 or "
                    "327680 bytes"},
        FailureCase{"TemplateMissing",
                    [](BuilderTest&, package::BuildRequest& r) { r.templatePath += ".OLD"; },
                    "Open @/QRWFLASH.EXE.OLD fail!"},
        FailureCase{"OutputFolderMissing",
                    [](BuilderTest&, package::BuildRequest& r) { r.outputFolder += "/gone"; },
                    "Create 1.10.EXE Fail"},
        // Not even root may create files there.
        FailureCase{"ReadOnlyFolder",
                    [](BuilderTest&, package::BuildRequest& r) { r.outputFolder = "/proc"; },
                    "Create 1.10.EXE Fail"},
        FailureCase{"OutputCannotBeReplaced",
                    [](BuilderTest& t, package::BuildRequest&) {
                      testsupport::fs::create_directory(t.folder / "1.10.EXE");
                    },
                    "Create 1.10.EXE Fail"},
        FailureCase{"NameWithFolder",
                    [](BuilderTest& t, package::BuildRequest& r) {
                      testsupport::fs::create_directory(t.folder / "sub");
                      testsupport::WriteFile(t.folder / "sub/1.10.BIN", testsupport::Pattern(327680, 2));
                      r.outputFolder = t.folder / "sub";
                      r.binFileName = "../1.10.BIN";
                    },
                    "Building fail: ../1.10.BIN is not a plain file name"},
        FailureCase{"TemplateEndsInsideTheImage",
                    [](BuilderTest& t, package::BuildRequest&) {
                      Bytes cut(t.tpl.bytes.begin(), t.tpl.bytes.begin() + t.tpl.ImageArea() + 1000);
                      testsupport::WriteFile(t.TemplatePath(), cut);
                    },
                    "Building fail: some problem in QRWFLASH.EXE"},
        FailureCase{"TemplateWithoutSeal",
                    [](BuilderTest& t, package::BuildRequest&) {
                      Bytes old = t.tpl.bytes;
                      old[t.tpl.sealAt + 7] = '2';
                      testsupport::WriteFile(t.TemplatePath(), old);
                    },
                    "Building fail: not found seal in QRWFLASH.EXE"},
        FailureCase{"SealTwice",
                    [](BuilderTest& t, package::BuildRequest&) {
                      Bytes twice = t.tpl.bytes;
                      std::copy_n(twice.begin() + t.tpl.sealAt, 16, twice.begin() + 100);
                      testsupport::WriteFile(t.TemplatePath(), twice);
                    },
                    "Building fail: the seal occurs 2 times in QRWFLASH.EXE"},
        FailureCase{"SealRecordCutShort",
                    [](BuilderTest& t, package::BuildRequest&) {
                      Bytes cut(t.tpl.bytes.begin(), t.tpl.bytes.begin() + t.tpl.sealAt + 15);
                      testsupport::WriteFile(t.TemplatePath(), cut);
                    },
                    "Building fail: some problem in QRWFLASH.EXE"},
        FailureCase{"SealMarkerInsideThePackage",
                    [](BuilderTest& t, package::BuildRequest&) {
                      Bytes inside = t.tpl.bytes;
                      std::copy_n(inside.begin() + t.tpl.sealAt, 16,
                                  inside.begin() + t.tpl.ImageArea() + 1000);
                      inside[t.tpl.sealAt] = 'X';
                      testsupport::WriteFile(t.TemplatePath(), inside);
                    },
                    "Building fail: some problem in QRWFLASH.EXE"},
        // The seal covers the profile blocks before K: they must be there.
        FailureCase{"KeyWordTooNearTheStart",
                    [](BuilderTest& t, package::BuildRequest&) {
                      Bytes cut(t.tpl.bytes.begin() + t.tpl.RegionStart() + 1, t.tpl.bytes.end());
                      testsupport::WriteFile(t.TemplatePath(), cut);
                    },
                    "Building fail: some problem in QRWFLASH.EXE"},
        // An old-size image fits, but the area it seals runs past the file.
        FailureCase{"TemplateEndsInTheLastQuarterOfTheArea",
                    [](BuilderTest& t, package::BuildRequest&) {
                      Bytes cut(t.tpl.bytes.begin(), t.tpl.bytes.begin() + t.tpl.ImageArea() + 300000);
                      testsupport::WriteFile(t.TemplatePath(), cut);
                      testsupport::WriteFile(t.folder / "1.10.BIN", testsupport::Pattern(262144, 3));
                    },
                    "Building fail: some problem in QRWFLASH.EXE"},
        FailureCase{"TemplateIsAFlashProgram",
                    [](BuilderTest& t, package::BuildRequest&) {
                      Bytes flash = t.tpl.bytes;
                      flash[t.tpl.ImageArea()] = 0;
                      testsupport::WriteFile(t.TemplatePath(), flash);
                    },
                    "Building fail: QRWFLASH.EXE is a flash program, not a template"}),
    NameOf);

TEST(FindKeyWord, FindsTheFirstOccurrenceAnywhere) {
  const auto keyWord = testsupport::TestKeyWord();
  Bytes bytes = {'T', 'T', '0', 'T'};
  bytes.insert(bytes.end(), keyWord.begin(), keyWord.end());
  bytes.insert(bytes.end(), keyWord.begin(), keyWord.end());
  EXPECT_EQ(package::FindKeyWord(bytes.data(), bytes.size(), keyWord), 4u);
  EXPECT_EQ(package::FindKeyWord(bytes.data(), 4 + 14, keyWord), std::string::npos);
}

TEST(Occurrences, FindsEveryStartOverlappingOnesAndNothingPastTheEnd) {
  struct Case {
    std::string bytes;
    std::string pattern;
    std::vector<std::size_t> places;
  };
  const Case cases[] = {
      {"QRWSEAL1", "QRWSEAL1", {0}},
      {"xQRWSEAL1yQRWSEAL1", "QRWSEAL1", {1, 10}},
      {"QQQQ", "QQ", {0, 1, 2}},                  // overlapping
      {"QQQRQQ", "QQR", {1}},                     // a near miss first
      {"abcQRWSEAL", "QRWSEAL1", {}},             // cut short at the end
      {"QRW", "QRWSEAL1", {}},                    // longer than the bytes
      {"", "Q", {}},
      {"xyz", "", {}},
  };
  for (const Case& c : cases) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.bytes.data());
    const auto* pattern = reinterpret_cast<const std::uint8_t*>(c.pattern.data());
    EXPECT_EQ(package::Occurrences(bytes, c.bytes.size(), pattern, c.pattern.size()), c.places)
        << c.bytes << " / " << c.pattern;
  }
}

}  // namespace
