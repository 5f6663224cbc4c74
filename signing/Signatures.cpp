#include "signing/Signatures.h"

#include <sodium.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace deptest::signing {

namespace {

// libsodium is ready once sodium_init() has returned 0 or 1 (already done);
// it fails only where the system has no source of random bytes.
void startSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        std::abort();
}

Error refused(std::string reason) { return Error { error::pathFileAccess, std::move(reason) }; }

const unsigned char* bytesOf(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

// What the file's own signature is taken over: its BLAKE2b-512 digest
// (prehashed) or the bytes themselves.
std::vector<unsigned char> signedMessage(SignedAs how, std::string_view bytes)
{
    if (how == SignedAs::Whole)
        return { bytes.begin(), bytes.end() };
    std::vector<unsigned char> digest(crypto_generichash_BYTES_MAX);
    crypto_generichash(digest.data(), digest.size(), bytesOf(bytes), bytes.size(), nullptr, 0);
    return digest;
}

// The global signature is taken over the file's signature followed by the
// trusted comment, so that the comment cannot be changed on its own.
std::vector<unsigned char> globalMessage(const SignatureFile& signature)
{
    std::vector<unsigned char> message(signature.signature.begin(), signature.signature.end());
    message.insert(message.end(), signature.trustedComment.begin(), signature.trustedComment.end());
    return message;
}

// BLAKE2b-256 over the algorithm, the id and the key: a secret key file's
// checksum, which a wrong password does not reproduce.
std::array<std::uint8_t, 32> checksumOf(const KeyId& id, const SecretKeyBytes& key)
{
    std::vector<unsigned char> input { 'E', 'd' };
    input.insert(input.end(), id.begin(), id.end());
    input.insert(input.end(), key.begin(), key.end());
    std::array<std::uint8_t, 32> checksum {};
    crypto_generichash(checksum.data(), checksum.size(), input.data(), input.size(), nullptr, 0);
    sodium_memzero(input.data(), input.size());
    return checksum;
}

// Whether the public half of an Ed25519 secret key is the one its seed makes.
bool consistent(const SecretKey& key)
{
    std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> publicKey {};
    SecretKeyBytes again {};
    crypto_sign_seed_keypair(publicKey.data(), again.data(), key.key.data());
    const bool same = sodium_memcmp(again.data(), key.key.data(), again.size()) == 0;
    sodium_memzero(again.data(), again.size());
    return same;
}

// XORs the sealed part of a secret key file with the stream scrypt makes
// from the password; false when libsodium refuses the limits.
bool applyPassword(SecretKeyFile& file, std::string_view password)
{
    std::array<std::uint8_t, 104> stream {};
    if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.data(), password.size(),
            file.salt.data(), file.opsLimit, static_cast<std::size_t>(file.memLimit))
        != 0)
        return false;
    for (std::size_t i = 0; i < stream.size(); ++i)
        file.sealed[i] ^= stream[i];
    sodium_memzero(stream.data(), stream.size());
    return true;
}

} // namespace

Outcome verify(const SignatureFile& signature, const PublicKey& key, std::string_view bytes)
{
    startSodium();
    const std::vector<unsigned char> message = signedMessage(signature.signedAs, bytes);
    if (crypto_sign_verify_detached(signature.signature.data(), message.data(), message.size(), key.key.data()) != 0)
        return refused("its signature does not match its contents");
    const std::vector<unsigned char> global = globalMessage(signature);
    if (crypto_sign_verify_detached(signature.globalSignature.data(), global.data(), global.size(), key.key.data())
        != 0)
        return refused("the trusted comment of its signature has been changed");
    return {};
}

SignatureFile sign(
    const SecretKey& key, std::string_view bytes, std::string_view trustedComment, std::string_view untrustedComment)
{
    startSodium();
    SignatureFile signature;
    signature.signedAs = SignedAs::Prehashed;
    signature.keyId = key.id;
    signature.untrustedComment = untrustedComment;
    signature.trustedComment = trustedComment;
    const std::vector<unsigned char> message = signedMessage(signature.signedAs, bytes);
    crypto_sign_detached(signature.signature.data(), nullptr, message.data(), message.size(), key.key.data());
    const std::vector<unsigned char> global = globalMessage(signature);
    crypto_sign_detached(signature.globalSignature.data(), nullptr, global.data(), global.size(), key.key.data());
    return signature;
}

Result<SecretKey> openSecretKey(const SecretKeyFile& file, std::string_view password)
{
    startSodium();
    SecretKeyFile opened = file;
    if (file.scrypt) {
        if (file.opsLimit > crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE
            || file.memLimit > crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE)
            return refused("its password takes more work to check than any minisign key asks for");
        if (!applyPassword(opened, password))
            return refused("its password could not be applied (scrypt refused its limits)");
    }
    SecretKey key;
    std::copy_n(opened.sealed.begin(), key.id.size(), key.id.begin());
    std::copy_n(opened.sealed.begin() + 8, key.key.size(), key.key.begin());
    const std::array<std::uint8_t, 32> checksum = checksumOf(key.id, key.key);
    // minisign leaves the checksum of a key without a password at zero:
    // there the key's public half must follow from its seed instead.
    const bool whole = sodium_memcmp(checksum.data(), opened.sealed.data() + 72, checksum.size()) == 0
        || (!file.scrypt && sodium_is_zero(opened.sealed.data() + 72, checksum.size()) == 1 && consistent(key));
    sodium_memzero(opened.sealed.data(), opened.sealed.size());
    if (!whole) {
        sodium_memzero(key.key.data(), key.key.size());
        return refused(file.scrypt ? "wrong password" : "its checksum does not match: the key is damaged");
    }
    return key;
}

PublicKey publicKeyOf(const SecretKey& key)
{
    PublicKey publicKey;
    publicKey.id = key.id;
    crypto_sign_ed25519_sk_to_pk(publicKey.key.data(), key.key.data());
    return publicKey;
}

SecretKey newSecretKey()
{
    startSodium();
    SecretKey key;
    PublicKeyBytes unused {};
    crypto_sign_keypair(unused.data(), key.key.data());
    randombytes_buf(key.id.data(), key.id.size());
    return key;
}

SecretKeyFile sealSecretKey(
    const SecretKey& key, std::string_view password, std::uint64_t opsLimit, std::uint64_t memLimit)
{
    startSodium();
    SecretKeyFile file;
    std::copy(key.id.begin(), key.id.end(), file.sealed.begin());
    std::copy(key.key.begin(), key.key.end(), file.sealed.begin() + 8);
    const std::array<std::uint8_t, 32> checksum = checksumOf(key.id, key.key);
    std::copy(checksum.begin(), checksum.end(), file.sealed.begin() + 72);
    if (!password.empty()) {
        file.scrypt = true;
        randombytes_buf(file.salt.data(), file.salt.size());
        file.opsLimit = opsLimit;
        file.memLimit = memLimit;
        applyPassword(file, password);
    }
    return file;
}

} // namespace deptest::signing
