#include "signing/Minisign.h"

#include <sodium.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace deptest::signing {

namespace {

constexpr std::string_view untrustedPrefix = "untrusted comment: ";
constexpr std::string_view trustedPrefix = "trusted comment: ";
constexpr std::string_view ed25519 = "Ed";
constexpr std::string_view ed25519Prehashed = "ED";
constexpr std::string_view scryptKdf = "Sc";
constexpr std::string_view blake2bChecksum = "B2";
constexpr std::size_t signatureBlob = 2 + 8 + 64;
constexpr std::size_t publicKeyBlob = 2 + 8 + 32;
constexpr std::size_t secretKeyBlob = 2 + 2 + 2 + 32 + 8 + 8 + 104;

Error refused(std::string reason) { return Error { error::pathFileAccess, std::move(reason) }; }

// The file's lines, without their ends (LF, and any CRs before it, as
// minisign trims them); a last line without an end counts too, and empty
// lines at the end do not. A comment read thus writes back as it reads.
std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        while (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.push_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

// The bytes of a line in standard base64, only when they are exactly `size`.
std::optional<std::vector<std::uint8_t>> decode(std::string_view line, std::size_t size)
{
    std::vector<std::uint8_t> bytes(size + 1);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), line.data(), line.size(), nullptr, &length, &end,
            sodium_base64_VARIANT_ORIGINAL)
            != 0
        || end != line.data() + line.size() || length != size)
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

std::string encode(const std::uint8_t* bytes, std::size_t size)
{
    std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1); // its terminating zero
    return text;
}

std::string_view algorithmOf(const std::vector<std::uint8_t>& blob)
{
    return { reinterpret_cast<const char*>(blob.data()), 2 };
}

template <std::size_t N>
void copyOut(const std::vector<std::uint8_t>& blob, std::size_t at, std::array<std::uint8_t, N>& to)
{
    std::copy_n(blob.begin() + static_cast<std::ptrdiff_t>(at), N, to.begin());
}

std::uint64_t littleEndian(const std::vector<std::uint8_t>& blob, std::size_t at)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i)
        value |= std::uint64_t { blob[at + i] } << (8 * i);
    return value;
}

void appendLittleEndian(std::vector<std::uint8_t>& blob, std::uint64_t value)
{
    for (std::size_t i = 0; i < 8; ++i)
        blob.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void append(std::vector<std::uint8_t>& blob, std::string_view text)
{
    blob.insert(blob.end(), text.begin(), text.end());
}

template <std::size_t N> void append(std::vector<std::uint8_t>& blob, const std::array<std::uint8_t, N>& bytes)
{
    blob.insert(blob.end(), bytes.begin(), bytes.end());
}

// A comment line's text after its prefix; nothing when it has another.
std::optional<std::string_view> commentOf(std::string_view line, std::string_view prefix)
{
    if (!line.starts_with(prefix))
        return std::nullopt;
    return line.substr(prefix.size());
}

// A file of two lines, an untrusted comment and one blob of `size` bytes.
Result<std::vector<std::uint8_t>> readKeyBlob(std::string_view text, std::size_t size, std::string_view what)
{
    if (text.size() > largestFile)
        return refused("too large to be a " + std::string(what));
    const std::vector<std::string_view> lines = linesOf(text);
    if (lines.size() != 2 || !commentOf(lines[0], untrustedPrefix))
        return refused("not a minisign " + std::string(what) + " (an untrusted comment and one line of base64)");
    auto blob = decode(lines[1], size);
    if (!blob)
        return refused("not a minisign " + std::string(what) + " (its second line is not base64 of the right length)");
    return std::move(*blob);
}

} // namespace

std::string keyIdText(const KeyId& id)
{
    static constexpr std::string_view digits = "0123456789ABCDEF";
    std::string text;
    for (auto byte = id.rbegin(); byte != id.rend(); ++byte) {
        text += digits[*byte >> 4];
        text += digits[*byte & 0xF];
    }
    return text;
}

