// A template for the builder shaped like the program's file, with the tests'
// own key-word and seal marker.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "package/package_region.h"
#include "support/bytes.h"
#include "support/key_word.h"
#include "support/pattern.h"

namespace testsupport {

// A template shaped like the program's file: code before the package
// region, the region (profiles, table, key-word, an old header, the image
// area beginning with "VEKO") and program data after it, with an empty seal
// record and, 200 bytes on, an empty signature record inside that data
// (after holds at least 1000 bytes).
struct SyntheticTemplate {
  Bytes bytes;
  std::size_t k = 0;       // offset of the key-word
  std::size_t sealAt = 0;  // offset of the seal record
  std::size_t signatureAt = 0;  // offset of the signature record

  static SyntheticTemplate Make(std::size_t before = 5000, std::size_t after = 70000) {
    SyntheticTemplate t;
    t.bytes = Pattern(before, 1);
    // Code may hold a 'T' anywhere; none of its bytes may form the key-word.
    t.bytes.back() = 'T';
    const Bytes profiles = Pattern(package::kProfileBlocksSize + package::kProfileTableSize, 2);
    t.bytes.insert(t.bytes.end(), profiles.begin(), profiles.end());
    t.k = t.bytes.size();
    const auto keyWord = TestKeyWord();
    t.bytes.insert(t.bytes.end(), keyWord.begin(), keyWord.end());
    Bytes header(package::kRewrittenHeaderSize, 0);
    PutText(header, 0, "OLD-MODEL");
    PutText(header, 25, "OLD INQUIRY");
    t.bytes.insert(t.bytes.end(), header.begin(), header.end());
    Bytes area = Pattern(package::kImageAreaSize, 3);
    std::memcpy(area.data(), package::kTemplateMarker, 4);
    t.bytes.insert(t.bytes.end(), area.begin(), area.end());
    const Bytes rest = Pattern(after, 4);
    t.bytes.insert(t.bytes.end(), rest.begin(), rest.end());
    t.sealAt = t.k + package::kHeaderSize + package::kImageAreaSize + after / 2;
    const auto marker = TestSealMarker();
    std::copy(marker.begin(), marker.end(), t.bytes.begin() + static_cast<std::ptrdiff_t>(t.sealAt));
    std::fill_n(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.sealAt + marker.size()), 8, 0);
    t.signatureAt = t.sealAt + 200;
    const auto signatureMarker = TestSignatureMarker();
    std::copy(signatureMarker.begin(), signatureMarker.end(),
              t.bytes.begin() + static_cast<std::ptrdiff_t>(t.signatureAt));
    std::fill_n(t.bytes.begin() + static_cast<std::ptrdiff_t>(t.signatureAt + signatureMarker.size()),
                package::kSignatureRecordSize - signatureMarker.size(), 0);
    return t;
  }
  std::size_t ImageArea() const { return k + package::kImageAreaOffset; }
  std::size_t RegionStart() const { return k - package::kKeyWordInRegion; }
  package::PackageView View() const {
    return package::PackageView(bytes.data() + RegionStart(), bytes.data() + sealAt);
  }
};

}  // namespace testsupport
