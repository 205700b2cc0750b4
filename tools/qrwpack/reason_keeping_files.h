// The build's file operations as qrwpack hands them to the builder: each goes
// to the system's, and the system's reason for the first one of the output
// that failed is kept. The builder's messages are the window's ("Create
// 1.10.EXE Fail"); a line on a terminal also says which file and why.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace qrwpack {

class ReasonKeepingFiles final : public platform::Files {
 public:
  // lastErrorText: the system's words for the error of the call that just
  // failed.
  ReasonKeepingFiles(platform::Files& files, std::string (*lastErrorText)())
      : files_(files), lastErrorText_(lastErrorText) {}

  // The reason of the first output operation that failed, if any did.
  const std::optional<std::string>& Reason() const { return reason_; }

  platform::PathStatus Status(const std::string& path) override { return files_.Status(path); }
  platform::ReadResult Read(const std::string& path, std::size_t size,
                            std::vector<std::uint8_t>& bytes) override {
    return files_.Read(path, size, bytes);
  }
  platform::ReadResult Hold(const std::string& path, std::size_t size,
                            std::unique_ptr<platform::HeldBytes>& held) override {
    return files_.Hold(path, size, held);
  }
  platform::CreateResult CreateNew(const std::string& path,
                                   std::unique_ptr<platform::NewFile>& file) override;
  bool Remove(const std::string& path) override { return files_.Remove(path); }
  bool Replace(const std::string& from, const std::string& to) override {
    return Kept(files_.Replace(from, to));
  }
  bool Replaceable(const std::string& path) override;
  std::uint32_t NameSeed() override { return files_.NameSeed(); }

 private:
  class File;

  // Passes `succeeded` on, keeping the reason when it is the first failure.
  bool Kept(bool succeeded) {
    if (!succeeded && !reason_) reason_ = lastErrorText_();
    return succeeded;
  }

  platform::Files& files_;
  std::string (*lastErrorText_)();
  std::optional<std::string> reason_;
};

// The output file, its writes and its closing watched the same way.
class ReasonKeepingFiles::File final : public platform::NewFile {
 public:
  File(std::unique_ptr<platform::NewFile> file, ReasonKeepingFiles& owner)
      : file_(std::move(file)), owner_(owner) {}
  bool Write(const std::uint8_t* bytes, std::size_t size) override {
    return owner_.Kept(file_->Write(bytes, size));
  }
  bool Close() override { return owner_.Kept(file_->Close()); }

 private:
  std::unique_ptr<platform::NewFile> file_;
  ReasonKeepingFiles& owner_;
};

inline platform::CreateResult ReasonKeepingFiles::CreateNew(
    const std::string& path, std::unique_ptr<platform::NewFile>& file) {
  std::unique_ptr<platform::NewFile> made;
  const platform::CreateResult result = files_.CreateNew(path, made);
  Kept(result != platform::CreateResult::Failed);
  if (made) file = std::make_unique<File>(std::move(made), *this);
  return result;
}

// A folder or another file in the output's place leaves no system error
// behind: the reason is said in words of its own.
inline bool ReasonKeepingFiles::Replaceable(const std::string& path) {
  if (files_.Replaceable(path)) return true;
  if (!reason_) {
    const std::string systemWords = lastErrorText_();
    reason_ = files_.Status(path).kind == platform::PathKind::Folder
                  ? std::string("a folder of that name is in the way")
                  : systemWords;
  }
  return false;
}

}  // namespace qrwpack
