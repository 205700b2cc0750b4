// FlashButtonClick: the one action of the window. The builder in builder
// mode; in flash mode the revision check, the confirmation and the flash
// sequence of the platform.
#include "app/flash_form.h"

namespace app {

void TFlashForm::FlashButtonClick() {
  if (BuilderMode) {
    BuildButtonClick();
    return;
  }
  if (Session) Session->Flash(ChosenInList(ui.ComboBox1, ItemToEntry));
}

}  // namespace app
