// Pseudo-random bytes that every test can make again from the same seed, so
// that a byte out of place changes what is compared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testsupport {

// The bytes of a linear congruential generator (Numerical Recipes' constants),
// one per step, from the top of its state.
inline void FillPattern(std::uint8_t* bytes, std::size_t size, std::uint32_t seed) {
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1664525u + 1013904223u;
    bytes[i] = static_cast<std::uint8_t>(seed >> 24);
  }
}

inline std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  FillPattern(bytes.data(), size, seed);
  return bytes;
}

}  // namespace testsupport
