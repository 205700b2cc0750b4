#include "package/builder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "package/builder_messages.h"
#include "package/certificate_table.h"

namespace package {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The output is written in blocks of this size; the progress steps that
// fall inside a block are made when it has been written.
constexpr std::size_t kWriteBlock = 64 * 1024;
// Names tried for the temporary file before the build gives up: another
// build of the same output may hold one at the same moment.
constexpr int kTemporaryNameTries = 16;

bool IsPlainName(const std::string& name) {
  return name.find_first_of("\\/:") == std::string::npos;
}

bool IsImageSize(std::size_t size) {
  return size == 0 || size == kOldImageSize || size == kNewImageSize;
}

// The progress bar advances once per 1024 template bytes: for every j that
// is a multiple of 1024 while copying up to the last key-word byte (j = 0
// included), then image size / 1024 times at once after the image, then for
// every multiple of 1024 among j = K+147+size .. template size - 2 while the
// rest is copied. Each mark is the number of output bytes written when that
// step is made.
std::vector<std::size_t> StepMarks(std::size_t templateSize, std::size_t k,
                                   std::size_t imageSize) {
  std::vector<std::size_t> marks;
  for (std::size_t j = 0; j <= k + kKeyWordSize - 1; j += kProgressBlock) marks.push_back(j + 1);
  const std::size_t imageEnd = k + kHeaderSize + imageSize;
  marks.insert(marks.end(), imageSize / kProgressBlock, imageEnd);
  const std::size_t restFrom = imageEnd - 1;
  std::size_t j = (restFrom + kProgressBlock - 1) / kProgressBlock * kProgressBlock;
  for (; j + 2 <= templateSize; j += kProgressBlock) marks.push_back(j + 2);
  return marks;
}

void StepTimes(BuildObserver& observer, std::size_t times) {
  for (std::size_t i = 0; i < times; ++i) observer.ProgressStep();
}

// One build: the inputs held in full, then the output written to a
// temporary file beside it and put in place only when it is complete.
// Only the package region and the two records are copied to be changed;
// the rest of the output is written from the template as it is held.
class Build {
 public:
  Build(const BuildRequest& request, BuildObserver& observer, platform::Files& files)
      : request_(request),
        observer_(observer),
        files_(files),
        outputName_(OutputName(request.binFileName)),
        outputPath_(JoinPath(request.outputFolder, outputName_)),
        programName_(FileNameOf(request.templatePath)) {}

  bool Run() {
    observer_.Status(messages::Building(request_.binFileName));
    if (!IsPlainName(request_.binFileName))
      return Fail(messages::NotPlainName(request_.binFileName));
    if (!ReadImage() || !ReadTemplate() || !FindCertificates()) return false;
    observer_.ProgressStart(static_cast<std::int32_t>(copySize_));
    if (!OpenOutput()) return false;
    // The temporary file is gone before a failure is shown.
    if (const Failure failure = WriteAndPlaceOutput()) {
      temporary_.reset();
      files_.Remove(temporaryPath_);
      return Fail(*failure);
    }
    observer_.Status(messages::BuildOk(request_.binFileName));
    observer_.ProgressDone();
    return true;
  }

 private:
  // The message of a failed step; nothing when it succeeded.
  using Failure = std::optional<std::string>;

  bool Fail(const std::string& message) {
    observer_.Failure(message);
    return false;
  }

  // Size of a regular file, learned without reading it; nothing for a
  // folder or a file that is not there.
  std::optional<std::uint64_t> RegularFileSize(const std::string& path) {
    const platform::PathStatus status = files_.Status(path);
    if (status.kind != platform::PathKind::RegularFile) return std::nullopt;
    return status.size;
  }

  bool ReadWhole(const std::string& path, const std::string& name, std::size_t size,
                 std::unique_ptr<platform::HeldBytes>& bytes) {
    switch (files_.Hold(path, size, bytes)) {
      case platform::ReadResult::OpenFailed: return Fail(messages::OpenFail(name));
      case platform::ReadResult::ReadFailed: return Fail(messages::ReadFail(name));
      case platform::ReadResult::Ok: break;
    }
    return true;
  }

  bool ReadImage() {
    const std::string& name = request_.binFileName;
    const std::optional<std::uint64_t> size = RegularFileSize(request_.imagePath);
    if (!size) return Fail(messages::OpenFail(name));
    if (*size > kImageAreaSize) return Fail(messages::ImageTooLarge(name, kImageAreaSize));
    if (!IsImageSize(static_cast<std::size_t>(*size)))
      return Fail(messages::ImageOddSize(name, static_cast<std::size_t>(*size)));
    return ReadWhole(request_.imagePath, name, static_cast<std::size_t>(*size), image_);
  }

