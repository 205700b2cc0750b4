// The virtual drive's TCMU backstore on a command ring of the test's own: a
// mapping laid out as the kernel lays out a TCMU device's (mailbox, command
// ring, data area), filled as the kernel fills it, and a socket pair in
// place of the UIO device (its reads wait for news, its writes tell of
// completions).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"
#include "vdrive/session/session.h"
#include "vdrive/tcmu/tcmu_ring.h"

namespace {

namespace fs = std::filesystem;
namespace tcmu = vdrive::tcmu;
using vdrive::Bytes;

const Bytes kTestUnitReady = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kInquiry = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
const Bytes kWriteChunk = {0x3B, 0x05, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};
const Bytes kReadChunk = {0x3C, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00};

// The empty drive's answer to TEST UNIT READY: NOT READY, MEDIUM NOT PRESENT.
constexpr std::uint8_t kCheckCondition = 0x02;

using tcmu::Load;
using tcmu::Store;

// The mapping, shared with a child process that serves it. A ring of 512
// bytes holds four entries; the fifth finds too little room before the end.
class Device {
 public:
  static constexpr std::uint32_t kRingOffset = 128, kRingSize = 512;
  static constexpr std::uint32_t kDataOffset = kRingOffset + kRingSize, kDataSize = 4 * 65536;
  static constexpr std::size_t kSize = kDataOffset + kDataSize;

  Device() {
    void* map = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(map, MAP_FAILED);
    base_ = static_cast<std::uint8_t*>(map);
    Store<std::uint16_t>(base_, tcmu::kMailboxVersion);
    Store<std::uint16_t>(base_ + tcmu::kMailboxFlags, tcmu::kCapReadLength);
    Store<std::uint32_t>(base_ + tcmu::kMailboxRingOffset, kRingOffset);
    Store<std::uint32_t>(base_ + tcmu::kMailboxRingSize, kRingSize);
  }
  ~Device() { munmap(base_, kSize); }

  std::uint8_t* Base() { return base_; }

  // Queues one command as the kernel does: an entry whose fixed part is at
  // least the size of the response, then the CDB, rounded up to 8 bytes, with
  // one data piece. An entry that would pass the ring's end is put at its
  // start, after a padding entry over the rest. Returns the entry's offset
  // in the ring.
  std::uint32_t Queue(const Bytes& cdb, std::uint32_t length, const Bytes& out = {}) {
    constexpr std::uint32_t kFixed = 112;  // sizeof(struct tcmu_cmd_entry)
    const std::uint32_t size = (kFixed + static_cast<std::uint32_t>(cdb.size()) + 7) / 8 * 8;
    if (kRingSize - head_ < size) {
      Store<std::uint32_t>(Entry(head_), (kRingSize - head_) | tcmu::kOpPad);
      head_ = 0;
    }
    std::uint8_t* entry = Entry(head_);
    std::memset(entry, 0, size);
    Store<std::uint32_t>(entry + tcmu::kEntryLengthOp, size | tcmu::kOpCommand);
    Store<std::uint32_t>(entry + tcmu::kEntryIovCount, length == 0 ? 0 : 1);
    const std::uint64_t cdbAt = kRingOffset + head_ + kFixed;
    Store<std::uint64_t>(entry + tcmu::kEntryCdbOffset, cdbAt);
    std::memcpy(base_ + cdbAt, cdb.data(), cdb.size());
    pieces_[head_] = data_;
    if (length != 0) {
      Store<std::uint64_t>(entry + tcmu::kEntryIov, data_);
      Store<std::uint64_t>(entry + tcmu::kEntryIov + 8, length);
      std::memset(base_ + data_, 0, length);
      if (!out.empty()) std::memcpy(base_ + data_, out.data(), out.size());
      data_ = kDataOffset + (data_ - kDataOffset + length) % kDataSize;
    }
    const std::uint32_t at = head_;
    head_ = (head_ + size) % kRingSize;
    __atomic_store_n(reinterpret_cast<std::uint32_t*>(base_ + tcmu::kMailboxHead), head_,
                     __ATOMIC_RELEASE);
    return at;
  }

  std::uint32_t Tail() const {
    return __atomic_load_n(reinterpret_cast<const std::uint32_t*>(base_ + tcmu::kMailboxTail),
                           __ATOMIC_ACQUIRE);
  }
  std::uint32_t Head() const { return head_; }
  std::uint8_t* Entry(std::uint32_t at) { return base_ + kRingOffset + at; }
  std::uint8_t Status(std::uint32_t at) { return Entry(at)[tcmu::kResponseStatus]; }
  // The data piece of the entry last queued at `at`, as the initiator reads
  // it (the response has taken the place of the request's piece list).
  std::string DataText(std::uint32_t at, std::size_t from, std::size_t count) {
    return std::string(reinterpret_cast<const char*>(base_ + pieces_[at] + from), count);
  }

 private:
  std::uint8_t* base_ = nullptr;
  std::uint32_t head_ = 0;
  std::uint64_t data_ = kDataOffset;
  std::map<std::uint32_t, std::uint64_t> pieces_;
};

class TcmuRingTest : public ::testing::Test {
 protected:
  TcmuRingTest() { folder_ = testsupport::UniqueTempFolder("qrw-tcmu"); }
  ~TcmuRingTest() override { fs::remove_all(folder_); }

  vdrive::Session& Open(const std::string& drive) {
    paths_.scenario = (folder_ / "scenario.txt").string();
    paths_.trace = (folder_ / "trace.txt").string();
    std::ofstream(paths_.scenario) << "[drive QRW]\nletter = E\n" << drive;
    std::string error;
    session_ = vdrive::Session::Open(paths_, &error);
    EXPECT_TRUE(session_) << error;
    return *session_;
  }

