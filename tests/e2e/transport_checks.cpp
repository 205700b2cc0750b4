// The virtual drive's Wine fronts, seen from a Windows program under Wine:
// in NT mode the platform's own CreateFileA / DeviceIoControl reach the
// drive through Wine's pass-through code and the SG shim; in Windows 9x mode
// the WNASPI32.DLL beside the program serves the ASPI entry points. Every
// check compares the session's trace file with exactly the commands sent.
//
// Run by transport_run.sh, which prepares the prefix, the drive letters and
// the scenario (transport_scenario.txt). The request records are built here
// from the platforms' published layouts, on their own.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Block = std::vector<std::uint8_t>;

// ---- the trace file ---------------------------------------------------------

// A Unix path, reached through Wine's drive Z: whatever the current drive.
std::string TracePath() {
  const char* path = std::getenv("QRW_VDRIVE_TRACE");
  if (!path || !*path) return "";
  return path[0] == '/' ? std::string("Z:") + path : std::string(path);
}

void ClearTrace() {
  std::FILE* file = std::fopen(TracePath().c_str(), "wb");
  if (file) std::fclose(file);
}

std::string ReadTrace() {
  std::string text;
  std::FILE* file = std::fopen(TracePath().c_str(), "rb");
  if (!file) return text;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  std::fclose(file);
  return text;
}

// The trace's digest of the bytes a command moved: FNV-1a, 32 bits.
std::string Digest(const std::uint8_t* data, std::size_t length) {
  std::uint32_t hash = 0x811C9DC5u;
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= data[i];
    hash *= 0x01000193u;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hash));
  return text;
}

// ---- little-endian fields ----------------------------------------------------