  bool ReadTemplate() {
    const std::string& path = request_.templatePath;
    const std::optional<std::uint64_t> size = RegularFileSize(path);
    if (!size || *size > kMaxTemplateSize) return Fail(messages::OpenFail(path));
    return ReadWhole(path, path, static_cast<std::size_t>(*size), template_);
  }

  // A signed template's Authenticode signature would not match a copy with
  // another package, and Windows judges a copy by it: the copy ends where
  // the certificate table begins (copySize_), without the table.
  bool FindCertificates() {
    certificates_ = FindCertificateTable(template_->Data(), template_->Size());
    if (certificates_.state == CertificateTableState::Unusable)
      return Fail(messages::CertificateTableUnusable(programName_,
                                                     CertificateProblemText(certificates_)));
    copySize_ = certificates_.state == CertificateTableState::Present ? certificates_.at
                                                                      : template_->Size();
    return true;
  }

  // The existing output must be replaceable (a running program's file, for
  // one, is not on Windows); the new one goes to a file of a name nobody
  // holds, made new so that another build's file is never taken over.
  bool OpenOutput() {
    if (!files_.Replaceable(outputPath_)) return Fail(messages::CreateFail(request_.binFileName));
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
      temporaryPath_ = JoinPath(request_.outputFolder,
                                platform::TaggedName(outputName_, ".part", files_.NameSeed()));
      const platform::CreateResult created = files_.CreateNew(temporaryPath_, temporary_);
      if (created == platform::CreateResult::Created) return true;
      if (created == platform::CreateResult::Failed) break;
    }
    return Fail(messages::CreateFail(request_.binFileName));
  }

  Failure WriteAndPlaceOutput() {
    if (Failure failure = WriteOutput()) return failure;
    if (Failure failure = CloseOutput()) return failure;
    return PutInPlace();
  }

  Failure WriteOutput() {
    const std::uint8_t* const input = template_->Data();
    const std::size_t size = template_->Size();
    const std::size_t imageSize = image_->Size();
    const std::size_t k = FindKeyWord(input, size, request_.keyWord);
    if (k == std::string::npos) {
      // The whole template was scanned in vain.
      StepTimes(observer_, (copySize_ + kProgressBlock - 1) / kProgressBlock);
      return messages::KeyWordNotFound(programName_);
    }
    if (k + kHeaderSize + imageSize > size) {
      StepTimes(observer_, k / kProgressBlock + 1);
      return messages::SomeProblem(programName_);
    }
    if (k + kHeaderSize + sizeof kTemplateMarker > size ||
        std::memcmp(input + k + kImageAreaOffset, kTemplateMarker,
                    sizeof kTemplateMarker) != 0) {
      StepTimes(observer_, k / kProgressBlock + 1);
      return messages::NotATemplate(programName_);
    }
    if (Failure failure = FindSealRecord(k)) {
      StepTimes(observer_, k / kProgressBlock + 1);
      return failure;
    }
    if (Failure failure = FindSignatureRecord(k)) {
      StepTimes(observer_, k / kProgressBlock + 1);
      return failure;
    }
    const std::size_t regionStart = k - kKeyWordInRegion;
    certificates_ = ApartFromPackage(certificates_, regionStart, sealAt_);
    if (certificates_.state == CertificateTableState::Unusable) {
      StepTimes(observer_, k / kProgressBlock + 1);
      return messages::CertificateTableUnusable(programName_, CertificateProblemText(certificates_));
    }
    Bytes region(input + regionStart, input + regionStart + kRegionSize);
    std::uint8_t* const regionK = region.data() + kKeyWordInRegion;
    const auto header = NewHeader(request_.model, request_.binFileName);
    std::copy(header.begin(), header.end(), regionK + kModelOffset);
    std::copy_n(image_->Data(), imageSize, regionK + kImageAreaOffset);
    std::array<std::uint8_t, kSealSize> seal;
    std::copy_n(input + sealAt_, kSealSize, seal.begin());
    WriteSeal(seal.data(), PackageView(region.data()));
    std::vector<Replacement> replacements = {{regionStart, region.data(), kRegionSize},
                                             {sealAt_, seal.data(), kSealSize}};
    std::array<std::uint8_t, kSignatureRecordSize> signature;
    if (signatureAt_) {
      std::copy_n(input + *signatureAt_, kSignatureRecordSize, signature.begin());
      SignRecord(PackageView(region.data(), seal.data()), signature.data());
      replacements.push_back({*signatureAt_, signature.data(), kSignatureRecordSize});
    }
    // No signature, and no checksum: the signer's covered the table too.
    static constexpr std::uint8_t kZeros[kSecurityEntrySize] = {};
    if (certificates_.state == CertificateTableState::Present) {
      replacements.push_back({certificates_.entryAt, kZeros, kSecurityEntrySize});
      replacements.push_back({certificates_.checksumAt, kZeros, kChecksumSize});
    }
    return WriteBlocks(std::move(replacements), StepMarks(copySize_, k, imageSize));
  }

