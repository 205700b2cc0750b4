// A whole flash against the virtual drive, on both platforms, for both
// image formats and both final flash flags: every command as the drive
// received it, the caption and the bar at each command, and the window
// afterwards.
#include <gtest/gtest.h>

#include <tuple>

#include "flash_rig.h"

namespace flash_test {
namespace {

using platform::Answer;

struct RunCase {
  Platform platform;
  bool newFormat;
  bool flashAll;
};

std::string Name(const testing::TestParamInfo<RunCase>& info) {
  return std::string(PlatformName(info.param.platform)) +
         (info.param.newFormat ? "_NewFormat" : "_OldFormat") +
         (info.param.flashAll ? "_FlashAll" : "_NoteNone");
}

// The range includes the new revision, so that the 9x refresh, which takes
// only a drive that still matches, rewrites the list line too.
PackageSpec SpecFor(const RunCase& c) {
  PackageSpec spec;
  spec.fwRange = "1.00-1.10";
  spec.newFormat = c.newFormat;
  spec.note = c.flashAll ? "FLASH-ALL FW" : "None";
  return spec;
}

class WholeFlash : public testing::TestWithParam<RunCase> {
 protected:
  RunCase c = GetParam();
  FlashRig rig{c.platform, SpecFor(c)};
  std::uint32_t length = c.newFormat ? 327680 : 262144;
  std::string readBackCaption =
      c.platform == Platform::Nt ? texts::kCaptionReadBackNt : texts::kCaptionReadBack9x;
};

TEST_P(WholeFlash, SendsEveryCommandInOrder) {
  rig.ClickAndConfirm();

  const Platform p = c.platform;
  std::vector<std::string> expected = {StartStopLine(p, 0x03), StartStopLine(p, 0x00),
                                       EmptyTrayLine(p)};
  if (c.newFormat) {
    expected.push_back(FlashIdLine(p));
    expected.push_back(WriteProfileLine(p, rig.package));
  }
  for (std::uint32_t offset = 0; offset < length; offset += 16384)
    expected.push_back(WriteChunkLine(p, rig.package, offset));
  expected.push_back(CriticalLine(p));
  if (c.newFormat) expected.push_back(ReadProfileLine(p, rig.package));
  for (std::uint32_t offset = 0; offset < length; offset += 16384)
    expected.push_back(ReadChunkLine(p, rig.package, offset));
  expected.push_back(FinalFlashLine(p, c.flashAll ? 0xA0 : 0x80));
  expected.push_back(InquiryLine(p));

  EXPECT_TRUE(SameLines(rig.Lines(), expected));
  EXPECT_EQ(rig.Drive().Burns(), 1u);
}

TEST_P(WholeFlash, CaptionAndBarAtEachCommand) {
  rig.ClickAndConfirm();

  const fakes::BarState idle{0, 100, 0, 10};  // as start-up left it
  std::vector<std::pair<std::string, fakes::BarState>> expected = {
      {"", idle}, {"", idle}, {"", idle}};
  if (c.newFormat) {
    expected.push_back({texts::kCaptionWriteProfile, idle});
    expected.push_back({texts::kCaptionWriteProfile, idle});
  }
  const int len = static_cast<int>(length);
  for (int offset = 0; offset < len; offset += 16384)
    expected.push_back({texts::kCaptionWriteBin, {0, len, offset, 16384}});
  expected.push_back({texts::kCaptionEntryCritical, {0, len, len, 16384}});
  if (c.newFormat) expected.push_back({texts::kCaptionVerifyProfile, {0, len, len, 16384}});
  for (int offset = 0; offset < len; offset += 16384)
    expected.push_back({readBackCaption, {0, len, offset, 16384}});
  const int finalPosition = c.platform == Platform::Nt ? 197 : 198;
  expected.push_back({texts::kCaptionFlashing, {0, 200, finalPosition, 1}});
  expected.push_back({texts::kCaptionCompleted, {0, 200, 198, 1}});

  std::vector<std::pair<std::string, fakes::BarState>> actual;
  for (const auto& seen : rig.seen) actual.push_back({seen.caption, seen.bar});
  EXPECT_EQ(actual, expected);
}

TEST_P(WholeFlash, CaptionsEachRepaintedAtOnce) {
  rig.ClickAndConfirm(Answer::No);

  std::vector<std::string> expected;
  if (c.newFormat) expected.push_back(texts::kCaptionWriteProfile);
  expected.push_back(texts::kCaptionWriteBin);
  expected.push_back(texts::kCaptionEntryCritical);
  if (c.newFormat) expected.push_back(texts::kCaptionVerifyProfile);
  expected.push_back(readBackCaption);
  expected.push_back(texts::kCaptionFlashing);
  expected.push_back(texts::kCaptionCompleted);
  // After No the NT caption is emptied, the 9x one keeps "Flash Completed.".
  if (c.platform == Platform::Nt) expected.push_back("");
  EXPECT_EQ(rig.Captions(), expected);

  EXPECT_TRUE(rig.EachCaptionRepainted());
}

TEST_P(WholeFlash, LeavesTheWindowReadyForAnotherRun) {
  rig.ClickAndConfirm(Answer::No);

  EXPECT_EQ(rig.status.Text(), c.platform == Platform::Nt ? "" : texts::kCaptionCompleted);
  EXPECT_EQ(rig.bar.State(), (fakes::BarState{0, 200, 0, 1}));
  EXPECT_FALSE(rig.cursor.hourglass);
  EXPECT_EQ(rig.journal.Texts("cursor"),
            (c.platform == Platform::Nt ? std::vector<std::string>{"hourglass", "default"}
                                        : std::vector<std::string>{"hourglass", "default",
                                                                   "default"}));
  // The list line now ends in the drive's new revision, still selected.
  ASSERT_EQ(rig.list.items.size(), 1u);
  EXPECT_EQ(rig.list.items[0], rig.Entry().Text());
  EXPECT_EQ(rig.list.items[0].substr(rig.list.items[0].size() - 4), "1.10");
  EXPECT_EQ(rig.list.selected, 0);
  EXPECT_EQ(rig.Drive().Revision(), "1.10");
  // Only the confirmation and the restart offer; the offer declined.
  ASSERT_EQ(rig.dialogs.shown.size(), 2u);
  EXPECT_EQ(rig.dialogs.shown[1].kind, "Confirm");
  EXPECT_EQ(rig.dialogs.shown[1].text, c.platform == Platform::Nt ? texts::kRestartOfferNt
                                                                  : texts::kRestartOffer9x);
  EXPECT_TRUE(rig.restart.calls.empty());
  EXPECT_FALSE(rig.procedure.Flashing());
}

TEST_P(WholeFlash, WaitsOnlyThePauseAfterTheFinalFlashCommand) {
  rig.ClickAndConfirm();
  EXPECT_EQ(rig.os.sleeps, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(200)}));
}

