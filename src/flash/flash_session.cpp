#include "flash/flash_session.h"

#include "drive/report.h"

namespace flash {

namespace {

scsi::AspiTransport* AspiOf(std::optional<scsi::AspiTransport>& aspi,
                            const SessionParts& parts) {
  if (parts.passThrough != nullptr || parts.aspiLibrary == nullptr) return nullptr;
  aspi.emplace(*parts.aspiLibrary, parts.aspiWait);
  return &*aspi;
}

}  // namespace

FlashSession::FlashSession(const SessionParts& parts)
    : parts_(parts),
      format_(package::CheckNewFormatBIN(parts_.package.ImageArea())),
      dialogs_(parts_.dialogs),
      commands_(drive::CommandContext{parts_.passThrough, AspiOf(aspi_, parts_), dialogs_,
                                      parts_.os, parts_.observer.Progress(), parts_.package}),
      procedure_(FlashWiring{commands_, parts_.passThrough, dialogs_, parts_.os,
                             parts_.restart, parts_.observer, parts_.package, format_,
                             table_}) {}

FoundDrive FlashSession::Found(const drive::DriveEntry& entry, bool accepted) const {
  FoundDrive found;
  found.entry = entry;
  found.line = entry.Text();
  found.accepted = accepted;
  if (!accepted)
    found.whyNot = found.line.empty() ? FoundDrive::WhyNot::NoAnswer : FoundDrive::WhyNot::OtherDrive;
  return found;
}

std::vector<FoundDrive> FlashSession::DiscoverLetters(const std::vector<char>& letters,
                                                      const EachFound& each) {
  std::vector<FoundDrive> found;
  std::size_t slot = 0;
  for (char letter : letters) {
    // A slot per drive letter: only a system that reported a letter twice
    // could fill the table, and then the rest is not tried.
    if (slot == table_.size()) break;
    drive::DriveEntry& entry = table_[slot];
    if (parts_.emptySlots) entry = drive::DriveEntry{};
    entry.DriveLetter = letter;
    entry.SetText("");
    scsi::Opening opening;
    const bool accepted = commands_.NTCheckInquiry(entry, opening);
    found.push_back(Found(entry, accepted));
    if (!opening.Opened()) {
      found.back().whyNot = FoundDrive::WhyNot::CannotOpen;
      found.back().opening = opening;
      found.back().reason = drive::OpeningText(opening);
    }
    if (accepted) found.back().slot = static_cast<int>(slot++);
    if (each) each(found.back());
  }
  return found;
}

std::vector<FoundDrive> FlashSession::DiscoverAspi(const EachFound& each) {
  std::vector<FoundDrive> found;
  for (std::size_t slot = 0; slot < drive::kAspiSlots; ++slot) {
    const bool accepted = commands_.CheckInquiry(table_[slot]);
    found.push_back(Found(table_[slot], accepted));
    if (accepted) found.back().slot = static_cast<int>(slot);
    if (each) each(found.back());
  }
  return found;
}

std::unique_ptr<FlashSession> BuildSession(const SessionParts& parts) {
  return std::make_unique<FlashSession>(parts);
}

}  // namespace flash
