// CRC-32 as ZIP defines it (reflected polynomial 0xEDB88320, initial value
// and final XOR all ones): the value zlib's crc32 gives. Header-only, so the
// firmware generator, a single-source build tool, seals with the same code
// the programs check with.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace package {

namespace crc32_detail {

constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

inline constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace crc32_detail

// The CRC-32 of size bytes; crc is the value of the bytes before them, so
// that Crc32(b, m, Crc32(a, n)) is the CRC-32 of a followed by b.
constexpr std::uint32_t Crc32(const std::uint8_t* data, std::size_t size,
                              std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i)
    crc = crc32_detail::kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace package
