#include "flash/mode_texts.h"

namespace flash {

std::string WarningText(const package::PackageTexts& texts, bool rangeWildcard) {
  std::string text = "\nWARNING:\n";
  if (rangeWildcard) {
    text += "\nThis flash utility only supports " + texts.ModelText +
            "\n We recommend you close all applications in order to run this update!" +
            " Don't turn off the system while the flash is in progress!" +
            "\n\nDo you wish to continue?\n";
  } else {
    text += "\nThis flash utility only supports " + texts.ModelText + " firmware:" +
            texts.RangeText +
            ". We recommend you close all applications in order to run this update!" +
            "Don't turn off the system while the flash is in progress!" +
            "\n\nDo you wish to continue?\n";
  }
  return text;
}

std::string NoDriveTextHead(const package::PackageTexts& texts, bool rangeWildcard) {
  std::string text = "\nERROR:\n";
  if (rangeWildcard) {
    text += "\nCan't found " + texts.ModelText + " drive !\n";
    text += "\nThis flash utility only supports " + texts.ModelText + "\n";
  } else {
    text += "\nCan't found " + texts.ModelText + " firmware: " + texts.RangeText + " drive !\n";
    text += "\nThis flash utility only supports " + texts.ModelText + " firmware: " +
            texts.RangeText + "\n";
  }
  return text + "\nDetected drives:\n" + std::string(59, '-') + "\n";
}

}  // namespace flash