  // The output's signature record: empty, or filled by the request's signer.
  void SignRecord(const PackageView& sealed, std::uint8_t* record) const {
    ClearSignatureRecord(record);
    if (request_.signer != nullptr) request_.signer->Sign(sealed, record);
  }

  // The template's signature record, where the request names its marker:
  // the one occurrence, whole and apart from the region and the seal record,
  // both of which the signature covers. Sets signatureAt_.
  Failure FindSignatureRecord(std::size_t k) {
    if (!request_.signatureMarker) return std::nullopt;
    const std::size_t size = template_->Size();
    const SignatureMarker& marker = *request_.signatureMarker;
    const std::vector<std::size_t> records =
        Occurrences(template_->Data(), size, marker.data(), marker.size());
    if (records.empty()) return messages::SignatureRecordNotFound(programName_);
    if (records.size() > 1) return messages::SignatureRecordDoubled(programName_, records.size());
    const std::size_t at = records.front();
    // A record inside a signed template's certificate table would not reach
    // the copy.
    if (!SignatureRecordApart(at, k - kKeyWordInRegion, sealAt_) ||
        size - at < kSignatureRecordSize || copySize_ - std::min(at, copySize_) < kSignatureRecordSize)
      return messages::SomeProblem(programName_);
    signatureAt_ = at;
    return std::nullopt;
  }

  // The template's seal record: the one occurrence of the seal marker,
  // whole and outside the package region around the key-word at k, whose
  // every byte the seal covers. Sets sealAt_.
  Failure FindSealRecord(std::size_t k) {
    const std::size_t size = template_->Size();
    if (!RegionFits(size, k)) return messages::SomeProblem(programName_);
    const SealMarker& marker = request_.sealMarker;
    const std::vector<std::size_t> seals =
        Occurrences(template_->Data(), size, marker.data(), marker.size());
    if (seals.empty()) return messages::SealNotFound(programName_);
    if (seals.size() > 1) return messages::SealDoubled(programName_, seals.size());
    const std::size_t at = seals.front();
    if (!SealOutsideRegion(at, k - kKeyWordInRegion) || size - at < kSealSize)
      return messages::SomeProblem(programName_);
    sealAt_ = at;
    return std::nullopt;
  }

  // Bytes of the output that differ from the template's.
  struct Replacement {
    std::size_t at;
    const std::uint8_t* bytes;
    std::size_t size;
  };

  // The template's first copySize_ bytes with the replacements (the region,
  // the seal record, the signature record and, in a signed template, the
  // security directory entry and the checksum: none overlaps another), in
  // blocks of at most kWriteBlock bytes.
  Failure WriteBlocks(std::vector<Replacement> replacements, const std::vector<std::size_t>& marks) {
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement& a, const Replacement& b) { return a.at < b.at; });
    std::size_t written = 0;
    std::size_t step = 0;
    // Writes up to the output's byte `end` from bytes that stand for the
    // output from byte `from` on.
    auto writeUpTo = [&](std::size_t end, const std::uint8_t* bytes, std::size_t from) {
      while (written < end) {
        const std::size_t block = std::min(kWriteBlock, end - written);
        if (!temporary_->Write(bytes + (written - from), block)) return false;
        written += block;
        for (; step < marks.size() && marks[step] <= written; ++step) observer_.ProgressStep();
      }
      return true;
    };
    const std::uint8_t* const input = template_->Data();
    for (const Replacement& r : replacements)
      if (!writeUpTo(r.at, input, 0) || !writeUpTo(r.at + r.size, r.bytes, r.at))
        return messages::WriteFail(request_.binFileName);
    if (!writeUpTo(copySize_, input, 0)) return messages::WriteFail(request_.binFileName);
    return std::nullopt;
  }

  Failure CloseOutput() {
    const bool closed = temporary_->Close();
    temporary_.reset();
    if (!closed) return messages::WriteFail(request_.binFileName);
    return std::nullopt;
  }

  // Replaces an earlier output only now that the new one is complete.
  Failure PutInPlace() {
    if (!files_.Replace(temporaryPath_, outputPath_)) return messages::CreateFail(request_.binFileName);
    return std::nullopt;
  }

  const BuildRequest& request_;
  BuildObserver& observer_;
  platform::Files& files_;
  const std::string outputName_;
  const std::string outputPath_;
  const std::string programName_;
  std::string temporaryPath_;
  std::size_t sealAt_ = 0;
  CertificateTable certificates_;
  std::size_t copySize_ = 0;
  std::optional<std::size_t> signatureAt_;
  std::unique_ptr<platform::NewFile> temporary_;
  std::unique_ptr<platform::HeldBytes> image_;
  std::unique_ptr<platform::HeldBytes> template_;
};

