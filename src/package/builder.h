// The flash program builder: a copy of the template (the builder's own
// executable) with the package header replaced by one model's texts and the
// start of the image area by a firmware image, written as "%4.4s.EXE" of the
// image file's name. The window and qrwpack share this code, so both write
// the same bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "package/package_region.h"
#include "package/seal.h"
#include "package/signature_record.h"
#include "platform/files.h"

namespace package {

// The five texts of one model as the model table holds them.
struct ModelTexts {
  std::string Model;
  std::string Inquiry;
  std::string FwRange;
  std::string Vendor;
  std::string Note;
};

// Signs what the builder makes: fills a signature record after its marker
// for a region sealed by its seal record. The window has none; qrwpack
// brings one for --sign (signing/, on Linux).
class RecordSigner {
 public:
  virtual ~RecordSigner() = default;
  virtual void Sign(const PackageView& sealed, std::uint8_t* record) const = 0;
};

struct BuildRequest {
  std::string imagePath;     // where the image file is opened
  std::string binFileName;   // its name without folder
  std::string templatePath;  // full path of the template
  std::string outputFolder;  // the folder "%4.4s.EXE" is written into
  ModelTexts model;
  KeyWordBytes keyWord{};
  SealMarker sealMarker{};  // finds the template's seal record
  // Finds the template's signature record; without one the record is not
  // looked for and the output keeps the template's bytes there.
  std::optional<SignatureMarker> signatureMarker;
  const RecordSigner* signer = nullptr;  // none: the output's record is empty
};

// Where the builder shows its progress and outcome.
class BuildObserver {
 public:
  virtual ~BuildObserver() = default;
  virtual void Status(const std::string& caption) = 0;     // shown at once
  virtual void ProgressStart(std::int32_t maximum) = 0;     // min 0, pos 0, step 1024
  virtual void ProgressStep() = 0;
  virtual void ProgressDone() = 0;                          // position back to 0
  virtual void Failure(const std::string& message) = 0;     // modal message
};

inline constexpr std::size_t kProgressBlock = 1024;
// Image sizes a flash program can send whole; an empty image keeps the
// template marker, so its output stays a builder.
inline constexpr std::size_t kOldImageSize = 0x40000;
inline constexpr std::size_t kNewImageSize = 0x50000;
// A template is a program of a few hundred kilobytes; anything far larger is
// refused before it is read into memory.
inline constexpr std::size_t kMaxTemplateSize = 64u << 20;

// Writes the flash program through files. True when "%4.4s.EXE" was
// written completely; every outcome has been reported through the observer.
// A failed build leaves no file behind and keeps an earlier output of the
// same name. Besides the header and the image, the output's seal record (the
// one occurrence of the seal marker, outside the package) is written: the
// CRC-32 of the output's whole region; and, where the request names its
// marker, the signature record: empty, or signed by the request's signer. A
// template signed with Authenticode gives the output its unsigned self
// would give: the certificate table left out, the security directory entry
// and the checksum zero (package/certificate_table.h).
bool BuildFlashProgram(const BuildRequest& request, BuildObserver& observer,
                       platform::Files& files);

// "%4.4s.EXE" of the image file's name.
std::string OutputName(const std::string& binFileName);
// folder and name joined with the folder's own kind of separator.
std::string JoinPath(const std::string& folder, const std::string& name);
// A path's last component (after '\\', '/' or ':').
std::string FileNameOf(const std::string& path);
// The first occurrence of the key-word in bytes, or npos.
std::size_t FindKeyWord(const std::uint8_t* bytes, std::size_t size, const KeyWordBytes& keyWord);
// Every offset at which pattern starts in bytes, overlapping ones included;
// an empty pattern occurs nowhere.
std::vector<std::size_t> Occurrences(const std::uint8_t* bytes, std::size_t size,
                                     const std::uint8_t* pattern, std::size_t patternSize);
// The 133 header bytes from K+15 for a model and an image file's name.
std::array<std::uint8_t, kRewrittenHeaderSize> NewHeader(const ModelTexts& model,
                                                         const std::string& binFileName);
// Upper-casing of the Windows ANSI code page 1252.
char AnsiUpper(char c);

}  // namespace package
