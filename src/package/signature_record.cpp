#include "package/signature_record.h"

#include <algorithm>

#include "package/seal.h"
#include "text/format.h"

namespace package {

SignatureFields ReadSignatureRecord(const std::uint8_t* record) {
  SignatureFields fields;
  fields.empty = std::all_of(record + kRecordKeyIdOffset, record + kSignatureRecordSize,
                             [](std::uint8_t b) { return b == 0; });
  std::copy_n(record + kRecordKeyIdOffset, kKeyIdSize, fields.keyId.begin());
  std::copy_n(record + kRecordPublicKeyOffset, kPublicKeySize, fields.publicKey.begin());
  std::copy_n(record + kRecordSignatureOffset, kSignatureSize, fields.signature.begin());
  return fields;
}

void WriteSignatureRecord(std::uint8_t* record, const KeyId& keyId, const PublicKey& publicKey,
                          const SignatureBytes& signature) {
  std::copy(keyId.begin(), keyId.end(), record + kRecordKeyIdOffset);
  std::copy(publicKey.begin(), publicKey.end(), record + kRecordPublicKeyOffset);
  std::copy(signature.begin(), signature.end(), record + kRecordSignatureOffset);
}

void ClearSignatureRecord(std::uint8_t* record) {
  std::fill(record + kRecordKeyIdOffset, record + kSignatureRecordSize, 0);
}

SignatureMarker SignatureMarkerOf(const std::uint8_t* record) {
  SignatureMarker marker;
  std::copy_n(record, marker.size(), marker.begin());
  return marker;
}

std::vector<std::uint8_t> SignedMessage(const PackageView& sealed, const KeyId& keyId) {
  std::vector<std::uint8_t> message;
  message.reserve(sizeof kSignaturePrefix + kKeyIdSize + kRegionSize + kSealSize);
  message.insert(message.end(), kSignaturePrefix, kSignaturePrefix + sizeof kSignaturePrefix);
  message.insert(message.end(), keyId.begin(), keyId.end());
  message.insert(message.end(), sealed.Region(), sealed.Region() + kRegionSize);
  message.insert(message.end(), sealed.Seal(), sealed.Seal() + kSealSize);
  return message;
}

std::string KeyIdText(const KeyId& keyId) {
  std::string text;
  for (std::uint8_t b : keyId) text += text::Format("%02X", b);
  return text;
}

bool SignatureRecordApart(std::size_t at, std::size_t regionStart, std::size_t sealAt) {
  auto apart = [at](std::size_t start, std::size_t size) {
    return at + kSignatureRecordSize <= start || at >= start + size;
  };
  return apart(regionStart, kRegionSize) && apart(sealAt, kSealSize);
}

}  // namespace package
