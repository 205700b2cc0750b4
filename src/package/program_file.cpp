#include "package/program_file.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>

#include "package/package_data.h"

namespace package {

namespace {

using Bytes = std::vector<std::uint8_t>;

ProgramFile Problem(ProgramFile file, ProgramFileProblem problem, std::string message) {
  file.problem = problem;
  file.message = std::move(message);
  return file;
}

std::string OnceMessage(const char* what, std::size_t count) {
  return std::string("the ") + what + " occurs " + std::to_string(count) +
         " times; a program holds it exactly once";
}

ProgramFile FindSeal(ProgramFile file, const SealMarker& marker) {
  const std::vector<std::size_t> places =
      Occurrences(file.bytes.data(), file.bytes.size(), marker.data(), marker.size());
  if (places.empty())
    return Problem(std::move(file), ProgramFileProblem::SealMissing,
                   "the seal record is missing; a program holds it exactly once");
  if (places.size() > 1)
    return Problem(std::move(file), ProgramFileProblem::SealDoubled,
                   OnceMessage("seal record", places.size()));
  const std::size_t at = places.front();
  if (!SealOutsideRegion(at, file.keyWordAt - kKeyWordInRegion))
    return Problem(std::move(file), ProgramFileProblem::SealMissing,
                   "the seal record is missing: its marker occurs only inside the package");
  if (file.bytes.size() - at < kSealSize)
    return Problem(std::move(file), ProgramFileProblem::SealTruncated,
                   "the seal record is cut short");
  file.sealAt = at;
  file.problem = ProgramFileProblem::None;
  return file;
}

// The signature record: none at all is a program from before signatures; a
// marker that occurs only where the record would overlap the region or the
// seal is none either, since the signature covers both.
ProgramFile FindSignature(ProgramFile file, const SignatureMarker& marker) {
  const std::vector<std::size_t> places =
      Occurrences(file.bytes.data(), file.bytes.size(), marker.data(), marker.size());
  if (places.size() > 1)
    return Problem(std::move(file), ProgramFileProblem::SignatureDoubled,
                   OnceMessage("signature record", places.size()));
  if (places.empty()) return file;
  const std::size_t at = places.front();
  if (!SignatureRecordApart(at, file.keyWordAt - kKeyWordInRegion, file.sealAt)) return file;
  if (file.bytes.size() - at < kSignatureRecordSize)
    return Problem(std::move(file), ProgramFileProblem::SignatureTruncated,
                   "the signature record is cut short");
  file.signatureAt = at;
  return file;
}

}  // namespace

PackageView ProgramFile::Package() const {
  return PackageView(bytes.data() + keyWordAt - kKeyWordInRegion, bytes.data() + sealAt,
                     signatureAt == kNoSignatureRecord ? nullptr : bytes.data() + signatureAt);
}

ProgramFile ReadProgramBytes(Bytes bytes, const KeyWordBytes& keyWord, const SealMarker& marker,
                             const SignatureMarker& signatureMarker) {
  ProgramFile file;
  file.bytes = std::move(bytes);
  if (file.bytes.size() > kMaxTemplateSize)
    return Problem(std::move(file), ProgramFileProblem::TooLarge,
                   "more than " + std::to_string(kMaxTemplateSize) +
                       " bytes; no program is that large");
  const std::vector<std::size_t> keys =
      Occurrences(file.bytes.data(), file.bytes.size(), keyWord.data(), keyWord.size());
  if (keys.size() != 1)
    return Problem(std::move(file),
                   keys.empty() ? ProgramFileProblem::KeyWordMissing
                                : ProgramFileProblem::KeyWordDoubled,
                   OnceMessage("key-word", keys.size()));
  file.keyWordAt = keys.front();
  if (!RegionFits(file.bytes.size(), file.keyWordAt))
    return Problem(std::move(file), ProgramFileProblem::PackageTruncated,
                   "the package is truncated");
  file = FindSeal(std::move(file), marker);
  if (file.problem == ProgramFileProblem::None) file = FindSignature(std::move(file), signatureMarker);
  if (file.problem != ProgramFileProblem::None) return file;
  file.seal = CheckSeal(file.Package());
  file.certificates =
      ApartFromPackage(FindCertificateTable(file.bytes.data(), file.bytes.size()),
                       file.keyWordAt - kKeyWordInRegion, file.sealAt);
  return file;
}

ProgramFile ReadProgramBytes(Bytes bytes) {
  return ReadProgramBytes(std::move(bytes), BuiltInKeyWord(), BuiltInSealMarker(),
                          BuiltInSignatureMarker());
}

ProgramFile ReadProgramFile(const std::string& path) {
  using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
  FilePtr stream(std::fopen(path.c_str(), "rb"), &std::fclose);
  ProgramFile file;
  file.message = "cannot read " + path;
  if (!stream) return file;
  // One block beyond the limit is enough to tell that a file is too large.
  Bytes bytes;
  std::uint8_t block[65536];
  std::size_t got;
  while (bytes.size() <= kMaxTemplateSize &&
         (got = std::fread(block, 1, sizeof block, stream.get())) > 0)
    bytes.insert(bytes.end(), block, block + got);
  if (std::ferror(stream.get())) return file;
  file = ReadProgramBytes(std::move(bytes));
  if (!file.message.empty()) file.message = path + ": " + file.message;
  return file;
}

}  // namespace package
