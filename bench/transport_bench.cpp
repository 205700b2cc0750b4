// One command round trip (TEST UNIT READY, and a 16 KB WRITE BUFFER chunk)
// through each transport against the in-process virtual drive, set against
// a plain 16 KB copy measured in the same run. The drive's own work for the
// same command (storing, digesting, tracing) is measured alone and taken
// off, leaving what the transport and its front cost. The goal it is held to:
// at most twice the copy (kGoal); each line says whether it met it.
// Meaningful from an optimised build (-DCMAKE_BUILD_TYPE=Release).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "scsi/aspi_transport.h"
#include "scsi/nt_passthrough.h"
#include "vdrive/inprocess.h"

namespace {

constexpr std::uint32_t kChunk = 16384;
constexpr int kForgetEvery = 1024;  // keep the recorders' memory flat
constexpr double kGoal = 2.0;       // transport overhead, in copies of 16 KB

vdrive::Scenario Drives() {
  return *vdrive::ParseScenario("[drive]\nletter = E\naspi = 0 0\nmedium = loaded\n").scenario;
}

// The two commands timed: one without data, one 16 KB chunk.
struct Command {
  std::array<std::uint8_t, 16> cdb;
  scsi::Direction direction;
  std::uint32_t length;
};
const Command kTestUnitReady{{0x00}, scsi::Direction::None, 0};
const Command kChunkWrite{
    {0x3B, 0x05, 0x01, 0x00, 0x40, 0x00, 0x00, 0x40, 0x00, 0x00}, scsi::Direction::Out, kChunk};

scsi::ScsiRequest Request(const Command& command, std::uint8_t* data, std::uint8_t cdbLength) {
  scsi::ScsiRequest request;
  request.cdb = command.cdb;
  request.cdbLength = cdbLength;
  request.direction = command.direction;
  request.data = command.length > 0 ? data : nullptr;
  request.transferLength = command.length;
  request.timeout = std::chrono::seconds(3);
  request.ntForm = command.length > 0 ? scsi::NtForm::Direct : scsi::NtForm::Buffered;
  return request;
}

void Copy16K(benchmark::State& state) {
  std::vector<std::uint8_t> from(kChunk, 0x5A), to(kChunk);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kChunk);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(Copy16K);

void DriveAlone(benchmark::State& state, const Command& command) {
  vdrive::Bus bus(Drives());
  vdrive::Drive& drive = *bus.ByLetter('E');
  std::vector<std::uint8_t> data(kChunk, 0x5A);
  const auto request = Request(command, data.data(), 10);
  const auto direction = command.length > 0 ? vdrive::Direction::Out : vdrive::Direction::None;
  const std::span<std::uint8_t> span(data.data(), command.length);
  int n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(drive.Execute({request.cdb.data(), 10}, direction, span));
    if (++n % kForgetEvery == 0) bus.SessionTrace().Clear();
  }
}
BENCHMARK_CAPTURE(DriveAlone, tur, kTestUnitReady);
BENCHMARK_CAPTURE(DriveAlone, chunk, kChunkWrite);

void NtRoundTrip(benchmark::State& state, const Command& command) {
  vdrive::Bus bus(Drives());
  vdrive::DeviceIoFront io(bus);
  scsi::NtPassThrough nt(io);
  const auto handle = nt.OpenDriveDevice('E');
  std::vector<std::uint8_t> data(kChunk, 0x5A);
  const auto request = Request(command, data.data(), 10);
  int n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(nt.NTSendRequest(request, *handle));
    if (++n % kForgetEvery == 0) {
      bus.SessionTrace().Clear();
      io.ClearRecords();
    }
  }
}
BENCHMARK_CAPTURE(NtRoundTrip, tur, kTestUnitReady);
BENCHMARK_CAPTURE(NtRoundTrip, chunk, kChunkWrite);

void AspiRoundTrip(benchmark::State& state, const Command& command) {
  vdrive::Bus bus(Drives());
  vdrive::AspiFront library(bus);
  library.Load("WNASPI32.DLL");
  scsi::AspiTransport aspi(library);
  std::vector<std::uint8_t> data(kChunk, 0x5A);
  const auto request = Request(command, data.data(), 12);
  int n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(aspi.W9xSendRequest(request));
    if (++n % kForgetEvery == 0) {
      bus.SessionTrace().Clear();
      library.ClearRecords();
    }
  }
}
BENCHMARK_CAPTURE(AspiRoundTrip, tur, kTestUnitReady);
BENCHMARK_CAPTURE(AspiRoundTrip, chunk, kChunkWrite);

// Prints as usual and keeps each benchmark's CPU time per iteration (the
// machine is shared, so wall time is noisier).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> times;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double copy = reporter.times["Copy16K"];
  if (copy <= 0) return 0;
  for (const char* command : {"tur", "chunk"}) {
    const double drive = reporter.times[std::string("DriveAlone/") + command];
    for (const char* transport : {"NtRoundTrip", "AspiRoundTrip"}) {
      const double total = reporter.times[std::string(transport) + "/" + command];
      const double overhead = (total - drive) / copy;
      std::printf(
          "%-13s %-5s round trip %7.2f x copy; transport overhead %6.2f x copy "
          "(goal: at most %g) %s\n",
          transport, command, total / copy, overhead, kGoal,
          overhead <= kGoal ? "met" : "MISSED");
    }
  }
  return 0;
}
