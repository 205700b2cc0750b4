// The window's side of a flash session: the drive chosen in ComboBox1, and
// what the session reports shown in the window's controls.
#pragma once

#include <array>
#include <optional>

#include "drive/drive_entry.h"
#include "drive/transfer_cursor.h"
#include "flash/flash_observer.h"
#include "flash/flash_procedure.h"
#include "platform/burn_guard.h"
#include "platform/shutdown_notice.h"
#include "platform/ui.h"

namespace app {

// Shown by the system's shutdown screen while the drive may be left without
// working firmware.
inline constexpr const char* kShutdownBlockReason =
    "Firmware update in progress. Do not turn off the computer.";

// The selected item of ComboBox1 and the slot ItemToEntry maps it to; none
// when no listed item is selected.
std::optional<flash::ChosenDrive> ChosenInList(
    const platform::ComboBox& list, const std::array<int, drive::kDriveSlots>& itemToEntry);

// Captions go to GroupBox2 and are painted at once (while a flash runs the
// window answers only what is sent to it, between the drive's commands),
// the progress to ProgressBar, which holds the transfer cursor, the busy
// cursor to the hourglass, and the flashed drive's new line replaces its
// item and stays selected. From the first drive command to the end of the
// sequence the system is asked to stay awake, and from the critical entry
// to the final flash command's answer a shutdown names the flash.
class WindowView final : public flash::FlashObserver {
 public:
  WindowView(platform::TextControl& status, platform::ProgressBar& bar, platform::ComboBox& list,
             platform::Cursor& cursor, platform::BurnGuard& guard,
             platform::ShutdownNotice& notice)
      : status_(status),
        progress_(bar),
        list_(list),
        cursor_(cursor),
        guard_(guard),
        notice_(notice) {}

  void Caption(const std::string& text) override;
  drive::TransferCursor& Progress() override { return progress_; }
  void Busy(bool busy) override;
  void DriveLineChanged(int position, const std::string& line) override;
  void PhaseChanged(flash::Phase phase) override;
  // The window always has its restart.
  void RestartNotOffered() override {}
  bool StopRequested() const override { return false; }
  // The dialogs and the caption have said everything a person reads about
  // how the press ended; what the system was asked is withdrawn.
  void Finished(const flash::FlashResult&) override;

 private:
  platform::TextControl& status_;
  drive::CursorOn<platform::ProgressBar> progress_;
  platform::ComboBox& list_;
  platform::Cursor& cursor_;
  platform::BurnGuard& guard_;
  platform::ShutdownNotice& notice_;
};

}  // namespace app
