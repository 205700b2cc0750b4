// The built-in package as start-up reads it: the mode test, the image format
// check and the texts derived from the header fields.
#include "package/package_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/region.h"

namespace package {
namespace {

using testsupport::Region;

TEST(ModeTest, TemplateMarkerMeansBuilderEvenWithAModelInTheHeader) {
  Region r;
  r.Put(kModelOffset, "QRW-20410C");
  r.Put(kInquiryOffset, "QUARVEL QRW-20410C");
  r.Put(kImageAreaOffset, "VEKO");
  EXPECT_TRUE(IsTemplate(r.View()));
}

TEST(ModeTest, AnythingButTheExactMarkerMeansFlashMode) {
  const std::string starts[] = {"VEK\x01", "veko", std::string("\0EKO", 4), "XVEK"};
  for (const std::string& start : starts) {
    Region r;
    r.Put(kImageAreaOffset, start);
    EXPECT_FALSE(IsTemplate(r.View())) << start;
  }
}

struct FormatCase {
  const char* name;
  bool oldSignature;  // 05 80 at 0x4000
  bool newSignature;  // 05 80 at 0x1100
  bool found;
  std::uint32_t length;
  bool needsProfile;
};

class CheckNewFormatBINTest : public testing::TestWithParam<FormatCase> {};

TEST_P(CheckNewFormatBINTest, SettlesLengthAndProfile) {
  const FormatCase& c = GetParam();
  Region r;
  if (c.oldSignature) r.Put(kImageAreaOffset + 0x4000, {0x05, 0x80});
  if (c.newSignature) r.Put(kImageAreaOffset + 0x1100, {0x05, 0x80});
  const ImageFormat f = CheckNewFormatBIN(r.View().ImageArea());
  EXPECT_EQ(f.signatureFound, c.found);
  EXPECT_EQ(f.ImageLength, c.length);
  EXPECT_EQ(f.NeedsFlashProfile, c.needsProfile);
}

INSTANTIATE_TEST_SUITE_P(
    Signatures, CheckNewFormatBINTest,
    testing::Values(FormatCase{"OldAt4000", true, false, true, 0x40000, false},
                    FormatCase{"NewAt1100", false, true, true, 0x50000, true},
                    FormatCase{"BothOldWins", true, true, true, 0x40000, false},
                    FormatCase{"Neither", false, false, false, 0x40000, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckNewFormatBIN, HalfASignatureIsNoSignature) {
  Region r;
  r.Put(kImageAreaOffset + 0x1100, {0x05, 0x81});
  r.Put(kImageAreaOffset + 0x4000, {0x85, 0x80});
  const ImageFormat f = CheckNewFormatBIN(r.View().ImageArea());
  EXPECT_FALSE(f.signatureFound);
  EXPECT_EQ(f.ImageLength, 0x40000u);
  EXPECT_FALSE(f.NeedsFlashProfile);
}

TEST(PackageTexts, FullLengthFieldsAreReadInFullUpToThe25thByte) {
  Region r;
  r.Put(kModelOffset, "ABCDEFGHIJKLMNOPQRSTUVWX");    // 24 characters, zero after
  r.Put(kInquiryOffset, "QUARVEL QRW-20410C 123456");  // 25 characters: no zero
  r.Put(kVendorOffset, "Quarvel-IT");
  const PackageTexts t = FormPackageTexts(r.View());
  EXPECT_EQ(t.ModelText, "ABCDEFGHIJKLMNOPQRSTUVWX");
  EXPECT_EQ(t.InquiryText, "QUARVEL QRW-20410C 12345");
  EXPECT_EQ(t.VendorText, "Quarvel-IT");
}

TEST(PackageTexts, InquiryIsPaddedOnTheRightTo24) {
  Region r;
  r.Put(kInquiryOffset, "QUARVEL QRW-20410C");
  EXPECT_EQ(FormPackageTexts(r.View()).InquiryText, "QUARVEL QRW-20410C      ");
}

TEST(PackageTexts, ClosedRangeGivesRangeAndBothBounds) {
  Region r;
  r.Put(kFwRangeOffset, "1.00-1.09");
  r.Put(kNewRevisionOffset, "1.10.");
  const PackageTexts t = FormPackageTexts(r.View());
  EXPECT_EQ(t.RangeText, "1.00-1.09");
  EXPECT_EQ(t.RangeLow, "1.00");
  EXPECT_EQ(t.RangeHigh, "1.09");
  EXPECT_EQ(t.NewRevision, "1.10");
}

TEST(PackageTexts, ShortFieldsAreRightAlignedAndStopAtTheirZero) {
  Region r;
  // A zero after "1.0-2" and meaningless bytes after it: readers stop at the
  // zero, so nothing of "ZZZZ" may reach the high bound.
  r.Put(kFwRangeOffset, std::string("1.0-2\0ZZZZ", 10));
  r.Put(kNewRevisionOffset, std::string("AB\0CD", 5));
  const PackageTexts t = FormPackageTexts(r.View());
  EXPECT_EQ(t.RangeText, "    1.0-2");
  EXPECT_EQ(t.RangeLow, "1.0-");
  EXPECT_EQ(t.RangeHigh, "    ");
  EXPECT_EQ(t.NewRevision, "  AB");
}

TEST(PackageTexts, LongRangeIsCutToNine) {
  Region r;
  r.Put(kFwRangeOffset, "1.00-1.09-EXTRA");
  const PackageTexts t = FormPackageTexts(r.View());
  EXPECT_EQ(t.RangeText, "1.00-1.09");
  EXPECT_EQ(t.RangeHigh, "1.09");
}

struct WildcardCase {
  std::string field;
  bool wildcard;
};

TEST(RangeWildcard, NeedsADashFirstAndSixth) {
  const WildcardCase cases[] = {
      {"----------", true},
      {"-ANY--ALL-", true},
      {"-    -", true},
      {"-1.0-1.09", false},  // a lone leading '-'
      {"1.00-1.09", false},
      {std::string("-\0\0\0\0-", 6), false},  // the sixth byte lies past the zero
  };
  for (const auto& c : cases) {
    Region r;
    r.Put(kFwRangeOffset, c.field);
    EXPECT_EQ(IsRangeWildcard(r.View()), c.wildcard) << c.field;
  }
}

TEST(InquiryWildcard, NeedsTwoLeadingDashes) {
  const WildcardCase cases[] = {
      {"--", true}, {"--QUARVEL", true}, {"-QUARVEL QRW-20410C", false}, {"QUARVEL", false}};
  for (const auto& c : cases) {
    Region r;
    r.Put(kInquiryOffset, c.field);
    EXPECT_EQ(IsInquiryWildcard(r.View()), c.wildcard) << c.field;
  }
}

TEST(FlashAll, FirstNineBytesCaseSensitive) {
  const WildcardCase cases[] = {
      {"FLASH-ALL", true}, {"FLASH-ALL please", true}, {"flash-all", false},
      {"FLASH-AL", false}, {"None", false}};
  for (const auto& c : cases) {
    Region r;
    r.Put(kNoteOffset, c.field);
    EXPECT_EQ(IsFlashAll(r.View()), c.wildcard) << c.field;
  }
}

}  // namespace
}  // namespace package
