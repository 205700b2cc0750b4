// Fuzz target of the program-file reader: files with the key-word, the seal
// marker and the signature marker of this build placed anywhere, any number
// of times, in files of any length around a package region. Whatever the
// reader accepts lies inside the file: the region around K, one whole seal
// record outside it, and at most one whole signature record apart from both,
// whose bytes (any bytes) qrwflash's check reads without a read past them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "package/package_data.h"
#include "package/program_file.h"
#include "package/seal.h"
#include "package/signature_record.h"
#include "signing/program_signature.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Input layout: byte 0 how many key-words, byte 1 how many seal markers
// (modulo 3) and signature markers (its third, modulo 3), byte 2 whether the
// file is padded to hold a whole region, then pairs of bytes for the places
// (scaled to the file), the rest is the file's body.
Bytes Decode(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return {};
  const std::size_t keyWords = data[0] % 3;
  const std::size_t markers = data[1] % 3;
  const std::size_t signatureMarkers = data[1] / 3 % 3;
  const bool padded = data[2] % 2 == 0;
  const std::size_t places = 2 * (keyWords + markers + signatureMarkers);
  if (size < 3 + places) return {};
  Bytes file(data + 3 + places, data + size);
  if (padded) file.resize(file.size() + package::kRegionSize + 4096, 0);
  const package::KeyWordBytes keyWord = package::BuiltInKeyWord();
  const package::SealMarker marker = package::BuiltInSealMarker();
  const std::uint8_t* place = data + 3;
  auto insertAt = [&](const std::uint8_t* pattern, std::size_t length) {
    const std::size_t scaled = (static_cast<std::size_t>(place[0]) << 8 | place[1]) *
                               (file.size() + 1) / 65536;
    place += 2;
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(scaled), pattern, pattern + length);
  };
  for (std::size_t i = 0; i < keyWords; ++i) insertAt(keyWord.data(), keyWord.size());
  for (std::size_t i = 0; i < markers; ++i) insertAt(marker.data(), marker.size());
  const package::SignatureMarker signatureMarker = package::BuiltInSignatureMarker();
  for (std::size_t i = 0; i < signatureMarkers; ++i)
    insertAt(signatureMarker.data(), signatureMarker.size());
  return file;
}

// A record the reader found lies whole inside the file, apart from the region
// and the seal record; the signature check reads it (and only it) and calls
// an empty record unsigned, anything else good or not matching.
void CheckSignatureRecord(const package::ProgramFile& file, std::size_t regionStart) {
  const signing::SignatureCheck check = signing::CheckSignature(file.Package());
  if (file.signatureAt == package::kNoSignatureRecord) {
    if (check.hasRecord || check.state != signing::SignatureState::Unsigned) std::abort();
    return;
  }
  if (file.signatureAt + package::kSignatureRecordSize > file.bytes.size()) std::abort();
  if (!package::SignatureRecordApart(file.signatureAt, regionStart, file.sealAt)) std::abort();
  const bool empty = package::ReadSignatureRecord(file.bytes.data() + file.signatureAt).empty;
  if (empty != (check.state == signing::SignatureState::Unsigned)) std::abort();
}

void Check(const package::ProgramFile& file) {
  if (file.problem != package::ProgramFileProblem::None) {
    if (file.message.empty()) std::abort();
    return;
  }
  const std::size_t size = file.bytes.size();
  if (file.keyWordAt < package::kKeyWordInRegion) std::abort();
  const std::size_t regionStart = file.keyWordAt - package::kKeyWordInRegion;
  if (regionStart + package::kRegionSize > size) std::abort();
  if (file.sealAt + package::kSealSize > size) std::abort();
  if (file.sealAt + package::kSealSize > regionStart &&
      file.sealAt < regionStart + package::kRegionSize)
    std::abort();
  const package::SealCheck again = package::CheckSeal(file.Package());
  if (!(again == file.seal)) std::abort();
  CheckSignatureRecord(file, regionStart);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes bytes = Decode(data, size);
  Check(package::ReadProgramBytes(std::move(bytes)));
  return 0;
}
