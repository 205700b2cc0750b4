// The flash chip's programming profile: identification read, profile write,
// critical entry and profile read-back.
#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "drive/drive_commands.h"
#include "drive/messages.h"
#include "drive/requests.h"
#include "drive/report.h"
#include "text/format.h"

namespace drive {

namespace {

constexpr std::uint8_t kTenByteCdb = 10;
constexpr std::uint8_t kTwelveByteCdb = 12;
constexpr std::uint32_t kFlashIdLength = 128;
constexpr std::chrono::seconds kFlashIdTimeout{8};
constexpr std::chrono::seconds kFlashProfileTimeout{10};
constexpr std::chrono::seconds kCriticalTimeout{20};

// The profile goes to buffer 1 at offset 0x80000, behind the image.
constexpr std::uint32_t kFlashProfileOffset = 0x80000;

// Table entry: maker code, device code, profile length (big-endian).
constexpr std::size_t kEntrySize = 4;
constexpr std::uint8_t kNoMatchRecord[kEntrySize] = {0xFF, 0xFF, 0x00, 0x00};
// Fills an odd-length profile up to an even record length.
constexpr std::uint8_t kRecordPad = 0x00;

const std::uint8_t* TableEntry(const package::PackageView& package, std::size_t i) {
  return package.ProfileTable() + i * kEntrySize;
}

std::uint32_t ProfileLength(const std::uint8_t* entry) {
  return static_cast<std::uint32_t>(entry[2]) << 8 | entry[3];
}

std::uint32_t RecordLength(std::uint32_t profileLength) {
  return kEntrySize + profileLength + (profileLength % 2);
}

std::string ProfileTooLong(const std::uint8_t* entry, std::uint32_t recordLength) {
  return text::Format(messages::kProfileTooLongFormat, entry[0], entry[1],
                      static_cast<unsigned>(recordLength),
                      static_cast<unsigned>(kFlashProfileBufferSize));
}

std::string ProfileOutsideBlocks(const std::uint8_t* entry) {
  return text::Format(messages::kProfileOutsideBlocksFormat, entry[0], entry[1]);
}

std::string W9xReadFlashProfileReport(const scsi::ScsiResult& r) {
  return text::Format(messages::kW9xReadFlashProfileFormat, r.status, r.senseByte2, r.asc,
                      r.ascq);
}

}  // namespace

bool DriveCommands::CheckProfileTable() {
  std::uint32_t offset = 0;
  for (std::size_t i = 0; i < package::kProfileEntries; ++i) {
    const std::uint8_t* entry = TableEntry(ctx_.package, i);
    const std::uint32_t length = ProfileLength(entry);
    if (RecordLength(length) > kFlashProfileBufferSize) {
      ctx_.dialogs.Message(ProfileTooLong(entry, RecordLength(length)));
      return false;
    }
    if (offset + length > package::kProfileBlocksSize) {
      ctx_.dialogs.Message(ProfileOutsideBlocks(entry));
      return false;
    }
    offset += length;
  }
  return true;
}

std::uint16_t DriveCommands::BuildProfileRecord(std::uint8_t* buffer) {
  std::uint32_t offset = 0;
  for (std::size_t i = 0; i < package::kProfileEntries; ++i) {
    const std::uint8_t* entry = TableEntry(ctx_.package, i);
    const std::uint32_t length = ProfileLength(entry);
    if (buffer[0] == entry[0] && buffer[1] == entry[1]) {
      ProfileMatched = true;
      std::memcpy(buffer, entry, kEntrySize);
      std::memcpy(buffer + kEntrySize, ctx_.package.ProfileBlocks() + offset, length);
      if (length % 2 != 0) buffer[kEntrySize + length] = kRecordPad;
      return static_cast<std::uint16_t>(RecordLength(length));
    }
    offset += length;
  }
  std::memcpy(buffer, kNoMatchRecord, kEntrySize);
  return kEntrySize;
}

void DriveCommands::SaveProfile(const std::uint8_t* record, std::uint16_t length) {
  std::copy(record, record + length, SavedProfile.bytes.begin());
  SavedProfile.length = length;
}

bool DriveCommands::NTSetupFlashProfile(DriveEntry& entry) {
  if (!CheckProfileTable()) return false;
  std::array<std::uint8_t, kFlashProfileBufferSize> buffer{};
  const scsi::ScsiResult id = ctx_.nt->NTSendRequest(
      NtRequest(entry, FlashIdReadCdb(), kTenByteCdb, scsi::NtForm::Direct,
                {scsi::Direction::In, buffer.data(), kFlashIdLength},
                kFlashIdTimeout));
  if (!scsi::IsGood(id)) {
    ReportCommandFailure(ctx_.dialogs, messages::kReadFlashId, id);
    return false;
  }
  const std::uint16_t length = BuildProfileRecord(buffer.data());
  SaveProfile(buffer.data(), length);
  // Twelve bytes go out although the CDB has ten significant ones.
  const scsi::ScsiResult write = ctx_.nt->NTSendRequest(
      NtRequest(entry, WriteBufferCdb(kFlashProfileOffset, length, 0x00),
                kTwelveByteCdb, scsi::NtForm::Direct,
                {scsi::Direction::Out, buffer.data(), length},
                kFlashProfileTimeout));
  if (!scsi::IsGood(write)) {
    ReportCommandFailure(ctx_.dialogs, messages::kWriteFlashProfile, write);
    return false;
  }
  return true;
}

bool DriveCommands::SetupFlashProfile(DriveEntry& entry) {
  if (!CheckProfileTable()) return false;
  std::array<std::uint8_t, kFlashProfileBufferSize> buffer{};
  const scsi::ScsiResult id = ctx_.aspi->W9xSendRequest(AspiRequest(
      entry, FlashIdReadCdb(), {scsi::Direction::In, buffer.data(), kFlashIdLength}));
  if (!scsi::IsComplete(id)) {
    ReportCommandFailure(ctx_.dialogs, messages::kReadFlashId, id);
    return false;
  }
  const std::uint16_t length = BuildProfileRecord(buffer.data());
  SaveProfile(buffer.data(), length);
  const scsi::ScsiResult write = ctx_.aspi->W9xSendRequest(
      AspiRequest(entry, WriteBufferCdb(kFlashProfileOffset, length, 0x00),
                  {scsi::Direction::Out, buffer.data(), length}));
  if (!scsi::IsComplete(write)) {
    ReportCommandFailure(ctx_.dialogs, messages::kWriteFlashProfile, write);
    return false;
  }
  return true;
}

bool DriveCommands::NTEntryCritical(DriveEntry& entry) {
  const scsi::ScsiResult r = ctx_.nt->NTSendRequest(
      NtRequest(entry, CriticalEntryCdb(), kTenByteCdb, scsi::NtForm::Direct,
                {scsi::Direction::In, nullptr, 0}, kCriticalTimeout));
  if (!scsi::IsGood(r)) {
    ReportCommandFailure(ctx_.dialogs, messages::kEntryCritical, r);
    return false;
  }
  return true;
}

bool DriveCommands::EntryCritical(DriveEntry& entry) {
  // The request points at a buffer of its own although nothing moves.
  std::array<std::uint8_t, 4> unused{};
  const scsi::ScsiResult r = ctx_.aspi->W9xSendRequest(AspiRequest(
      entry, CriticalEntryCdb(), {scsi::Direction::None, unused.data(), 0}));
  if (!scsi::IsComplete(r)) {
    ReportCommandFailure(ctx_.dialogs, messages::kEntryCritical, r);
    return false;
  }
  return true;
}

bool DriveCommands::ProfileReadBackMatches(const std::uint8_t* readBack) {
  if (std::equal(readBack, readBack + SavedProfile.length, SavedProfile.bytes.begin())) {
    return true;
  }
  ctx_.dialogs.Message(messages::kProfileMismatch);
  return false;
}

bool DriveCommands::NTVerifyProfile(DriveEntry& entry) {
  std::array<std::uint8_t, kFlashProfileBufferSize> readBack{};
  const scsi::ScsiResult r = ctx_.nt->NTSendRequest(NtRequest(
      entry, ReadBufferCdb(kFlashProfileOffset, SavedProfile.length), kTenByteCdb,
      scsi::NtForm::Direct,
      {scsi::Direction::In, readBack.data(), SavedProfile.length},
      kFlashProfileTimeout));
  if (!scsi::IsGood(r)) {
    ReportCommandFailure(ctx_.dialogs, messages::kReadFlashProfile, r);
    return false;
  }
  return ProfileReadBackMatches(readBack.data());
}

bool DriveCommands::W9xVerifyProfile(DriveEntry& entry) {
  std::array<std::uint8_t, kFlashProfileBufferSize> readBack{};
  const scsi::ScsiResult r = ctx_.aspi->W9xSendRequest(
      AspiRequest(entry, ReadBufferCdb(kFlashProfileOffset, SavedProfile.length),
                  {scsi::Direction::In, readBack.data(), SavedProfile.length}));
  if (!scsi::IsCompleteAndClean(r)) {
    ctx_.dialogs.Message(W9xReadFlashProfileReport(r));
    return false;
  }
  return ProfileReadBackMatches(readBack.data());
}

}  // namespace drive
