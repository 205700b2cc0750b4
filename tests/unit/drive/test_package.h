// The package region the drive tests work with: the shared region builder
// with this model's header texts, the built-in profile table and profile
// blocks that differ byte by byte.
#pragma once

#include <cstdint>

#include "package/package_region.h"
#include "support/region.h"

namespace testpkg {

class Package : public testsupport::Region {
 public:
  Package() {
    Text(package::kModelOffset, "QRW-20410C");
    Text(package::kInquiryOffset, "QUARVEL QRW-20410C");
    Text(package::kFwRangeOffset, "1.00-1.20");
    Text(package::kVendorOffset, "Quarvel-IT");
    Text(package::kNoteOffset, "None");
    // The built-in table: DA C8 with 314 bytes, then BF B4 with 452.
    Profile(0, 0xDA, 0xC8, 314);
    Profile(1, 0xBF, 0xB4, 452);
    for (std::size_t i = 0; i < package::kProfileBlocksSize; ++i) {
      At(package::kProfileBlocksOffset)[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
  }
};

}  // namespace testpkg
