// A flash program's signature: made for the builder and for qrwpack sign,
// and judged by qrwpack and qrwflash.
#pragma once

#include "package/builder.h"
#include "package/package_region.h"
#include "package/signature_record.h"
#include "signing/keys.h"

namespace signing {

enum class SignatureState {
  Unsigned,  // no record (a program from before signatures) or an empty one
  Good,      // made by the record's key over this program's region and seal
  Mismatch,  // the record's key id, key or signature does not fit the program
};

struct SignatureCheck {
  SignatureState state = SignatureState::Unsigned;
  bool hasRecord = false;  // false: a program from before signatures
  package::KeyId keyId{};  // as the record holds it
  package::PublicKey publicKey{};
};

// Judges a program's signature record against its sealed region. The view
// must carry its seal record; its signature record may be missing.
SignatureCheck CheckSignature(const package::PackageView& program);

// Fills a signature record for a sealed region with one key.
class KeySigner : public package::RecordSigner {
 public:
  explicit KeySigner(const Seed& seed) : key_(seed) {}
  void Sign(const package::PackageView& sealed, std::uint8_t* record) const override;
  const package::KeyId& KeyId() const { return key_.KeyId(); }

 private:
  SecretKey key_;
};

}  // namespace signing