void PutText(std::uint8_t* field, const std::string& text, std::size_t maxChars) {
  const std::size_t n = std::min(text.size(), maxChars);
  std::memcpy(field, text.data(), n);
}

}  // namespace

char AnsiUpper(char c) {
  const auto b = static_cast<unsigned char>(c);
  if (b >= 'a' && b <= 'z') return static_cast<char>(b - 0x20);
  // Code page 1252: the accented small letters (but not the division sign)
  // and the four whose capitals lie in 0x80-0x9F.
  if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 0x20);
  switch (b) {
    case 0x9A: return static_cast<char>(0x8A);  // s caron
    case 0x9C: return static_cast<char>(0x8C);  // oe
    case 0x9E: return static_cast<char>(0x8E);  // z caron
    case 0xFF: return static_cast<char>(0x9F);  // y diaeresis
    default: return c;
  }
}

std::string OutputName(const std::string& binFileName) {
  return messages::FourChars(binFileName) + ".EXE";
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '\\' || last == '/') return folder + name;
  const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
  return folder + separator + name;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

namespace {

// The first place at or after from where pattern starts, or npos. memchr
// runs to each candidate first byte; a template is mostly code and data in
// which the patterns' first bytes are rare enough.
std::size_t FindFrom(const std::uint8_t* bytes, std::size_t size, std::size_t from,
                     const std::uint8_t* pattern, std::size_t patternSize) {
  if (patternSize == 0 || patternSize > size) return std::string::npos;
  const std::size_t lastStart = size - patternSize;
  while (from <= lastStart) {
    const void* candidate = std::memchr(bytes + from, pattern[0], lastStart - from + 1);
    if (candidate == nullptr) break;
    const std::size_t at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(candidate) - bytes);
    if (std::memcmp(bytes + at, pattern, patternSize) == 0) return at;
    from = at + 1;
  }
  return std::string::npos;
}

}  // namespace

std::size_t FindKeyWord(const std::uint8_t* bytes, std::size_t size,
                        const KeyWordBytes& keyWord) {
  return FindFrom(bytes, size, 0, keyWord.data(), keyWord.size());
}

std::vector<std::size_t> Occurrences(const std::uint8_t* bytes, std::size_t size,
                                     const std::uint8_t* pattern, std::size_t patternSize) {
  std::vector<std::size_t> places;
  for (std::size_t at = FindFrom(bytes, size, 0, pattern, patternSize); at != std::string::npos;
       at = FindFrom(bytes, size, at + 1, pattern, patternSize))
    places.push_back(at);
  return places;
}

std::array<std::uint8_t, kRewrittenHeaderSize> NewHeader(const ModelTexts& model,
                                                         const std::string& binFileName) {
  // Filler after a text's zero byte and after a short revision is zero.
  std::array<std::uint8_t, kRewrittenHeaderSize> header{};
  auto field = [&header](std::ptrdiff_t offsetFromK) {
    return header.data() + (offsetFromK - kModelOffset);
  };
  const std::size_t maxChars = kTextFieldSize - 1;
  PutText(field(kModelOffset), model.Model, maxChars);
  PutText(field(kInquiryOffset), model.Inquiry, maxChars);
  PutText(field(kFwRangeOffset), model.FwRange, maxChars);
  PutText(field(kVendorOffset), model.Vendor, maxChars);
  PutText(field(kNoteOffset), model.Note, maxChars);
  std::string revision = binFileName.substr(0, kNewRevisionSize);
  std::transform(revision.begin(), revision.end(), revision.begin(), AnsiUpper);
  PutText(field(kNewRevisionOffset), revision, kNewRevisionSize);
  return header;
}

bool BuildFlashProgram(const BuildRequest& request, BuildObserver& observer,
                       platform::Files& files) {
  return Build(request, observer, files).Run();
}

}  // namespace package
