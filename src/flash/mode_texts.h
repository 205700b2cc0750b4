// The texts a flash program shows around the flash itself, made from its
// package: the warning it opens with and the head of the text that lists the
// detected drives when none matches. Shared by the window and the terminal.
#pragma once

#include <string>

#include "package/package_texts.h"

namespace flash {

// The two tails differ in more than the range: the ranged one has no blank
// between "update!" and "Don't", and none after "firmware:".
std::string WarningText(const package::PackageTexts& texts, bool rangeWildcard);

// "ERROR: Can't found ..." up to the dashed line under "Detected drives:";
// the detected drives' lines follow it, one a line.
std::string NoDriveTextHead(const package::PackageTexts& texts, bool rangeWildcard);

}  // namespace flash
