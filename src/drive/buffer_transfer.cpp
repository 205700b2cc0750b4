// WRITE BUFFER and READ BUFFER on buffer 1: image chunks, their read-back
// and the final flash command. Offset and length come from the transfer
// cursor, the progress bar: position = offset, step = length.
#include <cstdint>

#include "drive/drive_commands.h"
#include "drive/messages.h"
#include "drive/requests.h"
#include "drive/report.h"

namespace drive {

namespace {

constexpr std::uint8_t kTenByteCdb = 10;
constexpr std::chrono::seconds kChunkTimeout{3};
// The drive answers the final flash command only once its flash is written.
constexpr std::chrono::seconds kFinalFlashTimeout{200};

// The ASPI member moves the bar itself before the final flash command, so
// that command carries offset 198 and length 1.
constexpr std::int32_t kFinalBarStep = 1;
constexpr std::int32_t kFinalBarMax = 200;
constexpr std::int32_t kFinalBarPosition = 197;

}  // namespace

std::uint32_t DriveCommands::CursorOffset() const {
  return static_cast<std::uint32_t>(ctx_.cursor.Position());
}

std::uint32_t DriveCommands::CursorLength() const {
  return static_cast<std::uint32_t>(ctx_.cursor.Step());
}

bool DriveCommands::NTWriteBuffer(DriveEntry& entry, std::uint8_t* chunkBuffer,
                                  std::uint8_t flag) {
  const bool finalFlash = flag != 0;
  const Transfer transfer{scsi::Direction::Out, chunkBuffer,
                          finalFlash ? 0 : CursorLength()};
  const scsi::ScsiResult r = ctx_.nt->NTSendRequest(NtRequest(
      entry, WriteBufferCdb(CursorOffset(), CursorLength(), flag), kTenByteCdb,
      scsi::NtForm::Direct, transfer,
      finalFlash ? kFinalFlashTimeout : kChunkTimeout));
  if (!scsi::IsGood(r)) {
    ReportCommandFailure(ctx_.dialogs, messages::kWriteBuffer, r);
    return false;
  }
  return true;
}

bool DriveCommands::WriteBuffer(DriveEntry& entry, std::uint8_t* chunkBuffer,
                                std::uint8_t flag) {
  if (flag != 0) {
    ctx_.cursor.SetStep(kFinalBarStep);
    ctx_.cursor.SetMax(kFinalBarMax);
    ctx_.cursor.SetPosition(kFinalBarPosition);
    ctx_.cursor.StepIt();
  }
  const scsi::ScsiResult r = ctx_.aspi->W9xSendRequest(AspiRequest(
      entry, WriteBufferCdb(CursorOffset(), CursorLength(), flag),
      {scsi::Direction::Out, chunkBuffer, CursorLength()}));
  if (!scsi::IsCompleteAndClean(r)) {
    ReportCommandFailure(ctx_.dialogs, messages::kWriteBuffer, r);
    return false;
  }
  return true;
}

bool DriveCommands::NTReadBuffer(DriveEntry& entry, std::uint8_t* chunkBuffer) {
  const scsi::ScsiResult r = ctx_.nt->NTSendRequest(NtRequest(
      entry, ReadBufferCdb(CursorOffset(), CursorLength()), kTenByteCdb,
      scsi::NtForm::Direct, {scsi::Direction::In, chunkBuffer, CursorLength()},
      kChunkTimeout));
  if (!scsi::IsGood(r)) {
    ReportCommandFailure(ctx_.dialogs, messages::kReadBuffer, r);
    return false;
  }
  return true;
}

bool DriveCommands::ReadBuffer(DriveEntry& entry, std::uint8_t* chunkBuffer) {
  const scsi::ScsiResult r = ctx_.aspi->W9xSendRequest(
      AspiRequest(entry, ReadBufferCdb(CursorOffset(), CursorLength()),
                  {scsi::Direction::In, chunkBuffer, CursorLength()}));
  if (!scsi::IsCompleteAndClean(r)) {
    ReportCommandFailure(ctx_.dialogs, messages::kReadBuffer, r);
    return false;
  }
  return true;
}

}  // namespace drive
