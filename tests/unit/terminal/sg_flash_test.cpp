// The whole flash over the SG_IO send operation, in process: every command
// the Windows program's NT variant hands its pass-through records, the SG
// variant hands SG_IO with the same CDB, direction, length and time limit
// (seconds there, milliseconds here), for each kind of package.
#include <gtest/gtest.h>


#include "fakes/fake_power.h"
#include "flash/flash_rig.h"
#include "scsi/record_layout.h"
#include "scsi/sg_pass_through.h"
#include "support/bytes.h"
#include "terminal/flash_tool.h"

#include <cerrno>
#include <csignal>
#include <functional>
#include <sstream>

namespace {

using flash_test::FlashRig;
using flash_test::PackageSpec;
using flash_test::Platform;

// One command as the transport's caller handed it over.
struct Sent {
  std::string cdb;
  std::string direction;  // none, in, out
  std::uint32_t length;
  std::uint32_t timeoutMs;
  bool operator==(const Sent&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Sent& s) {
  return out << s.cdb << " / " << s.direction << " " << s.length << " " << s.timeoutMs << " ms";
}

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The NT records of a flash, read at the driver's side: the pass-through
// calls only (the opening probe carries no command).
std::vector<Sent> NtCommands(const vdrive::DeviceIoFront& io, std::size_t from) {
  using namespace scsi::nt_record;
  std::vector<Sent> sent;
  for (std::size_t i = from; i < io.Calls().size(); ++i) {
    const auto& call = io.Calls()[i];
    if (call.code != scsi::kIoctlScsiPassThrough && call.code != scsi::kIoctlScsiPassThroughDirect)
      continue;
    const std::uint8_t* r = call.block.data();
    const std::uint32_t length = Le32(r + kDataTransferLength);
    const char* direction = length == 0 ? "none" : r[kDataIn] == kDataToDrive ? "out" : "in";
    sent.push_back({testsupport::ToHex(r + kCdb, r[kCdbLength]), direction, length,
                    Le32(r + kTimeOutValue) * 1000});
  }
  return sent;
}

// SG_IO served by the rig's own virtual drive; records every sg_io_hdr.
class BusScsiGeneric final : public platform::ScsiGeneric {
 public:
  explicit BusScsiGeneric(vdrive::Drive& drive) : drive_(drive) {}

  std::optional<platform::Handle> Open(const std::string&) override {
    ++opens;
    if (failOpenFrom != 0 && opens >= failOpenFrom) return std::nullopt;
    return 3;
  }
  void Close(platform::Handle) override {}
  bool Execute(platform::Handle, platform::SgCommand& c) override {
    const char* direction = c.direction == platform::SgDirection::None       ? "none"
                            : c.direction == platform::SgDirection::ToDevice ? "out"
                                                                             : "in";
    sent.push_back({testsupport::ToHex(c.cdb.data(), c.cdbLength), direction, c.length,
                    static_cast<std::uint32_t>(c.timeout.count())});
    const vdrive::Direction d = c.direction == platform::SgDirection::None ? vdrive::Direction::None
                                : c.direction == platform::SgDirection::ToDevice
                                    ? vdrive::Direction::Out
                                    : vdrive::Direction::In;
    const vdrive::Answer answer =
        drive_.Execute(std::span<const std::uint8_t>(c.cdb.data(), c.cdbLength), d,
                       std::span<std::uint8_t>(c.data, c.data ? c.length : 0));
    c.status = answer.status;
    if (answer.status == vdrive::kStatusCheckCondition) {
      const auto sense = vdrive::FixedSenseData(answer.sense);
      std::copy(sense.begin(), sense.end(), c.sense.begin());
      c.senseWritten = static_cast<std::uint8_t>(sense.size());
      c.driverStatus = scsi::kDriverSense;
    }
    return true;
  }
  std::optional<int> VersionNumber(platform::Handle) override { return 30536; }
  std::optional<platform::ScsiAddress> Address(platform::Handle) override {
    return platform::ScsiAddress{};
  }
  bool IsBlockDevice(platform::Handle) override { return false; }
  std::uint32_t LastError() override { return failOpenFrom != 0 && opens >= failOpenFrom ? ENODEV : 0; }
  std::string ErrorText(std::uint32_t error) override { return error == ENODEV ? "No such device" : ""; }
  std::optional<int> DeviceType(const std::string&) override { return 5; }
  std::string ShownName(const std::string& node) override { return node; }
  bool HasRawIo() override { return true; }
  std::vector<std::string> CdRomNodes() override { return {"/dev/sg0"}; }

  std::vector<Sent> sent;
  // From this Open on (counting from 1), every one fails with ENODEV: a
  // drive that went away. 0: every Open works.
  int failOpenFrom = 0;
  int opens = 0;

