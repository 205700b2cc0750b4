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
    case flash::Phase::CommandsBegun:
      awake_ = guard_.StayAwake();
      break;
    case flash::Phase::CriticalBegun:
      blocking_ = guard_.BlockShutdown(kShutdownBlockReason);
      break;
    case flash::Phase::CriticalEnded:
      Unblock();
      break;
  }
}

void WindowView::Finished(const flash::FlashResult&) {
  Unblock();
  if (!awake_) return;
  awake_ = false;
  guard_.Release();
}

void WindowView::Unblock() {
  if (!blocking_) return;
  blocking_ = false;
  guard_.UnblockShutdown();
}

}  // namespace app
