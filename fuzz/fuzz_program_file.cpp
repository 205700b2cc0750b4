// Fuzz target of the program-file reader: files with the key-word, the seal
// marker and the signature marker of this build placed anywhere, any number
// of times, in files of any length around a package region, bare or in a PE
// file with a certificate table and a security directory entry of any
// values. Whatever the reader accepts lies inside the file: the region
// around K, one whole seal record outside it, at most one whole signature
// record apart from both, whose bytes (any bytes) qrwflash's check reads
// without a read past them, and a certificate table it calls present at the
// end of the file, apart from the region, the seal and the headers that
// name it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "package/package_data.h"
#include "package/program_file.h"
#include "package/seal.h"
#include "support/pe_image.h"
#include "package/signature_record.h"
#include "signing/program_signature.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using testsupport::PeImage;

// Input layout: byte 0 how many key-words, byte 1 how many seal markers
// (modulo 3) and signature markers (its third, modulo 3), byte 2 whether
// the file is padded to hold a whole region (bit 0 clear), whether it is
// put into a PE file with a certificate table (bit 1) and whether the
// table's entry is then taken from the input as it stands (bit 2) or
// scaled to the file (bit 3), bytes 3 to 10 that entry, then pairs of bytes
// for the places (scaled to the file), the rest is the file's body.
Bytes Decode(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHead = 11;
  if (size < kHead) return {};
  const std::size_t keyWords = data[0] % 3;
  const std::size_t markers = data[1] % 3;
  const std::size_t signatureMarkers = data[1] / 3 % 3;
  const bool padded = data[2] % 2 == 0;
  const bool pe = (data[2] & 2) != 0;
  const bool entryFromInput = (data[2] & 4) != 0;
  const bool entryScaled = (data[2] & 8) != 0;
  const std::size_t places = 2 * (keyWords + markers + signatureMarkers);
  if (size < kHead + places) return {};
  Bytes file(data + kHead + places, data + size);
  if (padded) file.resize(file.size() + package::kRegionSize + 4096, 0);
  const package::KeyWordBytes keyWord = package::BuiltInKeyWord();
  const package::SealMarker marker = package::BuiltInSealMarker();
  const std::uint8_t* place = data + kHead;
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
  if (pe) {
    file = PeImage::Around(file);
    PeImage::Sign(file, Bytes(8 * (1 + data[3] % 64), 0x30), 0x00ABCDEF);
    if (entryFromInput) std::copy_n(data + 3, 8, file.begin() + PeImage::kSecurityEntryAt);
    if (entryScaled) {
      // An address anywhere in the file and a size up to a little past its
      // end, in 8-byte units but when the input's low bits say otherwise.
      std::size_t at = (static_cast<std::size_t>(data[3]) << 8 | data[4]) * file.size() / 65536;
      if (data[5] % 2 == 0) at = at / 8 * 8;
      std::size_t length = (static_cast<std::size_t>(data[6]) << 8 | data[7]) * (file.size() + 16 - at) / 65536;
      if (data[8] % 2 == 0) length = length / 8 * 8;
      testsupport::PutLe32(file, PeImage::kSecurityEntryAt, static_cast<std::uint32_t>(at));
      testsupport::PutLe32(file, PeImage::kSecurityEntryAt + 4, static_cast<std::uint32_t>(length));
    }
  }
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
  const package::CertificateTable& table = file.certificates;
  const bool told = !package::CertificateProblemText(table).empty();
  if (told != (table.state == package::CertificateTableState::Unusable)) std::abort();
  if (table.state != package::CertificateTableState::Present) return;
  if (table.size < 8 || table.at % 8 != 0 || table.size % 8 != 0 || table.at > size ||
      table.size != size - table.at)
    std::abort();
  if (table.entryAt + 8 > table.at || table.checksumAt + 4 > table.at) std::abort();
  if (table.at < regionStart + package::kRegionSize || table.at < file.sealAt + package::kSealSize)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes bytes = Decode(data, size);
  Check(package::ReadProgramBytes(std::move(bytes)));
  return 0;
}
