// The virtual drive's SG front seen from a Windows program under Wine in NT
// mode: the platform's own CreateFileA / DeviceIoControl reach the drive
// through Wine's pass-through code and the SG shim. Every check compares the
// session's trace file with exactly the commands sent.
//
// Run by transport_run.sh, which prepares the prefix, the drive letters and
// the scenario (transport_scenario.txt).
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "transport_checks.h"

namespace {

using namespace transport_checks;

// ---- NT pass-through ----------------------------------------------------------

constexpr DWORD kIoctlScsiPassThrough = 0x4D004;
constexpr DWORD kIoctlScsiPassThroughDirect = 0x4D014;
constexpr DWORD kIoctlScsiGetInquiryData = 0x4100C;

// SCSI_PASS_THROUGH(_DIRECT), 32-bit, then filler and the sense area.
namespace spt {
constexpr std::size_t kLength = 0;
constexpr std::size_t kScsiStatus = 2;
constexpr std::size_t kCdbLength = 6;
constexpr std::size_t kSenseInfoLength = 7;
constexpr std::size_t kDataIn = 8;
constexpr std::size_t kTransferLength = 12;
constexpr std::size_t kTimeOut = 16;
constexpr std::size_t kDataBuffer = 20;  // address (direct) or offset (buffered)
constexpr std::size_t kSenseInfoOffset = 24;
constexpr std::size_t kCdb = 28;
constexpr std::size_t kRecordSize = 44;
constexpr std::size_t kSenseArea = 48;
constexpr std::size_t kDirectBlock = 80;
constexpr std::size_t kBufferedBlock = 592;
constexpr std::uint8_t kSenseRequested = 24;
}  // namespace spt

// SCSI_ADAPTER_BUS_INFO with its one SCSI_INQUIRY_DATA.
namespace businfo {
constexpr std::size_t kNumberOfBuses = 0;
constexpr std::size_t kPathId = 12;
constexpr std::size_t kTargetId = 13;
constexpr std::size_t kLun = 14;
constexpr std::size_t kInquiry = 24;
constexpr std::size_t kProbeBuffer = 130;
}  // namespace businfo

struct CallResult {
  BOOL ok = FALSE;
  DWORD error = 0;
  Block block;
};

template <std::size_t N>
Block PassThroughRecord(std::size_t blockSize, const std::array<std::uint8_t, N>& cdb,
                        std::uint8_t dataIn, std::uint32_t length, std::uint32_t timeout) {
  Block block(blockSize, 0);
  PutLe16(block, spt::kLength, spt::kRecordSize);
  block[spt::kCdbLength] = N;
  block[spt::kSenseInfoLength] = spt::kSenseRequested;
  block[spt::kDataIn] = dataIn;
  PutLe32(block, spt::kTransferLength, length);
  PutLe32(block, spt::kTimeOut, timeout);
  PutLe32(block, spt::kSenseInfoOffset, spt::kSenseArea);
  for (std::size_t i = 0; i < N; ++i) block[spt::kCdb + i] = cdb[i];
  return block;
}

CallResult Control(HANDLE device, DWORD code, Block block, DWORD inLength, DWORD outLength) {
  CallResult result;
  DWORD returned = 0;
  SetLastError(0);
  result.ok = DeviceIoControl(device, code, block.data(), inLength, block.data(), outLength,
                              &returned, nullptr);
  result.error = result.ok ? 0 : GetLastError();
  result.block = std::move(block);
  return result;
}

template <std::size_t N>
CallResult SendDirect(HANDLE device, const std::array<std::uint8_t, N>& cdb, std::uint8_t dataIn,
                      std::uint8_t* data, std::uint32_t length) {
  Block block = PassThroughRecord(spt::kDirectBlock, cdb, dataIn, length, 3);
  PutLe32(block, spt::kDataBuffer, AddressOf(data));
  return Control(device, kIoctlScsiPassThroughDirect, std::move(block), spt::kDirectBlock,
                 spt::kDirectBlock);
}

template <std::size_t N>
CallResult SendBuffered(HANDLE device, const std::array<std::uint8_t, N>& cdb) {
  Block block = PassThroughRecord(spt::kBufferedBlock, cdb, 1, 0, 3);
  PutLe32(block, spt::kDataBuffer, 80);
  return Control(device, kIoctlScsiPassThrough, std::move(block), spt::kRecordSize, 80);
}

CallResult Probe(HANDLE device) {
  return Control(device, kIoctlScsiGetInquiryData, Block(businfo::kProbeBuffer, 0), 0,
                 businfo::kProbeBuffer);
}

std::string DevicePath(char letter) { return std::string("\\\\.\\") + letter + ":"; }

HANDLE OpenDevice(char letter) {
  return CreateFileA(DevicePath(letter).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

class NtPassThrough : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TracePath().empty()) << "QRW_VDRIVE_TRACE is not set";
    ClearTrace();
  }
  void TearDown() override {
    for (HANDLE device : opened_) CloseHandle(device);
  }

