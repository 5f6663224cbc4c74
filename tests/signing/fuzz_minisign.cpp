// libFuzzer target for one of minisign's three files, chosen when it is
// built (DEPTEST_FUZZ_FILE: 1 public key, 2 secret key, 3 signature). Any
// bytes must neither crash nor read out of bounds; a file that reads must
// write back to text that reads the same; a signature that reads is
// checked against a fixed key without a crash, and never passes for bytes
// it was not made over; a secret key without a password opens or is
// refused, never crashes.

#include "signing/Minisign.h"
#include "signing/Signatures.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace deptest::signing;

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
#if DEPTEST_FUZZ_FILE == 1
    if (const auto key = readPublicKey(text)) {
        const auto again = readPublicKey(publicKeyText(*key));
        expect(again && again->id == key->id && again->key == key->key);
    }
#elif DEPTEST_FUZZ_FILE == 2
    if (const auto key = readSecretKey(text)) {
        const auto again = readSecretKey(secretKeyText(*key));
        expect(again && again->sealed == key->sealed && again->scrypt == key->scrypt && again->opsLimit == key->opsLimit
            && again->memLimit == key->memLimit && again->salt == key->salt);
        if (!key->scrypt)
            (void)openSecretKey(*key, "");
    }
#else
    if (const auto signature = readSignature(text)) {
        const auto again = readSignature(signatureText(*signature));
        expect(again && again->signature == signature->signature && again->keyId == signature->keyId
            && again->trustedComment == signature->trustedComment
            && again->globalSignature == signature->globalSignature && again->signedAs == signature->signedAs);
        // The key of the checked-in seeds, which signed "hello\n" only.
        const auto key
            = readPublicKey("untrusted comment: k\nRWRmIByB1bjwTKOsx97oLEBEJFjzhI2NGjNWReT5up32hLEuulK3i62Z\n");
        expect(key.ok());
        expect(verify(*signature, *key, "hellO\n").has_value());
    }
#endif
    return 0;
}