Result<PublicKey> readPublicKey(std::string_view text)
{
    auto blob = readKeyBlob(text, publicKeyBlob, "public key");
    if (!blob)
        return blob.error();
    if (algorithmOf(*blob) != ed25519)
        return refused("a public key of another algorithm than Ed25519");
    PublicKey key;
    copyOut(*blob, 2, key.id);
    copyOut(*blob, 10, key.key);
    return key;
}

Result<SecretKeyFile> readSecretKey(std::string_view text)
{
    auto blob = readKeyBlob(text, secretKeyBlob, "secret key");
    if (!blob)
        return blob.error();
    const std::string_view kdf(reinterpret_cast<const char*>(blob->data()) + 2, 2);
    const std::string_view checksum(reinterpret_cast<const char*>(blob->data()) + 4, 2);
    if (algorithmOf(*blob) != ed25519 || checksum != blake2bChecksum)
        return refused("a secret key of another algorithm than Ed25519 with a BLAKE2b checksum");
    SecretKeyFile key;
    if (kdf == scryptKdf)
        key.scrypt = true;
    else if (kdf != std::string_view("\0\0", 2))
        return refused("a secret key encrypted another way than with scrypt");
    copyOut(*blob, 6, key.salt);
    key.opsLimit = littleEndian(*blob, 38);
    key.memLimit = littleEndian(*blob, 46);
    copyOut(*blob, 54, key.sealed);
    return key;
}

Result<SignatureFile> readSignature(std::string_view text)
{
    if (text.size() > largestFile)
        return refused("too large to be a signature");
    const std::vector<std::string_view> lines = linesOf(text);
    if (lines.size() != 4)
        return refused("not a minisign signature (it has " + std::to_string(lines.size()) + " lines, not 4)");
    SignatureFile signature;
    const auto untrusted = commentOf(lines[0], untrustedPrefix);
    const auto trusted = commentOf(lines[2], trustedPrefix);
    if (!untrusted || !trusted)
        return refused("not a minisign signature (its comments are not where they belong)");
    const auto blob = decode(lines[1], signatureBlob);
    const auto global = decode(lines[3], signature.globalSignature.size());
    if (!blob || !global)
        return refused("not a minisign signature (a signature line is not base64 of the right length)");
    if (algorithmOf(*blob) == ed25519Prehashed)
        signature.signedAs = SignedAs::Prehashed;
    else if (algorithmOf(*blob) == ed25519)
        signature.signedAs = SignedAs::Whole;
    else
        return refused("a signature of another algorithm than Ed25519");
    signature.untrustedComment = *untrusted;
    signature.trustedComment = *trusted;
    copyOut(*blob, 2, signature.keyId);
    copyOut(*blob, 10, signature.signature);
    copyOut(*global, 0, signature.globalSignature);
    return signature;
}

std::string publicKeyText(const PublicKey& key)
{
    std::vector<std::uint8_t> blob;
    append(blob, ed25519);
    append(blob, key.id);
    append(blob, key.key);
    return std::string(untrustedPrefix) + "minisign public key " + keyIdText(key.id) + "\n"
        + encode(blob.data(), blob.size()) + "\n";
}

std::string signatureText(const SignatureFile& signature)
{
    std::vector<std::uint8_t> blob;
    append(blob, signature.signedAs == SignedAs::Prehashed ? ed25519Prehashed : ed25519);
    append(blob, signature.keyId);
    append(blob, signature.signature);
    return std::string(untrustedPrefix) + signature.untrustedComment + "\n" + encode(blob.data(), blob.size()) + "\n"
        + std::string(trustedPrefix) + signature.trustedComment + "\n"
        + encode(signature.globalSignature.data(), signature.globalSignature.size()) + "\n";
}

std::string secretKeyText(const SecretKeyFile& key)
{
    std::vector<std::uint8_t> blob;
    append(blob, ed25519);
    append(blob, key.scrypt ? scryptKdf : std::string_view("\0\0", 2));
    append(blob, blake2bChecksum);
    append(blob, key.salt);
    appendLittleEndian(blob, key.opsLimit);
    appendLittleEndian(blob, key.memLimit);
    append(blob, key.sealed);
    return std::string(untrustedPrefix) + (key.scrypt ? "minisign encrypted secret key" : "minisign secret key") + "\n"
        + encode(blob.data(), blob.size()) + "\n";
}

} // namespace deptest::signing
