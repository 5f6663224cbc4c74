// libFuzzer target for the code-page side of a list: any bytes are tested
// for UTF-8, decoded in every code page tried and shown, whole and cut to
// a length the first byte chooses. Nothing may crash or read out of bounds,
// a shortened text never exceeds its length plus the ellipsis, and text
// that is UTF-8 shows as itself.

#include "text/CodePageText.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype longest = data[0] % 64 + 1;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (const int codePage : deptest::legacyCodePages()) {
        (void)deptest::decodeCodePage(bytes, codePage);
        const QString shown = deptest::toDisplayText(bytes, codePage);
        if (deptest::isUtf8(bytes) && shown != QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())))
            std::abort();
        if (deptest::toDisplayText(bytes, codePage, longest).size() > longest + 1)
            std::abort();
    }
    return 0;
}
