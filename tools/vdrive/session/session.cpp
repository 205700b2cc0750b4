#include "vdrive/session/session.h"

#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "vdrive/bytes.h"

namespace vdrive {
namespace {

// Journal record, little-endian, one per command:
//   0  drive index on the bus
//   1  direction (0 none, 1 in, 2 out)
//   2  CDB length n
//   3  n CDB bytes
//   3+n  transfer length L (4 bytes)
//   7+n  for direction out: the L bytes the host sent
constexpr std::size_t kRecordFixedBytes = 7;

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::uint8_t DirectionCode(Direction direction) {
  switch (direction) {
    case Direction::None:
      return 0;
    case Direction::In:
      return 1;
    case Direction::Out:
      return 2;
  }
  return 0;
}

std::optional<Direction> DirectionFromCode(std::uint8_t code) {
  switch (code) {
    case 0:
      return Direction::None;
    case 1:
      return Direction::In;
    case 2:
      return Direction::Out;
    default:
      return std::nullopt;
  }
}

Bytes ReadFileFrom(const std::string& path, std::uint64_t offset) {
  Bytes content;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return content;
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0) {
    std::uint8_t block[65536];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
      content.insert(content.end(), block, block + got);
    }
  }
  std::fclose(file);
  return content;
}

void AppendToFile(const std::string& path, const void* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) return;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

std::optional<SessionPaths> SessionPathsFromEnvironment() {
  SessionPaths paths{EnvironmentValue(kScenarioEnvironment),
                     EnvironmentValue(kTraceEnvironment),
                     EnvironmentValue(kStateEnvironment),
                     EnvironmentValue(kReleaseEnvironment)};
  if (paths.scenario.empty()) return std::nullopt;
  return paths;
}

void Session::AwaitRelease() const {
  using namespace std::chrono_literals;
  const auto limit = std::chrono::steady_clock::now() + 10min;
  while (!std::ifstream(paths_.release).good() && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(20ms);
}

std::unique_ptr<Session> Session::Open(const SessionPaths& paths,
                                       std::string* error) {
  ScenarioResult loaded = LoadScenarioFile(paths.scenario);
  if (!loaded.scenario) {
    *error = paths.scenario + ": " + loaded.error;
    return nullptr;
  }
  return std::unique_ptr<Session>(new Session(*loaded.scenario, paths));
}

Session::Session(const Scenario& scenario, SessionPaths paths)
    : paths_(std::move(paths)), bus_(scenario) {
  CatchUp();
  bus_.SessionTrace().SetSink(
      [this](const std::string& line) { AppendTraceLine(line); });
}

Answer Session::Execute(Drive& drive, std::span<const std::uint8_t> cdb,
                        Direction direction, std::span<std::uint8_t> data) {
  CatchUp();
  Answer answer = drive.Execute(cdb, direction, data);
  Journal(IndexOf(drive), cdb, direction, data);
  bus_.SessionTrace().Clear();
  return answer;
}

void Session::Note(const std::string& line) { AppendTraceLine(line); }

void Session::AppendTraceLine(const std::string& line) {
  if (paths_.trace.empty()) return;
  const std::string text = line + "\n";
  AppendToFile(paths_.trace, text.data(), text.size());
}

std::size_t Session::IndexOf(const Drive& drive) {
  for (std::size_t i = 0; i < bus_.Size(); ++i) {
    if (&bus_.At(i) == &drive) return i;
  }
  return bus_.Size();
}

void Session::Journal(std::size_t driveIndex,
                      std::span<const std::uint8_t> cdb, Direction direction,
                      std::span<const std::uint8_t> data) {
  if (paths_.journal.empty()) return;
  Bytes record;
  record.push_back(static_cast<std::uint8_t>(driveIndex));
  record.push_back(DirectionCode(direction));
  record.push_back(static_cast<std::uint8_t>(cdb.size()));
  record.insert(record.end(), cdb.begin(), cdb.end());
  AppendLe32(record, static_cast<std::uint32_t>(data.size()));
  if (direction == Direction::Out) {
    record.insert(record.end(), data.begin(), data.end());
  }
  AppendToFile(paths_.journal, record.data(), record.size());
  replayed_ += record.size();
}

// Replays what the journal holds beyond what this process has applied, with
// the trace sink silenced: those commands were traced when they first ran.
void Session::CatchUp() {
  if (paths_.journal.empty()) return;
  const Bytes tail = ReadFileFrom(paths_.journal, replayed_);
  auto sink = [this](const std::string& line) { AppendTraceLine(line); };
  bus_.SessionTrace().SetSink(nullptr);
  std::size_t at = 0;
  while (tail.size() - at >= kRecordFixedBytes) {
    const std::uint8_t* record = tail.data() + at;
    const std::size_t cdbLength = record[2];
    if (tail.size() - at < kRecordFixedBytes + cdbLength) break;
    const std::uint32_t length = GetLe32(record + 3 + cdbLength, 0);
    const std::optional<Direction> direction = DirectionFromCode(record[1]);
    const std::size_t payload = direction == Direction::Out ? length : 0;
    const std::size_t size = kRecordFixedBytes + cdbLength + payload;
    if (!direction || tail.size() - at < size) break;
    if (record[0] < bus_.Size()) {
      Bytes data = direction == Direction::Out
                       ? Bytes(record + kRecordFixedBytes + cdbLength,
                               record + size)
                       : Bytes(length, 0);
      bus_.At(record[0]).Execute(
          std::span<const std::uint8_t>(record + 3, cdbLength), *direction,
          data);
    }
    at += size;
  }
  replayed_ += at;
  bus_.SessionTrace().Clear();
  bus_.SessionTrace().SetSink(sink);
}

}  // namespace vdrive