void PutLe16(Block& block, std::size_t at, std::uint16_t value) {
  block[at] = static_cast<std::uint8_t>(value);
  block[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLe32(Block& block, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) block[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLe32(const Block& block, std::size_t at) {
  return std::uint32_t{block[at]} | std::uint32_t{block[at + 1]} << 8 |
         std::uint32_t{block[at + 2]} << 16 | std::uint32_t{block[at + 3]} << 24;
}

std::uint32_t AddressOf(const void* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

std::string Text(const std::uint8_t* data, std::size_t length) {
  return std::string(reinterpret_cast<const char*>(data), length);
}

Block Pattern(std::size_t length) {
  Block data(length);
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return data;
}

// The identity of the scenario's drives, INQUIRY bytes 8 to 35.
const std::string kIdentity = "QUARVEL QRW-20410C      1.00";

constexpr std::array<std::uint8_t, 6> kInquiry128 = {0x12, 0x00, 0x00, 0x00, 0x80, 0x00};
constexpr std::array<std::uint8_t, 6> kInquiry36 = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
// WRITE BUFFER / READ BUFFER of 16384 bytes at buffer offset 0.
constexpr std::array<std::uint8_t, 10> kWriteChunk = {0x3B, 0x05, 0x01, 0x00, 0x00,
                                                      0x00, 0x00, 0x40, 0x00, 0x00};
constexpr std::array<std::uint8_t, 10> kReadChunk = {0x3C, 0x01, 0x01, 0x00, 0x00,
                                                     0x00, 0x00, 0x40, 0x00, 0x00};
constexpr std::size_t kChunk = 16384;

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

// ---- ASPI for Win32 -------------------------------------------------------------

namespace srb {
constexpr std::uint8_t kHostAdapterInquiry = 0x00;
constexpr std::uint8_t kGetDeviceType = 0x01;
constexpr std::uint8_t kExecScsiCommand = 0x02;
constexpr std::uint8_t kAbort = 0x03;

constexpr std::uint8_t kPending = 0x00;
constexpr std::uint8_t kComplete = 0x01;
constexpr std::uint8_t kAborted = 0x02;
constexpr std::uint8_t kError = 0x04;
constexpr std::uint8_t kInvalidAdapter = 0x81;
constexpr std::uint8_t kNoDevice = 0x82;

constexpr std::size_t kCmd = 0;
constexpr std::size_t kStatus = 1;
constexpr std::size_t kHaId = 2;
constexpr std::size_t kFlags = 3;
// SRB_ExecSCSICmd
constexpr std::size_t kTarget = 8;
constexpr std::size_t kBufLen = 12;
constexpr std::size_t kBufPointer = 16;
constexpr std::size_t kSenseLen = 20;
constexpr std::size_t kCdbLen = 21;
constexpr std::size_t kTargStat = 23;
constexpr std::size_t kPostProc = 24;
constexpr std::size_t kCdb = 48;
constexpr std::size_t kSenseArea = 64;
constexpr std::size_t kExecSize = 80;
constexpr std::uint8_t kDirIn = 0x08;
constexpr std::uint8_t kDirOut = 0x10;
constexpr std::uint8_t kEventNotify = 0x40;
// SRB_HAInquiry
constexpr std::size_t kHaCount = 8;
constexpr std::size_t kHaManagerId = 10;
constexpr std::size_t kHaInquirySize = 60;
// SRB_GDEVBlock
constexpr std::size_t kDeviceType = 10;
constexpr std::size_t kDeviceTypeSize = 12;
// SRB_Abort
constexpr std::size_t kToAbort = 8;
constexpr std::size_t kAbortSize = 12;
}  // namespace srb

using SupportInfoFunction = DWORD(__cdecl*)();
using SendCommandFunction = DWORD(__cdecl*)(void*);

class Aspi9x : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TracePath().empty()) << "QRW_VDRIVE_TRACE is not set";
    ClearTrace();
    library_ = LoadLibraryA("WNASPI32.DLL");
    ASSERT_NE(library_, nullptr) << "error " << GetLastError();
    supportInfo_ = reinterpret_cast<SupportInfoFunction>(
        reinterpret_cast<void*>(GetProcAddress(library_, "GetASPI32SupportInfo")));
    send_ = reinterpret_cast<SendCommandFunction>(
        reinterpret_cast<void*>(GetProcAddress(library_, "SendASPI32Command")));
    ASSERT_NE(supportInfo_, nullptr);
    ASSERT_NE(send_, nullptr);
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  void TearDown() override {
    if (event_) CloseHandle(event_);
    if (library_) FreeLibrary(library_);
  }

  template <std::size_t N>
  Block ExecBlock(std::uint8_t adapter, std::uint8_t target, const std::array<std::uint8_t, N>& cdb,
                  std::uint8_t direction, std::uint8_t* data, std::uint32_t length,
                  std::uint8_t cdbLength) {
    Block block(srb::kExecSize, 0);
    block[srb::kCmd] = srb::kExecScsiCommand;
    block[srb::kHaId] = adapter;
    block[srb::kFlags] = direction | srb::kEventNotify;
    block[srb::kTarget] = target;
    PutLe32(block, srb::kBufLen, length);
    PutLe32(block, srb::kBufPointer, AddressOf(data));
    block[srb::kSenseLen] = 14;
    block[srb::kCdbLen] = cdbLength;
    PutLe32(block, srb::kPostProc, AddressOf(event_));
    for (std::size_t i = 0; i < N; ++i) block[srb::kCdb + i] = cdb[i];
    return block;
  }

  // Sends and, while the request is pending, waits for its event. A request
  // completed inside the call has signalled the event too: it is reset, so
  // that the next request starts from an unsignalled event.
  DWORD SendAndWait(Block& block, DWORD limit) {
    send_(block.data());
    if (block[srb::kStatus] != srb::kPending) {
      ResetEvent(event_);
      return WAIT_OBJECT_0;
    }
    return WaitForSingleObject(event_, limit);
  }

  HMODULE library_ = nullptr;
  SupportInfoFunction supportInfo_ = nullptr;
  SendCommandFunction send_ = nullptr;
  HANDLE event_ = nullptr;
};

TEST_F(Aspi9x, RunsInWindows9xMode) {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  ASSERT_TRUE(GetVersionExA(&version));
  EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
}

// Two adapters (drives at 0:0, 0:1, 1:0, 1:1); Wine's own library reports
// none (0xE800), so this also shows the DLL beside the program was loaded.
TEST_F(Aspi9x, SupportInfoCountsTheAdapters) {
  EXPECT_EQ(supportInfo_(), 0x0102u);
  EXPECT_EQ(ReadTrace(), "");
}

TEST_F(Aspi9x, HostAdapterInquiryAndDeviceTypes) {
  Block inquiry(srb::kHaInquirySize, 0);
  inquiry[srb::kCmd] = srb::kHostAdapterInquiry;
  EXPECT_EQ(send_(inquiry.data()), srb::kComplete);
  EXPECT_EQ(inquiry[srb::kStatus], srb::kComplete);
  EXPECT_EQ(inquiry[srb::kHaCount], 2);
  EXPECT_EQ(Text(inquiry.data() + srb::kHaManagerId, 16), "ASPI for WIN32  ");

  struct Case {
    std::uint8_t adapter, target, status, type;
  };
  for (const Case& c : {Case{0, 0, srb::kComplete, 0x05}, Case{1, 1, srb::kComplete, 0x05},
                        Case{0, 5, srb::kNoDevice, 0x1F}}) {
    Block type(srb::kDeviceTypeSize, 0);
    type[srb::kCmd] = srb::kGetDeviceType;
    type[srb::kHaId] = c.adapter;
    type[srb::kTarget] = c.target;
    send_(type.data());
    EXPECT_EQ(type[srb::kStatus], c.status) << int(c.adapter) << ":" << int(c.target);
    EXPECT_EQ(type[srb::kDeviceType], c.type) << int(c.adapter) << ":" << int(c.target);
  }
  Block beyond(srb::kHaInquirySize, 0);
  beyond[srb::kCmd] = srb::kHostAdapterInquiry;
  beyond[srb::kHaId] = 2;
  EXPECT_EQ(send_(beyond.data()), srb::kInvalidAdapter);
  EXPECT_EQ(ReadTrace(), "");
}

TEST_F(Aspi9x, InquiryCompletesThroughTheEvent) {
  std::array<std::uint8_t, 36> data{};
  Block block = ExecBlock(0, 0, kInquiry36, srb::kDirIn, data.data(), 36, 6);

  ASSERT_EQ(SendAndWait(block, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(block[srb::kStatus], srb::kComplete);
  EXPECT_EQ(block[srb::kTargStat], 0x00);
  EXPECT_EQ(Text(data.data() + 8, 28), kIdentity);
  EXPECT_EQ(ReadTrace(),
            "D 12 00 00 00 24 00 / in 36 " + Digest(data.data(), 36) + " -> 00 00 00 00\n");
}

TEST_F(Aspi9x, FailedCommandReturnsStatusAndSenseInTheBlock) {
  Block sent = Pattern(kChunk);
  Block block = ExecBlock(0, 1, kWriteChunk, srb::kDirOut, sent.data(), kChunk, 12);

  ASSERT_EQ(SendAndWait(block, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(block[srb::kStatus], srb::kError);
  EXPECT_EQ(block[srb::kTargStat], 0x02);
  EXPECT_EQ(block[srb::kSenseArea + 2], 0x02);
  EXPECT_EQ(block[srb::kSenseArea + 12], 0x3A);
  EXPECT_EQ(block[srb::kSenseArea + 13], 0x00);
  EXPECT_EQ(ReadTrace(),
            "E 3B 05 01 00 00 00 00 40 00 00 00 00 / out 16384 - -> 02 02 3A 00\n");
}

// SRB_SenseLen asks for more than the 16 bytes of SenseArea: the sense stays
// inside the block.
TEST_F(Aspi9x, OversizedSenseLengthStaysInsideTheBlock) {
  constexpr std::array<std::uint8_t, 6> kTestUnitReady{};
  constexpr std::size_t kGuard = 32;
  Block block = ExecBlock(0, 0, kTestUnitReady, 0, nullptr, 0, 12);
  block[srb::kSenseLen] = 0xFF;
  block.resize(srb::kExecSize + kGuard, 0xAA);

  ASSERT_EQ(SendAndWait(block, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(block[srb::kStatus], srb::kError);
  EXPECT_EQ(block[srb::kSenseArea + 2], 0x02);
  EXPECT_EQ(block[srb::kSenseArea + 12], 0x3A);
  EXPECT_EQ(Block(block.begin() + srb::kExecSize, block.end()), Block(kGuard, 0xAA));
  EXPECT_EQ(ReadTrace(), "D 00 00 00 00 00 00 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00\n");
}

// Drive H holds its first INQUIRY until the caller waits, its second until
// the library's next call.
TEST_F(Aspi9x, HeldRequestsCompleteAtTheWaitOrAtTheNextCall) {
  std::array<std::uint8_t, 36> first{};
  Block atWait = ExecBlock(1, 0, kInquiry36, srb::kDirIn, first.data(), 36, 6);
  EXPECT_EQ(send_(atWait.data()), srb::kPending);
  EXPECT_EQ(WaitForSingleObject(event_, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(atWait[srb::kStatus], srb::kComplete);
  EXPECT_EQ(Text(first.data() + 8, 28), kIdentity);

  std::array<std::uint8_t, 36> second{};
  Block afterWait = ExecBlock(1, 0, kInquiry36, srb::kDirIn, second.data(), 36, 6);
  EXPECT_EQ(send_(afterWait.data()), srb::kPending);
  EXPECT_EQ(WaitForSingleObject(event_, 100), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_EQ(afterWait[srb::kStatus], srb::kPending);
  EXPECT_EQ(second[8], 0) << "data written before completion";
  supportInfo_();
  EXPECT_EQ(afterWait[srb::kStatus], srb::kComplete);
  EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0);
  EXPECT_EQ(Text(second.data() + 8, 28), kIdentity);

  const std::string digest = Digest(first.data(), 36);
  EXPECT_EQ(ReadTrace(), "H 12 00 00 00 24 00 / in 36 " + digest + " -> 00 00 00 00 held-at-wait\n"
                         "H 12 00 00 00 24 00 / in 36 " + digest +
                             " -> 00 00 00 00 held-after-wait\n");
}

// Drive I never completes its first INQUIRY; only an abort ends it. Drive D
// answers the same INQUIRY first, for the digest of what I was to return.
TEST_F(Aspi9x, RequestThatNeverCompletesIsEndedByAbort) {
  std::array<std::uint8_t, 36> answered{};
  Block good = ExecBlock(0, 0, kInquiry36, srb::kDirIn, answered.data(), 36, 6);
  ASSERT_EQ(SendAndWait(good, 5000), WAIT_OBJECT_0);

  std::array<std::uint8_t, 36> data{};
  Block held = ExecBlock(1, 1, kInquiry36, srb::kDirIn, data.data(), 36, 6);
  EXPECT_EQ(send_(held.data()), srb::kPending);
  EXPECT_EQ(WaitForSingleObject(event_, 100), static_cast<DWORD>(WAIT_TIMEOUT));

  Block abort(srb::kAbortSize, 0);
  abort[srb::kCmd] = srb::kAbort;
  abort[srb::kHaId] = 1;
  PutLe32(abort, srb::kToAbort, AddressOf(held.data()));
  EXPECT_EQ(send_(abort.data()), srb::kComplete);
  EXPECT_EQ(held[srb::kStatus], srb::kAborted);
  EXPECT_EQ(WaitForSingleObject(event_, 0), WAIT_OBJECT_0) << "the abort did not signal the event";
  supportInfo_();
  EXPECT_EQ(held[srb::kStatus], srb::kAborted);
  EXPECT_EQ(data[8], 0) << "an aborted request wrote its data";
  const std::string digest = Digest(answered.data(), 36);
  EXPECT_EQ(ReadTrace(), "D 12 00 00 00 24 00 / in 36 " + digest + " -> 00 00 00 00\n"
                         "I 12 00 00 00 24 00 / in 36 " + digest + " -> 00 00 00 00 held\n");
}

// Drive H holds its first TEST UNIT READY until a moment later; the program
// unloads the library meanwhile. The library's thread still completes it.
TEST_F(Aspi9x, HeldRequestCompletesAfterTheLibraryIsUnloaded) {
  constexpr std::array<std::uint8_t, 6> kTestUnitReady{};
  Block block = ExecBlock(1, 0, kTestUnitReady, 0, nullptr, 0, 12);
  ASSERT_EQ(send_(block.data()), srb::kPending);
  FreeLibrary(library_);
  library_ = nullptr;

  EXPECT_EQ(WaitForSingleObject(event_, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(block[srb::kStatus], srb::kError);
  EXPECT_EQ(block[srb::kTargStat], 0x02);
  EXPECT_EQ(ReadTrace(),
            "H 00 00 00 00 00 00 00 00 00 00 00 00 / none 0 - -> 02 02 3A 00 held-at-wait\n");
}

// Run with a scenario whose [aspi] section says load = fail.
TEST(Aspi9xLoadFailure, LoadLibraryFails) {
  EXPECT_EQ(LoadLibraryA("WNASPI32.DLL"), nullptr);
}

// Run with a scenario whose [aspi] section says missing = <entry point>,
// the name given in QRW_CHECK_MISSING_ENTRY.
TEST(Aspi9xMissingEntry, OnlyTheNamedEntryPointIsGone) {
  const char* missing = std::getenv("QRW_CHECK_MISSING_ENTRY");
  ASSERT_NE(missing, nullptr);
  HMODULE library = LoadLibraryA("WNASPI32.DLL");
  ASSERT_NE(library, nullptr) << "error " << GetLastError();
  for (const std::string entry : {"GetASPI32SupportInfo", "SendASPI32Command"}) {
    const bool found = GetProcAddress(library, entry.c_str()) != nullptr;
    EXPECT_EQ(found, entry != missing) << entry;
  }
  FreeLibrary(library);
}

}  // namespace
