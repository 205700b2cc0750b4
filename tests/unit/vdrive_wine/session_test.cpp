// The session the Wine fronts share: one process after another (or side by
// side) sees the drive the earlier commands left, and every command reaches
// the trace file exactly once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "support/temp_folder.h"
#include "vdrive/session/session.h"

namespace {

namespace fs = std::filesystem;
using vdrive::Bytes;
using vdrive::Direction;

const Bytes kWriteChunk = {0x3B, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
const Bytes kReadChunk = {0x3C, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
const Bytes kTestUnitReady = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() {
    folder_ = testsupport::UniqueTempFolder("qrw-session");
    paths_.scenario = (folder_ / "scenario.txt").string();
    paths_.trace = (folder_ / "trace.txt").string();
    paths_.journal = (folder_ / "state.bin").string();
    Scenario("[drive D]\nletter = D\nfail = tur 2 status 02 sense 06 28 00\n");
  }
  ~SessionTest() override { fs::remove_all(folder_); }

  void Scenario(const std::string& text) { std::ofstream(paths_.scenario) << text; }

  std::unique_ptr<vdrive::Session> Open() {
    std::string error;
    auto session = vdrive::Session::Open(paths_, &error);
    EXPECT_TRUE(session) << error;
    return session;
  }

  static vdrive::Answer Run(vdrive::Session& session, const Bytes& cdb, Direction direction,
                            Bytes& data) {
    return session.Execute(session.Drives().At(0), cdb, direction, data);
  }

  std::string FileText(const std::string& path) const {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  static Bytes Pattern() {
    Bytes data(256);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    return data;
  }

  fs::path folder_;
  vdrive::SessionPaths paths_;
};

TEST_F(SessionTest, NextProcessFindsWhatTheEarlierOneWrote) {
  Bytes sent = Pattern();
  Run(*Open(), kWriteChunk, Direction::Out, sent);

  Bytes back(256, 0);
  const vdrive::Answer answer = Run(*Open(), kReadChunk, Direction::In, back);

  EXPECT_EQ(answer.status, vdrive::kStatusGood);
  EXPECT_EQ(back, sent);
}

TEST_F(SessionTest, ReplayedCommandsAreNotTracedAgain) {
  Bytes sent = Pattern();
  Run(*Open(), kWriteChunk, Direction::Out, sent);
  Bytes back(256, 0);
  Run(*Open(), kReadChunk, Direction::In, back);

  char digest[9];
  std::snprintf(digest, sizeof digest, "%08X", static_cast<unsigned>(vdrive::Digest(sent)));
  EXPECT_EQ(FileText(paths_.trace),
            std::string("D 3B 05 01 00 00 00 00 01 00 00 / out 256 ") + digest +
                " -> 00 00 00 00\n"
                "D 3C 01 01 00 00 00 00 01 00 00 / in 256 " + digest + " -> 00 00 00 00\n");
}

// The scenario fails the second TEST UNIT READY: the count goes on in the
// next process, so the first command there is that second one.
TEST_F(SessionTest, CommandCountsGoOnAcrossProcesses) {
  Bytes none;
  const vdrive::Answer first = Run(*Open(), kTestUnitReady, Direction::None, none);
  const vdrive::Answer second = Run(*Open(), kTestUnitReady, Direction::None, none);

  EXPECT_EQ(first.sense, vdrive::kMediumNotPresent);
  EXPECT_EQ(second.sense, (vdrive::Sense{0x06, 0x28, 0x00}));
}

TEST_F(SessionTest, LiveSessionCatchesUpWithAnotherProcess) {
  auto reader = Open();
  auto writer = Open();
  Bytes sent = Pattern();
  Run(*writer, kWriteChunk, Direction::Out, sent);

  Bytes back(256, 0);
  Run(*reader, kReadChunk, Direction::In, back);

  EXPECT_EQ(back, sent);
}

TEST_F(SessionTest, WithoutJournalEveryProcessStartsFromTheScenario) {
  paths_.journal.clear();
  Bytes sent = Pattern();
  Run(*Open(), kWriteChunk, Direction::Out, sent);

  Bytes back(256, 0xEE);
  Run(*Open(), kReadChunk, Direction::In, back);

  EXPECT_EQ(back, Bytes(256, 0x00));
  EXPECT_FALSE(fs::exists(folder_ / "state.bin"));
}

// A record still being appended by another process is left for later.
TEST_F(SessionTest, UnfinishedJournalRecordIsNotReplayed) {
  Bytes sent = Pattern();
  Run(*Open(), kWriteChunk, Direction::Out, sent);
  const std::string complete = FileText(paths_.journal);
  std::ofstream(paths_.journal, std::ios::binary | std::ios::app)
      << complete.substr(0, complete.size() - 10);

  Bytes back(256, 0);
  const vdrive::Answer answer = Run(*Open(), kReadChunk, Direction::In, back);

  EXPECT_EQ(answer.status, vdrive::kStatusGood);
  EXPECT_EQ(back, sent);
}

TEST_F(SessionTest, UnreadableScenarioIsRefusedWithItsReason) {
  Scenario("[drive]\nmedium = sideways\n");
  std::string error;

  EXPECT_FALSE(vdrive::Session::Open(paths_, &error));
  EXPECT_EQ(error, paths_.scenario +
                       ": line 2: medium is none, loaded or becoming-ready N [none|loaded]");
}

}  // namespace
