// Generates the synthetic firmware package of this build, deterministically:
// the same bytes on every run and every machine. No real vendor firmware or
// flash-chip program is used; every byte below is made up here.
//
// Usage: qrw_firmware_gen <output folder>
// Writes into the folder:
//   package_region_template.cpp  the region of the template QRWFLASH.EXE
//   package_region_flash.cpp     the region of the QRW-20410C flash program
//   QRWFLASH.region, 1.10.region the same two regions as raw bytes
//   QRWFLASH.sealed, 1.10.sealed each region followed by its seal record and
//                                an empty signature record: the smallest
//                                file that reads as a program
//   1.10.BIN                     the raw synthetic image (a builder input)
//
// Each region source also defines the program's seal record (package/seal.h):
// empty in the template, the region's own in the flash program; and its
// signature record (package/signature_record.h), empty in both, as the
// builder writes it. The sources write every byte as a number: neither the
// key-word nor a marker is ever a string literal, so each occurs once in
// each executable.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "package/crc32.h"
#include "package/package_region.h"
#include "package/seal.h"
#include "package/signature_record.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The maker's support line, fictitious: 13 characters of digits and hyphens.
constexpr char kTelephone[] = "0800-555-0139";
static_assert(sizeof(kTelephone) - 1 == 13);

struct Header {
  std::string model;
  std::string inquiry;
  std::string fwRange;
  std::string vendor;
  std::string note;
  std::string newRevision;
};

// Inquiry in the form the builder stores it: exactly 24 characters, filled
// with spaces, so that the builder makes this same package from the template.
const Header kQrw20410C = {"QRW-20410C", "QUARVEL QRW-20410C      ", "1.00-1.09",
                           "Quarvel-IT", "None",       "1.10."};

// The seal marker of this build; programs take it from their own record.
constexpr char kSealMarker[] = "QRWSEAL1";
static_assert(sizeof(kSealMarker) - 1 == package::kSealMarkerSize);

// The signature marker of this build; programs take it from their own record.
constexpr char kSignatureMarker[] = "QRWSIGN1";
static_assert(sizeof(kSignatureMarker) - 1 == package::kSignatureMarkerSize);

// The image's base name is its revision, as the builder expects of image files.
constexpr const char* kImageBaseName = "1.10";

struct ProfileEntry {
  std::uint8_t maker;
  std::uint8_t device;
  std::uint16_t length;
};
constexpr std::array<ProfileEntry, package::kProfileEntries> kProfiles = {{
    {0xDA, 0xC8, 314},
    {0xBF, 0xB4, 452},
}};
static_assert(kProfiles[0].length + kProfiles[1].length == package::kProfileBlocksSize);

// Where the synthetic image says which revision it is: the four characters
// the drive reports as its revision once this image has been burnt (the
// virtual drive reads them from there).
constexpr std::size_t kImageRevisionOffset = 0x20;
constexpr std::size_t kNewFormatSignatureOffset = 0x1100;
constexpr std::size_t kOldFormatSignatureOffset = 0x4000;

// A small linear congruential generator: deterministic filler for the image
// and the profile blocks.
class Filler {
 public:
  explicit Filler(std::uint32_t seed) : state_(seed) {}
  std::uint8_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<std::uint8_t>(state_ >> 24);
  }

 private:
  std::uint32_t state_;
};

void PutText(Bytes& region, std::ptrdiff_t offsetFromK, const std::string& text,
             std::size_t fieldSize) {
  const std::size_t at = package::kKeyWordInRegion + offsetFromK;
  std::memcpy(region.data() + at, text.data(), std::min(text.size(), fieldSize));
}

Bytes SyntheticImage() {
  Bytes image(package::kImageAreaSize);
  Filler filler(0x51525730u);
  for (auto& b : image) b = filler.Next();
  // The new-format signature only: the old one must not be found at 0x4000.
  image[kNewFormatSignatureOffset] = 0x05;
  image[kNewFormatSignatureOffset + 1] = 0x80;
  if (image[kOldFormatSignatureOffset] == 0x05) image[kOldFormatSignatureOffset] = 0x04;
  std::memcpy(image.data() + kImageRevisionOffset, kImageBaseName, 4);
  return image;
}

Bytes TemplateImage() {
  Bytes image(package::kImageAreaSize, 0);
  std::memcpy(image.data(), "VEKO", 4);
  return image;
}

