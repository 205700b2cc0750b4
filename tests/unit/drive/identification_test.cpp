// INQUIRY as the drive checks and the refresh send it, and what they make
// of the answer.
#include <gtest/gtest.h>

#include <vector>

#include "drive/drive_rig.h"
#include "drive/report.h"

namespace drive {
namespace {

using testrig::Rig;

const std::string kQuarvelLine = "QUARVEL QRW-20410C      1.00";

vdrive::DriveSpec NtAt(char letter, std::uint8_t path, std::uint8_t target, std::uint8_t lun) {
  vdrive::DriveSpec spec = testrig::NtDrive(letter);
  spec.ntPath = path;
  spec.ntTarget = target;
  spec.ntLun = lun;
  return spec;
}

TEST(NTCheckInquiryTest, OpensItsOwnDeviceSendsInquiryAndClosesIt) {
  Rig rig({NtAt('E', 1, 0, 0)});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  scsi::Opening opening;
  EXPECT_TRUE(rig.Commands().NTCheckInquiry(entry, opening));
  ASSERT_EQ(rig.Io().Opens().size(), 1u);
  const auto& open = rig.Io().Opens()[0];
  EXPECT_EQ(open.path, "\\\\.\\E:");
  EXPECT_EQ(open.access, 0xC0000000u);
  EXPECT_EQ(open.share, 1u);
  EXPECT_EQ(open.creation, 3u);
  EXPECT_EQ(open.flags, 0u);
  EXPECT_TRUE(rig.Io().OpenHandles().empty());
  EXPECT_EQ(rig.Io().BadCloses(), 0u);
  const testrig::NtRecord r = rig.LastNtRecord();
  EXPECT_EQ(r.code, 0x4D014u);
  EXPECT_EQ(r.inLength, 80u);
  EXPECT_EQ(r.outLength, 80u);
  EXPECT_EQ(r.cdb, "12 00 00 00 80 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(r.cdbLength, 6);
  EXPECT_EQ(r.senseLength, 24);
  EXPECT_EQ(r.dataIn, 1);
  EXPECT_EQ(r.transferLength, 128u);
  EXPECT_EQ(r.timeout, 3u);
  // The driver's address replaces what the slot held.
  EXPECT_EQ(entry.Adapter, 1);
  EXPECT_EQ(entry.Text(), "1-0-0 E: " + kQuarvelLine);
  EXPECT_TRUE(rig.Dialogs().shown.empty());
}

TEST(NTCheckInquiryTest, AddressAsTheDriverReturnsItEvenOverOtherSlotValues) {
  Rig rig({NtAt('F', 2, 3, 1)});
  DriveEntry entry;
  entry.DriveLetter = 'F';
  entry.Adapter = 7;
  entry.Target = 7;
  entry.LogicalUnit = 7;
  scsi::Opening opening;
  rig.Commands().NTCheckInquiry(entry, opening);
  EXPECT_EQ(entry.Adapter, 2);
  EXPECT_EQ(entry.Target, 3);
  EXPECT_EQ(entry.LogicalUnit, 1);
  EXPECT_EQ(entry.Text(), "2-3-1 F: " + kQuarvelLine);
}

TEST(NTCheckInquiryTest, AnotherModelAnswersButDoesNotMatch) {
  Rig rig({testrig::OtherModel(NtAt('D', 0, 1, 0))});
  DriveEntry entry;
  entry.DriveLetter = 'D';
  scsi::Opening opening;
  EXPECT_FALSE(rig.Commands().NTCheckInquiry(entry, opening));
  EXPECT_EQ(entry.Text(), "0-1-0 D: OTHERCO CD-ROM 52X      2.05");
}

TEST(NTCheckInquiryTest, RevisionOutsideTheRangeDoesNotMatch) {
  vdrive::DriveSpec spec = NtAt('E', 0, 0, 0);
  spec.identity.revision = "1.30";
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  scsi::Opening opening;
  EXPECT_FALSE(rig.Commands().NTCheckInquiry(entry, opening));
  EXPECT_EQ(entry.Text(), "0-0-0 E: QUARVEL QRW-20410C      1.30");
}

TEST(NTCheckInquiryTest, DeviceThatRejectsThePassThroughGivesNoText) {
  vdrive::DriveSpec spec = NtAt('E', 0, 0, 0);
  spec.callFailures.push_back({vdrive::Kind::Inquiry, 1, 50});
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  scsi::Opening opening;
  EXPECT_FALSE(rig.Commands().NTCheckInquiry(entry, opening));
  EXPECT_EQ(entry.Text(), "");
  EXPECT_TRUE(rig.Dialogs().shown.empty());
  EXPECT_TRUE(rig.Io().OpenHandles().empty());
  EXPECT_TRUE(rig.Os().quitCodes.empty());
}

// A device that cannot be opened is reported as data: what the run makes of
// it (the window ends, the terminal prints its line) is the front's to say.
TEST(NTCheckInquiryTest, DeviceThatCannotBeOpenedSaysWhyAndShowsNothing) {
  vdrive::DriveSpec spec = NtAt('E', 0, 0, 0);
  spec.openError = 5;
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  scsi::Opening opening;
  EXPECT_FALSE(rig.Commands().NTCheckInquiry(entry, opening));
  EXPECT_EQ(opening.failure, scsi::Opening::Failure::Open);
  EXPECT_EQ(opening.systemError, 5u);
  EXPECT_EQ(drive::OpeningText(opening), "Error opening: 5");
  EXPECT_TRUE(rig.Dialogs().shown.empty());
  EXPECT_TRUE(rig.Os().quitCodes.empty());
  EXPECT_TRUE(rig.Io().Calls().empty());
}

// The status is not looked at: the line comes from the cleared data area.
TEST(NTCheckInquiryTest, ErrorStatusStillWritesALineFromTheClearedData) {
  vdrive::DriveSpec spec = NtAt('E', 0, 0, 0);
  spec.failures.push_back({vdrive::Kind::Inquiry, 1, 0x02, {0x05, 0x24, 0x00}, {}});
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  scsi::Opening opening;
  EXPECT_FALSE(rig.Commands().NTCheckInquiry(entry, opening));
  EXPECT_EQ(entry.Text(), "0-0-0 E: " + std::string(28, ' '));
  EXPECT_TRUE(rig.Dialogs().shown.empty());
}

TEST(NTCheckInquiryTest, InquiryWildcardPackageAcceptsAnotherMaker) {
  Rig rig({testrig::OtherModel(NtAt('D', 0, 0, 0))});
  rig.Package().Text(package::kInquiryOffset, "--");
  DriveEntry entry;
  entry.DriveLetter = 'D';
  scsi::Opening opening;
  EXPECT_TRUE(rig.Commands().NTCheckInquiry(entry, opening));
}

class NTGetInquiryTest : public testing::Test {
 protected:
  void SetUpRig(vdrive::DriveSpec spec) {
    rig_ = std::make_unique<Rig>(std::vector<vdrive::DriveSpec>{spec});
    rig_->OpenNt('E');
    entry_.DriveLetter = 'E';
    entry_.SetText("0-0-0 E: QUARVEL QRW-20410C      0.90");
  }
  std::unique_ptr<Rig> rig_;
  DriveEntry entry_;
};

TEST_F(NTGetInquiryTest, GoodAnswerRewritesTheLineOnTheHeldDevice) {
  vdrive::DriveSpec spec = NtAt('E', 1, 0, 0);
  spec.identity.revision = "1.10";
  SetUpRig(spec);
  const std::size_t opens = rig_->Io().Opens().size();
  EXPECT_TRUE(rig_->Commands().NTGetInquiry(entry_));
  EXPECT_EQ(rig_->Io().Opens().size(), opens);
  EXPECT_EQ(rig_->Io().Calls().back().handle, *rig_->Io().OpenHandles().begin());
  EXPECT_EQ(rig_->LastNtRecord().cdb, "12 00 00 00 80 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(entry_.Text(), "1-0-0 E: QUARVEL QRW-20410C      1.10");
}

TEST_F(NTGetInquiryTest, ErrorStatusIsReportedAndTheLineKept) {
  vdrive::DriveSpec spec = NtAt('E', 0, 0, 0);
  spec.failures.push_back({vdrive::Kind::Inquiry, 0, 0x02, {0x06, 0x29, 0x00}, {}});
  SetUpRig(spec);
  EXPECT_FALSE(rig_->Commands().NTGetInquiry(entry_));
  EXPECT_EQ(rig_->Dialogs().Texts(),
            std::vector<std::string>{"Inquiry> Status: 02, SenseCode: 06 29 00"});
  EXPECT_EQ(entry_.Text(), "0-0-0 E: QUARVEL QRW-20410C      0.90");
}

// A call the system refused leaves status and sense zero, and its data area
// was never filled: that is no answer.
TEST_F(NTGetInquiryTest, CallThatFailedOutrightIsNoSuccess) {
  vdrive::DriveSpec spec = NtAt('E', 0, 0, 0);
  spec.callFailures.push_back({vdrive::Kind::Inquiry, 0, 31});
  SetUpRig(spec);
  EXPECT_FALSE(rig_->Commands().NTGetInquiry(entry_));
  ASSERT_EQ(rig_->Dialogs().Texts().size(), 1u);
  EXPECT_EQ(rig_->Dialogs().Texts()[0].rfind("Inquiry> Status: 00, SenseCode: 00 00 00", 0), 0u)
      << rig_->Dialogs().Texts()[0];
  EXPECT_EQ(entry_.Text(), "0-0-0 E: QUARVEL QRW-20410C      0.90");
}

TEST(CheckInquiryTest, AskesThirtySixBytesAtTheSlotsAddressWithLun0) {
  Rig rig({testrig::AspiDrive(1, 0)});
  DriveEntry entry;
  entry.Adapter = 1;
  entry.Target = 0;
  entry.LogicalUnit = 3;
  EXPECT_TRUE(rig.Commands().CheckInquiry(entry));
  EXPECT_EQ(rig.LastSrb(), (testrig::Srb{0x02, 1, 0x08 | 0x40, 0, 0, 36, true, 14, 6,
                                          "12 00 00 00 24 00 00 00 00 00 00 00 00 00 00 00"}));
  EXPECT_EQ(entry.Text(), "HA#1 - ID#0 :  " + kQuarvelLine);
}

struct AspiSilentCase {
  const char* name;
  std::optional<vdrive::CommandFailure> failure;
  std::optional<vdrive::HeldRequest> hold;
};

class CheckInquiryFailureTest : public testing::TestWithParam<AspiSilentCase> {};

TEST_P(CheckInquiryFailureTest, FalseWithoutMessageAndTheLineUntouched) {
  const AspiSilentCase& c = GetParam();
  vdrive::DriveSpec spec = testrig::AspiDrive(0, 1);
  if (c.failure) spec.failures.push_back(*c.failure);
  if (c.hold) spec.holds.push_back(*c.hold);
  Rig rig({spec});
  DriveEntry entry;
  entry.Target = 1;
  EXPECT_FALSE(rig.Commands().CheckInquiry(entry));
  EXPECT_EQ(entry.Text(), "");
  EXPECT_TRUE(rig.Dialogs().shown.empty());
  EXPECT_EQ(rig.Library().Outstanding(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckInquiryFailureTest,
    testing::Values(
        AspiSilentCase{"ErrorStatus",
                       vdrive::CommandFailure{vdrive::Kind::Inquiry, 1, 0x02, {0x05, 0x24, 0x00}, {}},
                       {}},
        AspiSilentCase{"HostAdapterFault",
                       vdrive::CommandFailure{vdrive::Kind::Inquiry, 1, 0x02, {}, 0x82}, {}},
        AspiSilentCase{"StillPendingAfterTheWait", {},
                       vdrive::HeldRequest{vdrive::Kind::Inquiry, 1, vdrive::Delivery::Never}}),
    [](const auto& info) { return info.param.name; });

TEST(CheckInquiryTest, NoDriveAtTheAddressIsFalse) {
  Rig rig({testrig::AspiDrive(0, 0)});
  DriveEntry entry;
  entry.Adapter = 2;
  entry.Target = 1;
  EXPECT_FALSE(rig.Commands().CheckInquiry(entry));
  EXPECT_EQ(entry.Text(), "");
}

}  // namespace
}  // namespace drive
