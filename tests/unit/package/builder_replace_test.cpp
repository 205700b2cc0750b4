// The builder over an earlier output, on the in-memory disk of each Windows
// family's way of replacing a file: a build that fails at any point leaves
// the earlier output as it was and nothing of its own behind.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "fakes/memory_files.h"
#include "package/builder.h"
#include "support/build_observer.h"
#include "support/bytes.h"
#include "support/key_word.h"
#include "support/pattern.h"
#include "support/sealed_output.h"
#include "support/synthetic_template.h"

namespace {

using fakes::MemoryFiles;
using testsupport::Bytes;
using Family = MemoryFiles::Family;

constexpr const char* kFolder = "C:\\FLASH";
const std::string kImage = "C:\\FLASH\\1.10.BIN";
const std::string kTemplate = "C:\\FLASH\\QRWFLASH.EXE";
const std::string kOutput = "C:\\FLASH\\1.10.EXE";
const package::ModelTexts kModel = {"QRW-20410C", "QUARVEL QRW-20410C      ", "1.00-1.09",
                                    "Quarvel-IT", "FLASH-ALL"};
const Bytes kEarlier = {'a', 'n', ' ', 'e', 'a', 'r', 'l', 'i', 'e', 'r', ' ', 'o', 'n', 'e'};

using Observer = testsupport::RecordingObserver;

struct ReplaceCase {
  const char* name;
  bool earlierOutput;
  std::function<void(MemoryFiles&, Family)> arrange;
  std::string message;  // empty: the build succeeds
  std::vector<std::string> othersFiles = {};  // names the arrangement put there
};

void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }

class BuilderReplaceTest
    : public testing::TestWithParam<std::tuple<ReplaceCase, Family>> {
 protected:
  const ReplaceCase& Case() const { return std::get<0>(GetParam()); }
  Family FamilyOf() const { return std::get<1>(GetParam()); }

  testsupport::SyntheticTemplate tpl = testsupport::SyntheticTemplate::Make();
  Bytes image = testsupport::Pattern(327680, 31);
};

// The build of 1.10.BIN in kFolder with the test template's key-word and seal.
package::BuildRequest Request() {
  package::BuildRequest request;
  request.imagePath = kImage;
  request.binFileName = "1.10.BIN";
  request.templatePath = kTemplate;
  request.outputFolder = kFolder;
  request.model = kModel;
  request.keyWord = testsupport::TestKeyWord();
  request.sealMarker = testsupport::TestSealMarker();
  return request;
}

// The template with the model's header and the image in place.
Bytes Expected(const testsupport::SyntheticTemplate& tpl, const Bytes& image) {
  Bytes out = tpl.bytes;
  const auto header = package::NewHeader(kModel, "1.10.BIN");
  std::copy(header.begin(), header.end(), out.begin() + static_cast<std::ptrdiff_t>(tpl.k + 15));
  std::copy(image.begin(), image.end(), out.begin() + static_cast<std::ptrdiff_t>(tpl.ImageArea()));
  return testsupport::WithSeal(out, tpl);
}

