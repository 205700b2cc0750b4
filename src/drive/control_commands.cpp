// START STOP UNIT, TEST UNIT READY and the vendor E2 byte write.
#include <string>

#include "drive/drive_commands.h"
#include "drive/messages.h"
#include "drive/requests.h"
#include "drive/report.h"
#include "text/format.h"

namespace drive {

namespace {

constexpr std::uint8_t kSixByteCdb = 6;
constexpr std::uint8_t kTwelveByteCdb = 12;
constexpr std::chrono::seconds kTestUnitReadyTimeout{3};
constexpr std::chrono::seconds kStartStopTimeout{9};
constexpr std::chrono::seconds kWriteE2Timeout{3};

constexpr std::uint8_t kNtWriteE2SubCode = 0x0A;
constexpr std::uint8_t kAspiWriteE2SubCode = 0x8A;

constexpr std::uint8_t kNtGood = 0x00;
constexpr std::uint8_t kAspiComplete = 0x01;
constexpr std::uint8_t kAspiError = 0x04;

// Sense key 2 (not ready), additional sense code 3Ah: medium not present.
constexpr std::uint8_t kSenseNotReady = 0x02;
constexpr std::uint8_t kAscMediumNotPresent = 0x3A;

// The NT buffered form moves no data, yet marks every command data-in.
const Transfer kNoDataNt{scsi::Direction::In, nullptr, 0};
const Transfer kNoDataAspi{scsi::Direction::None, nullptr, 0};

bool MediumNotPresent(const scsi::ScsiResult& r) {
  return r.senseByte2 == kSenseNotReady && r.asc == kAscMediumNotPresent;
}

// An error status that names no reason in its sense data: taken as a disc
// in the tray, like a ready drive.
bool EmptySense(const scsi::ScsiResult& r) {
  return r.senseByte2 == 0x00 && r.asc == 0x00;
}

std::string ReadyCheckReport(const scsi::ScsiResult& r) {
  return text::Format(messages::kReadyCheckFormat, r.status, r.senseByte2, r.asc, r.ascq);
}

std::string CommandErrorReport(const scsi::ScsiResult& r) {
  return text::Format(messages::kCommandErrorFormat, r.status);
}

}  // namespace

void DriveCommands::RemoveDisc(const char* wording) {
  ReadyWaitCounter = 1;  // ends the empty-drive wait after this attempt
  ctx_.dialogs.Message(wording);
}

bool DriveCommands::NTXCmd(DriveEntry& entry, std::uint8_t mode) {
  const scsi::ScsiResult r = ctx_.nt->NTSendRequest(
      NtRequest(entry, TestUnitReadyCdb(), kSixByteCdb, scsi::NtForm::Buffered,
                kNoDataNt, kTestUnitReadyTimeout));
  // A call that never reached the drive reads as status 00 with no sense;
  // it says nothing about the tray, so it is neither "ready" nor "empty".
  const bool ready = r.delivered && r.status == kNtGood;
  if (mode != 0) {
    if (ready) return true;
    ctx_.dialogs.Message(ReadyCheckReport(r));
    return false;
  }
  if (!r.delivered) return false;
  if (ready) {
    RemoveDisc(messages::kNtRemoveDiscReady);
    return false;
  }
  if (MediumNotPresent(r)) return true;
  if (EmptySense(r)) RemoveDisc(messages::kNtRemoveDiscEmptySense);
  return false;
}

bool DriveCommands::XCmd(DriveEntry& entry, std::uint8_t mode) {
  const scsi::ScsiResult r = ctx_.aspi->W9xSendRequest(
      AspiRequest(entry, TestUnitReadyCdb(), kNoDataAspi));
  // A request still pending after the wait keeps status 00 (SS_PENDING).
  if (!r.delivered || (r.status != kAspiComplete && r.status != kAspiError)) {
    ctx_.dialogs.Message(CommandErrorReport(r));
    return false;
  }
  const bool ready = r.status == kAspiComplete;
  if (mode != 0) {
    if (ready) return true;
    ctx_.dialogs.Message(ReadyCheckReport(r));
    return false;
  }
  if (ready) {
    RemoveDisc(messages::kW9xRemoveDiscReady);
    return false;
  }
  if (MediumNotPresent(r)) return true;
  if (EmptySense(r)) RemoveDisc(messages::kW9xRemoveDiscEmptySense);
  return false;
}

bool DriveCommands::NTStartStopUnit(DriveEntry& entry, std::uint8_t powerCondition) {
  return scsi::IsGood(ctx_.nt->NTSendRequest(
      NtRequest(entry, StartStopUnitCdb(powerCondition), kSixByteCdb,
                scsi::NtForm::Buffered, kNoDataNt, kStartStopTimeout)));
}

bool DriveCommands::StartStopUnit(DriveEntry& entry, std::uint8_t powerCondition) {
  return scsi::IsComplete(ctx_.aspi->W9xSendRequest(
      AspiRequest(entry, StartStopUnitCdb(powerCondition), kNoDataAspi)));
}

bool DriveCommands::NTWriteE2(DriveEntry& entry, const std::uint8_t* source,
                              std::uint8_t count, std::uint16_t start) {
  for (std::uint8_t i = 0; i < count; ++i) {
    const auto address = static_cast<std::uint16_t>(start + i);
    const scsi::ScsiResult r = ctx_.nt->NTSendRequest(
        NtRequest(entry, WriteE2Cdb(kNtWriteE2SubCode, address, source[i]),
                  kTwelveByteCdb, scsi::NtForm::Buffered, kNoDataNt,
                  kWriteE2Timeout));
    // The status alone decides; sense data by itself does not stop it.
    if (!r.delivered || r.status != kNtGood) {
      ReportCommandFailure(ctx_.dialogs, messages::kWriteE2, r);
      return false;
    }
  }
  return true;
}

bool DriveCommands::WriteE2(DriveEntry& entry, const std::uint8_t* source,
                            std::uint8_t count, std::uint16_t start) {
  for (std::uint8_t i = 0; i < count; ++i) {
    const auto address = static_cast<std::uint16_t>(start + i);
    const scsi::ScsiResult r = ctx_.aspi->W9xSendRequest(
        AspiRequest(entry, WriteE2Cdb(kAspiWriteE2SubCode, address, source[i]),
                    kNoDataAspi));
    // Only an error status stops it; a request that never completed is no
    // write either.
    if (!r.delivered || r.status == kAspiError) {
      ReportCommandFailure(ctx_.dialogs, messages::kWriteE2, r);
      return false;
    }
  }
  return true;
}

}  // namespace drive
