#pragma once

#include "errors/Error.h"
#include "signing/Minisign.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace deptest {

struct KeyFileText;

namespace signing {

// A public key the administrator trusts, with the file it came from.
struct TrustedKey {
    std::string path;
    PublicKey key;
};

// The keys of the trusted key files; the first file that does not hold a
// minisign public key fails them all, named in the failure (75).
Result<std::vector<TrustedKey>> readTrustedKeys(std::span<const KeyFileText> files);

// Who signed a list that verified.
struct SignedBy {
    std::string keyId;
    std::string trustedComment;
    std::string keyFile;
};

// Whether `list`, the bytes of a list as read, is signed by one of `keys`:
// `signature` is its .minisig, nothing when there is none. Refused (75,
// with the reason) when it is unsigned, its signature file does not read,
// another key signed it or the signature does not match these bytes.
Result<SignedBy> checkList(
    std::string_view list, const std::optional<std::string>& signature, std::span<const TrustedKey> keys);

// The trusted comment a generation writes: when, on which machine, with
// which version of the program.
// ("timestamp:1796880864\ttime:2026-12-10T05:41:17Z\thost:build7\tdeptest 1.0").
std::string generationComment(
    std::int64_t seconds, std::string_view utcTime, std::string_view machine, std::string_view version);

} // namespace signing
} // namespace deptest
