#include "text/printable.h"

namespace text {

std::string Printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\n') || byte > 0x7E) c = '?';
  }
  return shown;
}

}  // namespace text
