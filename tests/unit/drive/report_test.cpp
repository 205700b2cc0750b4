// The one-line failure report of a drive command.
#include "drive/report.h"

#include <gtest/gtest.h>

#include "fakes/fake_dialogs.h"
#include "fakes/fake_ui.h"

namespace {

scsi::ScsiResult Result(std::uint8_t status, std::uint8_t key, std::uint8_t asc,
                        std::uint8_t ascq) {
  scsi::ScsiResult result;
  result.status = status;
  result.senseByte2 = key;
  result.asc = asc;
  result.ascq = ascq;
  return result;
}

struct ReportCase {
  const char* label;
  scsi::ScsiResult result;
  const char* line;
};

TEST(FailureReport, LinesCarryStatusAndSenseAsTwoUpperCaseHexDigits) {
  scsi::ScsiResult callFailed;
  callFailed.delivered = false;
  callFailed.systemError = 31;
  scsi::ScsiResult neverCompleted;
  neverCompleted.delivered = false;
  const ReportCase cases[] = {
      {"Write Buffer", Result(0x02, 0x02, 0x3A, 0x00),
       "Write Buffer> Status: 02, SenseCode: 02 3A 00"},
      {"Read Buffer", Result(0x02, 0x22, 0x3A, 0x00),
       "Read Buffer> Status: 02, SenseCode: 22 3A 00"},
      {"Entry critical", Result(0xAB, 0xCD, 0xEF, 0x0F),
       "Entry critical> Status: AB, SenseCode: CD EF 0F"},
      {"Inquiry", Result(0, 0, 0, 0), "Inquiry> Status: 00, SenseCode: 00 00 00"},
      {"Write Buffer", callFailed,
       "Write Buffer> Status: 00, SenseCode: 00 00 00 (system error 31)"},
      {"Read Flash ID", neverCompleted, "Read Flash ID> Status: 00, SenseCode: 00 00 00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(drive::FormatReport(c.label, c.result), c.line);
  }
}

TEST(FailureReport, ALargeSystemErrorIsPrintedUnsigned) {
  scsi::ScsiResult result;
  result.delivered = false;
  result.systemError = 0xFFFFFFFF;
  EXPECT_EQ(drive::FormatReport("Write E2", result),
            "Write E2> Status: 00, SenseCode: 00 00 00 (system error 4294967295)");
}

TEST(FailureReport, IsShownOnceInAPlainMessageBox) {
  fakes::FakeDialogs dialogs;
  drive::ReportCommandFailure(dialogs, "Write Flash Profile", Result(0x02, 0x05, 0x24, 0x00));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].kind, "Message");
  EXPECT_EQ(dialogs.shown[0].text, "Write Flash Profile> Status: 02, SenseCode: 05 24 00");
}

}  // namespace