TEST_P(BuilderReplaceTest, KeepsTheEarlierOutputUnlessTheNewOneIsComplete) {
  MemoryFiles files(FamilyOf());
  files.nextSeed = 0x100;
  files.Put(kTemplate, tpl.bytes);
  files.Put(kImage, image);
  if (Case().earlierOutput) files.Put(kOutput, kEarlier);
  Case().arrange(files, FamilyOf());

  const package::BuildRequest request = Request();
  Observer observer;
  const bool built = package::BuildFlashProgram(request, observer, files);

  std::vector<std::string> names = {"1.10.BIN", "QRWFLASH.EXE"};
  names.insert(names.end(), Case().othersFiles.begin(), Case().othersFiles.end());
  if (Case().message.empty()) {
    EXPECT_TRUE(built);
    EXPECT_TRUE(observer.failures.empty()) << observer.failures.front();
    EXPECT_EQ(observer.captions.back(), "Build 1.10.EXE ok!");
    EXPECT_TRUE(files.Get(kOutput) == Expected(tpl, image));
    names.push_back("1.10.EXE");
  } else {
    EXPECT_FALSE(built);
    EXPECT_EQ(observer.failures, std::vector<std::string>{Case().message});
    EXPECT_EQ(observer.captions, std::vector<std::string>{"Building 1.10.BIN  Please wait... "});
    if (Case().earlierOutput) {
      EXPECT_EQ(files.Get(kOutput), kEarlier);
      names.push_back("1.10.EXE");
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(files.Names(kFolder), names);
  for (const std::string& other : Case().othersFiles)
    EXPECT_TRUE(files.Get(std::string(kFolder) + "\\" + other).empty()) << other;
}

void Nothing(MemoryFiles&, Family) {}

// The move that puts the new output in its place: one replacing move on the
// NT family; on 9x the second, after the earlier output went aside.
void PlacingMoveFails(MemoryFiles& files, Family family) {
  files.failingMoves = {family == Family::Nt ? 1 : 2};
}

std::string TemporaryName(std::uint32_t seed) {
  return platform::TaggedName("1.10.EXE", ".part", seed);
}

const std::string kCreateFail = "Create 1.10.EXE Fail";
const std::string kWriteFail = "Building fail: writing 1.10.EXE failed";

std::string CaseName(const testing::TestParamInfo<std::tuple<ReplaceCase, Family>>& info) {
  return std::string(std::get<0>(info.param).name) +
         (std::get<1>(info.param) == Family::Nt ? "_Nt" : "_Windows9x");
}

INSTANTIATE_TEST_SUITE_P(
    Table, BuilderReplaceTest,
    testing::Combine(
        testing::Values(
            ReplaceCase{"NoEarlierOutput", false, Nothing, ""},
            ReplaceCase{"EarlierOutput", true, Nothing, ""},
            ReplaceCase{"PlacingFailsOverAnEarlierOutput", true, PlacingMoveFails, kCreateFail},
            ReplaceCase{"PlacingFailsWithoutAnEarlierOutput", false,
                        [](MemoryFiles& files, Family) { files.failingMoves = {1}; },
                        kCreateFail},
            // On 9x the earlier output cannot go aside; on NT the one move fails.
            ReplaceCase{"FirstMoveFails", true,
                        [](MemoryFiles& files, Family) { files.failingMoves = {1}; },
                        kCreateFail},
            ReplaceCase{"DiskFullAtOnce", true,
                        [](MemoryFiles& files, Family) { files.spaceLeft = 0; }, kWriteFail},
            ReplaceCase{"DiskFullBeforeTheLastByte", true,
                        [](MemoryFiles& files, Family) {
                          files.spaceLeft = testsupport::SyntheticTemplate::Make().bytes.size() - 1;
                        },
                        kWriteFail},
            ReplaceCase{"CloseFails", true,
                        [](MemoryFiles& files, Family) { files.closeFails = true; }, kWriteFail},
            ReplaceCase{"ReadOnlyFolder", true,
                        [](MemoryFiles& files, Family) { files.readOnlyFolders = {kFolder}; },
                        kCreateFail},
            ReplaceCase{"LockedOutput", true,
                        [](MemoryFiles& files, Family) { files.lockedFiles = {kOutput}; },
                        kCreateFail},
            // Another build's temporary files are passed over and left alone.
            ReplaceCase{"TemporaryNamesTaken", true,
                        [](MemoryFiles& files, Family) {
                          files.Put(std::string(kFolder) + "\\" + TemporaryName(0x100), {});
                          files.Put(std::string(kFolder) + "\\" + TemporaryName(0x101), {});
                        },
                        "",
                        {"1.10.EXE.part00000100", "1.10.EXE.part00000101"}},
            ReplaceCase{"EveryTemporaryNameTaken", true,
                        [](MemoryFiles& files, Family) {
                          for (std::uint32_t seed = 0x100; seed < 0x110; ++seed)
                            files.Put(std::string(kFolder) + "\\" + TemporaryName(seed), {});
                        },
                        kCreateFail,
                        {"1.10.EXE.part00000100", "1.10.EXE.part00000101",
                         "1.10.EXE.part00000102", "1.10.EXE.part00000103",
                         "1.10.EXE.part00000104", "1.10.EXE.part00000105",
                         "1.10.EXE.part00000106", "1.10.EXE.part00000107",
                         "1.10.EXE.part00000108", "1.10.EXE.part00000109",
                         "1.10.EXE.part0000010a", "1.10.EXE.part0000010b",
                         "1.10.EXE.part0000010c", "1.10.EXE.part0000010d",
                         "1.10.EXE.part0000010e", "1.10.EXE.part0000010f"}}),
        testing::Values(Family::Nt, Family::Windows9x)),
    CaseName);

// A 5 GB image is refused from its size alone: no byte of it is read.
TEST(BuilderInMemory, RefusesAHugeImageWithoutReadingIt) {
  MemoryFiles files;
  files.Put(kTemplate, testsupport::SyntheticTemplate::Make().bytes);
  files.PutSizeOnly(kImage, std::uint64_t{5} << 30);
  const package::BuildRequest request = Request();
  Observer observer;
  EXPECT_FALSE(package::BuildFlashProgram(request, observer, files));
  EXPECT_EQ(observer.failures, std::vector<std::string>{
                                   "Building fail: 1.10.BIN is larger than the 327680-byte image area"});
  EXPECT_EQ(files.log, std::vector<std::string>{"status " + kImage});
}

// The one reading that fails after the size was learned.
TEST(BuilderInMemory, ReportsAnImageThatCannotBeRead) {
  for (const bool opens : {false, true}) {
    MemoryFiles files;
    files.Put(kTemplate, testsupport::SyntheticTemplate::Make().bytes);
    files.Put(kImage, testsupport::Pattern(327680, 1));
    (opens ? files.unreadable : files.unopenable).insert(kImage);
    const package::BuildRequest request = Request();
    Observer observer;
    EXPECT_FALSE(package::BuildFlashProgram(request, observer, files));
    EXPECT_EQ(observer.failures,
              std::vector<std::string>{opens ? "Read 1.10.BIN fail!" : "Open 1.10.BIN fail!"});
    EXPECT_EQ(files.Names(kFolder), (std::vector<std::string>{"1.10.BIN", "QRWFLASH.EXE"}));
  }
}

}  // namespace
