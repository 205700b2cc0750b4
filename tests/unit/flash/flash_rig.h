// A flash procedure wired to fake controls and dialogs and to one virtual
// drive through the in-process fronts, with a package region made for the
// test. Every command the drive receives is recorded together with the
// status caption and the progress bar as they stood when it arrived.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/flash_view.h"
#include "drive/drive_commands.h"
#include "fakes/fake_os.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_ui.h"
#include "flash/flash_session.h"
#include "package/package_region.h"
#include "package/package_texts.h"
#include "scsi/aspi_transport.h"
#include "scsi/nt_passthrough.h"
#include "support/flash_region.h"
#include "vdrive/inprocess.h"
#include "vdrive/vdrive.h"

namespace flash_test {

using Bytes = std::vector<std::uint8_t>;

using PackageSpec = testsupport::FlashPackageSpec;
inline constexpr std::size_t kFirstProfileLength = 314;
inline constexpr std::size_t kSecondProfileLength = 452;

// A package region laid out as the executable carries it.
class TestPackage {
 public:
  explicit TestPackage(const PackageSpec& spec) : region_(testsupport::FlashRegion(spec)) {}

  package::PackageView View() const { return package::PackageView(region_.data()); }
  const std::uint8_t* Image() const { return View().ImageArea(); }
  Bytes Chunk(std::uint32_t offset, std::uint32_t length = 16384) const {
    return Bytes(Image() + offset, Image() + offset + length);
  }
  // The record the drive must receive for the second table entry (BF B4):
  // its four table bytes, then its profile, which follows the first one.
  Bytes SecondProfileRecord() const {
    Bytes record(testsupport::kFlashProfileTable + 4, testsupport::kFlashProfileTable + 8);
    const std::uint8_t* blocks = View().ProfileBlocks() + kFirstProfileLength;
    record.insert(record.end(), blocks, blocks + kSecondProfileLength);
    return record;
  }

 private:
  Bytes region_;
};

// The system's texts, written out here on their own so that a slip in the
// program's copy shows.
namespace texts {
inline const std::string kCaptionCompleted = "Flash Completed.";
inline const std::string kCaptionEntryCritical = "Drive entry critical... ";
inline const std::string kCaptionFlashFail = "Flash Fail.";
inline const std::string kCaptionFlashing = "Don't turn off the system, Flash is in progress...";
inline const std::string kCaptionReadBack9x = "Read back and Verify drive's DRAM... ";
inline const std::string kCaptionReadBackNt = "Read back & verify DRAM from drive... ";
inline const std::string kCaptionVerifyProfile = "Verify Flash profile from drive... ";
inline const std::string kCaptionWriteBin = "Write BIN to drive's DRAM... ";
inline const std::string kCaptionWriteProfile = "Write Flash profile to drive... ";
inline const std::string kRestartOffer9x = "The system needs to be restarted for the changes to take effect(inquiry stream) ?";
inline const std::string kRestartOfferNt = "\nYou have successfully completed installation!\n The new changes will not take effect until\n you reboot your system.\n\n Do you want to reboot your system now?\n";
}  // namespace texts

enum class Platform { Nt, W9x };

inline const char* PlatformName(Platform p) { return p == Platform::Nt ? "NT" : "9x"; }

// The drive the tests flash: letter E on NT, adapter 1 target 0 through
// ASPI (the third slot of the table), revision 1.00, flash chip BF B4.
inline vdrive::DriveSpec StandardDrive() {
  vdrive::DriveSpec drive;
  drive.name = "QRW";
  drive.ntLetter = 'E';
  drive.aspi = vdrive::DriveSpec::Address{1, 0};
  return drive;
}

inline vdrive::Scenario OneDrive(const vdrive::DriveSpec& drive) {
  vdrive::Scenario scenario;
  scenario.drives.push_back(drive);
  return scenario;
}

// What the drive saw at each command, with the window as it stood.
struct CommandSeen {
  std::string line;
  fakes::BarState bar;
  std::string caption;
};

class FlashRig {
 public:
  static constexpr int kAspiSlot = 2;  // adapter 1, target 0

