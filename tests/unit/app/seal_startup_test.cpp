// The package seal at flash-mode start-up: one flipped byte in any part of
// the package, or in the seal record, ends the program with one error box
// before anything else happens (no warning, no window text, no library, no
// drive); an empty seal flashes exactly as a sealed program does.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/form_rig.h"
#include "flash/flash_rig.h"
#include "package/seal.h"
#include "support/bytes.h"
#include "support/key_word.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using flash_test::Platform;
using platform::Answer;

using testsupport::Hex8;

std::string DamagedText(std::uint32_t sealed, std::uint32_t found) {
  return "This flash program is damaged: its firmware package does not match its seal "
         "(CRC-32 sealed " + Hex8(sealed) + ", found " + Hex8(found) +
         ").\n\nNo drive has been touched. Please get a fresh copy of this flash program.";
}

enum class SealKind { Intact, Empty, None };

// The flash rig's package copied out, with a seal record of its own.
class SealedPackage {
 public:
  explicit SealedPackage(SealKind kind) : record_(package::kSealSize, 0), kind_(kind) {
    const flash_test::TestPackage source(flash_test::PackageSpec{});
    region_.assign(source.View().Region(), source.View().Region() + package::kRegionSize);
    const package::SealMarker marker = testsupport::TestSealMarker();
    std::copy(marker.begin(), marker.end(), record_.begin());
    if (kind == SealKind::Intact) {
      const std::uint32_t crc = Crc();
      for (int i = 0; i < 4; ++i) {
        record_[8 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        record_[12 + i] = static_cast<std::uint8_t>(~crc >> (8 * i));
      }
    }
  }
  package::PackageView View() const {
    return package::PackageView(region_.data(), kind_ == SealKind::None ? nullptr : record_.data());
  }
  std::uint32_t Crc() const { return ::crc32(0, region_.data(), static_cast<uInt>(region_.size())); }
  Bytes& Region() { return region_; }
  Bytes& Record() { return record_; }

 private:
  Bytes region_;
  Bytes record_;
  SealKind kind_;
};

struct Flip {
  const char* part;
  bool inRecord;
  std::ptrdiff_t at;  // from K in the region, or from the record's start
};

const Flip kFlips[] = {
    {"Model", false, package::kModelOffset},
    {"Inquiry", false, package::kInquiryOffset + 8},
    {"FwRange", false, package::kFwRangeOffset + 3},
    {"Note", false, package::kNoteOffset},
    {"ProfileTable", false, package::kProfileTableOffset + 1},
    {"ProfileBlocks", false, package::kProfileBlocksOffset + 500},
    {"ImageStart", false, package::kImageAreaOffset},
    {"ImageEnd", false,
     package::kImageAreaOffset + static_cast<std::ptrdiff_t>(package::kImageAreaSize) - 1},
    {"SealCrc", true, 9},
    {"SealComplement", true, 15},
};

struct Case {
  Flip flip;
  Platform platform;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (const Flip& flip : kFlips)
    for (Platform p : {Platform::Nt, Platform::W9x}) cases.push_back({flip, p});
  return cases;
}

// The window on fakes over one matching drive (E: and ASPI 1:0).
struct ProgramRig {
  explicit ProgramRig(SealKind kind)
      : package(kind), rig(flash_test::OneDrive(flash_test::StandardDrive()), package.View()) {
    rig.os.roots = {"C:\\", "E:\\"};
    rig.os.driveTypes["E:\\"] = platform::kDriveCdRom;
  }
  void SetPlatform(Platform p) {
    rig.os.platformId =
        p == Platform::Nt ? platform::kPlatformWin32Nt : platform::kPlatformWin32Windows;
  }

  SealedPackage package;
  app_test::FormRig rig;
};

class DamagedProgramStart : public testing::TestWithParam<Case> {
 protected:
  ProgramRig program_{SealKind::Intact};
  SealedPackage& package_ = program_.package;
  app_test::FormRig& rig_ = program_.rig;
};

TEST_P(DamagedProgramStart, ShowsOneErrorAndEndsWithNothingTouched) {
  const std::uint32_t sealed = package_.Crc();
  const Flip& flip = GetParam().flip;
  if (flip.inRecord)
    package_.Record()[static_cast<std::size_t>(flip.at)] ^= 0x04;
  else
    package_.Region()[static_cast<std::size_t>(
        static_cast<std::ptrdiff_t>(package::kKeyWordInRegion) + flip.at)] ^= 0x04;
  // A flipped CRC byte is what the record claims; the region is as sealed.
  const std::uint32_t claimed = flip.inRecord && flip.at < 12 ? sealed ^ 0x00000400u : sealed;
  program_.SetPlatform(GetParam().platform);
  rig_.dialogs.answers = {Answer::Yes, Answer::Yes};

  rig_.form.FormCreate();

  const std::string text = DamagedText(claimed, package_.Crc());
  EXPECT_EQ(rig_.dialogs.shown,
            (std::vector<fakes::ShownDialog>{{"Error", text, "", platform::DialogButtons::Ok}}));
  // The error box is the only thing that happened to the window.
  EXPECT_EQ(rig_.journal.events, (std::vector<fakes::UiEvent>{{"dialog", "Error: " + text}}));
  EXPECT_EQ(rig_.os.quitCodes, std::vector<int>{0});
  EXPECT_EQ(rig_.group.Top(), 113);
  EXPECT_TRUE(rig_.os.sleeps.empty());
  EXPECT_TRUE(rig_.device.Opens().empty());
  EXPECT_TRUE(rig_.aspi.LoadedNames().empty());
  EXPECT_TRUE(rig_.aspi.Requests().empty());
  EXPECT_EQ(rig_.bus.SessionTrace().Text(), "");
  EXPECT_EQ(rig_.bus.At(0).Burns(), 0u);
}

INSTANTIATE_TEST_SUITE_P(EachPart, DamagedProgramStart, testing::ValuesIn(Cases()),
                         [](const auto& info) {
                           return std::string(info.param.flip.part) +
                                  (info.param.platform == Platform::Nt ? "_Nt" : "_W9x");
                         });

// A whole flash with the seal intact, empty, or without any record: the
// same dialogs, the same command trace and the same burn.
std::string FlashTrace(SealKind kind, Platform platform, std::vector<fakes::ShownDialog>& shown) {
  ProgramRig program(kind);
  program.SetPlatform(platform);
  program.rig.dialogs.answers = {Answer::Yes};
  program.rig.form.FormCreate();
  program.rig.dialogs.answers = {Answer::Yes, Answer::No};
  program.rig.form.FlashButtonClick();
  shown = program.rig.dialogs.shown;
  EXPECT_EQ(program.rig.bus.At(0).Burns(), 1u);
  return program.rig.bus.SessionTrace().Text();
}

TEST(EmptySeal, FlashesExactlyAsAnIntactSealAndAProgramWithoutARecord) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    std::vector<fakes::ShownDialog> intactShown, emptyShown, noneShown;
    const std::string intact = FlashTrace(SealKind::Intact, p, intactShown);
    const std::string empty = FlashTrace(SealKind::Empty, p, emptyShown);
    const std::string none = FlashTrace(SealKind::None, p, noneShown);
    EXPECT_NE(intact, "");
    EXPECT_EQ(empty, intact);
    EXPECT_EQ(none, intact);
    ASSERT_FALSE(intactShown.empty());
    EXPECT_EQ(intactShown[0].kind, "Warning");
    EXPECT_EQ(emptyShown, intactShown);
    EXPECT_EQ(noneShown, intactShown);
  }
}

}  // namespace
