// The SCSI generic device as Wine's pass-through code meets it: sg_io_hdr
// requests filled here as Wine fills them, answered by a virtual drive.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "support/temp_folder.h"
#include "vdrive/sg/sg_device.h"

namespace {

namespace fs = std::filesystem;
using vdrive::Bytes;

class SgDeviceTest : public ::testing::Test {
 protected:
  SgDeviceTest() {
    folder_ = testsupport::UniqueTempFolder("qrw-sg");
    paths_.scenario = (folder_ / "scenario.txt").string();
    paths_.trace = (folder_ / "trace.txt").string();
  }
  ~SgDeviceTest() override { fs::remove_all(folder_); }

  vdrive::sg::SgDevice& Device(const std::string& scenario) {
    std::ofstream(paths_.scenario) << scenario;
    std::string error;
    session_ = vdrive::Session::Open(paths_, &error);
    EXPECT_TRUE(session_) << error;
    device_ = std::make_unique<vdrive::sg::SgDevice>(*session_, session_->Drives().At(0));
    return *device_;
  }

  // An sg_io_hdr as Wine's CDROM_ScsiPassThrough(Direct) fills it.
  sg_io_hdr_t Request(Bytes& cdb, int direction, Bytes& data) {
    sg_io_hdr_t request{};
    request.interface_id = 'S';
    request.cmd_len = static_cast<unsigned char>(cdb.size());
    request.cmdp = cdb.data();
    request.dxfer_direction = direction;
    request.dxfer_len = static_cast<unsigned>(data.size());
    request.dxferp = data.empty() ? nullptr : data.data();
    request.mx_sb_len = static_cast<unsigned char>(sense_.size());
    request.sbp = sense_.data();
    request.timeout = 3000;
    return request;
  }

  std::string Trace() const {
    std::ifstream file(paths_.trace);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }

  fs::path folder_;
  vdrive::SessionPaths paths_;
  std::unique_ptr<vdrive::Session> session_;
  std::unique_ptr<vdrive::sg::SgDevice> device_;
  Bytes sense_ = Bytes(24, 0xCC);
};

TEST_F(SgDeviceTest, InquiryComesBackWithStatusAndNoResidue) {
  auto& device = Device("[drive D]\nletter = D\n");
  Bytes cdb = {0x12, 0x00, 0x00, 0x00, 0x80, 0x00};
  Bytes data(128, 0xFF);
  sg_io_hdr_t request = Request(cdb, SG_DXFER_FROM_DEV, data);

  ASSERT_EQ(device.Io(request), 0);
  EXPECT_EQ(request.status, 0x00);
  EXPECT_EQ(request.resid, 0);
  EXPECT_EQ(request.sb_len_wr, 0);
  EXPECT_EQ(request.info & SG_INFO_OK_MASK, unsigned{SG_INFO_OK});
  EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 36), "QUARVEL QRW-20410C      1.00");
  EXPECT_EQ(sense_, Bytes(24, 0xCC)) << "sense written without a check condition";
}

// Wine hands over as much sense as the record asks for (mx_sb_len); the
// drive has 18 bytes.
TEST_F(SgDeviceTest, CheckConditionFillsSenseUpToTheRoomGiven) {
  struct Case {
    unsigned char room;
    unsigned char written;
  };
  for (const Case& c : {Case{24, 18}, Case{14, 14}, Case{0, 0}}) {
    auto& device = Device("[drive D]\nletter = D\n");
    Bytes cdb(6, 0x00);  // TEST UNIT READY, no medium
    Bytes none;
    sense_.assign(24, 0xCC);
    sg_io_hdr_t request = Request(cdb, SG_DXFER_NONE, none);
    request.mx_sb_len = c.room;

    ASSERT_EQ(device.Io(request), 0);
    EXPECT_EQ(request.status, 0x02);
    EXPECT_EQ(request.masked_status, 0x01);
    EXPECT_EQ(request.sb_len_wr, c.written);
    EXPECT_EQ(request.info & SG_INFO_OK_MASK, unsigned{SG_INFO_CHECK});
    Bytes expected(24, 0xCC);
    const auto sense = vdrive::FixedSenseData(vdrive::kMediumNotPresent);
    std::copy_n(sense.begin(), c.written, expected.begin());
    EXPECT_EQ(sense_, expected) << "room " << int(c.room);
  }
}

// What the drive did not move is the residue Wine subtracts from
// DataTransferLength. The drive returns 36 of 96 bytes here.
TEST_F(SgDeviceTest, ShortAnswerLeavesTheResidue) {
  auto& device = Device("[drive D]\nletter = D\n");
  Bytes cdb = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
  Bytes data(96, 0);
  sg_io_hdr_t request = Request(cdb, SG_DXFER_FROM_DEV, data);

  ASSERT_EQ(device.Io(request), 0);
  EXPECT_EQ(request.resid, 60);
}

