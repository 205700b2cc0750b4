// The key-word, seal marker and signature marker of the tests' own templates and programs,
// kept apart from the program's built-in ones so that a test never finds the
// real package by accident.
#pragma once

#include <cstring>
#include <string>

#include "package/package_region.h"
#include "package/seal.h"
#include "package/signature_record.h"

namespace testsupport {

// "T", a 13-character telephone text and a zero byte.
inline package::KeyWordBytes TestKeyWord() {
  package::KeyWordBytes keyWord{};
  const std::string text = std::string("T") + "0800" + "-555-" + "0139";
  std::memcpy(keyWord.data(), text.data(), text.size());
  return keyWord;
}

inline package::SealMarker TestSealMarker() {
  return {'Q', 'R', 'W', 'S', 'E', 'A', 'L', '1'};
}

inline package::SignatureMarker TestSignatureMarker() {
  return {'Q', 'R', 'W', 'S', 'I', 'G', 'N', '1'};
}

}  // namespace testsupport
