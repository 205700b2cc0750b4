// The package region built into this executable. Its definition is generated
// at build time (tools/firmware) in one variant per program: the template
// QRWFLASH.EXE and each flash program link the same code with a different
// region object. Only the program entry refers to it; the logic takes a
// PackageView, so tests use regions of their own.
#pragma once

#include <cstdint>

#include "package/package_region.h"

namespace package {

// Writable on purpose: a writable array stays one block in .data, the linker
// never merges it with identical read-only data, and code in other files
// cannot fold reads of it into constants. Nothing writes to it at run time.
extern std::uint8_t PackageRegion[kRegionSize];

inline PackageView BuiltInPackage() { return PackageView(PackageRegion); }

}  // namespace package
