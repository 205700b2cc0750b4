// The scenario text and the bus of drives it describes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/temp_folder.h"
#include "vdrive/vdrive.h"

namespace {

constexpr const char* kExample =
    R"(# one NT drive with a disc, one ASPI drive whose third chunk write fails
[aspi]
missing = SendASPI32Command

[drive]
letter = e
nt-address = 1 0 0
medium = loaded

[drive burner]
aspi = 1 0
vendor = QUARVEL
product = QRW-20410C
revision = 1.00
flash-chip = DA C8
new-revision = 1.10
fail = write-chunk 3 status 02 sense 02 3A 00
fail = tur every aspi-status 82
corrupt = 0x80004 7F
hold = critical 1 after-wait
call-error = read-chunk 2 1117
profile-mismatch = yes
open-error = 5
probe-error = 50
medium = becoming-ready 12 loaded
)";

TEST(Scenario, ReadsEveryKey) {
  const auto parsed = vdrive::ParseScenario(kExample);
  ASSERT_TRUE(parsed.scenario) << parsed.error;
  const auto& s = *parsed.scenario;
  EXPECT_TRUE(s.aspi.missingSendCommand);
  EXPECT_FALSE(s.aspi.missingSupportInfo);
  ASSERT_EQ(s.drives.size(), 2u);

  const auto& nt = s.drives[0];
  EXPECT_EQ(nt.ntLetter, std::optional<char>{'E'});
  EXPECT_EQ(nt.ntPath, 1);
  EXPECT_EQ(nt.medium, vdrive::Medium::Loaded);
  EXPECT_FALSE(nt.aspi);

  const auto& b = s.drives[1];
  EXPECT_EQ(b.name, "burner");
  ASSERT_TRUE(b.aspi);
  EXPECT_EQ(b.aspi->adapter, 1);
  EXPECT_EQ(b.aspi->target, 0);
  EXPECT_EQ(b.identity.product, "QRW-20410C");
  EXPECT_EQ(b.flashMaker, 0xDA);
  EXPECT_EQ(b.flashDevice, 0xC8);
  EXPECT_EQ(b.newRevision, std::optional<std::string>{"1.10"});
  ASSERT_EQ(b.failures.size(), 2u);
  EXPECT_EQ(b.failures[0].kind, vdrive::Kind::WriteChunk);
  EXPECT_EQ(b.failures[0].nth, 3u);
  EXPECT_EQ(b.failures[0].sense, (vdrive::Sense{0x02, 0x3A, 0x00}));
  EXPECT_EQ(b.failures[1].nth, 0u);
  EXPECT_EQ(b.failures[1].status, 0x02);
  EXPECT_EQ(b.failures[1].aspiStatus, std::optional<std::uint8_t>{0x82});
  ASSERT_EQ(b.corruptions.size(), 1u);
  EXPECT_EQ(b.corruptions[0].offset, 0x80004u);
  EXPECT_EQ(b.corruptions[0].mask, 0x7F);
  ASSERT_EQ(b.holds.size(), 1u);
  EXPECT_EQ(b.holds[0].delivery, vdrive::Delivery::AfterWait);
  ASSERT_EQ(b.callFailures.size(), 1u);
  EXPECT_EQ(b.callFailures[0].systemError, 1117u);
  EXPECT_TRUE(b.profileMismatch);
  EXPECT_EQ(b.openError, std::optional<std::uint32_t>{5});
  EXPECT_EQ(b.probeError, std::optional<std::uint32_t>{50});
  EXPECT_EQ(b.medium, vdrive::Medium::BecomingReady);
  EXPECT_EQ(b.becomingReadyPolls, 12u);
  EXPECT_EQ(b.mediumWhenReady, vdrive::Medium::Loaded);
}

