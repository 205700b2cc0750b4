// The in-process fronts as a driver and an ASPI library: records written
// here by hand, byte by byte, are decoded as the platform would.
#include <gtest/gtest.h>

#include <array>

#include "vdrive/inprocess.h"

namespace {

vdrive::Scenario Parse(const std::string& text) {
  auto parsed = vdrive::ParseScenario(text);
  EXPECT_TRUE(parsed.scenario) << parsed.error;
  return *parsed.scenario;
}

void Le32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A pass-through record with a sense area at 48, built by the test.
std::array<std::uint8_t, 128> Record(std::initializer_list<std::uint8_t> cdb, std::uint8_t dataIn,
                                     std::uint32_t length, std::uint8_t senseLength = 24) {
  std::array<std::uint8_t, 128> block{};
  block[0] = 44;
  block[6] = static_cast<std::uint8_t>(cdb.size());
  block[7] = senseLength;
  block[8] = dataIn;
  Le32(&block[12], length);
  Le32(&block[16], 3);
  Le32(&block[20], 80);
  Le32(&block[24], 48);
  std::copy(cdb.begin(), cdb.end(), block.begin() + 28);
  return block;
}

class DeviceIoFrontTest : public ::testing::Test {
 protected:
  DeviceIoFrontTest()
      : bus_(Parse("[drive]\nletter = E\nnt-address = 1 2 3\n"
                   "[drive]\nletter = H\nhold = tur 1 never\nhold = tur 2 at-wait\n")),
        io_(bus_),
        handle_(*io_.Open("\\\\.\\E:", 0xC0000000, 1, 3, 0)) {}

  bool Send(std::array<std::uint8_t, 128>& block, std::uint32_t inLength, std::uint32_t outLength,
            std::uint32_t code = 0x4D004) {
    return io_.Control(handle_, code, block.data(), inLength, block.data(), outLength);
  }

