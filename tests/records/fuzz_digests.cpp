// libFuzzer target for the digest list: any bytes, fed in pieces of a size
// the input picks, must neither crash nor read out of bounds, must give
// the same list as when fed whole, and every name it gives a digest must
// read back with that digest from the line the generation would write.

#include "records/DigestList.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace deptest;

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    DigestList inPieces;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        inPieces.add(bytes.substr(at, piece));
    inPieces.finish();
    DigestList whole;
    whole.add(bytes);
    whole.finish();
    expect(inPieces.size() == whole.size());
    expect(inPieces.malformedLines() == whole.malformedLines());

    for (const std::string& name : whole.namesNotAsked()) {
        const ListedDigest* listed = whole.find(name);
        const ListedDigest* other = inPieces.find(name);
        expect(listed != nullptr && other != nullptr);
        expect(listed->digest == other->digest && listed->problem == other->problem);
        expect(listed->digest.has_value() == listed->problem.empty());
        if (!listed->digest)
            continue;
        DigestList again;
        again.add(digestLine(name, *listed->digest));
        const ListedDigest* read = again.find(name);
        expect(read != nullptr && read->digest == listed->digest && again.size() == 1);
    }
    return 0;
}
