// WRITE BUFFER and READ BUFFER as the drive receives them: offsets and
// lengths from the transfer cursor, CDB lengths, directions and time limits
// per transport, and the final flash command's special bar handling.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "drive/drive_rig.h"

namespace drive {
namespace {

using testrig::Rig;

constexpr std::int32_t kChunk = 0x4000;

std::vector<std::uint8_t> Image(std::uint32_t length) {
  std::vector<std::uint8_t> image(length);
  for (std::uint32_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 14));
  return image;
}

std::string ChunkCdb(std::uint32_t offset, bool aspi) {
  char text[64];
  std::snprintf(text, sizeof text, "3B 05 01 %02X %02X %02X 00 40 00 00%s",
                (offset >> 16) & 0xFF, (offset >> 8) & 0xFF, offset & 0xFF,
                aspi ? " 00 00" : "");
  return text;
}

struct Platform {
  bool aspi;
  const char* name;
};

class ChunkWriteTest : public testing::TestWithParam<std::tuple<Platform, std::uint32_t>> {};

// The flash sequence's write phase: the bar is the cursor, stepped after
// each chunk.
TEST_P(ChunkWriteTest, EveryChunkGoesToTheBarPositionWithLength4000AndControl0) {
  const auto [platform, length] = GetParam();
  Rig rig({platform.aspi ? testrig::AspiDrive(0, 0) : testrig::NtDrive('E')});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  if (!platform.aspi) rig.OpenNt('E');
  const std::vector<std::uint8_t> image = Image(length);
  std::vector<std::uint8_t> chunk(kChunk);
  auto& bar = rig.Bar();
  bar.SetMin(0);
  bar.SetMax(static_cast<std::int32_t>(length));
  bar.SetStep(kChunk);
  bar.SetPosition(0);

  std::vector<std::string> expected;
  while (bar.Position() < bar.Max()) {
    std::copy_n(image.begin() + bar.Position(), kChunk, chunk.begin());
    const bool ok = platform.aspi ? rig.Commands().WriteBuffer(entry, chunk.data(), 0)
                                  : rig.Commands().NTWriteBuffer(entry, chunk.data(), 0);
    ASSERT_TRUE(ok) << bar.Position();
    if (platform.aspi) {
      EXPECT_EQ(rig.LastSrb().flags, 0x10 | 0x40);
      EXPECT_EQ(rig.LastSrb().bufLen, 0x4000u);
      EXPECT_EQ(rig.LastSrb().cdbLen, 12);
    } else {
      const testrig::NtRecord r = rig.LastNtRecord();
      EXPECT_EQ(r.code, 0x4D014u);
      EXPECT_EQ(r.cdbLength, 10);
      EXPECT_EQ(r.dataIn, 0);
      EXPECT_EQ(r.transferLength, 0x4000u);
      EXPECT_EQ(r.timeout, 3u);
    }
    expected.push_back(ChunkCdb(static_cast<std::uint32_t>(bar.Position()), platform.aspi));
    bar.StepIt();
  }
  EXPECT_EQ(expected.size(), length / kChunk);
  EXPECT_EQ(rig.Cdbs(), expected);
  const vdrive::Bytes& dram = rig.DriveAt(0).Dram();
  EXPECT_TRUE(std::equal(image.begin(), image.end(), dram.begin()));
  EXPECT_TRUE(rig.Dialogs().shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Images, ChunkWriteTest,
    testing::Combine(testing::Values(Platform{false, "NT"}, Platform{true, "Aspi"}),
                     testing::Values(0x40000u, 0x50000u)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == 0x40000u ? "Old16Chunks" : "New20Chunks");
    });

TEST(ReadBufferTest, NtChunkReadAt10000SendsItsCdbAndBringsTheDrivesBytes) {
  Rig rig({testrig::NtDrive('E')});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  std::vector<std::uint8_t> chunk(kChunk, 0x5A);
  rig.Bar().SetStep(kChunk);
  rig.Bar().SetPosition(0x10000);
  ASSERT_TRUE(rig.Commands().NTWriteBuffer(entry, chunk.data(), 0));
  std::vector<std::uint8_t> back(kChunk);
  ASSERT_TRUE(rig.Commands().NTReadBuffer(entry, back.data()));
  EXPECT_EQ(rig.Cdbs().back(), "3C 01 01 01 00 00 00 40 00 00");
  const testrig::NtRecord r = rig.LastNtRecord();
  EXPECT_EQ(r.code, 0x4D014u);
  EXPECT_EQ(r.cdbLength, 10);
  EXPECT_EQ(r.dataIn, 1);
  EXPECT_EQ(r.transferLength, 0x4000u);
  EXPECT_EQ(r.timeout, 3u);
  EXPECT_EQ(back, chunk);
}

TEST(ReadBufferTest, AspiChunkReadAt10000SendsTwelveCdbBytesDataIn) {
  Rig rig({testrig::AspiDrive(1, 0)});
  DriveEntry entry;
  entry.Adapter = 1;
  std::vector<std::uint8_t> chunk(kChunk, 0xA5);
  rig.Bar().SetStep(kChunk);
  rig.Bar().SetPosition(0x10000);
  ASSERT_TRUE(rig.Commands().WriteBuffer(entry, chunk.data(), 0));
  std::vector<std::uint8_t> back(kChunk);
  ASSERT_TRUE(rig.Commands().ReadBuffer(entry, back.data()));
  EXPECT_EQ(rig.Cdbs().back(), "3C 01 01 01 00 00 00 40 00 00 00 00");
  const testrig::Srb s = rig.LastSrb();
  EXPECT_EQ(s.flags, 0x08 | 0x40);
  EXPECT_EQ(s.bufLen, 0x4000u);
  EXPECT_EQ(s.haId, 1);
  EXPECT_EQ(back, chunk);
}

struct FailureCase {
  bool aspi;
  bool read;
  vdrive::Kind kind;
  std::string report;
};

class TransferFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(TransferFailureTest, ReportsTheLineAndLeavesTheBarWhereItWas) {
  const FailureCase& c = GetParam();
  vdrive::DriveSpec spec = c.aspi ? testrig::AspiDrive(0, 0) : testrig::NtDrive('E');
  spec.failures.push_back({c.kind, 3, 0x02, {0x02, 0x3A, 0x00}, std::nullopt});
  Rig rig({spec});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  if (!c.aspi) rig.OpenNt('E');
  std::vector<std::uint8_t> chunk(kChunk);
  rig.Bar().SetMax(0x40000);
  rig.Bar().SetStep(kChunk);
  rig.Bar().SetPosition(0);
  bool ok = true;
  while (ok && rig.Bar().Position() < rig.Bar().Max()) {
    auto& cmd = rig.Commands();
    ok = c.read ? (c.aspi ? cmd.ReadBuffer(entry, chunk.data()) : cmd.NTReadBuffer(entry, chunk.data()))
                : (c.aspi ? cmd.WriteBuffer(entry, chunk.data(), 0)
                          : cmd.NTWriteBuffer(entry, chunk.data(), 0));
    if (ok) rig.Bar().StepIt();
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(rig.Bar().Position(), 0x8000);
  EXPECT_EQ(rig.Dialogs().Texts(), std::vector<std::string>{c.report});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferFailureTest,
    testing::Values(
        FailureCase{false, false, vdrive::Kind::WriteChunk,
                    "Write Buffer> Status: 02, SenseCode: 02 3A 00"},
        FailureCase{false, true, vdrive::Kind::ReadChunk,
                    "Read Buffer> Status: 02, SenseCode: 02 3A 00"},
        FailureCase{true, false, vdrive::Kind::WriteChunk,
                    "Write Buffer> Status: 04, SenseCode: 02 3A 00"},
        FailureCase{true, true, vdrive::Kind::ReadChunk,
                    "Read Buffer> Status: 04, SenseCode: 02 3A 00"}));

TEST(TransferFailureTest, AspiCompleteWithSenseIsNoSuccessForChunks) {
  vdrive::DriveSpec spec = testrig::AspiDrive(0, 0);
  spec.failures.push_back({vdrive::Kind::WriteChunk, 1, 0x02, {0x22, 0x00, 0x00}, 0x01});
  Rig rig({spec});
  DriveEntry entry;
  std::vector<std::uint8_t> chunk(kChunk);
  rig.Bar().SetStep(kChunk);
  EXPECT_FALSE(rig.Commands().WriteBuffer(entry, chunk.data(), 0));
  EXPECT_EQ(rig.Dialogs().Texts(),
            std::vector<std::string>{"Write Buffer> Status: 01, SenseCode: 22 00 00"});
}

class FinalFlashTest : public testing::TestWithParam<std::uint8_t> {};

// The NT sequence leaves the bar at 197 with step 1; the command carries
// those values and moves no data, with 200 seconds to finish.
TEST_P(FinalFlashTest, NtCarriesOffset197Length1AndNoData) {
  const std::uint8_t flag = GetParam();
  Rig rig({testrig::NtDrive('E')});
  DriveEntry entry;
  entry.DriveLetter = 'E';
  rig.OpenNt('E');
  std::vector<std::uint8_t> chunk(kChunk, 0x77);
  auto& bar = rig.Bar();
  bar.SetMin(0);
  bar.SetMax(200);
  bar.SetStep(1);
  bar.SetPosition(196);
  bar.StepIt();
  rig.Commands().NTWriteBuffer(entry, chunk.data(), flag);
  const testrig::NtRecord r = rig.LastNtRecord();
  char cdb[64];
  std::snprintf(cdb, sizeof cdb, "3B 05 01 00 00 C5 00 00 01 %02X 00 00 00 00 00 00", flag);
  EXPECT_EQ(r.cdb, cdb);
  EXPECT_EQ(r.cdbLength, 10);
  EXPECT_EQ(r.dataIn, 0);
  EXPECT_EQ(r.transferLength, 0u);
  EXPECT_EQ(r.timeout, 200u);
  // Nothing was downloaded, so the drive refuses the burn.
  char line[96];
  std::snprintf(line, sizeof line, "E 3B 05 01 00 00 C5 00 00 01 %02X / none 0 - -> 02 05 2C 80\n", flag);
  EXPECT_EQ(rig.TraceText(), line);
  EXPECT_EQ(rig.Dialogs().Texts(),
            std::vector<std::string>{"Write Buffer> Status: 02, SenseCode: 05 2C 80"});
}

// The 9x member sets the bar itself: step 1, maximum 200, position 197 and
// one step; the request then takes offset 198 and one data byte.
TEST_P(FinalFlashTest, AspiMovesTheBarTo198AndSendsOneDataByte) {
  const std::uint8_t flag = GetParam();
  Rig rig({testrig::AspiDrive(0, 0)});
  DriveEntry entry;
  std::vector<std::uint8_t> chunk(kChunk, 0x77);
  auto& bar = rig.Bar();
  bar.SetPosition(0);
  bar.SetMin(0);
  bar.SetMax(200);
  bar.SetStep(0);
  bar.history.clear();
  rig.Commands().WriteBuffer(entry, chunk.data(), flag);
  EXPECT_EQ(bar.history, (std::vector<fakes::BarState>{
                             {0, 200, 0, 1}, {0, 200, 0, 1}, {0, 200, 197, 1}, {0, 200, 198, 1}}));
  const testrig::Srb s = rig.LastSrb();
  char cdb[64];
  std::snprintf(cdb, sizeof cdb, "3B 05 01 00 00 C6 00 00 01 %02X 00 00 00 00 00 00", flag);
  EXPECT_EQ(s.cdb, cdb);
  EXPECT_EQ(s.cdbLen, 12);
  EXPECT_EQ(s.flags, 0x10 | 0x40);
  EXPECT_EQ(s.bufLen, 1u);
  EXPECT_TRUE(s.hasBuffer);
  char line[96];
  std::snprintf(line, sizeof line,
                "0:0 3B 05 01 00 00 C6 00 00 01 %02X 00 00 / out 1 - -> 02 05 2C 80\n", flag);
  EXPECT_EQ(rig.TraceText(), line);
  EXPECT_EQ(rig.Dialogs().Texts(),
            std::vector<std::string>{"Write Buffer> Status: 04, SenseCode: 05 2C 80"});
}

INSTANTIATE_TEST_SUITE_P(Flags, FinalFlashTest, testing::Values(0x80, 0xA0),
                         [](const auto& info) { return info.param == 0x80 ? "Normal" : "FlashAll"; });

}  // namespace
}  // namespace drive
