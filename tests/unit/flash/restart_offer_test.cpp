// The restart offers: the NT form with its privilege steps and their three
// error boxes, the 9x form without them.
#include <gtest/gtest.h>

#include "fakes/fake_os.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_ui.h"
#include "flash/restart_offer.h"
#include "flash_rig.h"

namespace flash_test {
namespace {

using platform::Answer;

struct RestartCase {
  const char* name;
  bool nt;
  Answer answer;
  bool tokenOpens;
  bool privilegeFound;
  std::uint32_t adjustError;
  std::vector<std::string> calls;
  std::vector<std::string> boxTitles;  // each box's text is "Exit Error"
};

std::vector<RestartCase> RestartCases() {
  return {
      {"NtNoTouchesNoPrivilege", true, Answer::No, true, true, 0, {}, {}},
      {"NtTokenFails", true, Answer::Yes, false, true, 0, {"OpenProcessToken"},
       {"OpenProcessToken() failed"}},
      {"NtLookupFails", true, Answer::Yes, true, false, 0,
       {"OpenProcessToken", "LookupPrivilegeValue"}, {"LookupPrivilegeValue() failed"}},
      {"NtAccountWithoutPrivilege", true, Answer::Yes, true, true, 1300,
       {"OpenProcessToken", "LookupPrivilegeValue", "AdjustTokenPrivileges"},
       {"AdjustTokenPrivileges() failed"}},
      {"NtRestarts", true, Answer::Yes, true, true, 0,
       {"OpenProcessToken", "LookupPrivilegeValue", "AdjustTokenPrivileges", "ExitWindowsEx"},
       {}},
      {"W9xNo", false, Answer::No, true, true, 0, {}, {}},
      // Even a failing privilege step would not matter: 9x skips it.
      {"W9xRestartsWithoutPrivilege", false, Answer::Yes, false, false, 1300,
       {"ExitWindowsEx"}, {}},
  };
}

class RestartTable : public testing::TestWithParam<RestartCase> {};

TEST_P(RestartTable, OffersAndRestartsAsTheFormSays) {
  const RestartCase& c = GetParam();
  fakes::Journal journal;
  fakes::FakeDialogs dialogs(&journal);
  fakes::FakeCursor cursor(&journal);
  fakes::FakeRestart restart;
  restart.tokenOpens = c.tokenOpens;
  restart.privilegeFound = c.privilegeFound;
  restart.adjustError = c.adjustError;
  dialogs.answers = {c.answer};
  cursor.Hourglass();

  const bool accepted = c.nt ? flash::OfferRestartNt(dialogs, restart, cursor)
                             : flash::OfferRestart9x(dialogs, restart, cursor);

  EXPECT_EQ(accepted, c.answer == Answer::Yes);
  EXPECT_EQ(restart.calls, c.calls);
  ASSERT_GE(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0],
            (fakes::ShownDialog{"Confirm", c.nt ? texts::kRestartOfferNt : texts::kRestartOffer9x,
                                "", platform::DialogButtons::YesNo}));
  std::vector<fakes::ShownDialog> boxes(dialogs.shown.begin() + 1, dialogs.shown.end());
  std::vector<fakes::ShownDialog> expectedBoxes;
  for (const auto& title : c.boxTitles)
    expectedBoxes.push_back({"System", "Exit Error", title, platform::DialogButtons::Ok});
  EXPECT_EQ(boxes, expectedBoxes);
  const bool restarted = !c.calls.empty() && c.calls.back() == "ExitWindowsEx";
  if (restarted) {
    // Reboot and force; the cursor is the default by then.
    EXPECT_EQ(restart.exitFlags, std::vector<std::uint32_t>{6});
    EXPECT_FALSE(cursor.hourglass);
  } else {
    EXPECT_TRUE(restart.exitFlags.empty());
    EXPECT_TRUE(cursor.hourglass);
  }
}

INSTANTIATE_TEST_SUITE_P(BothForms, RestartTable, testing::ValuesIn(RestartCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// After the offer: NT empties the caption whatever the answer, 9x only after
// Yes.
TEST(RestartInTheSequence, CaptionAfterTheOffer) {
  struct Case {
    Platform p;
    Answer answer;
    std::string caption;
  };
  for (const Case& c : {Case{Platform::Nt, Answer::Yes, ""}, Case{Platform::Nt, Answer::No, ""},
                        Case{Platform::W9x, Answer::Yes, ""},
                        Case{Platform::W9x, Answer::No, texts::kCaptionCompleted}}) {
    SCOPED_TRACE(std::string(PlatformName(c.p)) + (c.answer == Answer::Yes ? " Yes" : " No"));
    FlashRig rig{c.p, PackageSpec{}};
    rig.ClickAndConfirm(c.answer);
    EXPECT_EQ(rig.status.Text(), c.caption);
    EXPECT_EQ(rig.restart.exitFlags.size(), c.answer == Answer::Yes ? 1u : 0u);
    EXPECT_EQ(rig.bar.Position(), 0);
  }
}

}  // namespace
}  // namespace flash_test