  FlashRig(Platform platform, const PackageSpec& packageSpec,
           const vdrive::DriveSpec& drive = StandardDrive(),
           fakes::FakeProgressBar* otherBar = nullptr)
      : platformKind(platform),
        package(packageSpec),
        view(package.View()),
        format(package::CheckNewFormatBIN(view.ImageArea())),
        bar(otherBar ? *otherBar : ownBar),
        bus(OneDrive(drive)),
        device(bus),
        aspiLibrary(bus),
        nt(device),
        session(MakeSession(platform == Platform::Nt ? &nt : nullptr,
                            platform == Platform::Nt ? nullptr : &aspiLibrary, os,
                            std::chrono::milliseconds(5))),
        table(session->Table()),
        commands(session->Commands()),
        procedure(session->Procedure()) {
    aspiLibrary.Load("WNASPI32.DLL");
    aspiLibrary.LookUp("GetASPI32SupportInfo");
    aspiLibrary.LookUp("SendASPI32Command");
    ListTheDrive();
    bus.SessionTrace().Clear();
    journal.events.clear();
    dialogs.shown.clear();
    bus.SessionTrace().SetSink([this](const std::string& line) {
      seen.push_back({line, bar.State(), status.Text()});
      journal.Add("command", line);
    });
  }

  std::uint32_t PlatformId() const {
    return platformKind == Platform::Nt ? platform::kPlatformWin32Nt
                                        : platform::kPlatformWin32Windows;
  }
  void Click() { ClickOn(*session); }
  // A press on another session, as the window makes it.
  void ClickOn(flash::FlashSession& other) {
    other.Flash(app::ChosenInList(list, itemToEntry));
  }
  // A session of one transport on the rig's window, with the rig's drive
  // table as discovery left it.
  std::unique_ptr<flash::FlashSession> SessionOver(
      scsi::PassThrough* passThrough, platform::AspiLibrary* library, platform::Os& sessionOs,
      std::chrono::milliseconds aspiWait = scsi::kAspiCompletionWait) {
    auto made = MakeSession(passThrough, library, sessionOs, aspiWait);
    made->Table() = table;
    return made;
  }
  std::unique_ptr<flash::FlashSession> MakeSession(scsi::PassThrough* passThrough,
                                                   platform::AspiLibrary* library,
                                                   platform::Os& sessionOs,
                                                   std::chrono::milliseconds aspiWait) {
    return flash::BuildSession(flash::SessionParts{.passThrough = passThrough,
                                                   .aspiLibrary = library,
                                                   .aspiWait = aspiWait,
                                                   .dialogs = dialogs,
                                                   .os = sessionOs,
                                                   .restart = &restart,
                                                   .observer = window,
                                                   .package = view});
  }
  // Yes to the confirmation, then the given answer to the restart offer.
  void ClickAndConfirm(platform::Answer restartAnswer = platform::Answer::No) {
    dialogs.answers = {platform::Answer::Yes, restartAnswer};
    Click();
  }