  // The trace's CDBs, one line each.
  std::string TracedCdbs() const {
    std::ifstream file(paths_.trace);
    std::string line, cdbs;
    while (std::getline(file, line)) cdbs += line.substr(0, line.find(" / ")) + "\n";
    return cdbs;
  }

  // Serves the device in a child process, as the backstore does, with one
  // end of a socket pair for its UIO device; the test holds the other end.
  void StartServing(Device& device) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    child_ = fork();
    ASSERT_GE(child_, 0);
    if (child_ == 0) {
      close(ends[0]);
      tcmu::CatchStopSignals();
      tcmu::Ring ring(device.Base(), *session_, session_->Drives().At(0));
      std::string error;
      _exit(tcmu::ServeUntilStopped(ends[1], ring, &error) ? 0 : 1);
    }
    close(ends[1]);
    uio_ = ends[0];
  }

  // Whether the backstore told of completions within `limit`.
  bool Kicked(std::chrono::milliseconds limit) {
    pollfd ready{uio_, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(limit.count())) != 1) return false;
    std::uint32_t kick = 0;
    return read(uio_, &kick, sizeof kick) == sizeof kick;
  }

  // The child's exit status, once it ends within `limit`; -1 when it does not
  // (it is then killed).
  int Ended(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
      if (waitpid(child_, &status, WNOHANG) == child_) {
        child_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  void TearDown() override {
    if (child_ > 0) {
      kill(child_, SIGKILL);
      waitpid(child_, nullptr, 0);
    }
    if (uio_ >= 0) close(uio_);
  }

  fs::path folder_;
  vdrive::SessionPaths paths_;
  std::unique_ptr<vdrive::Session> session_;
  pid_t child_ = -1;
  int uio_ = -1;
};

// Long enough that only a backstore that does not answer at all misses it.
constexpr std::chrono::milliseconds kPatience(10000);

TEST_F(TcmuRingTest, AnswersAroundTheRingsEndPastItsPadding) {
  Open("");
  Device device;
  tcmu::Ring ring(device.Base(), *session_, session_->Drives().At(0));
  const std::uint32_t tur = device.Queue(kTestUnitReady, 0);
  const std::uint32_t inquiry = device.Queue(kInquiry, 36);
  device.Queue(kWriteChunk, 65536, Bytes(65536, 0x5A));
  ring.Serve();
  EXPECT_EQ(device.Tail(), device.Head());
  EXPECT_EQ(device.Status(tur), kCheckCondition);
  EXPECT_EQ(device.Entry(tur)[tcmu::kResponseSense + 12], 0x3A);
  EXPECT_EQ(device.Status(inquiry), 0x00);
  EXPECT_EQ(device.DataText(inquiry, 8, 28), "QUARVEL QRW-20410C      1.00");
  EXPECT_EQ(Load<std::uint32_t>(device.Entry(inquiry) + tcmu::kResponseReadLength), 36u);

  // 120 + 120 + 128 + 128 bytes: the next entry finds 16 bytes before the end.
  device.Queue(kReadChunk, 65536);
  const std::uint32_t wrapped = device.Queue(kInquiry, 36);
  ASSERT_EQ(wrapped, 0u);
  ring.Serve();

  EXPECT_EQ(device.Tail(), device.Head());
  EXPECT_EQ(device.Status(wrapped), 0x00);
  EXPECT_EQ(device.DataText(wrapped, 8, 28), "QUARVEL QRW-20410C      1.00");
  EXPECT_EQ(TracedCdbs(),
            "QRW 00 00 00 00 00 00\n"
            "QRW 12 00 00 00 24 00\n"
            "QRW 3B 05 01 00 00 00 00 01 00 00\n"
            "QRW 3C 01 01 00 00 00 00 01 00 00\n"
            "QRW 12 00 00 00 24 00\n");
}

// The kernel reads completions only when told; the one before a command the
// drive never answers must reach it, and the ring stays at the held one.
TEST_F(TcmuRingTest, TellsOfTheCompletionsBeforeAHeldCommand) {
  Open("hold = tur 2 never\n");
  Device device;
  const std::uint32_t answered = device.Queue(kTestUnitReady, 0);
  const std::uint32_t held = device.Queue(kTestUnitReady, 0);
  device.Queue(kTestUnitReady, 0);
  StartServing(device);

  EXPECT_TRUE(Kicked(kPatience)) << "the completion before the held command was not told";
  EXPECT_EQ(device.Status(answered), kCheckCondition);
  EXPECT_EQ(device.Tail(), held);
  EXPECT_EQ(TracedCdbs(), "QRW 00 00 00 00 00 00\nQRW 00 00 00 00 00 00\n");

  kill(child_, SIGTERM);
  EXPECT_EQ(Ended(kPatience), 0);
}

// A stop that comes while the drive holds a command back for a while: the
// backstore ends at once, neither waiting the hold out nor then blocking on
// the device.
TEST_F(TcmuRingTest, EndsOnTermWhileServing) {
  Open("hold = tur 1 at-wait\n");
  Device device;
  const std::uint32_t slow = device.Queue(kTestUnitReady, 0);
  StartServing(device);
  const auto until = std::chrono::steady_clock::now() + kPatience;
  while (TracedCdbs().empty() && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_EQ(TracedCdbs(), "QRW 00 00 00 00 00 00\n");

  kill(child_, SIGTERM);
  EXPECT_EQ(Ended(kPatience), 0) << "still serving after TERM";
  EXPECT_EQ(device.Tail(), slow);
}

}  // namespace
