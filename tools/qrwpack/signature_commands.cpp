#include "signature_commands.h"

#include <cstdio>

#include "package/package_texts.h"
#include "package/signature_record.h"
#include "platform/posix/posix_files.h"
#include "signing/key_files.h"
#include "signing/program_signature.h"
#include "text/printable.h"

namespace qrwpack {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

// Paths and a key's comment come from outside: through the printable
// filter, as every line of qrwpack.
void Say(const std::string& text) {
  const std::string shown = text::Printable(text);
  std::fwrite(shown.data(), 1, shown.size(), stdout);
}

int Failure(const std::string& problem) {
  const std::string line = text::Printable("qrwpack: " + problem + "\n");
  std::fwrite(line.data(), 1, line.size(), stderr);
  return kExitFailure;
}

std::string KeyText(const package::KeyId& keyId) { return "key " + package::KeyIdText(keyId); }

// The program with its signature record filled in, or the reason it cannot
// be signed.
std::string SignedCopy(const std::string& path, const signing::KeySigner& signer,
                       std::vector<std::uint8_t>& bytes) {
  package::ProgramFile program = package::ReadProgramFile(path);
  if (program.problem != package::ProgramFileProblem::None) return program.message;
  if (package::IsTemplate(program.Package()))
    return path + " is a template: sign the flash programs built from it";
  if (program.signatureAt == package::kNoSignatureRecord)
    return path + " has no signature record: build it again with this qrwpack";
  if (program.seal.state == package::SealState::Broken)
    return path + ": the seal is broken; this program is damaged and is not signed";
  std::uint8_t* record = program.bytes.data() + program.signatureAt;
  package::ClearSignatureRecord(record);
  const package::PackageView view = program.Package();
  signer.Sign(package::PackageView(view.Region(), view.Seal()), record);
  bytes = std::move(program.bytes);
  return "";
}

// Puts bytes in place of the file at path through a new file beside it, so
// that a failure leaves the program as it was.
std::string Replace(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  platform::posix::PosixFiles files;
  const std::string name = package::FileNameOf(path);
  const std::string folder = path.substr(0, path.size() - name.size());
  std::unique_ptr<platform::NewFile> file;
  std::string temporary;
  platform::CreateResult created = platform::CreateResult::Failed;
  for (int attempt = 0; attempt < 16 && created != platform::CreateResult::Created; ++attempt) {
    temporary = package::JoinPath(folder, platform::TaggedName(name, ".part", files.NameSeed()));
    created = files.CreateNew(temporary, file);
    if (created == platform::CreateResult::Failed) break;
  }
  if (created != platform::CreateResult::Created) return "cannot write beside " + path;
  const bool written = file->Write(bytes.data(), bytes.size());
  const bool closed = file->Close();
  file.reset();
  if (!written || !closed || !files.Replace(temporary, path)) {
    files.Remove(temporary);
    return "cannot write " + path + "; it is left as it was";
  }
  return "";
}

}  // namespace

SignatureShown ShowSignature(const package::ProgramFile& program) {
  const signing::SignatureCheck check = signing::CheckSignature(program.Package());
  switch (check.state) {
    case signing::SignatureState::Unsigned:
      return {check.hasRecord ? "none" : "none (no signature record)", false};
    case signing::SignatureState::Good: return {"signed by " + KeyText(check.keyId) + " (good)", false};
    case signing::SignatureState::Mismatch:
      return {"does not match (" + KeyText(check.keyId) + ")", true};
  }
  return {};
}

int Keygen(const std::string& name, const std::string& comment) {
  package::KeyId keyId{};
  if (auto problem = signing::WriteKeyPair(name, comment, keyId)) return Failure(*problem);
  Say("Wrote " + name + ".key (secret, keep it to yourself) and " + name + ".pub (" +
      KeyText(keyId) + ")\n");
  return kExitOk;
}

std::unique_ptr<package::RecordSigner> LoadSigner(const std::string& keyPath, std::string& problem) {
  const signing::KeyFileRead<signing::Seed> read = signing::ReadSecretKeyFile(keyPath);
  if (!read.key) {
    problem = read.problem;
    return nullptr;
  }
  return std::make_unique<signing::KeySigner>(*read.key);
}

int Sign(const std::string& keyPath, const std::vector<std::string>& programs) {
  const signing::KeyFileRead<signing::Seed> read = signing::ReadSecretKeyFile(keyPath);
  if (!read.key) return Failure(read.problem);
  const signing::KeySigner signer(*read.key);
  int status = kExitOk;
  for (const std::string& path : programs) {
    std::vector<std::uint8_t> bytes;
    std::string problem = SignedCopy(path, signer, bytes);
    if (problem.empty()) problem = Replace(path, bytes);
    if (!problem.empty()) {
      status = Failure(problem);
      continue;
    }
    Say(path + ": signed by " + KeyText(signer.KeyId()) + "\n");
  }
  return status;
}

}  // namespace qrwpack