  vdrive::Drive& Drive() { return bus.At(0); }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const auto& c : seen) lines.push_back(c.line);
    return lines;
  }
  drive::DriveEntry& Entry() {
    return table[platformKind == Platform::Nt ? 0 : kAspiSlot];
  }
  std::vector<std::string> Captions() const { return journal.Texts("GroupBox2"); }
  // Every caption change, suffixes included, is painted at once: the
  // window handles no messages while the sequence runs.
  testing::AssertionResult EachCaptionRepainted() const {
    const auto& events = journal.events;
    for (std::size_t i = 0; i < events.size(); ++i) {
      if (events[i].what != "GroupBox2") continue;
      if (i + 1 == events.size() || !(events[i + 1] == fakes::UiEvent{"repaint", "GroupBox2"}))
        return testing::AssertionFailure() << "no repaint after \"" << events[i].text << "\"";
    }
    return testing::AssertionSuccess();
  }

  Platform platformKind;
  TestPackage package;
  package::PackageView view;
  package::ImageFormat format;
  fakes::Journal journal;
  fakes::FakeText status{"GroupBox2", &journal};
  fakes::FakeProgressBar ownBar{"ProgressBar", &journal};
  fakes::FakeProgressBar& bar;
  fakes::FakeComboBox list{"ComboBox1", &journal};
  fakes::FakeCursor cursor{&journal};
  fakes::FakeBurnGuard guard;
  app::WindowView window{status, bar, list, cursor, guard, guard};
  fakes::FakeDialogs dialogs{&journal};
  fakes::FakeOs os;
  fakes::FakeRestart restart;
  vdrive::Bus bus;
  vdrive::DeviceIoFront device;
  vdrive::AspiFront aspiLibrary;
  scsi::NtPassThrough nt;
  std::unique_ptr<flash::FlashSession> session;
  drive::DriveTable& table;
  std::array<int, drive::kDriveSlots> itemToEntry{};
  drive::DriveCommands& commands;
  flash::FlashProcedure& procedure;
  std::vector<CommandSeen> seen;

 private:
  // As discovery leaves it: the drive's line is item 0 and selected.
  void ListTheDrive() {
    if (platformKind == Platform::Nt) {
      table[0].DriveLetter = 'E';
      scsi::Opening opening;
      commands.NTCheckInquiry(table[0], opening);
      itemToEntry[0] = 0;
    } else {
      commands.CheckInquiry(table[kAspiSlot]);
      itemToEntry[0] = kAspiSlot;
    }
    list.AddItem(Entry().Text());
    list.SetItemIndex(0);
    bar.SetPosition(0);
    bar.history.clear();
  }
};

// ---- expected trace lines, in the drive's trace format ---------------------

inline std::string Hex(std::uint8_t b) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

inline std::string DigestOf(const Bytes& data) {
  if (data.empty()) return "-";
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(vdrive::Digest(data)));
  return text;
}

// One expected line: the CDB bytes as sent, direction, offered length, the
// data moved (its digest) and the drive's good answer.
inline std::string Line(const Bytes& cdb, const char* direction, std::uint32_t length,
                        const std::string& digest, const std::string& outcome = "00 00 00 00") {
  std::string line = "QRW";
  for (std::uint8_t b : cdb) line += " " + Hex(b);
  return line + " / " + direction + " " + std::to_string(length) + " " + digest + " -> " +
         outcome;
}

// The CDB as each transport sends it: NT with its own length, ASPI padded
// with zeros to 12 bytes.
inline Bytes Cdb(Platform p, Bytes bytes, std::size_t ntLength) {
  bytes.resize(p == Platform::Nt ? ntLength : 12, 0);
  return bytes;
}

inline Bytes Be24(std::uint32_t v) {
  return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v)};
}

inline Bytes WriteBufferCdb(Platform p, std::uint32_t offset, std::uint32_t length,
                            std::uint8_t control) {
  Bytes cdb{0x3B, 0x05, 0x01};
  for (auto b : Be24(offset)) cdb.push_back(b);
  for (auto b : Be24(length)) cdb.push_back(b);
  cdb.push_back(control);
  return Cdb(p, cdb, 10);
}

inline Bytes ReadBufferCdb(Platform p, std::uint32_t offset, std::uint32_t length) {
  Bytes cdb{0x3C, 0x01, 0x01};
  for (auto b : Be24(offset)) cdb.push_back(b);
  for (auto b : Be24(length)) cdb.push_back(b);
  cdb.push_back(0x00);
  return Cdb(p, cdb, 10);
}

}  // namespace flash_test

namespace flash_test {

// Commands without data: the drive sees no transfer, whatever direction the
// NT record names.
inline const char* NoData(Platform) { return "none"; }

inline std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at <= line.size()) {
    const std::size_t next = std::min(line.find(' ', at), line.size());
    out.push_back(line.substr(at, next - at));
    at = next + 1;
  }
  return out;
}

