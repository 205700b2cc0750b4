// The virtual drive's WNASPI32.DLL seen from a Windows program under Wine
// in Windows 9x mode: the DLL beside the program serves the ASPI entry
// points. Every check compares the session's trace file with exactly the
// commands sent.
//
// Run by transport_run.sh, which prepares the prefix, the drive letters and
// the scenario (transport_scenario.txt, or one whose [aspi] section fails).
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "transport_checks.h"

namespace {

using namespace transport_checks;

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
