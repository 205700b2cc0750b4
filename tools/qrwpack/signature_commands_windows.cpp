// qrwpack.exe carries no cryptography: making keys, signing and checking
// signatures are the Linux build's. It still shows whose key a record
// names, unchecked.
#include <cstdio>
#include <string>

#include "package/signature_record.h"
#include "signature_commands.h"

namespace qrwpack {

namespace {

constexpr const char* kNeedsLinux =
    "signing and checking signatures need the Linux build of qrwpack; nothing was changed";

// Through fwrite, as all of qrwpack.exe writes: mingw-w64's printf brings its
// floating-point formatter, whose code needs a Pentium Pro.
int NeedsLinux() {
  const std::string line = std::string("qrwpack: ") + kNeedsLinux + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  return 1;
}

}  // namespace

SignatureShown ShowSignature(const package::ProgramFile& program) {
  const std::uint8_t* record = program.Package().Signature();
  if (record == nullptr) return {"none (no signature record)", false};
  const package::SignatureFields fields = package::ReadSignatureRecord(record);
  if (fields.empty) return {"none", false};
  return {"key " + package::KeyIdText(fields.keyId) +
              " (not checked: checking signatures needs the Linux build)",
          false};
}

int Keygen(const std::string&, const std::string&) { return NeedsLinux(); }

int Sign(const std::string&, const std::vector<std::string>&) { return NeedsLinux(); }

std::unique_ptr<package::RecordSigner> LoadSigner(const std::string&, std::string& problem) {
  problem = kNeedsLinux;
  return nullptr;
}

}  // namespace qrwpack
