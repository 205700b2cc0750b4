// Writes the program's icon: a 32x32 true-colour .ico of a disc with its
// centre hole, drawn here so that no binary file needs to be checked in.
// Usage: make_icon <output.ico>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <vector>

namespace {

constexpr int kSize = 32;

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}

// BGRA of the pixel at (x, y), y counted from the top.
std::uint32_t Pixel(int x, int y) {
  const int dx = 2 * x + 1 - kSize;
  const int dy = 2 * y + 1 - kSize;
  const int r2 = dx * dx + dy * dy;  // in half-pixel units squared
  if (r2 > 30 * 30 || r2 < 5 * 5) return 0x00000000;  // outside, or the hole
  if (r2 < 9 * 9) return 0xFF9098A0;                   // clamping ring
  const bool sheen = (dx > 0) == (dy < 0);
  return sheen ? 0xFFE0C060 : 0xFFB07020;              // the disc
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_icon <output.ico>\n";
    return 2;
  }
  const std::uint32_t maskBytes = kSize * (kSize / 8);
  const std::uint32_t imageBytes = 40 + kSize * kSize * 4 + maskBytes;
  std::vector<std::uint8_t> ico;
  Put16(ico, 0);  // reserved
  Put16(ico, 1);  // icon
  Put16(ico, 1);  // one image
  ico.push_back(kSize);
  ico.push_back(kSize);
  ico.push_back(0);  // no palette
  ico.push_back(0);
  Put16(ico, 1);   // planes
  Put16(ico, 32);  // bits per pixel
  Put32(ico, imageBytes);
  Put32(ico, 6 + 16);  // image offset
  // BITMAPINFOHEADER; the height counts the colour and the mask rows.
  Put32(ico, 40);
  Put32(ico, kSize);
  Put32(ico, 2 * kSize);
  Put16(ico, 1);
  Put16(ico, 32);
  for (int i = 0; i < 6; ++i) Put32(ico, 0);
  for (int y = kSize - 1; y >= 0; --y)  // bottom-up rows
    for (int x = 0; x < kSize; ++x) Put32(ico, Pixel(x, y));
  for (int y = kSize - 1; y >= 0; --y)  // AND mask: transparent where alpha is 0
    for (int byte = 0; byte < kSize / 8; ++byte) {
      std::uint8_t bits = 0;
      for (int bit = 0; bit < 8; ++bit)
        if ((Pixel(byte * 8 + bit, y) >> 24) == 0) bits |= static_cast<std::uint8_t>(0x80 >> bit);
      ico.push_back(bits);
    }
  std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
  return file ? 0 : 1;
}
