// The signature record: a 112-byte record in the program's initialised data,
// outside the package region and apart from the seal record, that says who
// made the program. The seal tells a damaged program from an intact one;
// anyone can seal, so only a signature tells whose program it is.
//
//   0..7     the marker, eight ASCII bytes; it occurs once in a program file
//   8..15    the key id: the first 8 bytes of BLAKE2b-256 of the public key
//   16..47   the Ed25519 public key of the signer
//   48..111  the Ed25519 signature of SignedMessage (below)
//
// An empty record (bytes 8..111 zero) is unsigned: the template carries one,
// and every program the window's builder makes (it holds no key). The
// public key travels with the signature so that a signature that no longer
// matches is told apart from a good one whatever the key: whether the key is
// trusted is a question of its own. The Windows program never reads the
// record; only the Linux tools check it (signing/).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/package_region.h"

namespace package {

inline constexpr std::size_t kSignatureMarkerSize = 8;
inline constexpr std::size_t kKeyIdSize = 8;
inline constexpr std::size_t kPublicKeySize = 32;
inline constexpr std::size_t kSignatureSize = 64;
inline constexpr std::size_t kRecordKeyIdOffset = 8;
inline constexpr std::size_t kRecordPublicKeyOffset = kRecordKeyIdOffset + kKeyIdSize;
inline constexpr std::size_t kRecordSignatureOffset = kRecordPublicKeyOffset + kPublicKeySize;
inline constexpr std::size_t kSignatureRecordSize = kRecordSignatureOffset + kSignatureSize;
static_assert(kSignatureRecordSize == 112);

using SignatureMarker = std::array<std::uint8_t, kSignatureMarkerSize>;
using KeyId = std::array<std::uint8_t, kKeyIdSize>;
using PublicKey = std::array<std::uint8_t, kPublicKeySize>;
using SignatureBytes = std::array<std::uint8_t, kSignatureSize>;

// What a signature record holds, read field by field.
struct SignatureFields {
  bool empty = true;  // bytes 8..111 all zero
  KeyId keyId{};
  PublicKey publicKey{};
  SignatureBytes signature{};
};

// Reads the record at 'record' (kSignatureRecordSize bytes).
SignatureFields ReadSignatureRecord(const std::uint8_t* record);

// Fills the record after its marker: the key id, the public key and the
// signature.
void WriteSignatureRecord(std::uint8_t* record, const KeyId& keyId, const PublicKey& publicKey,
                          const SignatureBytes& signature);

// Empties the record: everything after the marker zero.
void ClearSignatureRecord(std::uint8_t* record);

// The marker at the start of a signature record.
SignatureMarker SignatureMarkerOf(const std::uint8_t* record);

// Separates these signatures from every other use of an Ed25519 key: a
// signature made for another purpose never reads as a program's.
inline constexpr char kSignaturePrefix[] = "qrwflash signed flash program v1";

// The bytes a signature covers: the prefix with its zero byte, the key id,
// the whole package region and its seal record (whose CRC-32 ties the two
// together). The region's view must carry its seal record.
std::vector<std::uint8_t> SignedMessage(const PackageView& sealed, const KeyId& keyId);

// Sixteen upper-case hex digits: how a key id is shown everywhere.
std::string KeyIdText(const KeyId& keyId);

// A record at 'at' shares no byte with the region that starts at
// regionStart, nor with the seal record at sealAt: the signature covers both.
bool SignatureRecordApart(std::size_t at, std::size_t regionStart, std::size_t sealAt);

}  // namespace package
