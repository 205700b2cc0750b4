// Named little-endian helpers for the records the package code reads and
// writes in a program file: the seal record and the PE headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace package {

inline std::uint16_t GetLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t GetLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline void PutLe32(std::uint8_t* p, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace package