  HANDLE Open(char letter) {
    HANDLE device = OpenDevice(letter);
    EXPECT_NE(device, INVALID_HANDLE_VALUE) << DevicePath(letter) << " error " << GetLastError();
    opened_.push_back(device);
    return device;
  }

 private:
  std::vector<HANDLE> opened_;
};

TEST_F(NtPassThrough, RunsInNtMode) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
  EXPECT_EQ(GetDriveTypeA("D:\\"), static_cast<UINT>(DRIVE_CDROM));
  char roots[256] = {};
  const DWORD length = GetLogicalDriveStringsA(sizeof roots, roots);
  std::string listed;
  for (const char* root = roots; root < roots + length && *root; root += std::strlen(root) + 1) {
    listed += root;
    listed += ' ';
  }
  EXPECT_NE(listed.find("D:\\ E:\\ F:\\ G:\\"), std::string::npos) << listed;
}

// Wine answers the probe with an INQUIRY of its own through the SG device;
// like a Windows driver's, the answer comes from the drive's inquiry data
// without a command reaching the drive.
TEST_F(NtPassThrough, ProbeSucceedsWithTheDriveAddressAndNoCommand) {
  const CallResult probe = Probe(Open('D'));

  ASSERT_TRUE(probe.ok) << "error " << probe.error;
  EXPECT_EQ(probe.block[businfo::kNumberOfBuses], 1);
  EXPECT_EQ(probe.block[businfo::kPathId], 1);  // nt-address 1 2 0
  EXPECT_EQ(probe.block[businfo::kTargetId], 2);
  EXPECT_EQ(probe.block[businfo::kLun], 0);
  EXPECT_EQ(Text(probe.block.data() + businfo::kInquiry + 8, 28), kIdentity);
  EXPECT_EQ(ReadTrace(), "");
}

TEST_F(NtPassThrough, InquiryReturnsTheIdentityAndIsTracedOnce) {
  std::array<std::uint8_t, 128> data{};
  const CallResult inquiry = SendDirect(Open('D'), kInquiry128, 1, data.data(), 128);

  ASSERT_TRUE(inquiry.ok) << "error " << inquiry.error;
  EXPECT_EQ(inquiry.block[spt::kScsiStatus], 0x00);
  EXPECT_EQ(inquiry.block[spt::kSenseInfoLength], 0);
  EXPECT_EQ(GetLe32(inquiry.block, spt::kTransferLength), 128u);
  EXPECT_EQ(data[0], 0x05);  // CD-ROM
  EXPECT_EQ(Text(data.data() + 8, 28), kIdentity);
  EXPECT_EQ(ReadTrace(),
            "D 12 00 00 00 80 00 / in 128 " + Digest(data.data(), 128) + " -> 00 00 00 00\n");
}

TEST_F(NtPassThrough, WriteBufferDataReachesTheDriveAndReadsBack) {
  HANDLE device = Open('D');
  Block sent = Pattern(kChunk);
  Block back(kChunk, 0);

  const CallResult write = SendDirect(device, kWriteChunk, 0, sent.data(), kChunk);
  const CallResult read = SendDirect(device, kReadChunk, 1, back.data(), kChunk);

  ASSERT_TRUE(write.ok) << "error " << write.error;
  ASSERT_TRUE(read.ok) << "error " << read.error;
  EXPECT_EQ(write.block[spt::kScsiStatus], 0x00);
  EXPECT_EQ(read.block[spt::kScsiStatus], 0x00);
  EXPECT_EQ(back, sent);
  const std::string digest = Digest(sent.data(), kChunk);
  EXPECT_EQ(ReadTrace(), "D 3B 05 01 00 00 00 00 40 00 00 / out 16384 " + digest +
                             " -> 00 00 00 00\n"
                             "D 3C 01 01 00 00 00 00 40 00 00 / in 16384 " + digest +
                             " -> 00 00 00 00\n");
}

// Drive E fails its first WRITE BUFFER chunk with NOT READY, MEDIUM NOT
// PRESENT: the call succeeds and the record carries status and sense.
TEST_F(NtPassThrough, FailedWriteBufferReturnsStatusAndSense) {
  Block sent = Pattern(kChunk);
  const CallResult write = SendDirect(Open('E'), kWriteChunk, 0, sent.data(), kChunk);

  ASSERT_TRUE(write.ok) << "error " << write.error;
  EXPECT_EQ(write.block[spt::kScsiStatus], 0x02);
  EXPECT_EQ(write.block[spt::kSenseInfoLength], 18);
  EXPECT_EQ(write.block[spt::kSenseArea + 0], 0x70);
  EXPECT_EQ(write.block[spt::kSenseArea + 2], 0x02);
  EXPECT_EQ(write.block[spt::kSenseArea + 12], 0x3A);
  EXPECT_EQ(write.block[spt::kSenseArea + 13], 0x00);
  EXPECT_EQ(ReadTrace(), "E 3B 05 01 00 00 00 00 40 00 00 / out 16384 - -> 02 02 3A 00\n");
}