TEST(Scenario, RefusesTheFirstUnreadableLineByNumber) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"letter = E\n", "line 1: key outside a section"},
      {"[drive]\nletter = EF\n", "line 2: letter needs one letter"},
      {"[drive]\n\n# note\nspeed = 4\n", "line 4: unknown drive key 'speed'"},
      {"[drive]\nfail = write-chunks 1\n", "line 2: unknown command kind 'write-chunks'"},
      {"[drive]\nfail = tur 1 sense 02 3A\n",
       "line 2: fail takes status SS, sense KK AA QQ, aspi-status SS"},
      {"[drive]\nflash-chip = 1BF 00\n", "line 2: flash-chip needs maker and device"},
      {"[drive]\nhold = tur 1 sometimes\n",
       "line 2: hold needs kind, count and never|at-wait|after-wait"},
      {"[drive]\naspi = 256 0\n", "line 2: aspi needs adapter and target"},
      {"[drive]\nmedium = full\n",
       "line 2: medium is none, loaded or becoming-ready N [none|loaded]"},
      {"[drives]\n", "line 1: unknown section"},
      {"[drive\n", "line 1: unclosed section header"},
      {"[drive]\nletter\n", "line 2: expected key = value"},
      {"[aspi]\nsupport-info = 0xZZ\n", "line 2: support-info needs a number"},
      {"[drive]\nopen-error = -1\n", "line 2: expected an error code"},
  };
  for (const auto& c : cases) {
    const auto parsed = vdrive::ParseScenario(c.text);
    EXPECT_FALSE(parsed.scenario) << c.text;
    EXPECT_EQ(parsed.error, c.error);
  }
}

TEST(Scenario, AnEmptyTextHasNoDrives) {
  const auto parsed = vdrive::ParseScenario("");
  ASSERT_TRUE(parsed.scenario);
  EXPECT_TRUE(parsed.scenario->drives.empty());
}

TEST(Scenario, LoadsFromAFileAndReportsAMissingOne) {
  const std::filesystem::path folder = testsupport::UniqueTempFolder("qrw-scenario");
  const std::string path = (folder / "vdrive_scenario.txt").string();
  {
    std::ofstream file(path);
    file << "[drive]\r\nletter = D\r\n";
  }
  const auto loaded = vdrive::LoadScenarioFile(path);
  ASSERT_TRUE(loaded.scenario) << loaded.error;
  EXPECT_EQ(loaded.scenario->drives[0].ntLetter, std::optional<char>{'D'});
  std::remove(path.c_str());
  EXPECT_EQ(vdrive::LoadScenarioFile(path).error, "cannot read " + path);
  std::filesystem::remove_all(folder);
}

TEST(Bus, FindsDrivesByLetterAndByAddressAndNamesThem) {
  auto parsed = vdrive::ParseScenario(
      "[drive]\nletter = E\n[drive]\naspi = 2 1\n[drive named]\nletter = F\naspi = 0 1\n");
  ASSERT_TRUE(parsed.scenario);
  vdrive::Bus bus(*parsed.scenario);
  ASSERT_EQ(bus.Size(), 3u);
  EXPECT_EQ(bus.ByLetter('e'), &bus.At(0));
  EXPECT_EQ(bus.ByLetter('F'), &bus.At(2));
  EXPECT_EQ(bus.ByLetter('G'), nullptr);
  EXPECT_EQ(bus.ByAddress(2, 1), &bus.At(1));
  EXPECT_EQ(bus.ByAddress(0, 1), &bus.At(2));
  EXPECT_EQ(bus.ByAddress(0, 0), nullptr);
  EXPECT_EQ(bus.At(0).Name(), "E");
  EXPECT_EQ(bus.At(1).Name(), "2:1");
  EXPECT_EQ(bus.At(2).Name(), "named");
  EXPECT_EQ(bus.AdapterCount(), 3);
  EXPECT_EQ(bus.SupportInfo(), 0x0103u);
}

TEST(Bus, SupportInfoWithoutAdaptersOrAsGiven) {
  auto none = vdrive::ParseScenario("[drive]\nletter = E\n");
  EXPECT_EQ(vdrive::Bus(*none.scenario).SupportInfo(), 0xE800u);
  auto given = vdrive::ParseScenario("[aspi]\nsupport-info = 0x0105\n[drive]\naspi = 0 0\n");
  EXPECT_EQ(vdrive::Bus(*given.scenario).SupportInfo(), 0x0105u);
}

TEST(Bus, AllDrivesWriteOneSessionTrace) {
  auto parsed =
      vdrive::ParseScenario("[drive]\nletter = E\nmedium = loaded\n[drive]\nletter = F\n");
  vdrive::Bus bus(*parsed.scenario);
  const vdrive::Bytes tur(6, 0);
  bus.ByLetter('F')->Execute(tur, vdrive::Direction::None, {});
  bus.ByLetter('E')->Execute(tur, vdrive::Direction::None, {});
  EXPECT_EQ(bus.SessionTrace().Text(),
            "F 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00\n"
            "E 00 00 00 00 00 00 / none 0 - -> 00 00 00 00\n");
}

}  // namespace
