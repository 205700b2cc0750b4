// qrwpack's signatures: keygen, sign, build --sign and the signature that
// inspect and verify show. The Linux build signs and checks with libsodium
// (signing/); qrwpack.exe has no cryptography and says so in one line
// (signature_commands_windows.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "package/builder.h"
#include "package/program_file.h"

namespace qrwpack {

// A program's signature as inspect ("Signature:    ...") and verify show
// it; broken is set when the signature does not match the program.
struct SignatureShown {
  std::string text;
  bool broken = false;
};
SignatureShown ShowSignature(const package::ProgramFile& program);

// qrwpack keygen --out NAME [--comment TEXT]: the exit status.
int Keygen(const std::string& name, const std::string& comment);

// qrwpack sign --key FILE PROGRAM...: the exit status.
int Sign(const std::string& keyPath, const std::vector<std::string>& programs);

// The signer of build --sign, or nothing with the line saying why.
std::unique_ptr<package::RecordSigner> LoadSigner(const std::string& keyPath, std::string& problem);

}  // namespace qrwpack