  vdrive::Bus bus_;
  vdrive::DeviceIoFront io_;
  platform::Handle handle_;
};

TEST_F(DeviceIoFrontTest, WritesStatusAddressAndAtMostTheRequestedSense) {
  auto block = Record({0x00, 0, 0, 0, 0, 0}, 1, 0, 8);
  std::fill(block.begin() + 48, block.end(), 0xCC);
  ASSERT_TRUE(Send(block, 80, 80, 0x4D014));
  EXPECT_EQ(block[2], 0x02);
  EXPECT_EQ(block[3], 1);
  EXPECT_EQ(block[4], 2);
  EXPECT_EQ(block[5], 3);
  EXPECT_EQ(block[7], 8);  // sense bytes returned
  EXPECT_EQ(block[48], 0x70);
  EXPECT_EQ(block[50], 0x02);
  EXPECT_EQ(block[55], 0x0A);
  EXPECT_EQ(block[56], 0xCC);  // past SenseInfoLength
  EXPECT_EQ(block[60], 0xCC);
}

TEST_F(DeviceIoFrontTest, TheBufferedFormReturnsOnlyTheOutputLength) {
  auto block = Record({0x00, 0, 0, 0, 0, 0}, 1, 0);
  std::fill(block.begin() + 80, block.end(), 0xCC);
  ASSERT_TRUE(Send(block, 44, 80));
  EXPECT_EQ(block[50], 0x02);
  EXPECT_EQ(block[80], 0xCC);  // the data area did not come back
  auto longer = Record({0x12, 0, 0, 0, 36, 0}, 1, 36);
  ASSERT_TRUE(Send(longer, 44, 116));
  EXPECT_EQ(std::string(longer.begin() + 88, longer.begin() + 96), "QUARVEL ");
  EXPECT_EQ(longer[116], 0x00);
}

TEST_F(DeviceIoFrontTest, TheDirectFormMovesDataThroughTheBufferAddress) {
  std::array<std::uint8_t, 36> data{};
  auto block = Record({0x12, 0, 0, 0, 36, 0}, 1, 36);
  io_.PutAddress(&block[20], data.data());
  ASSERT_TRUE(Send(block, 80, 80, 0x4D014));
  EXPECT_EQ(std::string(data.begin() + 16, data.begin() + 26), "QRW-20410C");
  EXPECT_EQ(block[12], 36);
}

struct BadRecord {
  const char* name;
  std::size_t offset;
  std::uint8_t value;
  std::uint32_t code;
  std::uint32_t error;
};

TEST_F(DeviceIoFrontTest, RefusesMalformedRecordsWithTheDriversErrors) {
  const BadRecord cases[] = {
      {"length field", 0, 40, 0x4D004, 87},
      {"cdb length zero", 6, 0, 0x4D004, 87},
      {"cdb length 17", 6, 17, 0x4D004, 87},
      {"sense past the output", 7, 40, 0x4D004, 87},
      {"direction 3", 8, 3, 0x4D004, 87},
      {"unknown buffer address", 20, 0x44, 0x4D014, 998},
      {"buffered data past the output", 12, 0xFF, 0x4D004, 87},
      {"unknown control code", 0, 44, 0x2D1400, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto block = Record({0x12, 0, 0, 0, 36, 0}, 1, 36);
    block[c.offset] = c.value;
    const auto before = block;
    EXPECT_FALSE(Send(block, 80, 80, c.code));
    EXPECT_EQ(io_.LastError(), c.error);
    EXPECT_EQ(block, before);
  }
  auto block = Record({0x00, 0, 0, 0, 0, 0}, 1, 0);
  EXPECT_FALSE(io_.Control(handle_ + 1, 0x4D004, block.data(), 44, block.data(), 80));
  EXPECT_EQ(io_.LastError(), 6u);
  EXPECT_FALSE(Send(block, 43, 80));
  EXPECT_EQ(io_.LastError(), 87u);
}

TEST_F(DeviceIoFrontTest, AHeldRequestEndsOnTheDriversTimeLimitASlowOneSucceeds) {
  const auto held = io_.Open("\\\\.\\H:", 0xC0000000, 1, 3, 0);
  ASSERT_TRUE(held);
  auto block = Record({0x00, 0, 0, 0, 0, 0}, 1, 0);
  EXPECT_FALSE(io_.Control(*held, 0x4D004, block.data(), 44, block.data(), 80));
  EXPECT_EQ(io_.LastError(), 121u);
  EXPECT_TRUE(io_.Control(*held, 0x4D004, block.data(), 44, block.data(), 80));
  EXPECT_EQ(block[2], 0x02);
}

TEST_F(DeviceIoFrontTest, AnswersTheInquiryDataControl) {
  std::array<std::uint8_t, 130> out{};
  ASSERT_TRUE(io_.Control(handle_, 0x4100C, nullptr, 0, out.data(), 130));
  EXPECT_EQ(out[0], 1);  // one bus
  EXPECT_EQ(out[12], 1);
  EXPECT_EQ(out[13], 2);
  EXPECT_EQ(out[14], 3);
  EXPECT_EQ(std::string(out.begin() + 32, out.begin() + 40), "QUARVEL ");
  EXPECT_FALSE(io_.Control(handle_, 0x4100C, nullptr, 0, out.data(), 40));
  EXPECT_EQ(io_.LastError(), 122u);
  EXPECT_TRUE(bus_.SessionTrace().Entries().empty());  // the port driver answers it
}

TEST_F(DeviceIoFrontTest, OpensOnlyTheDrivesLetterPath) {
  EXPECT_FALSE(io_.Open("\\\\.\\E:\\", 0, 0, 3, 0));
  EXPECT_EQ(io_.LastError(), 2u);
  EXPECT_FALSE(io_.Open("\\\\.\\G:", 0, 0, 3, 0));
  EXPECT_TRUE(io_.Open("\\\\.\\e:", 0, 0, 3, 0));
  io_.Close(0x9999);
  EXPECT_EQ(io_.BadCloses(), 1u);
}

// SRBs written by the test.
std::array<std::uint8_t, 80> ExecSrb(std::uint8_t adapter, std::uint8_t target, std::uint8_t flags,
                                     std::initializer_list<std::uint8_t> cdb,
                                     std::uint8_t senseLength = 14) {
  std::array<std::uint8_t, 80> srb{};
  srb[0] = 0x02;
  srb[2] = adapter;
  srb[3] = flags;
  srb[8] = target;
  srb[20] = senseLength;
  srb[21] = static_cast<std::uint8_t>(cdb.size());
  std::copy(cdb.begin(), cdb.end(), srb.begin() + 48);
  return srb;
}

class AspiFrontTest : public ::testing::Test {
 protected:
  AspiFrontTest() : bus_(Parse("[drive]\naspi = 1 0\n")), aspi_(bus_) {
    aspi_.Load("WNASPI32.DLL");
  }
  vdrive::Bus bus_;
  vdrive::AspiFront aspi_;
};

TEST_F(AspiFrontTest, HostAdapterInquiryAndDeviceType) {
  std::array<std::uint8_t, 60> ha{};
  ha[0] = 0x00;
  ha[2] = 1;
  EXPECT_EQ(aspi_.SendCommand(ha.data()), 0x01u);
  EXPECT_EQ(ha[8], 2);  // adapters 0 and 1
  EXPECT_EQ(std::string(ha.begin() + 10, ha.begin() + 24), "ASPI for WIN32");
  ha.fill(0);
  ha[2] = 2;
  EXPECT_EQ(aspi_.SendCommand(ha.data()), 0x81u);

  std::array<std::uint8_t, 12> dev{};
  dev[0] = 0x01;
  dev[2] = 1;
  EXPECT_EQ(aspi_.SendCommand(dev.data()), 0x01u);
  EXPECT_EQ(dev[10], 0x05);
  dev[8] = 1;
  EXPECT_EQ(aspi_.SendCommand(dev.data()), 0x82u);
  EXPECT_EQ(dev[10], 0x1F);
}

TEST_F(AspiFrontTest, ExecToNoDeviceOrABadAdapter) {
  auto srb = ExecSrb(1, 1, 0, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(aspi_.SendCommand(srb.data()), 0x82u);
  srb = ExecSrb(5, 0, 0, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(aspi_.SendCommand(srb.data()), 0x81u);
  srb = ExecSrb(1, 0, 0x18, {0, 0, 0, 0, 0, 0});
  EXPECT_EQ(aspi_.SendCommand(srb.data()), 0xE0u);
  srb = ExecSrb(1, 0, 0, {0, 0, 0, 0, 0, 0});
  srb[9] = 1;
  EXPECT_EQ(aspi_.SendCommand(srb.data()), 0x82u);
  EXPECT_TRUE(bus_.SessionTrace().Entries().empty());
}

TEST_F(AspiFrontTest, SenseIsLimitedToTheSenseLength) {
  auto srb = ExecSrb(1, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 3);
  EXPECT_EQ(aspi_.SendCommand(srb.data()), 0x04u);
  EXPECT_EQ(srb[23], 0x02);  // target status
  EXPECT_EQ(srb[64], 0x70);
  EXPECT_EQ(srb[66], 0x02);
  EXPECT_EQ(srb[76], 0x00);  // ASC not within three sense bytes
}

TEST_F(AspiFrontTest, AnAbortOfNothingFails) {
  std::array<std::uint8_t, 12> abort{};
  abort[0] = 0x03;
  abort[2] = 1;
  std::array<std::uint8_t, 80> other{};
  aspi_.PutAddress(&abort[8], other.data());
  EXPECT_EQ(aspi_.SendCommand(abort.data()), 0x03u);
}

// Each way a held request ends signals the caller's event, as the DLL
// front does: the two fronts share one dispatcher.
struct HeldEnding {
  const char* name;
  const char* hold;
  bool abort;                  // SC_ABORT_SRB after the send
  std::uint8_t finalStatus;    // the block's SRB_Status at the end
  std::uint32_t abortReturns;  // what the abort returned, when sent
};

class AspiHeldRequest : public ::testing::TestWithParam<HeldEnding> {};

TEST_P(AspiHeldRequest, EndsWithItsEventSignalled) {
  const HeldEnding& c = GetParam();
  vdrive::Bus bus(Parse(std::string("[drive]\naspi = 1 0\nmedium = loaded\nhold = tur 1 ") +
                        c.hold + "\n"));
  vdrive::AspiFront aspi(bus);
  aspi.Load("WNASPI32.DLL");
  const platform::EventHandle event = aspi.CreateEvent();
  auto srb = ExecSrb(1, 0, 0x40, {0, 0, 0, 0, 0, 0});
  aspi.PutEvent(&srb[24], event);
  ASSERT_EQ(aspi.SendCommand(srb.data()), 0x00u);
  EXPECT_FALSE(aspi.Signalled(event));

  if (c.abort) {
    std::array<std::uint8_t, 12> abort{};
    abort[0] = 0x03;
    abort[2] = 1;
    aspi.PutAddress(&abort[8], srb.data());
    EXPECT_EQ(aspi.SendCommand(abort.data()), c.abortReturns);
    EXPECT_TRUE(aspi.Signalled(event));
  } else {
    EXPECT_EQ(aspi.Wait(event, std::chrono::milliseconds(5)),
              std::string(c.hold) == "at-wait" ? platform::WaitResult::Signalled
                                               : platform::WaitResult::TimedOut);
    aspi.GetSupportInfo();  // the library's next call
    if (std::string(c.hold) == "after-wait") {
      EXPECT_TRUE(aspi.Signalled(event));
    }
  }
  EXPECT_EQ(srb[1], c.finalStatus);
  EXPECT_EQ(aspi.Outstanding(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EachEnding, AspiHeldRequest,
    ::testing::Values(HeldEnding{"NeverThenAbort", "never", true, 0x02, 0x01},
                      HeldEnding{"AfterWaitThenAbort", "after-wait", true, 0x02, 0x01},
                      HeldEnding{"AfterWaitThenNextCall", "after-wait", false, 0x01, 0},
                      HeldEnding{"AtWait", "at-wait", false, 0x01, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AspiFrontLibrary, LoadFailureAndMissingEntryPoints) {
  vdrive::Bus failing(Parse("[aspi]\nload = fail\n"));
  vdrive::AspiFront unloaded(failing);
  EXPECT_FALSE(unloaded.Load("WNASPI32.DLL"));
  EXPECT_FALSE(unloaded.Loaded());
  EXPECT_FALSE(unloaded.LookUp("SendASPI32Command"));

  vdrive::Bus missing(Parse("[aspi]\nmissing = SendASPI32Command\n[drive]\naspi = 0 0\n"));
  vdrive::AspiFront partial(missing);
  ASSERT_TRUE(partial.Load("WNASPI32.DLL"));
  EXPECT_TRUE(partial.LookUp("GetASPI32SupportInfo"));
  EXPECT_FALSE(partial.LookUp("SendASPI32Command"));
  EXPECT_EQ(partial.GetSupportInfo(), 0x0101u);
  EXPECT_EQ(partial.LoadedNames(), std::vector<std::string>{"WNASPI32.DLL"});
}

}  // namespace
