// The check a FLASH press makes before anything is sent: revisions compared
// as bytes, the refusal warning, the confirmation and its dialog kind, and
// the flags the press prepares.
#include <gtest/gtest.h>

#include "flash/revision_check.h"
#include "flash_rig.h"

namespace flash_test {
namespace {

using platform::Answer;
using platform::DialogButtons;

TEST(CompareRevisions, ByUnsignedBytesWithTheShorterPrefixSmaller) {
  EXPECT_EQ(flash::CompareRevisions("1.10", "1.10"), 0);
  EXPECT_LT(flash::CompareRevisions("1.09", "1.10"), 0);
  EXPECT_GT(flash::CompareRevisions("1.1A", "1.19"), 0);   // a letter above a digit
  EXPECT_GT(flash::CompareRevisions("1.1a", "1.1A"), 0);   // no case folding
  EXPECT_LT(flash::CompareRevisions("1.1", "1.10"), 0);    // prefix is smaller
  EXPECT_GT(flash::CompareRevisions("1.10", "1.1"), 0);
  EXPECT_GT(flash::CompareRevisions("\xE9.00", "Z.00"), 0);  // bytes are unsigned
  EXPECT_LT(flash::CompareRevisions("", "1"), 0);
}

TEST(CurrentRevision, IsTheLastFourCharactersOfTheListText) {
  EXPECT_EQ(flash::CurrentRevision("0-0-0 E: QUARVEL QRW-20410C      1.0A"), "1.0A");
  EXPECT_EQ(flash::CurrentRevision("1.0"), "1.0");
  EXPECT_EQ(flash::CurrentRevision(""), "");
}

struct RevisionCase {
  const char* name;
  std::string fwRange;
  std::string driveRevision;
  std::string newRevision;
  // What the press shows first: the refusal, or the confirmation as a
  // "Confirm" or "Warning" dialog.
  std::string kind;
  std::string text;
  DialogButtons buttons;
};

const std::string kRange = "1.00-1.29";
const std::string kWildcard = "-----------";

std::vector<RevisionCase> RevisionCases() {
  const std::string refusal = "\nWARNING:\n\nYour drive FW:";
  const std::string refusalEnd = " is aready the most updated ?";
  return {
      {"OlderDriveIsConfirmed", kRange, "1.00", "1.10.", "Confirm",
       "\nUpdate FW:1.00 to FW:1.10 ?\n", DialogButtons::YesNo},
      {"EqualIsRefused", kRange, "1.10", "1.10.", "Warning", refusal + "1.10" + refusalEnd,
       DialogButtons::Ok},
      {"NewerIsRefused", kRange, "1.20", "1.10.", "Warning", refusal + "1.20" + refusalEnd,
       DialogButtons::Ok},
      {"LetterAboveDigitIsRefused", kRange, "1.1A", "1.19.", "Warning",
       refusal + "1.1A" + refusalEnd, DialogButtons::Ok},
      {"DigitBelowLetterIsConfirmed", kRange, "1.09", "1.0A.", "Confirm",
       "\nUpdate FW:1.09 to FW:1.0A ?\n", DialogButtons::YesNo},
      {"WildcardEqualIsConfirmed", kWildcard, "1.10", "1.10.", "Confirm",
       "\nUpdate FW:1.10 to FW:1.10 ?\n", DialogButtons::YesNo},
      {"WildcardDowngradeAsksInAWarning", kWildcard, "1.20", "1.10.", "Warning",
       "\nUpdate FW:1.20 to FW:1.10 ?\n", DialogButtons::YesNo},
      // Only the first and the sixth character make the wildcard.
      {"FirstDashAloneIsNoWildcard", "-.10-1.29", "1.20", "1.10.", "Warning",
       refusal + "1.20" + refusalEnd, DialogButtons::Ok},
  };
}

class RevisionTable : public testing::TestWithParam<RevisionCase> {
 protected:
  static vdrive::DriveSpec DriveAt(const std::string& revision) {
    vdrive::DriveSpec drive = StandardDrive();
    drive.identity.revision = revision;
    return drive;
  }
  RevisionCase c = GetParam();
  FlashRig rig{Platform::Nt, PackageSpec{.fwRange = c.fwRange, .newRevision = c.newRevision},
               DriveAt(c.driveRevision)};
};

TEST_P(RevisionTable, ShowsTheRightDialogAndSendsNothingOnNo) {
  rig.dialogs.answers = {Answer::No};
  rig.Click();

  ASSERT_EQ(rig.dialogs.shown.size(), 1u);
  EXPECT_EQ(rig.dialogs.shown[0], (fakes::ShownDialog{c.kind, c.text, "", c.buttons}));
  EXPECT_TRUE(rig.seen.empty());
  EXPECT_TRUE(rig.Captions().empty());
}

TEST_P(RevisionTable, YesFlashesExactlyWhenConfirmationWasAsked) {
  rig.dialogs.answers = {Answer::Yes, Answer::No};
  rig.Click();

  const bool asked = c.buttons == DialogButtons::YesNo;
  EXPECT_EQ(rig.Drive().Burns(), asked ? 1u : 0u);
  if (!asked) {
    EXPECT_TRUE(rig.seen.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Revisions, RevisionTable, testing::ValuesIn(RevisionCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The profile flag and the saved length are cleared by every press, FlashAll
// is set only by a press that reaches the confirmation.
TEST(PressFlags, ProfileStateClearedEvenWhenThePressIsRefused) {
  vdrive::DriveSpec drive = StandardDrive();
  drive.identity.revision = "1.10";
  FlashRig rig{Platform::Nt, PackageSpec{.note = "FLASH-ALL"}, drive};
  rig.commands.ProfileMatched = true;
  rig.commands.SavedProfile.length = 456;

  rig.Click();

  EXPECT_FALSE(rig.commands.ProfileMatched);
  EXPECT_EQ(rig.commands.SavedProfile.length, 0);
  EXPECT_FALSE(rig.procedure.FlashAll) << "a refused press never reaches the confirmation";
}

TEST(PressFlags, FlashAllFollowsTheNoteOnceTheConfirmationIsReached) {
  FlashRig flashAll{Platform::W9x, PackageSpec{.note = "FLASH-ALL"}};
  flashAll.dialogs.answers = {Answer::No};
  flashAll.Click();
  EXPECT_TRUE(flashAll.procedure.FlashAll);

  FlashRig plain{Platform::W9x, PackageSpec{.note = "FLASH-AL"}};
  plain.procedure.FlashAll = true;
  plain.dialogs.answers = {Answer::No};
  plain.Click();
  EXPECT_FALSE(plain.procedure.FlashAll);
}

}  // namespace
}  // namespace flash_test