TEST_P(WholeFlash, ListRefreshRepaintsTheListAfterTheInquiry) {
  rig.ClickAndConfirm();
  std::vector<std::string> order;
  for (const auto& e : rig.journal.events) {
    if (e.what == "command" && e.text.find(" 12 00 00 00 ") != std::string::npos)
      order.push_back("inquiry");
    if (e == fakes::UiEvent{"repaint", "ComboBox1"}) order.push_back("list repaint");
    if (e.what == "dialog" && e.text.find("Confirm: ") == 0) order.push_back("confirm");
  }
  EXPECT_EQ(order, (std::vector<std::string>{"confirm", "inquiry", "list repaint", "confirm"}));
}

INSTANTIATE_TEST_SUITE_P(
    BothPlatforms, WholeFlash,
    testing::Values(RunCase{Platform::Nt, true, false}, RunCase{Platform::Nt, false, false},
                    RunCase{Platform::Nt, true, true}, RunCase{Platform::Nt, false, true},
                    RunCase{Platform::W9x, true, false}, RunCase{Platform::W9x, false, false},
                    RunCase{Platform::W9x, true, true}, RunCase{Platform::W9x, false, true}),
    Name);

// A drive flashed to a revision above the package's range no longer
// matches it, so the 9x INQUIRY answers false; it still rewrote the entry,
// and the line must show that new revision, not the one flashed over.
TEST(ListRefresh, ShowsTheNewRevisionOfADriveNowOutsideTheRange) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    FlashRig rig{p, PackageSpec{.fwRange = "1.00-1.09"}};
    rig.ClickAndConfirm();
    ASSERT_EQ(rig.Drive().Burns(), 1u);
    EXPECT_EQ(rig.Entry().Text().substr(rig.Entry().Text().size() - 4), "1.10");
    EXPECT_EQ(rig.list.items.at(0), rig.Entry().Text());
    EXPECT_EQ(rig.list.selected, 0);
    EXPECT_EQ(rig.list.repaints, 1);
  }
}

