// Drive identification by INQUIRY and the acceptance test against the
// package.
#include <algorithm>
#include <array>
#include <string>

#include "drive/drive_commands.h"
#include "drive/inquiry.h"
#include "drive/messages.h"
#include "drive/requests.h"
#include "drive/report.h"

namespace drive {

namespace {

constexpr std::chrono::seconds kInquiryTimeout{3};
constexpr std::uint8_t kInquiryCdbLength = 6;

// Byte by byte as unsigned values, the first differing byte deciding.
bool RevisionBelow(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
}

scsi::ScsiRequest NtInquiryRequest(const DriveEntry& entry, std::uint8_t* data) {
  return NtRequest(entry, InquiryCdb(kNtInquiryLength), kInquiryCdbLength,
                   scsi::NtForm::Direct,
                   {scsi::Direction::In, data, kNtInquiryLength},
                   kInquiryTimeout);
}

// The pass-through request reports the address the driver put into the
// returned record; that is how the drive check learns where the drive is.
void TakeReturnedAddress(DriveEntry& entry, const scsi::ScsiResult& result) {
  entry.Adapter = result.returnedAdapter;
  entry.Target = result.returnedTarget;
  entry.LogicalUnit = result.returnedLun;
}

}  // namespace

bool MatchesPackage(const package::PackageView& package,
                    const std::string& identification,
                    const std::string& revision) {
  if (package::IsInquiryWildcard(package)) return true;
  const package::PackageTexts texts = package::FormPackageTexts(package);
  if (identification != texts.InquiryText) return false;
  if (package::IsRangeWildcard(package)) return true;
  return !RevisionBelow(revision, texts.RangeLow) &&
         !RevisionBelow(texts.RangeHigh, revision);
}

bool DriveCommands::NTCheckInquiry(DriveEntry& entry, scsi::Opening& opening) {
  opening = scsi::Opening{};
  const std::optional<platform::Handle> device = ctx_.nt->OpenDriveDevice(entry.DriveLetter);
  if (!device) {
    opening.failure = scsi::Opening::Failure::Open;
    opening.systemError = ctx_.nt->LastError();
    return false;
  }
  std::array<std::uint8_t, kNtInquiryLength> data{};
  const scsi::ScsiResult result =
      ctx_.nt->NTSendRequest(NtInquiryRequest(entry, data.data()), *device);
  TakeReturnedAddress(entry, result);
  ctx_.nt->CloseDevice(*device);
  // Only the call itself counts here: a drive that answers with an error
  // status still gets a line built from the cleared data area.
  if (!result.delivered) return false;
  entry.SetText(NtListText(entry, ctx_.nt->DeviceName(entry.DriveLetter), data.data()));
  return MatchesPackage(ctx_.package, IdentificationText(data.data()),
                        RevisionText(data.data()));
}

bool DriveCommands::CheckInquiry(DriveEntry& entry) {
  std::array<std::uint8_t, kAspiInquiryLength> data{};
  scsi::ScsiRequest request = AspiRequest(
      entry, InquiryCdb(kAspiInquiryLength),
      {scsi::Direction::In, data.data(), kAspiInquiryLength});
  request.cdbLength = kInquiryCdbLength;
  if (!scsi::IsComplete(ctx_.aspi->W9xSendRequest(request))) return false;
  entry.SetText(AspiListText(entry, data.data()));
  return MatchesPackage(ctx_.package, IdentificationText(data.data()),
                        RevisionText(data.data()));
}

bool DriveCommands::NTGetInquiry(DriveEntry& entry) {
  std::array<std::uint8_t, kNtInquiryLength> data{};
  const scsi::ScsiResult result =
      ctx_.nt->NTSendRequest(NtInquiryRequest(entry, data.data()));
  TakeReturnedAddress(entry, result);
  // IsGood also refuses a call that never reached the drive, whose data
  // area was never filled.
  if (!scsi::IsGood(result)) {
    ReportCommandFailure(ctx_.dialogs, messages::kInquiry, result);
    return false;
  }
  entry.SetText(NtListText(entry, ctx_.nt->DeviceName(entry.DriveLetter), data.data()));
  return true;
}

}  // namespace drive
