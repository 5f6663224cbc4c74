#pragma once

#include "errors/Error.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace deptest::signing {

// The three files of minisign's format, read and written as minisign and
// signify-style tools do: a public key, a secret key (encrypted with a
// password through scrypt, or not) and the signature of one file (its
// `.minisig`). Reading checks the layout only; whether a signature holds is
// Signatures.h's. A file that does not read is error 75 with the reason.

using KeyId = std::array<std::uint8_t, 8>;
using PublicKeyBytes = std::array<std::uint8_t, 32>;
using SecretKeyBytes = std::array<std::uint8_t, 64>;
using SignatureBytes = std::array<std::uint8_t, 64>;

// The key id as minisign shows it: 16 upper-case hex digits, the number
// the id's little-endian bytes make.
std::string keyIdText(const KeyId& id);

struct PublicKey {
    KeyId id {};
    PublicKeyBytes key {};
};

// How the signed bytes were taken: Prehashed ("ED") signs their BLAKE2b-512
// digest, which minisign writes by default; Whole ("Ed") the bytes
// themselves, as older versions did.
enum class SignedAs { Prehashed, Whole };

struct SignatureFile {
    std::string untrustedComment;
    SignedAs signedAs { SignedAs::Prehashed };
    KeyId keyId {};
    SignatureBytes signature {};
    std::string trustedComment;
    // Over the signature and the trusted comment together.
    SignatureBytes globalSignature {};
};

// A secret key as its file holds it. `scrypt` tells whether the key, its
// id and its checksum are encrypted (XORed with a stream that scrypt makes
// from the password, the salt and the two limits).
struct SecretKeyFile {
    bool scrypt { false };
    std::array<std::uint8_t, 32> salt {};
    std::uint64_t opsLimit { 0 };
    std::uint64_t memLimit { 0 };
    // Id, key and checksum, as stored (encrypted when `scrypt`).
    std::array<std::uint8_t, 104> sealed {};
};

// Larger than any of the three files can be; a larger one is refused
// before it is read through.
inline constexpr std::size_t largestFile = std::size_t { 16 } * 1024;

Result<PublicKey> readPublicKey(std::string_view text);
Result<SignatureFile> readSignature(std::string_view text);
Result<SecretKeyFile> readSecretKey(std::string_view text);

std::string publicKeyText(const PublicKey& key);
std::string signatureText(const SignatureFile& signature);
std::string secretKeyText(const SecretKeyFile& key);

} // namespace deptest::signing