// A second run in the same program: the profile is written and verified
// again, and the bar gets its download range anew.
TEST(SecondRun, StartsAfreshAfterAFirstFlash) {
  // The range wildcard lets the drive, now at 1.10, take 1.10 again.
  FlashRig rig{Platform::Nt, PackageSpec{.fwRange = "----------"}};
  rig.ClickAndConfirm();
  ASSERT_EQ(rig.Drive().Burns(), 1u);
  rig.seen.clear();

  rig.ClickAndConfirm();

  EXPECT_EQ(rig.Drive().Burns(), 2u);
  const std::vector<std::string> lines = MaskedLike(rig.Lines(), {});
  ASSERT_EQ(lines.size(), 49u);
  EXPECT_EQ(lines[4], WriteProfileLine(Platform::Nt, rig.package));
  EXPECT_EQ(rig.seen[5].bar, (fakes::BarState{0, 327680, 0, 16384}));
  EXPECT_EQ(lines[26], ReadProfileLine(Platform::Nt, rig.package));
}

}  // namespace
}  // namespace flash_test

namespace flash_test {
namespace {

// Reads the final flash command's data as the ASPI library receives it,
// while the buffer is still the sequence's: SRB_ExecSCSICmd holds
// SRB_BufLen at 12 and SRB_BufPointer at 16 (little-endian), the CDB at 48.
class FinalFlashDataTap : public vdrive::AspiFront {
 public:
  using AspiFront::AspiFront;
  std::uint32_t SendCommand(std::uint8_t* srb) override {
    if (srb[48] == 0x3B && (srb[57] == 0x80 || srb[57] == 0xA0)) {
      const std::uint32_t length = srb[12] | srb[13] << 8 | srb[14] << 16 | srb[15] << 24;
      const std::uint32_t token = srb[16] | srb[17] << 8 | srb[18] << 16 | srb[19] << 24;
      const auto* data = static_cast<const std::uint8_t*>(Resolve(token));
      if (data != nullptr) sent.assign(data, data + length);
    }
    return AspiFront::SendCommand(srb);
  }
  Bytes sent;
};

TEST(FinalFlashCommand, NineXSendsTheFirstByteOfTheLastChunkReadBack) {
  FlashRig rig{Platform::W9x, PackageSpec{}};
  FinalFlashDataTap tap(rig.bus);
  tap.Load("WNASPI32.DLL");
  tap.LookUp("GetASPI32SupportInfo");
  tap.LookUp("SendASPI32Command");
  const auto session = rig.SessionOver(nullptr, &tap, rig.os);
  rig.dialogs.answers = {platform::Answer::Yes, platform::Answer::No};

  rig.ClickOn(*session);

  EXPECT_EQ(rig.Drive().Burns(), 1u);
  EXPECT_EQ(tap.sent, rig.package.Chunk(327680 - 16384, 1));
}

}  // namespace
}  // namespace flash_test

namespace flash_test {
namespace {

// With two drives listed, the refresh replaces exactly the flashed drive's
// line at its own place and keeps it selected.
TEST(ListRefresh, ReplacesTheFlashedLineInPlace) {
  for (Platform p : {Platform::Nt, Platform::W9x}) {
    SCOPED_TRACE(PlatformName(p));
    FlashRig rig{p, PackageSpec{.fwRange = "1.00-1.10"}};
    // The virtual drive becomes the second item: on NT the list position is
    // the slot, on 9x ItemToEntry leads to it.
    const std::string other = "OTHER DRIVE LINE    1.00";
    if (p == Platform::Nt) {
      rig.table[1] = rig.table[0];
      rig.table[0].SetText(other);
      rig.itemToEntry[1] = 1;
    } else {
      rig.itemToEntry[1] = FlashRig::kAspiSlot;
    }
    rig.list.items = {other, rig.list.items[0]};
    rig.list.selected = 1;

    rig.ClickAndConfirm();

    ASSERT_EQ(rig.Drive().Burns(), 1u);
    const drive::DriveEntry& flashed = rig.table[p == Platform::Nt ? 1 : FlashRig::kAspiSlot];
    EXPECT_EQ(rig.list.items, (std::vector<std::string>{other, flashed.Text()}));
    EXPECT_EQ(flashed.Text().substr(flashed.Text().size() - 4), "1.10");
    EXPECT_EQ(rig.list.selected, 1);
  }
}

}  // namespace
}  // namespace flash_test