// The buffered form: input length 44, output length 80, sense comes back.
TEST_F(NtPassThrough, BufferedTestUnitReadyReportsNoMedium) {
  constexpr std::array<std::uint8_t, 6> kTestUnitReady{};
  const CallResult ready = SendBuffered(Open('D'), kTestUnitReady);

  ASSERT_TRUE(ready.ok) << "error " << ready.error;
  EXPECT_EQ(ready.block[spt::kScsiStatus], 0x02);
  EXPECT_EQ(ready.block[spt::kSenseArea + 2], 0x02);
  EXPECT_EQ(ready.block[spt::kSenseArea + 12], 0x3A);
  EXPECT_EQ(ReadTrace(), "D 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00\n");
}

// Drive E holds its first TEST UNIT READY forever: the driver gives up.
TEST_F(NtPassThrough, HeldCommandFailsTheCallWithSemTimeout) {
  constexpr std::array<std::uint8_t, 6> kTestUnitReady{};
  const CallResult ready = SendBuffered(Open('E'), kTestUnitReady);

  EXPECT_FALSE(ready.ok);
  EXPECT_EQ(ready.error, static_cast<DWORD>(ERROR_SEM_TIMEOUT));
  EXPECT_EQ(ReadTrace(), "E 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00 held\n");
}

// Drive E's first INQUIRY calls fail with these system errors, in this
// order: each must reach the program unchanged through Wine.
TEST_F(NtPassThrough, CallErrorsReachTheProgram) {
  HANDLE device = Open('E');
  std::string expected;
  for (DWORD code : {31u, 21u, 87u, 1u, 2u, 3u, 5u, 6u, 32u, 50u, 112u, 121u, 170u, 233u, 998u}) {
    std::array<std::uint8_t, 128> data{};
    const CallResult inquiry = SendDirect(device, kInquiry128, 1, data.data(), 128);
    EXPECT_FALSE(inquiry.ok);
    EXPECT_EQ(inquiry.error, code);
    expected += "E 12 00 00 00 80 00 / in 128 - -> call-error " + std::to_string(code) + "\n";
  }
  EXPECT_EQ(ReadTrace(), expected);
}

// A CD-ROM letter with no device behind it (G: the link is missing): the
// device opens but every SCSI request fails.
TEST(NtWithoutDevice, NothingBehindTheLetterOpensButEveryScsiRequestFails) {
  ClearTrace();
  EXPECT_EQ(GetDriveTypeA("G:\\"), static_cast<UINT>(DRIVE_CDROM));
  HANDLE device = OpenDevice('G');
  ASSERT_NE(device, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  std::array<std::uint8_t, 128> data{};
  constexpr std::array<std::uint8_t, 6> kTestUnitReady{};

  const CallResult probe = Probe(device);
  const CallResult direct = SendDirect(device, kInquiry128, 1, data.data(), 128);
  const CallResult buffered = SendBuffered(device, kTestUnitReady);
  CloseHandle(device);

  EXPECT_FALSE(probe.ok);
  EXPECT_FALSE(direct.ok);
  EXPECT_FALSE(buffered.ok);
  EXPECT_EQ(direct.error, static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(buffered.error, static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  EXPECT_EQ(ReadTrace(), "");
}

// A CD-ROM letter whose device link leads to a folder (F) cannot be opened
// for reading and writing: "access denied", the way to show an open failure.
TEST(NtWithoutDevice, FolderBehindTheLetterDeniesOpening) {
  EXPECT_EQ(GetDriveTypeA("F:\\"), static_cast<UINT>(DRIVE_CDROM));
  HANDLE device = OpenDevice('F');
  const DWORD error = GetLastError();
  if (device != INVALID_HANDLE_VALUE) CloseHandle(device);

  EXPECT_EQ(device, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

// Run as two processes with QRW_VDRIVE_STATE set: the drive the second
// process finds is the drive the first one left.
TEST(StateAcrossRuns, FirstRunWritesAChunk) {
  ClearTrace();
  HANDLE device = OpenDevice('D');
  ASSERT_NE(device, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  Block sent = Pattern(kChunk);
  const CallResult write = SendDirect(device, kWriteChunk, 0, sent.data(), kChunk);
  CloseHandle(device);

  ASSERT_TRUE(write.ok) << "error " << write.error;
  EXPECT_EQ(write.block[spt::kScsiStatus], 0x00);
}

TEST(StateAcrossRuns, SecondRunReadsTheChunkBack) {
  ClearTrace();
  HANDLE device = OpenDevice('D');
  ASSERT_NE(device, INVALID_HANDLE_VALUE) << "error " << GetLastError();
  Block back(kChunk, 0);
  const CallResult read = SendDirect(device, kReadChunk, 1, back.data(), kChunk);
  CloseHandle(device);

  ASSERT_TRUE(read.ok) << "error " << read.error;
  EXPECT_EQ(back, Pattern(kChunk));
  EXPECT_EQ(ReadTrace(), "D 3C 01 01 00 00 00 00 40 00 00 / in 16384 " +
                             Digest(back.data(), kChunk) + " -> 00 00 00 00\n");
}

}  // namespace