// Wine turns a pass-through record with DataIn 1 and no length into "from
// device" with nothing to move: the drive sees a command without data.
TEST_F(SgDeviceTest, NoLengthMeansNoDirection) {
  auto& device = Device("[drive D]\nletter = D\nmedium = loaded\n");
  Bytes cdb(6, 0x00);
  Bytes none;
  sg_io_hdr_t request = Request(cdb, SG_DXFER_FROM_DEV, none);

  ASSERT_EQ(device.Io(request), 0);
  EXPECT_EQ(Trace(), "D 00 00 00 00 00 00 / none 0 - -> 00 00 00 00\n");
}

TEST_F(SgDeviceTest, HeldAndFailedCallsBecomeErrnos) {
  auto& device = Device(
      "[drive D]\nletter = D\nhold = tur 1 never\n"
      "call-error = tur 2 31\ncall-error = tur 3 21\ncall-error = tur 4 121\n"
      "call-error = tur 5 4242\n");
  for (int expected : {-ETIME, -EPROTO, -EIO, -ETIME, -EPROTO}) {
    Bytes cdb(6, 0x00);
    Bytes none;
    sg_io_hdr_t request = Request(cdb, SG_DXFER_NONE, none);
    EXPECT_EQ(device.Io(request), expected);
  }
}

TEST_F(SgDeviceTest, ErrnoTableMatchesWinesMapping) {
  struct Case {
    std::uint32_t systemError;
    int error;
  };
  for (const Case& c : {Case{1, ESPIPE}, Case{2, ENOENT}, Case{5, EACCES}, Case{21, EIO},
                        Case{31, EPROTO}, Case{50, ENOTTY}, Case{87, EINVAL}, Case{121, ETIME},
                        Case{998, EFAULT}, Case{7777, EPROTO}}) {
    EXPECT_EQ(vdrive::sg::ErrnoForSystemError(c.systemError), c.error) << c.systemError;
  }
}

// IOCTL_SCSI_GET_INQUIRY_DATA: the version, then Wine's own INQUIRY of 36
// bytes, answered without reaching the drive. The same INQUIRY sent
// without the version question is the program's and is traced.
TEST_F(SgDeviceTest, WinesProbeIsAnsweredWithoutACommand) {
  auto& device = Device("[drive D]\nletter = D\n");
  int version = 0;
  Bytes cdb = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
  Bytes probed(36, 0);
  Bytes asked(36, 0);
  sg_io_hdr_t probe = Request(cdb, SG_DXFER_FROM_DEV, probed);
  sg_io_hdr_t program = Request(cdb, SG_DXFER_FROM_DEV, asked);

  ASSERT_EQ(device.VersionNum(&version), 0);
  ASSERT_EQ(device.Io(probe), 0);
  ASSERT_EQ(device.Io(program), 0);

  EXPECT_EQ(version, 30536);
  EXPECT_EQ(probed, asked);
  char digest[9];
  std::snprintf(digest, sizeof digest, "%08X", static_cast<unsigned>(vdrive::Digest(asked)));
  EXPECT_EQ(Trace(), std::string("D 12 00 00 00 24 00 / in 36 ") + digest + " -> 00 00 00 00\n");
}

// Wine's probe fails with ERROR_INVALID_FUNCTION when the version cannot be
// asked, with ERROR_NOT_SUPPORTED when it is too old.
TEST_F(SgDeviceTest, ProbeErrorsShowInTheVersion) {
  int version = 0;
  EXPECT_EQ(Device("[drive]\nletter = D\nprobe-error = 50\n").VersionNum(&version), 0);
  EXPECT_LT(version, 30000);
  EXPECT_EQ(Device("[drive]\nletter = D\nprobe-error = 1\n").VersionNum(&version), -ENOTTY);
}

TEST_F(SgDeviceTest, IdLunCarriesTheNtAddress) {
  auto& device = Device("[drive D]\nletter = D\nnt-address = 1 2 3\n");
  std::uint32_t idlun[2] = {};

  ASSERT_EQ(device.IdLun(idlun), 0);
  EXPECT_EQ(idlun[0], 0x01000302u);  // target 2, lun 3, channel 0, host 1
  EXPECT_EQ(idlun[1], 1u);
}

