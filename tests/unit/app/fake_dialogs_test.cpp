// The fake dialogs answer only what the test scripted: a question beyond
// the script fails the test that let the program ask it.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "fakes/fake_dialogs.h"

namespace {

using platform::Answer;
using platform::DialogButtons;
using platform::DialogKind;

TEST(FakeDialogs, AQuestionBeyondTheScriptFailsTheTestAndIsAnsweredNo) {
  fakes::FakeDialogs dialogs;
  dialogs.answers = {Answer::Yes};
  EXPECT_EQ(dialogs.Ask(DialogKind::Confirm, "first?", DialogButtons::YesNo), Answer::Yes);
  Answer second = Answer::Ok;
  EXPECT_NONFATAL_FAILURE(
      second = dialogs.Ask(DialogKind::Warning, "\nsecond?\n", DialogButtons::YesNo),
      "unscripted question (Warning): \"\nsecond?\n\"");
  EXPECT_EQ(second, Answer::No);
  // Boxes with OK only need no script.
  EXPECT_EQ(dialogs.Ask(DialogKind::Error, "error", DialogButtons::Ok), Answer::Ok);
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"first?", "\nsecond?\n", "error"}));
}

}  // namespace
