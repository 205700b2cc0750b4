// FlashButtonClick: the one action of the window. The builder in builder
// mode; in flash mode the battery check, the revision check, the
// confirmation and the flash sequence of the platform.
#include "app/flash_form.h"
#include "flash/power_check.h"
#include "text/format.h"

namespace app {

void TFlashForm::FlashButtonClick() {
  if (BuilderMode) {
    BuildButtonClick();
    return;
  }
  if (!Session || Flashing()) return;
  const std::optional<flash::ChosenDrive> chosen = ChosenInList(ui.ComboBox1, ItemToEntry);
  if (!chosen) return;
  // Before anything is asked or sent: a flat battery must not end a burn.
  // The window stays as it is, so that FLASH can be pressed again on mains.
  if (const std::optional<int> left = flash::LowBatteryRefusal(sys.power.Read())) {
    sys.dialogs.Message(text::Format(kOnBatteryText, *left));
    return;
  }
  Session->Flash(chosen);
}

}  // namespace app
