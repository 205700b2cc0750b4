// Texts from outside the program (a drive's INQUIRY bytes, a package's
// fields, a file's name) may hold any byte. Every tool puts such a text on a
// terminal only through Printable, so that nothing from a file reaches the
// terminal as a command.
#pragma once

#include <string>

namespace text {

// TEXT with each control byte (other than a line end) and each byte above
// 0x7E shown as '?'.
std::string Printable(const std::string& text);

}  // namespace text
