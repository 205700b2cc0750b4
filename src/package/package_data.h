// The package region and its seal record built into this executable. Their
// definitions are generated at build time (tools/firmware) in one variant per
// program: the template QRWFLASH.EXE and each flash program link the same
// code with a different region object. Only the program entries refer to
// them; the logic takes a PackageView, so tests use regions of their own.
#pragma once

#include <algorithm>
#include <cstdint>

#include "package/package_region.h"
#include "package/seal.h"
#include "package/signature_record.h"

namespace package {

// Writable on purpose: a writable array stays one block in .data, the linker
// never merges it with identical read-only data, and code in other files
// cannot fold reads of it into constants. Nothing writes to it at run time.
extern std::uint8_t PackageRegion[kRegionSize];
// The seal record: the marker, then an empty seal (template) or the region's.
extern std::uint8_t PackageSeal[kSealSize];
// The signature record: the marker, then an empty record. The program never
// reads it; a copy made by qrwpack may carry a signature in its place.
extern std::uint8_t PackageSignature[kSignatureRecordSize];

inline PackageView BuiltInPackage() {
  return PackageView(PackageRegion, PackageSeal, PackageSignature);
}

// The key-word, the seal marker and the signature marker of this build, taken from the built-in
// package: code never writes them as literals of its own, so each occurs
// exactly once in a program file.
inline KeyWordBytes BuiltInKeyWord() {
  KeyWordBytes keyWord;
  std::copy_n(PackageRegion + kKeyWordInRegion, keyWord.size(), keyWord.begin());
  return keyWord;
}
inline SealMarker BuiltInSealMarker() { return MarkerOf(PackageSeal); }
inline SignatureMarker BuiltInSignatureMarker() { return SignatureMarkerOf(PackageSignature); }

}  // namespace package