TEST_F(SgDeviceTest, MalformedRequestsAreRefusedBeforeTheDrive) {
  auto& device = Device("[drive D]\nletter = D\n");
  Bytes cdb = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
  Bytes data(36, 0);
  struct Case {
    const char* what;
    void (*spoil)(sg_io_hdr_t&);
    int error;
  };
  const Case cases[] = {
      {"interface", [](sg_io_hdr_t& r) { r.interface_id = 'Q'; }, -ENOSYS},
      {"no cdb", [](sg_io_hdr_t& r) { r.cmd_len = 0; }, -EINVAL},
      {"long cdb", [](sg_io_hdr_t& r) { r.cmd_len = 17; }, -EINVAL},
      {"direction", [](sg_io_hdr_t& r) { r.dxfer_direction = 7; }, -EINVAL},
      {"no buffer", [](sg_io_hdr_t& r) { r.dxferp = nullptr; }, -EFAULT},
  };
  for (const Case& c : cases) {
    sg_io_hdr_t request = Request(cdb, SG_DXFER_FROM_DEV, data);
    c.spoil(request);
    EXPECT_EQ(device.Io(request), c.error) << c.what;
  }
  EXPECT_EQ(Trace(), "");
}

}  // namespace

namespace {

// sg-status: the drive carries the command out, the sg driver reports a
// transport that gave up on it. Only the SG front shows these values.
TEST_F(SgDeviceTest, SgStatusFaultReportsHostAndDriverStatus) {
  auto& device = Device(
      "[drive D]\nletter = D\nmedium = loaded\n"
      "sg-status = tur 2 host 07 driver 00\nsg-status = tur 3 host 00 driver 06\n");
  struct Case {
    unsigned short host;
    unsigned short driver;
    const char* trace;
  };
  const Case cases[] = {
      {0x00, 0x00, "D 00 00 00 00 00 00 / none 0 - -> 00 00 00 00\n"},
      {0x07, 0x00, "D 00 00 00 00 00 00 / none 0 - -> 00 00 00 00 host-status 07 driver-status 00\n"},
      {0x00, 0x06, "D 00 00 00 00 00 00 / none 0 - -> 00 00 00 00 host-status 00 driver-status 06\n"},
  };
  std::string expectedTrace;
  for (const Case& c : cases) {
    Bytes cdb(6, 0x00);
    Bytes none;
    sg_io_hdr_t request = Request(cdb, SG_DXFER_NONE, none);
    ASSERT_EQ(device.Io(request), 0);
    EXPECT_EQ(request.host_status, c.host);
    EXPECT_EQ(request.driver_status, c.driver);
    expectedTrace += c.trace;
  }
  EXPECT_EQ(Trace(), expectedTrace);
}

TEST_F(SgDeviceTest, SgStatusNeedsHostAndDriver) {
  std::ofstream(paths_.scenario) << "[drive D]\nsg-status = tur 1 host 07\n";
  std::string error;
  EXPECT_FALSE(vdrive::Session::Open(paths_, &error));
  EXPECT_EQ(error, paths_.scenario + ": line 2: sg-status needs kind, count, host SS and driver SS");
}

// The native front: a held "at-wait" request answers late and succeeds.
TEST_F(SgDeviceTest, NativeFrontAnswersAHeldRequestLate) {
  std::ofstream(paths_.scenario) << "[drive D]\nletter = D\nmedium = loaded\nhold = tur 1 at-wait\n";
  std::string error;
  session_ = vdrive::Session::Open(paths_, &error);
  ASSERT_TRUE(session_) << error;
  vdrive::sg::SgDevice device(*session_, session_->Drives().At(0), true);
  Bytes cdb(6, 0x00);
  Bytes none;
  sg_io_hdr_t request = Request(cdb, SG_DXFER_NONE, none);
  EXPECT_EQ(device.Io(request), 0);
  EXPECT_EQ(request.status, 0x00);
}

// A session that names a release file keeps an "at-wait" request with the
// drive until the file appears: the command is traced when it arrives and
// answers, successfully, only after the release.
TEST_F(SgDeviceTest, AHeldRequestAnswersOnlyAfterTheRelease) {
  std::ofstream(paths_.scenario) << "[drive D]\nletter = D\nmedium = loaded\nhold = tur 1 at-wait\n";
  paths_.release = (folder_ / "release").string();
  std::string error;
  session_ = vdrive::Session::Open(paths_, &error);
  ASSERT_TRUE(session_) << error;
  ASSERT_TRUE(session_->HoldsUntilReleased());
  vdrive::sg::SgDevice device(*session_, session_->Drives().At(0), true);
  Bytes cdb(6, 0x00);
  Bytes none;
  sg_io_hdr_t request = Request(cdb, SG_DXFER_NONE, none);
  std::atomic<bool> answered{false};
  int result = -1;
  std::thread caller([&] {
    result = device.Io(request);
    answered = true;
  });
  // Well past the slow request's own delay.
  std::this_thread::sleep_for(vdrive::sg::kSlowRequest + std::chrono::milliseconds(500));
  EXPECT_FALSE(answered) << "answered before the release";
  EXPECT_EQ(Trace(), "D 00 00 00 00 00 00 / none 0 - -> 00 00 00 00 held-at-wait\n");
  std::ofstream(paths_.release) << "";
  caller.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(request.status, 0x00);
}

}  // namespace