// Where an expected line holds "*" (the digest of data the drive made up,
// such as its INQUIRY answer), the actual line's token is not compared.
inline std::vector<std::string> MaskedLike(const std::vector<std::string>& actual,
                                           const std::vector<std::string>& expected) {
  std::vector<std::string> out = actual;
  for (std::size_t i = 0; i < out.size() && i < expected.size(); ++i) {
    std::vector<std::string> a = Tokens(out[i]);
    const std::vector<std::string> e = Tokens(expected[i]);
    if (a.size() != e.size()) continue;
    for (std::size_t k = 0; k < a.size(); ++k)
      if (e[k] == "*") a[k] = "*";
    std::string joined;
    for (std::size_t k = 0; k < a.size(); ++k) joined += (k ? " " : "") + a[k];
    out[i] = joined;
  }
  return out;
}

inline std::string StartStopLine(Platform p, std::uint8_t pc) {
  return Line(Cdb(p, {0x1B, 0, 0, 0, pc, 0}, 6), NoData(p), 0, "-");
}
inline std::string EmptyTrayLine(Platform p) {
  return Line(Cdb(p, {0, 0, 0, 0, 0, 0}, 6), NoData(p), 0, "-", "02 02 3A 00");
}
inline std::string FlashIdLine(Platform p) {
  return Line(Cdb(p, {0xDF, 0x11}, 10), "in", 128, "*");
}
inline std::string WriteProfileLine(Platform p, const TestPackage& pkg) {
  // NT sends the profile write with a 12-byte CDB, like ASPI.
  return Line(Cdb(p, {0x3B, 0x05, 0x01, 0x08, 0, 0, 0, 0x01, 0xC8, 0}, 12), "out", 456,
              DigestOf(pkg.SecondProfileRecord()));
}
inline std::string CriticalLine(Platform p) {
  return Line(Cdb(p, {0x3B, 0x05, 0x01, 0, 0, 0, 0, 0, 0, 0x7F}, 10), NoData(p), 0, "-");
}
inline std::string ReadProfileLine(Platform p, const TestPackage& pkg) {
  return Line(Cdb(p, {0x3C, 0x01, 0x01, 0x08, 0, 0, 0, 0x01, 0xC8, 0}, 10), "in", 456,
              DigestOf(pkg.SecondProfileRecord()));
}
inline std::string WriteChunkLine(Platform p, const TestPackage& pkg, std::uint32_t offset) {
  return Line(WriteBufferCdb(p, offset, 16384, 0x00), "out", 16384,
              DigestOf(pkg.Chunk(offset)));
}
inline std::string ReadChunkLine(Platform p, const TestPackage& pkg, std::uint32_t offset,
                                 const std::string& digest = "") {
  return Line(ReadBufferCdb(p, offset, 16384), "in", 16384,
              digest.empty() ? DigestOf(pkg.Chunk(offset)) : digest);
}
// NT: offset 197, length field 1, no data. 9x: offset 198, length field 1
// and one data byte offered (the drive takes no data with this command).
inline std::string FinalFlashLine(Platform p, std::uint8_t control) {
  if (p == Platform::Nt) return Line(WriteBufferCdb(p, 197, 1, control), "none", 0, "-");
  return Line(WriteBufferCdb(p, 198, 1, control), "out", 1, "-");
}
inline std::string InquiryLine(Platform p) {
  if (p == Platform::Nt) return Line({0x12, 0, 0, 0, 0x80, 0}, "in", 128, "*");
  return Line({0x12, 0, 0, 0, 0x24, 0}, "in", 36, "*");
}

}  // namespace flash_test

namespace flash_test {

// Compares two command lists line by line, naming the first difference.
inline testing::AssertionResult SameLines(const std::vector<std::string>& actual,
                                          const std::vector<std::string>& expected) {
  const std::vector<std::string> masked = MaskedLike(actual, expected);
  for (std::size_t i = 0; i < std::max(masked.size(), expected.size()); ++i) {
    const std::string a = i < masked.size() ? masked[i] : "(nothing)";
    const std::string e = i < expected.size() ? expected[i] : "(nothing)";
    if (a != e) {
      return testing::AssertionFailure() << "command " << i << " of " << masked.size()
                                         << " (expected " << expected.size() << ")\n  actual:   "
                                         << a << "\n  expected: " << e;
    }
  }
  return testing::AssertionSuccess();
}

}  // namespace flash_test
