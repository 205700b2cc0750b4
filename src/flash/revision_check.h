// The check that FlashButtonClick makes before a flash: the drive's current
// revision against the package's new one, and the texts of the two dialogs.
#pragma once

#include <string>
#include <string_view>

#include "package/package_region.h"
#include "platform/ui.h"

namespace flash {

inline constexpr std::size_t kRevisionLength = 4;

// Byte strings compared as unsigned bytes; a prefix is smaller than the
// longer text. Negative, zero or positive like memcmp.
int CompareRevisions(std::string_view left, std::string_view right);

// The last four characters of a drive's list text (fewer if it is shorter):
// every list text ends in the drive's INQUIRY revision.
std::string CurrentRevision(std::string_view listText);
// The first four characters of the package's NewRevision.
std::string NewRevision(const package::PackageView& package);

std::string RefusalText(const std::string& current);
std::string ConfirmationText(const std::string& current, const std::string& next);

// What a press in flash mode does after comparing the revisions.
struct RevisionDecision {
  std::string current;
  std::string next;
  bool refused = false;  // the drive is already at or above the new revision
  // The confirmation comes as a warning when it would install an older
  // revision (only possible under the range wildcard).
  platform::DialogKind confirmKind = platform::DialogKind::Confirm;
};

RevisionDecision DecideRevision(const package::PackageView& package,
                                std::string_view listText);

}  // namespace flash
