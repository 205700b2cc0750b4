#include "signing/program_signature.h"

#include <sodium.h>

#include <vector>

namespace signing {

SignatureCheck CheckSignature(const package::PackageView& program) {
  SignatureCheck check;
  if (program.Signature() == nullptr) return check;
  check.hasRecord = true;
  const package::SignatureFields fields = package::ReadSignatureRecord(program.Signature());
  check.keyId = fields.keyId;
  check.publicKey = fields.publicKey;
  if (fields.empty) return check;
  check.state = SignatureState::Mismatch;
  // A key id that is not its key's would name another key than the one that
  // signed: no signature it carries is good, whoever made it.
  if (!SodiumReady() || KeyIdOf(fields.publicKey) != fields.keyId) return check;
  const std::vector<std::uint8_t> message = package::SignedMessage(program, fields.keyId);
  if (crypto_sign_verify_detached(fields.signature.data(), message.data(), message.size(),
                                  fields.publicKey.data()) == 0)
    check.state = SignatureState::Good;
  return check;
}

void KeySigner::Sign(const package::PackageView& sealed, std::uint8_t* record) const {
  const std::vector<std::uint8_t> message = package::SignedMessage(sealed, key_.KeyId());
  package::WriteSignatureRecord(record, key_.KeyId(), key_.PublicKey(),
                                key_.Sign(message.data(), message.size()));
}

}  // namespace signing
