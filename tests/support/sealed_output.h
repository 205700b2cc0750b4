// The expected output of a build: the builder's bytes with the seal record
// filled in by zlib's CRC-32, independent of the program's own.
#pragma once

#include <zlib.h>

#include "support/synthetic_template.h"

namespace testsupport {

// The output as built, with its seal record filled in for the region around
// the key-word at k: zlib's CRC-32 and its complement, little-endian.
inline Bytes WithSeal(Bytes output, const SyntheticTemplate& tpl) {
  const std::uint8_t* region = output.data() + tpl.RegionStart();
  const std::uint32_t crc = static_cast<std::uint32_t>(::crc32(0, region, package::kRegionSize));
  for (int i = 0; i < 4; ++i) {
    output[tpl.sealAt + 8 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    output[tpl.sealAt + 12 + i] = static_cast<std::uint8_t>(~crc >> (8 * i));
  }
  return output;
}

}  // namespace testsupport
