#include "package/certificate_table.h"

#include "package/little_endian.h"
#include "package/package_region.h"
#include "package/seal.h"
#include "text/format.h"

namespace package {

namespace {

constexpr std::size_t kPeOffsetField = 0x3C;      // e_lfanew
constexpr std::size_t kCoffHeader = 4;            // after "PE\0\0"
constexpr std::size_t kOptionalHeaderSizeField = kCoffHeader + 16;
constexpr std::size_t kOptionalHeader = kCoffHeader + 20;
constexpr std::size_t kMagicField = 0;
constexpr std::size_t kChecksumField = 64;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
// NumberOfRvaAndSizes and the first data directory, from the optional header.
constexpr std::size_t kDirectoryCountPe32 = 92;
constexpr std::size_t kDirectoriesPe32 = 96;
constexpr std::size_t kDirectoryCountPe32Plus = 108;
constexpr std::size_t kDirectoriesPe32Plus = 112;
constexpr std::size_t kDirectorySize = 8;
constexpr std::size_t kSecurityDirectory = 4;

// length bytes from at lie inside a file of size bytes (no sum that could
// wrap: e_lfanew and the entry's fields are any 32-bit values).
bool Fits(std::size_t size, std::size_t at, std::size_t length) {
  return at <= size && length <= size - at;
}

// Bytes [a, a + aSize) and [b, b + bSize) share one.
bool Overlap(std::size_t a, std::size_t aSize, std::size_t b, std::size_t bSize) {
  return a < b + bSize && b < a + aSize;
}

CertificateTable Unusable(CertificateTable table, CertificateTableProblem problem) {
  table.state = CertificateTableState::Unusable;
  table.problem = problem;
  return table;
}

}  // namespace

CertificateTable FindCertificateTable(const std::uint8_t* bytes, std::size_t size) {
  CertificateTable table;
  // Without "MZ" and "PE\0\0" there is nothing Windows would check a
  // signature in: the tests' bare package files, a DOS program.
  if (!Fits(size, 0, kPeOffsetField + 4) || bytes[0] != 'M' || bytes[1] != 'Z') return table;
  const std::size_t pe = GetLe32(bytes + kPeOffsetField);
  if (!Fits(size, pe, 4) || bytes[pe] != 'P' || bytes[pe + 1] != 'E' || bytes[pe + 2] != 0 ||
      bytes[pe + 3] != 0)
    return table;
  if (!Fits(size, pe, kOptionalHeader + 2))
    return Unusable(table, CertificateTableProblem::HeadersCutShort);
  const std::size_t optionalSize = GetLe16(bytes + pe + kOptionalHeaderSizeField);
  const std::size_t optional = pe + kOptionalHeader;
  const std::uint16_t magic = GetLe16(bytes + optional + kMagicField);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return table;
  const bool plus = magic == kMagicPe32Plus;
  const std::size_t countField = plus ? kDirectoryCountPe32Plus : kDirectoryCountPe32;
  const std::size_t entryField =
      (plus ? kDirectoriesPe32Plus : kDirectoriesPe32) + kSecurityDirectory * kDirectorySize;
  // A header too small for the entry has no security directory.
  if (optionalSize < entryField + kDirectorySize) return table;
  if (!Fits(size, optional, entryField + kDirectorySize))
    return Unusable(table, CertificateTableProblem::HeadersCutShort);
  if (GetLe32(bytes + optional + countField) <= kSecurityDirectory) return table;

  const std::uint8_t* entry = bytes + optional + entryField;
  table.at = GetLe32(entry);
  table.size = GetLe32(entry + 4);
  if (table.at == 0 && table.size == 0) return table;
  table.entryAt = optional + entryField;
  table.checksumAt = optional + kChecksumField;
  if (!Fits(size, table.at, table.size))
    return Unusable(table, CertificateTableProblem::OutsideFile);
  // The entry's address 0 would make the whole file the table.
  if (table.at == 0 || table.size < kCertificateAlignment || table.at % kCertificateAlignment != 0 ||
      table.size % kCertificateAlignment != 0)
    return Unusable(table, CertificateTableProblem::OddTable);
  if (table.at + table.size != size) return Unusable(table, CertificateTableProblem::NotAtEnd);
  // A copy ends where the table starts and rewrites the entry and checksum.
  if (table.entryAt + kSecurityEntrySize > table.at || table.checksumAt + kChecksumSize > table.at)
    return Unusable(table, CertificateTableProblem::HoldsHeaders);
  table.state = CertificateTableState::Present;
  return table;
}

CertificateTable ApartFromPackage(CertificateTable table, std::size_t regionStart,
                                  std::size_t sealAt) {
  if (table.state != CertificateTableState::Present) return table;
  const auto touches = [&table](std::size_t at, std::size_t size) {
    return Overlap(table.at, table.size, at, size) ||
           Overlap(table.entryAt, kSecurityEntrySize, at, size) ||
           Overlap(table.checksumAt, kChecksumSize, at, size);
  };
  if (touches(regionStart, kRegionSize))
    return Unusable(table, CertificateTableProblem::OverlapsPackage);
  if (touches(sealAt, kSealSize)) return Unusable(table, CertificateTableProblem::OverlapsSeal);
  return table;
}

std::string CertificateProblemText(const CertificateTable& table) {
  switch (table.problem) {
    case CertificateTableProblem::None: break;
    case CertificateTableProblem::HeadersCutShort:
      return "the PE headers are cut short before the security directory";
    case CertificateTableProblem::OutsideFile:
      return "the security directory points outside the file";
    case CertificateTableProblem::OddTable:
      return text::Format("the security directory names %u bytes at 0x%08X, not whole 8-byte "
                          "certificate entries",
                          static_cast<unsigned>(table.size), static_cast<unsigned>(table.at));
    case CertificateTableProblem::NotAtEnd:
      return "the certificate table does not end the file";
    case CertificateTableProblem::HoldsHeaders:
      return "the certificate table holds the PE headers that name it";
    case CertificateTableProblem::OverlapsPackage:
      return "the certificate table or its directory entry overlaps the package";
    case CertificateTableProblem::OverlapsSeal:
      return "the certificate table or its directory entry overlaps the seal record";
  }
  return "";
}

}  // namespace package
