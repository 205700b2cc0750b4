// What a drive's INQUIRY answer becomes: its list line, identification and
// revision texts, and the acceptance test against the package.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "drive/drive_commands.h"
#include "drive/drive_entry.h"
#include "drive/inquiry.h"
#include "drive/test_package.h"

namespace drive {
namespace {

using Inquiry = std::array<std::uint8_t, 36>;

// Standard INQUIRY data with vendor, product and revision as raw bytes
// (the rest of the 36 bytes zero).
Inquiry MakeInquiry(const std::string& vendorProductRevision) {
  Inquiry data{};
  std::memcpy(&data[8], vendorProductRevision.data(),
              std::min<std::size_t>(vendorProductRevision.size(), 28));
  return data;
}

const std::string kQuarvel = "QUARVEL QRW-20410C      1.00";

DriveEntry Entry(char letter, std::uint8_t adapter, std::uint8_t target,
                 std::uint8_t lun) {
  DriveEntry e;
  e.DriveLetter = letter;
  e.Adapter = adapter;
  e.Target = target;
  e.LogicalUnit = lun;
  return e;
}

TEST(DriveTableTest, FirstSixSlotsAreTheAspiAddressesAndEveryLetterHasASlot) {
  const DriveTable table = InitialDriveTable();
  ASSERT_EQ(table.size(), 26u);
  const int expected[6][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}};
  for (std::size_t slot = 0; slot < table.size(); ++slot) {
    EXPECT_EQ(table[slot].DriveLetter, 'X') << slot;
    EXPECT_EQ(table[slot].LogicalUnit, 0) << slot;
    EXPECT_EQ(table[slot].Text(), "") << slot;
    if (slot < kAspiSlots) {
      EXPECT_EQ(table[slot].Adapter, expected[slot][0]) << slot;
      EXPECT_EQ(table[slot].Target, expected[slot][1]) << slot;
    }
  }
}

// The list text keeps 79 characters and its zero; a shorter text written
// later leaves nothing of the longer one behind it.
TEST(DriveEntryTest, ListTextIsCutTo79CharactersAndReplacedWhole) {
  DriveEntry e = Entry('E', 1, 2, 3);
  e.SetText(std::string(79, 'a') + "bc");
  EXPECT_EQ(e.Text(), std::string(79, 'a'));
  e.SetText("xyz");
  EXPECT_EQ(e.Text(), "xyz");
  EXPECT_EQ(e.DriveLetter, 'E');
  EXPECT_EQ(e.Adapter, 1);
  EXPECT_EQ(e.Target, 2);
  EXPECT_EQ(e.LogicalUnit, 3);
}

struct TextCase {
  const char* name;
  std::string raw;  // INQUIRY bytes 8 to 35
  std::string identification;
  std::string revision;
  std::string listName;  // the 28 characters ending each list line
};

class InquiryTextTest : public testing::TestWithParam<TextCase> {};

TEST_P(InquiryTextTest, TextsFollowTheirWidthsAndStopAtAZeroByte) {
  const TextCase& c = GetParam();
  const Inquiry data = MakeInquiry(c.raw);
  EXPECT_EQ(IdentificationText(data.data()), c.identification);
  EXPECT_EQ(RevisionText(data.data()), c.revision);
  EXPECT_EQ(NtListText(Entry('E', 1, 0, 0), data.data()), "1-0-0 E: " + c.listName);
  EXPECT_EQ(AspiListText(Entry('X', 1, 0, 0), data.data()), "HA#1 - ID#0 :  " + c.listName);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InquiryTextTest,
    testing::Values(
        TextCase{"Quarvel", kQuarvel, "QUARVEL QRW-20410C      ", "1.00", kQuarvel},
        TextCase{"ZeroInsideTheName", std::string("QUARVEL\0QRW-20410C      1.00", 28),
                 std::string(17, ' ') + "QUARVEL", "1.00",
                 std::string(21, ' ') + "QUARVEL"},
        TextCase{"AllZero", std::string(28, '\0'), std::string(24, ' '), "    ",
                 std::string(28, ' ')},
        TextCase{"NoRevision", "QUARVEL QRW-20410C      ", "QUARVEL QRW-20410C      ",
                 "    ", "    QUARVEL QRW-20410C      "},
        TextCase{"ShortProduct", "QUARVEL QRW", "             QUARVEL QRW", "    ",
                 std::string(17, ' ') + "QUARVEL QRW"}),
    [](const auto& info) { return info.param.name; });

TEST(ListTextTest, WidestAddressesAndNoZeroAnywhereStillFitTheListText) {
  const Inquiry data = MakeInquiry(std::string(28, '\xFF'));
  DriveEntry nt = Entry('Z', 255, 255, 255);
  nt.SetText(NtListText(nt, data.data()));
  EXPECT_EQ(nt.Text(), "255-255-255 Z: " + std::string(28, '\xFF'));
  DriveEntry aspi = Entry('X', 255, 255, 0);
  aspi.SetText(AspiListText(aspi, data.data()));
  EXPECT_EQ(aspi.Text(), "HA#255 - ID#255 :  " + std::string(28, '\xFF'));
  EXPECT_EQ(aspi.ListText.back(), '\0');
}

struct MatchCase {
  const char* name;
  std::string inquiry;  // package Inquiry field
  std::string range;    // package FWRange field
  std::string identification;
  std::string revision;
  bool accepted;
};

class MatchesPackageTest : public testing::TestWithParam<MatchCase> {};

TEST_P(MatchesPackageTest, Verdict) {
  const MatchCase& c = GetParam();
  testpkg::Package pkg;
  pkg.Text(package::kInquiryOffset, c.inquiry).Text(package::kFwRangeOffset, c.range);
  EXPECT_EQ(MatchesPackage(pkg.View(), c.identification, c.revision), c.accepted);
}

const std::string kIdent = "QUARVEL QRW-20410C      ";
const std::string kOther = "OTHERCO CD-ROM 52X      ";

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchesPackageTest,
    testing::Values(
        MatchCase{"PaddedMatchAtLowBound", "QUARVEL QRW-20410C", "1.00-1.20", kIdent, "1.00", true},
        MatchCase{"PaddedMatchAtHighBound", "QUARVEL QRW-20410C", "1.00-1.20", kIdent, "1.20", true},
        MatchCase{"RevisionBetween", "QUARVEL QRW-20410C", "1.00-1.20", kIdent, "1.10", true},
        MatchCase{"RevisionBelow", "QUARVEL QRW-20410C", "1.00-1.20", kIdent, "0.99", false},
        MatchCase{"RevisionAbove", "QUARVEL QRW-20410C", "1.00-1.20", kIdent, "1.21", false},
        MatchCase{"LetterCaseDiffers", "QUARVEL QRW-20410C", "1.00-1.20",
                  "Quarvel QRW-20410C      ", "1.10", false},
        MatchCase{"TrailingBlanksCount", "QUARVEL QRW-20410C", "1.00-1.20",
                  "      QUARVEL QRW-20410C", "1.10", false},
        MatchCase{"InquiryWildcardAcceptsAnotherMaker", "--", "1.00-1.20", kOther, "9.99", true},
        MatchCase{"LoneLeadingDashInInquiryIsNoWildcard", "-QUARVEL", "1.00-1.20", kOther, "1.10", false},
        MatchCase{"RangeWildcardAcceptsAnyRevision", "QUARVEL QRW-20410C", "----------", kIdent, "9.99", true},
        MatchCase{"RangeWildcardStillNeedsTheIdentification", "QUARVEL QRW-20410C", "----------",
                  kOther, "1.10", false},
        // "-100" and "1.20" as they stand: '-' sorts below '1'.
        MatchCase{"LoneLeadingDashInRangeIsNoWildcardBelowHigh", "QUARVEL QRW-20410C", "-100-1.20",
                  kIdent, "1.00", true},
        MatchCase{"LoneLeadingDashInRangeIsNoWildcardAboveHigh", "QUARVEL QRW-20410C", "-100-1.20",
                  kIdent, "1.30", false},
        // Bytes compare as unsigned values: 0xC0 lies above 'Z'.
        MatchCase{"HighByteRevisionAboveTheRange", "QUARVEL QRW-20410C", "1.00-1.Z0", kIdent,
                  "1.\xC0" "0", false},
        MatchCase{"HighByteBoundsAcceptARevisionBetween", "QUARVEL QRW-20410C",
                  "1.\x80" "0-1.\xF0" "0", kIdent, "1.\xC0" "0", true},
        MatchCase{"AsciiRevisionBelowAHighByteLowBound", "QUARVEL QRW-20410C",
                  "1.\x80" "0-1.\xF0" "0", kIdent, "1.50", false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace drive
