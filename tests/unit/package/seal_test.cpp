// The package seal: CRC-32 against zlib's values, the seal record's bytes as
// written, and the judgement of a region after one byte of it, or of the
// record, has been flipped.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/crc32.h"
#include "package/seal.h"
#include "support/key_word.h"
#include "support/pattern.h"

namespace package {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t CrcOf(const std::string& text) {
  return Crc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(Crc32, GivesZlibsKnownValues) {
  EXPECT_EQ(CrcOf(""), 0x00000000u);
  EXPECT_EQ(CrcOf("a"), 0xE8B7BE43u);
  EXPECT_EQ(CrcOf("123456789"), 0xCBF43926u);
  EXPECT_EQ(CrcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  const Bytes zeros(kRegionSize, 0);
  EXPECT_EQ(Crc32(zeros.data(), zeros.size()), 0x02A5EEAEu);
}

TEST(Crc32, AgreesWithZlibOnEveryLengthAndInPieces) {
  const Bytes bytes = testsupport::Pattern(4099, 7);
  // Eight bytes go at a time, the rest one by one; starts off the word grid.
  for (std::size_t start : {0u, 1u, 3u}) {
    for (std::size_t size : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 255u, 256u, 1024u, 4096u}) {
      EXPECT_EQ(Crc32(bytes.data() + start, size),
                ::crc32(0, bytes.data() + start, static_cast<uInt>(size)))
          << start << "+" << size;
    }
  }
  const std::uint32_t firstPart = Crc32(bytes.data(), 1000);
  EXPECT_EQ(Crc32(bytes.data() + 1000, bytes.size() - 1000, firstPart),
            Crc32(bytes.data(), bytes.size()));
}

// A region of its own (a pattern, so that every byte counts) and a seal
// record whose marker is "QRWSEAL1".
class SealTest : public testing::Test {
 protected:
  SealTest() : region(testsupport::Pattern(kRegionSize, 11)), record(kSealSize, 0xEE) {
    const SealMarker marker = testsupport::TestSealMarker();
    std::copy(marker.begin(), marker.end(), record.begin());
  }
  PackageView View() const { return PackageView(region.data(), record.data()); }
  std::uint32_t ZlibCrc() const { return ::crc32(0, region.data(), static_cast<uInt>(region.size())); }

  Bytes region;
  Bytes record;
};

TEST_F(SealTest, WriteSealPutsTheCrcAndItsComplementLittleEndianAfterTheMarker) {
  std::fill(region.begin(), region.end(), 0);
  WriteSeal(record.data(), View());
  // CRC-32 of 328,602 zero bytes: 02 A5 EE AE.
  EXPECT_EQ(record, (Bytes{'Q', 'R', 'W', 'S', 'E', 'A', 'L', '1',  //
                           0xAE, 0xEE, 0xA5, 0x02, 0x51, 0x11, 0x5A, 0xFD}));
  EXPECT_EQ(CheckSeal(View()), (SealCheck{SealState::Intact, 0x02A5EEAEu, 0x02A5EEAEu}));
}

TEST_F(SealTest, SealedRegionIsIntactWithZlibsValue) {
  WriteSeal(record.data(), View());
  EXPECT_EQ(CheckSeal(View()), (SealCheck{SealState::Intact, ZlibCrc(), ZlibCrc()}));
  EXPECT_EQ(MarkerOf(record.data()), (SealMarker{'Q', 'R', 'W', 'S', 'E', 'A', 'L', '1'}));
}

TEST_F(SealTest, EightZeroBytesAfterTheMarkerAreAnEmptySeal) {
  std::fill(record.begin() + kSealCrcOffset, record.end(), 0);
  EXPECT_EQ(CheckSeal(View()), (SealCheck{SealState::Empty, 0, ZlibCrc()}));
}

TEST_F(SealTest, RegionWithoutASealRecordIsJudgedEmpty) {
  EXPECT_EQ(CheckSeal(PackageView(region.data())), (SealCheck{SealState::Empty, 0, ZlibCrc()}));
}

struct Flip {
  const char* part;
  bool inRecord;        // the byte lies in the seal record, not the region
  std::ptrdiff_t at;    // from K in the region, or from the record's start
};

// One byte in each part of the region, and in each value of the record.
const Flip kFlips[] = {
    {"ModelText", false, kModelOffset + 3},
    {"NewRevision", false, kNewRevisionOffset},
    {"ProfileTable", false, kProfileTableOffset + 2},
    {"ProfileBlocks", false, kProfileBlocksOffset + 400},
    {"FirstProfileBlockByte", false, kProfileBlocksOffset},
    {"KeyWord", false, 5},
    {"ImageStart", false, kImageAreaOffset},
    {"ImageEnd", false, kImageAreaOffset + static_cast<std::ptrdiff_t>(kImageAreaSize) - 1},
    {"SealCrc", true, kSealCrcOffset + 2},
    {"SealComplement", true, kSealComplementOffset + 3},
};

class SealFlipTest : public SealTest, public testing::WithParamInterface<Flip> {};

TEST_P(SealFlipTest, OneFlippedByteBreaksTheSeal) {
  WriteSeal(record.data(), View());
  const std::uint32_t sealed = ZlibCrc();
  const Flip& flip = GetParam();
  if (flip.inRecord)
    record[static_cast<std::size_t>(flip.at)] ^= 0x01;
  else
    region[static_cast<std::size_t>(static_cast<std::ptrdiff_t>(kKeyWordInRegion) + flip.at)] ^= 0x01;
  const SealCheck check = CheckSeal(View());
  EXPECT_EQ(check.state, SealState::Broken);
  EXPECT_EQ(check.computed, ZlibCrc());
  if (flip.inRecord && flip.at >= static_cast<std::ptrdiff_t>(kSealComplementOffset)) {
    // The CRC still agrees; only its complement does not.
    EXPECT_EQ(check.stored, sealed);
    EXPECT_EQ(check.computed, sealed);
  } else if (flip.inRecord) {
    EXPECT_EQ(check.stored, sealed ^ 0x00010000u);
  } else {
    EXPECT_EQ(check.stored, sealed);
    EXPECT_NE(check.computed, sealed);
  }
}

INSTANTIATE_TEST_SUITE_P(EachPart, SealFlipTest, testing::ValuesIn(kFlips),
                         [](const auto& info) { return std::string(info.param.part); });

TEST(DamagedProgramText, NamesBothValuesAndAsksForAFreshCopy) {
  EXPECT_EQ(DamagedProgramText({SealState::Broken, 0x1A2B3C4Du, 0x00C0FFEEu}),
            "This flash program is damaged: its firmware package does not match its seal "
            "(CRC-32 sealed 1A2B3C4D, found 00C0FFEE).\n\nNo drive has been touched. Please get "
            "a fresh copy of this flash program.");
}

}  // namespace
}  // namespace package
