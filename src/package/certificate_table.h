// The Authenticode signature a program file may carry: a certificate table
// at the end of the file, named by the security directory entry of its PE
// optional header (a file offset and a size, not a memory address).
// Windows hashes the whole file but for the header's checksum, that entry
// and the table itself, so a copy with another package would carry a
// signature that no longer matches: the builder leaves the table out of
// every copy and clears the entry (and the signer's checksum).
//
// PE offsets read here (every one checked against the file's length first):
//   0x3C             e_lfanew: where "PE\0\0" stands
//   PE + 4 + 16      SizeOfOptionalHeader (COFF header)
//   PE + 24          the optional header: +0 Magic (0x10B PE32, 0x20B
//                    PE32+), +64 CheckSum, NumberOfRvaAndSizes at +92
//                    (PE32) or +108 (PE32+), then the data directories, 8
//                    bytes each; directory 4 is the security directory
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace package {

enum class CertificateTableState {
  None,      // not a PE file, no security directory, or an empty entry
  Present,   // a table at, size bytes, ending the file
  Unusable,  // an entry Windows could not follow; problem says why
};

enum class CertificateTableProblem {
  None,
  HeadersCutShort,  // "PE\0\0" stands, the headers up to the entry do not
  OutsideFile,      // the table runs past the end of the file
  OddTable,         // empty, shorter than one entry, or not in 8-byte units
  NotAtEnd,         // bytes follow the table
  HoldsHeaders,     // the entry or the checksum lies inside the table
  OverlapsPackage,  // the table or the entry shares bytes with the package
  OverlapsSeal,     // ... or with the seal record
};

struct CertificateTable {
  CertificateTableState state = CertificateTableState::None;
  CertificateTableProblem problem = CertificateTableProblem::None;
  std::size_t at = 0;          // the table's file offset (Present, OddTable)
  std::size_t size = 0;        // its size in bytes
  std::size_t entryAt = 0;     // the security directory entry, 8 bytes (Present)
  std::size_t checksumAt = 0;  // the optional header's CheckSum, 4 bytes (Present)
};

inline constexpr std::size_t kSecurityEntrySize = 8;
inline constexpr std::size_t kChecksumSize = 4;
// A certificate table holds whole WIN_CERTIFICATE entries, each padded to
// eight bytes and at least its 8-byte header long.
inline constexpr std::size_t kCertificateAlignment = 8;

// The certificate table of a file of size bytes.
CertificateTable FindCertificateTable(const std::uint8_t* bytes, std::size_t size);

// A table Present in a program whose package region starts at regionStart
// and whose seal record lies at sealAt, turned Unusable when the table or
// the directory entry and checksum (which a copy rewrites) share a byte
// with either.
CertificateTable ApartFromPackage(CertificateTable table, std::size_t regionStart,
                                  std::size_t sealAt);

// What is wrong, as a clause: "the security directory points outside the
// file".
std::string CertificateProblemText(const CertificateTable& table);

}  // namespace package
