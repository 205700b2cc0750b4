// Makes what the Linux tests of qrwflash compare against: a flash program
// file around a test package (the build's key-word, a seal record and an
// empty signature record), the
// virtual drive's scenario, and the reference trace of the Windows program's
// NT variant for that package and drive, from the native flash rig:
//   nt_reference <new|old|flash-all> FOLDER
// writes FOLDER/PROGRAM.EXE, FOLDER/scenario.txt and FOLDER/reference.txt
// (the drive check's INQUIRY, then every command of the flash).
//   nt_reference bad FOLDER
// writes the files that are no flash program: TEMPLATE.EXE, TRUNCATED.EXE,
// DOUBLED.EXE (key-word twice), DAMAGED.EXE (one image byte changed after
// sealing), UNSEALED.EXE (no seal record), FOREIGN.EXE.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "flash/flash_rig.h"
#include "package/package_data.h"
#include "package/seal.h"

namespace {

using flash_test::Bytes;

constexpr std::size_t kHeadLength = 4096;
constexpr std::size_t kGapLength = 512;
constexpr std::uint8_t kFiller = 0xEE;

// A program file: a stand-in for the code before the region, the region
// with this build's key-word, a gap, then the seal record, 64 bytes on the
// empty signature record (at 333290 with the seal), then a tail.
Bytes ProgramFile(Bytes region, bool sealed = true, bool seal = true) {
  const package::KeyWordBytes keyWord = package::BuiltInKeyWord();
  std::copy(keyWord.begin(), keyWord.end(), region.begin() + package::kKeyWordInRegion);
  Bytes file(kHeadLength, kFiller);
  file[0] = 'M';
  file[1] = 'Z';
  // GCC 12 at -O2 takes the memmove inside this insert for a move past the
  // end of the kHeadLength bytes the vector held before (-Warray-bounds, and
  // with _FORTIFY_SOURCE -Wstringop-overread): a false positive of that
  // release; insert grows the vector first.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif
  file.insert(file.end(), region.begin(), region.end());
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic pop
#endif
  file.insert(file.end(), kGapLength, kFiller);
  if (seal) {
    std::uint8_t record[package::kSealSize] = {};
    const package::SealMarker marker = package::BuiltInSealMarker();
    std::copy(marker.begin(), marker.end(), record);
    if (sealed) package::WriteSeal(record, package::PackageView(region.data()));
    file.insert(file.end(), record, record + package::kSealSize);
    file.insert(file.end(), 64, kFiller);
    std::uint8_t signature[package::kSignatureRecordSize] = {};
    const package::SignatureMarker signatureMarker = package::BuiltInSignatureMarker();
    std::copy(signatureMarker.begin(), signatureMarker.end(), signature);
    file.insert(file.end(), signature, signature + package::kSignatureRecordSize);
  }
  file.insert(file.end(), 256, kFiller);
  return file;
}

Bytes RegionOf(const flash_test::TestPackage& package) {
  const std::uint8_t* region = package.View().Region();
  return Bytes(region, region + package::kRegionSize);
}

void Write(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

int WriteBadFiles(const std::string& folder) {
  const flash_test::TestPackage package(flash_test::PackageSpec{});
  Bytes region = RegionOf(package);
  Write(folder + "/PROGRAM.EXE", ProgramFile(region));

  Bytes templateRegion = region;
  std::copy(package::kTemplateMarker, package::kTemplateMarker + 4,
            templateRegion.begin() + package::kKeyWordInRegion + package::kImageAreaOffset);
  Write(folder + "/TEMPLATE.EXE", ProgramFile(templateRegion, false));

  Bytes truncated = ProgramFile(region);
  truncated.resize(kHeadLength + package::kRegionSize / 2);
  Write(folder + "/TRUNCATED.EXE", truncated);

  Bytes doubled = ProgramFile(region);
  const package::KeyWordBytes keyWord = package::BuiltInKeyWord();
  std::copy(keyWord.begin(), keyWord.end(), doubled.begin() + 64);
  Write(folder + "/DOUBLED.EXE", doubled);

  Bytes damaged = ProgramFile(region);
  damaged[kHeadLength + package::kKeyWordInRegion + package::kImageAreaOffset + 0x20000] ^= 0x01;
  Write(folder + "/DAMAGED.EXE", damaged);

  Write(folder + "/UNSEALED.EXE", ProgramFile(region, false, false));
  Write(folder + "/FOREIGN.EXE", Bytes(600000, 0x4D));
  return 0;
}

int WriteReference(const std::string& kind, const std::string& folder) {
  flash_test::PackageSpec spec;
  spec.newFormat = kind != "old";
  if (kind == "flash-all") spec.note = "FLASH-ALL";
  flash_test::FlashRig rig(flash_test::Platform::Nt, spec);

  // The drive check that discovery makes, as the window's NTDiscovery sends it.
  drive::DriveEntry probe = rig.table[0];
  scsi::Opening opening;
  rig.commands.NTCheckInquiry(probe, opening);
  std::vector<std::string> lines = rig.Lines();
  rig.seen.clear();
  rig.ClickAndConfirm(platform::Answer::No);
  for (const std::string& line : rig.Lines()) lines.push_back(line);

  std::string reference;
  for (const std::string& line : lines) reference += line + "\n";
  WriteText(folder + "/reference.txt", reference);
  WriteText(folder + "/scenario.txt", "[drive QRW]\nletter = E\n");
  Write(folder + "/PROGRAM.EXE", ProgramFile(RegionOf(rig.package)));
  // The reference is a flash that worked.
  return rig.Drive().Revision() == "1.10" ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: nt_reference <new|old|flash-all|bad> FOLDER\n";
    return 2;
  }
  const std::string kind = argv[1];
  if (kind == "bad") return WriteBadFiles(argv[2]);
  if (kind != "new" && kind != "old" && kind != "flash-all") return 2;
  return WriteReference(kind, argv[2]);
}
