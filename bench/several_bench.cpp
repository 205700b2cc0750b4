// Flashing a row of drives at once: four drives of the virtual drive's SG
// front (preloaded, as the Linux tests run it), each flashed with the real
// waits of the procedure, with --all, against one drive flashed alone, both
// measured in this run. Two goals:
//  - time: the four take at most 1.25 times the one (the workers run side
//    by side, so a row takes about the time of its slowest drive);
//  - memory: exactly one 16384-byte chunk buffer alive a drive at the
//    busiest moment (four for the row, one alone).
// Prints both and exits non-zero when a goal is missed; with --once (ctest's
// check that the benchmark still runs, in any build) it flashes once each
// way and fails only when a flash does not complete.
//   bench_several PROGRAM.EXE ROOT [--once]
// ROOT is the device tree several_bench.sh lays out: /dev/sg0 to sg3, type 5
// each, served by the front.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/fake_power.h"
#include "flash/flash_procedure.h"
#include "package/program_file.h"
#include "platform/linux/linux_scsi_generic.h"
#include "terminal/several_drives.h"

namespace {

// The chunk buffers alive now and at the most; a slot a buffer while it
// lives. Requests with the drive allocate as they like (the front copies
// what it returns): counting pauses on that thread meanwhile.
constexpr int kSlots = 64;
std::atomic<void*> alive[kSlots];
std::atomic<int> aliveNow{0};
std::atomic<int> alivePeak{0};
std::atomic<bool> counting{false};
thread_local bool withTheDrive = false;

void Track(void* p) {
  for (auto& slot : alive) {
    void* empty = nullptr;
    if (slot.compare_exchange_strong(empty, p)) break;
  }
  const int now = ++aliveNow;
  int peak = alivePeak;
  while (now > peak && !alivePeak.compare_exchange_weak(peak, now)) {
  }
}

void Untrack(void* p) {
  if (p == nullptr) return;
  for (auto& slot : alive) {
    void* expected = p;
    if (slot.compare_exchange_strong(expected, nullptr)) {
      --aliveNow;
      return;
    }
  }
}

void* Allocate(std::size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  if (counting && !withTheDrive && size == static_cast<std::size_t>(flash::kChunkLength)) Track(p);
  return p;
}

void Release(void* p) {
  Untrack(p);
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kTimeGoal = 1.25;
constexpr int kRuns = 5;
constexpr int kDrives = 4;

// SG_IO as the tool sends it, with the counting paused while the request
// is with the drive.
class PausingScsiGeneric final : public platform::ScsiGeneric {
 public:
  explicit PausingScsiGeneric(const std::string& root) : inner_(root) {}

  std::optional<platform::Handle> Open(const std::string& node) override { return inner_.Open(node); }
  void Close(platform::Handle handle) override { inner_.Close(handle); }
  bool Execute(platform::Handle handle, platform::SgCommand& command) override {
    withTheDrive = true;
    const bool executed = inner_.Execute(handle, command);
    withTheDrive = false;
    return executed;
  }
  std::optional<int> VersionNumber(platform::Handle handle) override { return inner_.VersionNumber(handle); }
  std::optional<platform::ScsiAddress> Address(platform::Handle handle) override { return inner_.Address(handle); }
  bool IsBlockDevice(platform::Handle handle) override { return inner_.IsBlockDevice(handle); }
  std::uint32_t LastError() override { return inner_.LastError(); }
  std::string ErrorText(std::uint32_t error) override { return inner_.ErrorText(error); }
  std::optional<int> DeviceType(const std::string& node) override { return inner_.DeviceType(node); }
  std::string ShownName(const std::string& node) override { return inner_.ShownName(node); }
  bool HasRawIo() override { return true; }
  std::vector<std::string> CdRomNodes() override { return inner_.CdRomNodes(); }

 private:
  platform::linux_sg::LinuxScsiGeneric inner_;
};

volatile std::sig_atomic_t neverInterrupted = 0;

struct Run {
  double seconds = 0;
  int status = -1;
  int peakBuffers = 0;
};

// One flash run of the tool's own code: --all over the tree's four drives,
// or the one drive alone (--device).
Run FlashRun(const package::PackageView& package, const std::string& root, bool all) {
  terminal::Options options;
  options.assumeYes = true;
  if (all) {
    options.all = true;
  } else {
    options.device = root + "/dev/sg0";
  }
  const terminal::ScsiGenericMaker makeSg = [&root] { return std::make_unique<PausingScsiGeneric>(root); };
  std::istringstream in;
  std::ostringstream out;
  terminal::Console console{in, out, out};
  fakes::MainsPower mains;
  fakes::SilentGuard guard;
  Run run;
  alivePeak = 0;
  counting = true;
  const auto start = Clock::now();
  if (all) {
    run.status = terminal::FlashSeveral(package, options, makeSg, mains, guard, console, neverInterrupted);
  } else {
    const std::unique_ptr<platform::ScsiGeneric> sg = makeSg();
    volatile std::sig_atomic_t requested = 0;
    terminal::Interrupt interrupt(requested);
    run.status = terminal::FlashDrive(package, options, *sg, mains, guard, console, interrupt);
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  counting = false;
  run.peakBuffers = alivePeak;
  if (run.status != 0) std::fputs(out.str().c_str(), stderr);
  return run;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const bool once = argc == 4 && std::string(argv[3]) == "--once";
  if (argc != 3 && !once) {
    std::fprintf(stderr, "usage: bench_several PROGRAM.EXE ROOT [--once]\n");
    return 2;
  }
  const package::ProgramFile program = package::ReadProgramFile(argv[1]);
  if (program.problem != package::ProgramFileProblem::None) {
    std::fprintf(stderr, "bench_several: %s\n", program.message.c_str());
    return 2;
  }
  const std::string root = argv[2];
  const int runs = once ? 1 : kRuns;
  std::vector<double> alone, row;
  int alonePeak = 0, rowPeak = 0;
  for (int i = 0; i < runs; ++i) {
    const Run one = FlashRun(program.Package(), root, false);
    const Run four = FlashRun(program.Package(), root, true);
    if (one.status != 0 || four.status != 0) {
      std::printf("a flash did not complete (status %d alone, %d for the row)\n", one.status, four.status);
      return 1;
    }
    alone.push_back(one.seconds);
    row.push_back(four.seconds);
    alonePeak = std::max(alonePeak, one.peakBuffers);
    rowPeak = std::max(rowPeak, four.peakBuffers);
  }
  const double ratio = Median(row) / Median(alone);
  const bool fast = ratio <= kTimeGoal;
  const bool oneEach = alonePeak == 1 && rowPeak == kDrives;
  std::printf("one drive alone %.1f ms, %d drives with --all %.1f ms, ratio %.3f (goal <= %.2f) %s\n",
              Median(alone) * 1000, kDrives, Median(row) * 1000, ratio, kTimeGoal, fast ? "ok" : "MISSED");
  std::printf("16 KB buffers alive at once: %d alone, %d for %d drives (goal: one a drive) %s\n",
              alonePeak, rowPeak, kDrives, oneEach ? "ok" : "MISSED");
  return once || (fast && oneEach) ? 0 : 1;
}
