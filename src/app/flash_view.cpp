#include "app/flash_view.h"

namespace app {

std::optional<flash::ChosenDrive> ChosenInList(
    const platform::ComboBox& list, const std::array<int, drive::kDriveSlots>& itemToEntry) {
  const int position = list.ItemIndex();
  if (position < 0 || position >= list.Count() ||
      position >= static_cast<int>(drive::kDriveSlots))
    return std::nullopt;
  return flash::ChosenDrive{position, itemToEntry[static_cast<std::size_t>(position)],
                            list.ItemText(position)};
}

void WindowView::Caption(const std::string& text) {
  status_.SetText(text);
  status_.Repaint();
}

void WindowView::Busy(bool busy) {
  if (busy) {
    cursor_.Hourglass();
  } else {
    cursor_.Default();
  }
}

void WindowView::DriveLineChanged(int position, const std::string& line) {
  list_.InsertItem(position, line);
  list_.DeleteItem(position + 1);
  list_.SetItemIndex(position);
  list_.Repaint();
}

void WindowView::PhaseChanged(flash::Phase phase) {
  switch (phase) {
    // A system without the request flashes as before: there is nobody to
    // tell but the user, who cannot change it.
    case flash::Phase::CommandsBegun:
      guard_.Hold();
      break;
    case flash::Phase::CriticalBegun:
      notice_.Show(kShutdownBlockReason);
      break;
    case flash::Phase::CriticalEnded:
      notice_.Withdraw();
      break;
  }
}

void WindowView::Finished(const flash::FlashResult&) {
  notice_.Withdraw();
  guard_.Release();
}

}  // namespace app