 private:
  vdrive::Drive& drive_;
};

// The NT rig's flash, and the same flash with its procedure's transport
// swapped for SG_IO on a second, identical drive.
struct Runs {
  std::vector<Sent> nt;
  std::vector<Sent> sg;
  std::string ntRevision;
  std::string sgRevision;
};

Runs FlashBothWays(const PackageSpec& spec) {
  Runs runs;
  FlashRig ntRig(Platform::Nt, spec);
  // Only what the press sends: the rig's own drive check came before.
  const std::size_t before = ntRig.device.Calls().size();
  ntRig.ClickAndConfirm();
  runs.nt = NtCommands(ntRig.device, before);
  runs.ntRevision = ntRig.Drive().Revision();

  FlashRig sgRig(Platform::Nt, spec);
  BusScsiGeneric sg(sgRig.Drive());
  scsi::SgPassThrough pass(sg);
  pass.SetNodes({"/dev/sg0"});
  const auto session = sgRig.SessionOver(&pass, nullptr, sgRig.os);
  session->Table()[0].DriveLetter = 'A';
  sgRig.dialogs.answers = {platform::Answer::Yes, platform::Answer::No};
  sgRig.ClickOn(*session);
  runs.sg = sg.sent;
  runs.sgRevision = sgRig.Drive().Revision();
  return runs;
}

struct PackageCase {
  const char* name;
  PackageSpec spec;
};

class SgFlashTest : public ::testing::TestWithParam<PackageCase> {};

TEST_P(SgFlashTest, SendsWhatTheNtVariantSendsCommandForCommand) {
  const Runs runs = FlashBothWays(GetParam().spec);
  ASSERT_GT(runs.nt.size(), 30u);
  ASSERT_EQ(runs.sg.size(), runs.nt.size());
  for (std::size_t i = 0; i < runs.nt.size(); ++i) EXPECT_EQ(runs.sg[i], runs.nt[i]) << "command " << i;
  EXPECT_EQ(runs.ntRevision, "1.10");
  EXPECT_EQ(runs.sgRevision, "1.10");
}

INSTANTIATE_TEST_SUITE_P(
    Packages, SgFlashTest,
    ::testing::Values(PackageCase{"NewFormat", PackageSpec{}},
                      PackageCase{"OldFormat", PackageSpec{.newFormat = false}},
                      PackageCase{"FlashAll", PackageSpec{.note = "FLASH-ALL"}}),
    [](const auto& info) { return std::string(info.param.name); });

// A drive whose device could be looked at but not opened by the drive
// check (it went away in between) is told in one line, in the words of a
// node that cannot be opened; a flash ends there with status 1, as the
// window ends, and nothing is sent to any drive.
TEST(SgFlashTool, ADriveThatCannotBeOpenedAtItsCheckIsToldInOneLine) {
  using Run = std::function<int(const package::PackageView&, platform::ScsiGeneric&,
                                 terminal::Console&, terminal::Interrupt&)>;
  struct ToolCase {
    const char* name;
    Run run;
    int status;
    std::string err;
  };
  const std::string line = "qrwflash: /dev/sg0: cannot open: No such device\n";
  const ToolCase cases[] = {
      {"flash",
       [](const package::PackageView& view, platform::ScsiGeneric& sg, terminal::Console& console,
          terminal::Interrupt& interrupt) {
         fakes::MainsPower mains;
         fakes::SilentGuard guard;
         return terminal::FlashDrive(view, terminal::Options{}, sg, mains, guard, console, interrupt);
       },
       terminal::kExitFailed, line},
      {"drives",
       [](const package::PackageView& view, platform::ScsiGeneric& sg, terminal::Console& console,
          terminal::Interrupt& interrupt) {
         return terminal::ListDrives(view, terminal::Options{}, sg, console, interrupt);
       },
       terminal::kExitRefused, line + "qrwflash: no drive is accepted by this flash program\n"},
  };
  for (const ToolCase& c : cases) {
    SCOPED_TRACE(c.name);
    FlashRig rig(Platform::Nt, PackageSpec{});
    BusScsiGeneric sg(rig.Drive());
    sg.failOpenFrom = 2;  // the node's own check opens it; the drive check cannot
    std::istringstream in("y\n");
    std::ostringstream out;
    std::ostringstream err;
    terminal::Console console{in, out, err};
    volatile std::sig_atomic_t requested = 0;
    terminal::Interrupt interrupt(requested);
    EXPECT_EQ(c.run(rig.view, sg, console, interrupt), c.status);
    EXPECT_EQ(err.str(), c.err);
    EXPECT_EQ(out.str().find("Error opening"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("no drive"), std::string::npos) << out.str();
    EXPECT_TRUE(sg.sent.empty());
  }
}

}  // namespace
