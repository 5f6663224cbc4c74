#pragma once

#include "errors/Error.h"
#include "signing/Minisign.h"

#include <string>
#include <string_view>

namespace deptest::signing {

// Ed25519 signatures in minisign's format, made and checked with
// libsodium: its Ed25519, its BLAKE2b for the digest a signature is taken
// over and for a secret key's checksum, its scrypt for the password of an
// encrypted secret key.

// A secret key ready to sign with: its id and libsodium's Ed25519 secret
// key (the seed, then the public key).
struct SecretKey {
    KeyId id {};
    SecretKeyBytes key {};
};

// Whether `signature` was made over `bytes` by `key`, trusted comment
// included; the key ids are the caller's to compare. Empty when it was;
// otherwise error 75 with the reason.
Outcome verify(const SignatureFile& signature, const PublicKey& key, std::string_view bytes);

// A signature over the BLAKE2b-512 digest of `bytes`, as minisign makes by
// default. The comments are one line each.
SignatureFile sign(
    const SecretKey& key, std::string_view bytes, std::string_view trustedComment, std::string_view untrustedComment);

// The key in a secret key file, with the password when it is encrypted
// (ignored when it is not). A wrong password fails the key's checksum;
// limits beyond what minisign ever asks for are refused before any work.
Result<SecretKey> openSecretKey(const SecretKeyFile& file, std::string_view password);

PublicKey publicKeyOf(const SecretKey& key);

// A new key pair, and its secret key sealed as a file holds it: with
// scrypt and the given limits when `password` is not empty, plain
// otherwise. For tests and for whoever makes keys without minisign.
SecretKey newSecretKey();
SecretKeyFile sealSecretKey(
    const SecretKey& key, std::string_view password, std::uint64_t opsLimit, std::uint64_t memLimit);

} // namespace deptest::signing
