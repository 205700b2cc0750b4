// The one reader of a flash program's file from outside the program (qrwpack,
// qrwflash): the whole file, its package found by the key-word, its seal
// record found by the seal marker and its signature record found by the
// signature marker, each exactly once, and every offset checked against the
// file's length before anything is read through it. A program from before
// signatures has no signature record: it reads as unsigned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/builder.h"
#include "package/certificate_table.h"
#include "package/package_region.h"
#include "package/seal.h"
#include "package/signature_record.h"

namespace package {

enum class ProgramFileProblem {
  None,
  CannotRead,
  TooLarge,          // larger than any template (kMaxTemplateSize)
  KeyWordMissing,
  KeyWordDoubled,
  PackageTruncated,  // the region around the key-word runs past the file
  SealMissing,       // no seal record outside the package: a file from before the seal
  SealDoubled,
  SealTruncated,     // the marker is there, the record runs past the file
  SignatureDoubled,
  SignatureTruncated,  // the marker is there, the record runs past the file
};

// signatureAt of a program without a signature record.
inline constexpr std::size_t kNoSignatureRecord = static_cast<std::size_t>(-1);

struct ProgramFile {
  ProgramFileProblem problem = ProgramFileProblem::CannotRead;
  std::string message;              // for the user; empty when problem == None
  std::vector<std::uint8_t> bytes;  // the whole file
  std::size_t keyWordAt = 0;        // K's offset in the file
  std::size_t sealAt = 0;           // the seal record's offset in the file
  std::size_t signatureAt = kNoSignatureRecord;  // the signature record's, if any
  SealCheck seal{};                 // meaningful only when problem == None
  // An Authenticode signature added after the build; it changes nothing
  // the tools read. Meaningful only when problem == None.
  CertificateTable certificates;

  // The region inside bytes, with its seal record and its signature record
  // (if it has one); only when problem == None.
  PackageView Package() const;
};

// Reads a program file and finds its package by the key-word and the markers
// of the package built into the calling program (never written as literals
// of their own). Messages name the file: "cannot read PATH", "PATH: ...".
ProgramFile ReadProgramFile(const std::string& path);
// The same for bytes already read; messages name no file.
ProgramFile ReadProgramBytes(std::vector<std::uint8_t> bytes);

// The same with the key-word and markers given, for tests and tools that
// look for another build's programs.
ProgramFile ReadProgramBytes(std::vector<std::uint8_t> bytes, const KeyWordBytes& keyWord,
                             const SealMarker& marker, const SignatureMarker& signatureMarker);

}  // namespace package