Bytes Region(const Header& header, const Bytes& image) {
  Bytes region(package::kRegionSize, 0);
  // Profile blocks, one per table entry, in table order without gaps.
  std::size_t blockAt = 0;
  for (std::size_t i = 0; i < kProfiles.size(); ++i) {
    Filler filler(0x50524F00u + static_cast<std::uint32_t>(i));
    for (std::size_t n = 0; n < kProfiles[i].length; ++n)
      region[blockAt + n] = filler.Next();
    blockAt += kProfiles[i].length;
  }
  // The profile table: maker, device, block length most significant byte first.
  std::size_t entryAt = package::kKeyWordInRegion + package::kProfileTableOffset;
  for (const auto& entry : kProfiles) {
    region[entryAt + 0] = entry.maker;
    region[entryAt + 1] = entry.device;
    region[entryAt + 2] = static_cast<std::uint8_t>(entry.length >> 8);
    region[entryAt + 3] = static_cast<std::uint8_t>(entry.length & 0xFF);
    entryAt += 4;
  }
  PutText(region, 0, std::string("T") + kTelephone, package::kKeyWordSize);
  PutText(region, package::kModelOffset, header.model, package::kTextFieldSize - 1);
  PutText(region, package::kInquiryOffset, header.inquiry, package::kTextFieldSize - 1);
  PutText(region, package::kFwRangeOffset, header.fwRange, package::kTextFieldSize - 1);
  PutText(region, package::kVendorOffset, header.vendor, package::kTextFieldSize - 1);
  PutText(region, package::kNoteOffset, header.note, package::kTextFieldSize - 1);
  PutText(region, package::kNewRevisionOffset, header.newRevision,
          package::kNewRevisionSize);
  std::memcpy(region.data() + package::kKeyWordInRegion + package::kImageAreaOffset,
              image.data(), image.size());
  return region;
}

enum class Seal { Empty, Intact };

// The seal record of a region: the marker, then eight zero bytes (empty) or
// the region's CRC-32 and its complement, little-endian.
Bytes SealRecord(const Bytes& region, Seal seal) {
  Bytes record(package::kSealSize, 0);
  std::memcpy(record.data(), kSealMarker, package::kSealMarkerSize);
  if (seal == Seal::Intact) {
    const std::uint32_t crc = package::Crc32(region.data(), region.size());
    for (int i = 0; i < 4; ++i) {
      record[package::kSealCrcOffset + i] = static_cast<std::uint8_t>(crc >> (8 * i));
      record[package::kSealComplementOffset + i] = static_cast<std::uint8_t>(~crc >> (8 * i));
    }
  }
  return record;
}

// An empty signature record: the marker, then zero bytes.
Bytes EmptySignatureRecord() {
  Bytes record(package::kSignatureRecordSize, 0);
  std::memcpy(record.data(), kSignatureMarker, package::kSignatureMarkerSize);
  return record;
}

void PutArray(std::ostringstream& out, const Bytes& bytes) {
  static const char* const kHex = "0123456789ABCDEF";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    out << "0x" << kHex[b >> 4] << kHex[b & 15] << ',';
    if (i % 24 == 23) out << '\n';
  }
}

// The region as one initialised, writable array of plain bytes: it lands in
// .data as one block, the linker neither merges it with read-only constants
// nor splits it, and its bytes in the file are its bytes in memory. The seal
// and signature records are two more such arrays, outside the region.
std::string RegionSource(const Bytes& region, const Bytes& seal, const std::string& variant) {
  std::ostringstream out;
  out << "// Generated by qrw_firmware_gen (" << variant << "); do not edit.\n"
      << "#include \"package/package_data.h\"\n\n"
      << "namespace package {\n\n"
      << "alignas(16) std::uint8_t PackageRegion[kRegionSize] = {\n";
  PutArray(out, region);
  out << "};\n\n"
      << "alignas(16) std::uint8_t PackageSeal[kSealSize] = {\n";
  PutArray(out, seal);
  out << "\n};\n\n"
      << "alignas(16) std::uint8_t PackageSignature[kSignatureRecordSize] = {\n";
  PutArray(out, EmptySignatureRecord());
  out << "\n};\n\n}  // namespace package\n";
  return out.str();
}

Bytes Joined(const Bytes& first, const Bytes& second) {
  Bytes joined = first;
  joined.insert(joined.end(), second.begin(), second.end());
  return joined;
}

bool WriteFile(const std::string& path, const void* data, std::size_t size) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  file.close();
  if (!file) {
    std::cerr << "qrw_firmware_gen: cannot write " << path << '\n';
    return false;
  }
  return true;
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
  return WriteFile(path, bytes.data(), bytes.size());
}

bool WriteText(const std::string& path, const std::string& text) {
  return WriteFile(path, text.data(), text.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qrw_firmware_gen <output folder>\n";
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const Bytes image = SyntheticImage();
  const Bytes templateRegion = Region(kQrw20410C, TemplateImage());
  const Bytes flashRegion = Region(kQrw20410C, image);
  const Bytes templateSeal = SealRecord(templateRegion, Seal::Empty);
  const Bytes flashSeal = SealRecord(flashRegion, Seal::Intact);
  const std::string base = kImageBaseName;
  const bool ok = WriteBytes(folder + base + ".BIN", image) &&
                  WriteBytes(folder + "QRWFLASH.region", templateRegion) &&
                  WriteBytes(folder + base + ".region", flashRegion) &&
                  WriteBytes(folder + "QRWFLASH.sealed",
                             Joined(Joined(templateRegion, templateSeal), EmptySignatureRecord())) &&
                  WriteBytes(folder + base + ".sealed",
                             Joined(Joined(flashRegion, flashSeal), EmptySignatureRecord())) &&
                  WriteText(folder + "package_region_template.cpp",
                            RegionSource(templateRegion, templateSeal, "template")) &&
                  WriteText(folder + "package_region_flash.cpp",
                            RegionSource(flashRegion, flashSeal, "QRW-20410C " + base));
  return ok ? 0 : 1;
}
