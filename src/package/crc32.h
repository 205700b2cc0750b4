// CRC-32 as ZIP defines it (reflected polynomial 0xEDB88320, initial value
// and final XOR all ones): the value zlib's crc32 gives. Header-only, so the
// firmware generator, a single-source build tool, seals with the same code
// the programs check with.
#pragma once

#include <cstddef>
#include <cstdint>

namespace package {

namespace crc32_detail {

// Eight tables, so that the region's CRC takes eight bytes a step instead of
// one (the byte-at-a-time loop waits on each lookup before the next): entry
// [k][n] is the CRC of byte n followed by k zero bytes. Plain arrays, so that
// a lookup is a load wherever the loop is compiled.
struct Tables {
  std::uint32_t entry[8][256];
};

constexpr Tables MakeTables() {
  Tables tables{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables.entry[0][n] = c;
  }
  for (int k = 1; k < 8; ++k) {
    for (std::uint32_t n = 0; n < 256; ++n) {
      const std::uint32_t before = tables.entry[k - 1][n];
      tables.entry[k][n] = tables.entry[0][before & 0xFF] ^ (before >> 8);
    }
  }
  return tables;
}

inline constexpr Tables kTables = MakeTables();

}  // namespace crc32_detail

// The CRC-32 of size bytes; crc is the value of the bytes before them, so
// that Crc32(b, m, Crc32(a, n)) is the CRC-32 of a followed by b.
constexpr std::uint32_t Crc32(const std::uint8_t* data, std::size_t size,
                              std::uint32_t crc = 0) {
  const auto& t = crc32_detail::kTables.entry;
  crc = ~crc;
  std::size_t i = 0;
  for (; size - i >= 8; i += 8) {
    const std::uint32_t low = crc ^ (std::uint32_t{data[i]} | std::uint32_t{data[i + 1]} << 8 |
                                     std::uint32_t{data[i + 2]} << 16 |
                                     std::uint32_t{data[i + 3]} << 24);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^
          t[4][low >> 24] ^ t[3][data[i + 4]] ^ t[2][data[i + 5]] ^ t[1][data[i + 6]] ^
          t[0][data[i + 7]];
  }
  for (; i < size; ++i) crc = t[0][(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace package
