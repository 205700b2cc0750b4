#include "flash/revision_check.h"

#include <algorithm>

#include "flash/flash_texts.h"
#include "package/package_texts.h"

namespace flash {

int CompareRevisions(std::string_view left, std::string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto l = static_cast<unsigned char>(left[i]);
    const auto r = static_cast<unsigned char>(right[i]);
    if (l != r) return l < r ? -1 : 1;
  }
  if (left.size() == right.size()) return 0;
  return left.size() < right.size() ? -1 : 1;
}

std::string CurrentRevision(std::string_view listText) {
  const std::size_t length = std::min(listText.size(), kRevisionLength);
  return std::string(listText.substr(listText.size() - length));
}

std::string NewRevision(const package::PackageView& package) {
  return package.NewRevision().substr(0, kRevisionLength);
}

std::string RefusalText(const std::string& current) {
  return std::string(kRefusalHead) + kRefusalDrive + current + kRefusalTail;
}

std::string ConfirmationText(const std::string& current, const std::string& next) {
  return std::string(kConfirmHead) + current + kConfirmTo + next + kConfirmTail;
}

RevisionDecision DecideRevision(const package::PackageView& package,
                                std::string_view listText) {
  RevisionDecision decision;
  decision.current = CurrentRevision(listText);
  decision.next = NewRevision(package);
  const int order = CompareRevisions(decision.current, decision.next);
  if (!package::IsRangeWildcard(package) && order >= 0) {
    decision.refused = true;
    return decision;
  }
  if (order > 0) decision.confirmKind = platform::DialogKind::Warning;
  return decision;
}

}  // namespace flash
