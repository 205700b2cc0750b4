// The drive commands wired to the virtual drive's in-process fronts, with
// fake dialogs, OS and progress bar: what a test sends goes over the same
// request blocks a driver or the ASPI library would decode.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drive/drive_commands.h"
#include "drive/test_package.h"
#include "fakes/fake_os.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_ui.h"
#include "scsi/aspi_transport.h"
#include "scsi/nt_passthrough.h"
#include "support/bytes.h"
#include "vdrive/inprocess.h"
#include "vdrive/vdrive.h"

namespace testrig {

// A drive of the QUARVEL model the test package is for, revision 1.00.
inline vdrive::DriveSpec NtDrive(char letter) {
  vdrive::DriveSpec spec;
  spec.ntLetter = letter;
  return spec;
}

inline vdrive::DriveSpec AspiDrive(std::uint8_t adapter, std::uint8_t target) {
  vdrive::DriveSpec spec;
  spec.aspi = vdrive::DriveSpec::Address{adapter, target};
  return spec;
}

inline vdrive::DriveSpec OtherModel(vdrive::DriveSpec spec) {
  spec.identity = {"OTHERCO", "CD-ROM 52X", "2.05"};
  return spec;
}

using testsupport::Le32;

// The NT pass-through record's fields as the driver read them.
struct NtRecord {
  std::uint32_t code = 0, inLength = 0, outLength = 0;
  int pathId = 0, targetId = 0, lun = 0, cdbLength = 0, senseLength = 0, dataIn = 0;
  std::uint32_t transferLength = 0, timeout = 0;
  std::string cdb;  // all 16 CDB bytes
  bool operator==(const NtRecord&) const = default;
};

inline NtRecord ReadNtRecord(const vdrive::DeviceIoFront::ControlCall& call) {
  const vdrive::Bytes& b = call.block;
  NtRecord r;
  r.code = call.code;
  r.inLength = call.inLength;
  r.outLength = call.outLength;
  r.pathId = b[3];
  r.targetId = b[4];
  r.lun = b[5];
  r.cdbLength = b[6];
  r.senseLength = b[7];
  r.dataIn = b[8];
  r.transferLength = Le32(b, 12);
  r.timeout = Le32(b, 16);
  r.cdb = testsupport::ToHex(&b[28], 16);
  return r;
}

// The ASPI SRB_ExecSCSICmd fields as the library read them.
struct Srb {
  int command = 0, haId = 0, flags = 0, target = 0, lun = 0;
  std::uint32_t bufLen = 0;
  bool hasBuffer = false;
  int senseLen = 0, cdbLen = 0;
  std::string cdb;  // all 16 CDB bytes
  bool operator==(const Srb&) const = default;
};

inline Srb ReadSrb(const vdrive::Bytes& b) {
  Srb s;
  s.command = b[0];
  s.haId = b[2];
  s.flags = b[3];
  s.target = b[8];
  s.lun = b[9];
  s.bufLen = Le32(b, 12);
  s.hasBuffer = Le32(b, 16) != 0;
  s.senseLen = b[20];
  s.cdbLen = b[21];
  s.cdb = testsupport::ToHex(&b[48], 16);
  return s;
}

class Rig {
 public:
  explicit Rig(std::vector<vdrive::DriveSpec> drives)
      : scenario_{std::move(drives), {}},
        bus_(scenario_),
        io_(bus_),
        library_(bus_),
        nt_(io_),
        aspi_(library_, std::chrono::milliseconds(50)),
        commands_({&nt_, &aspi_, dialogs_, os_, cursor_, package_.View()}) {
    library_.Load("WNASPI32.DLL");
    library_.LookUp("GetASPI32SupportInfo");
    library_.LookUp("SendASPI32Command");
  }

  // Opens the drive's device as a flash does and forgets what that sent.
  void OpenNt(char letter) {
    nt_.OpenForFlash(letter);
    ClearTrace();
  }
  void ClearTrace() { bus_.SessionTrace().Clear(); }

  // The CDBs the drives received, as hex, in order.
  std::vector<std::string> Cdbs() {
    std::vector<std::string> out;
    for (const auto& e : bus_.SessionTrace().Entries()) out.push_back(testsupport::ToHex(e.cdb.data(), e.cdb.size()));
    return out;
  }
  std::string TraceText() { return bus_.SessionTrace().Text(); }

  NtRecord LastNtRecord() const { return ReadNtRecord(io_.Calls().back()); }
  Srb LastSrb() const { return ReadSrb(library_.Requests().back().block); }

  vdrive::Drive& DriveAt(std::size_t i) { return bus_.At(i); }
  drive::DriveCommands& Commands() { return commands_; }
  fakes::FakeDialogs& Dialogs() { return dialogs_; }
  fakes::FakeOs& Os() { return os_; }
  fakes::FakeProgressBar& Bar() { return bar_; }
  testpkg::Package& Package() { return package_; }
  vdrive::DeviceIoFront& Io() { return io_; }
  vdrive::AspiFront& Library() { return library_; }

 private:
  vdrive::Scenario scenario_;
  vdrive::Bus bus_;
  vdrive::DeviceIoFront io_;
  vdrive::AspiFront library_;
  scsi::NtPassThrough nt_;
  scsi::AspiTransport aspi_;
  fakes::FakeDialogs dialogs_;
  fakes::FakeOs os_;
  fakes::FakeProgressBar bar_;
  drive::CursorOn<fakes::FakeProgressBar> cursor_{bar_};
  testpkg::Package package_;
  drive::DriveCommands commands_;
};

}  // namespace testrig
