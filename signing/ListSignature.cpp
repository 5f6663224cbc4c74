#include "signing/ListSignature.h"

#include "services/Runtime.h"
#include "signing/Signatures.h"

#include <algorithm>

namespace deptest::signing {

Result<std::vector<TrustedKey>> readTrustedKeys(std::span<const KeyFileText> files)
{
    std::vector<TrustedKey> keys;
    for (const KeyFileText& file : files) {
        auto key = readPublicKey(file.text);
        if (!key)
            return Error { key.error().number, file.path + ": " + key.error().description };
        keys.push_back({ file.path, *key });
    }
    return keys;
}

Result<SignedBy> checkList(
    std::string_view list, const std::optional<std::string>& signature, std::span<const TrustedKey> keys)
{
    if (!signature)
        return Error { error::pathFileAccess, "it is not signed, and a trusted key applies" };
    auto read = readSignature(*signature);
    if (!read)
        return Error { read.error().number, "its signature file is " + read.error().description };
    const auto key = std::find_if(
        keys.begin(), keys.end(), [&read](const TrustedKey& trusted) { return trusted.key.id == read->keyId; });
    if (key == keys.end())
        return Error { error::pathFileAccess,
            "it is signed by key " + keyIdText(read->keyId) + ", which is not trusted" };
    if (Outcome wrong = verify(*read, key->key, list))
        return *wrong;
    return SignedBy { keyIdText(read->keyId), read->trustedComment, key->path };
}

std::string generationComment(
    std::int64_t seconds, std::string_view utcTime, std::string_view machine, std::string_view version)
{
    std::string comment = "timestamp:" + std::to_string(seconds) + "\ttime:";
    comment.append(utcTime).append("\thost:").append(machine).append("\tdeptest ").append(version);
    // One line: a name with a line break in it keeps its text, not the break.
    std::replace(comment.begin(), comment.end(), '\n', ' ');
    std::replace(comment.begin(), comment.end(), '\r', ' ');
    return comment;
}

} // namespace deptest::signing
