// A PE32 file around given bytes, laid out as a linker lays one out and
// written from the PE/COFF layout on its own (not from the program's
// reader): a DOS header naming "PE\0\0" at 0x40, the COFF header, a PE32
// optional header with 16 data directories, one section whose raw data are
// the bytes, each part padded to the 0x200-byte file alignment. Complete
// enough for osslsigncode to sign it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "support/bytes.h"

namespace testsupport {

inline void PutLe16(Bytes& bytes, std::size_t at, std::uint32_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutLe32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct PeImage {
  static constexpr std::size_t kPeAt = 0x40;
  static constexpr std::size_t kOptionalAt = kPeAt + 4 + 20;
  static constexpr std::size_t kChecksumAt = kOptionalAt + 64;
  static constexpr std::size_t kDirectoryCountAt = kOptionalAt + 92;
  static constexpr std::size_t kSecurityEntryAt = kOptionalAt + 96 + 4 * 8;
  static constexpr std::size_t kSectionTableAt = kOptionalAt + 224;
  static constexpr std::size_t kBodyAt = 0x200;  // SizeOfHeaders, the file alignment

  // body as the raw data of the one section, ".data".
  static Bytes Around(const Bytes& body) {
    const std::uint32_t raw = static_cast<std::uint32_t>((body.size() + 0x1FF) / 0x200 * 0x200);
    const std::uint32_t virtualSize = (raw + 0xFFF) / 0x1000 * 0x1000;
    Bytes file(kBodyAt + raw, 0);
    file[0] = 'M';
    file[1] = 'Z';
    PutLe32(file, 0x3C, kPeAt);
    PutText(file, kPeAt, std::string("PE\0\0", 4));
    PutLe16(file, kPeAt + 4, 0x014C);       // Machine: i386
    PutLe16(file, kPeAt + 6, 1);            // NumberOfSections
    PutLe16(file, kPeAt + 20, 224);         // SizeOfOptionalHeader
    PutLe16(file, kPeAt + 22, 0x0102);      // executable, 32-bit
    PutLe16(file, kOptionalAt, 0x10B);      // Magic: PE32
    PutLe32(file, kOptionalAt + 8, raw);    // SizeOfInitializedData
    PutLe32(file, kOptionalAt + 16, 0x1000);  // AddressOfEntryPoint
    PutLe32(file, kOptionalAt + 24, 0x1000);  // BaseOfData
    PutLe32(file, kOptionalAt + 28, 0x400000);  // ImageBase
    PutLe32(file, kOptionalAt + 32, 0x1000);    // SectionAlignment
    PutLe32(file, kOptionalAt + 36, 0x200);     // FileAlignment
    PutLe16(file, kOptionalAt + 40, 4);         // MajorOperatingSystemVersion
    PutLe16(file, kOptionalAt + 48, 4);         // MajorSubsystemVersion
    PutLe32(file, kOptionalAt + 56, 0x1000 + virtualSize);  // SizeOfImage
    PutLe32(file, kOptionalAt + 60, kBodyAt);               // SizeOfHeaders
    PutLe16(file, kOptionalAt + 68, 2);                     // Subsystem: GUI
    PutLe32(file, kOptionalAt + 72, 0x100000);              // stack reserve
    PutLe32(file, kOptionalAt + 76, 0x1000);                // stack commit
    PutLe32(file, kOptionalAt + 80, 0x100000);              // heap reserve
    PutLe32(file, kOptionalAt + 84, 0x1000);                // heap commit
    PutLe32(file, kDirectoryCountAt, 16);
    PutText(file, kSectionTableAt, ".data");
    PutLe32(file, kSectionTableAt + 8, raw);        // VirtualSize
    PutLe32(file, kSectionTableAt + 12, 0x1000);    // VirtualAddress
    PutLe32(file, kSectionTableAt + 16, raw);       // SizeOfRawData
    PutLe32(file, kSectionTableAt + 20, kBodyAt);   // PointerToRawData
    PutLe32(file, kSectionTableAt + 36, 0xC0000040);  // initialised data, read, write
    std::copy(body.begin(), body.end(), file.begin() + kBodyAt);
    return file;
  }

  // Appends table as the file's certificate table, names it in the security
  // directory and sets a checksum, as a signer does.
  static void Sign(Bytes& file, const Bytes& table, std::uint32_t checksum) {
    PutLe32(file, kSecurityEntryAt, static_cast<std::uint32_t>(file.size()));
    PutLe32(file, kSecurityEntryAt + 4, static_cast<std::uint32_t>(table.size()));
    PutLe32(file, kChecksumAt, checksum);
    file.insert(file.end(), table.begin(), table.end());
  }
};

}  // namespace testsupport
