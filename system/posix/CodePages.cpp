#include "system/CodePages.h"

#include <map>

#include <iconv.h>

namespace deptest {

// One converter per code page asked for, reset before each use; none for a
// code page the C library does not know.
struct CodePages::Converters {
    std::map<int, std::optional<iconv_t>> opened;

    std::optional<iconv_t> forCodePage(int codePage)
    {
        const auto found = opened.find(codePage);
        if (found != opened.end())
            return found->second;
        const std::string name = "CP" + std::to_string(codePage);
        const iconv_t converter = ::iconv_open("UTF-8", name.c_str());
        // (iconv_t)-1 is how iconv_open() says it cannot convert.
        const iconv_t failed = reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
        const std::optional<iconv_t> usable = converter == failed ? std::nullopt : std::optional(converter);
        opened.emplace(codePage, usable);
        return usable;
    }
};

CodePages::CodePages()
    : m_converters(std::make_unique<Converters>())
{
}

CodePages::~CodePages()
{
    for (const auto& [codePage, converter] : m_converters->opened) {
        if (converter)
            ::iconv_close(*converter);
    }
}

std::optional<std::string> CodePages::toUtf8(std::string_view bytes, int codePage)
{
    const std::optional<iconv_t> convert = m_converters->forCodePage(codePage);
    if (!convert)
        return std::nullopt;
    ::iconv(*convert, nullptr, nullptr, nullptr, nullptr);
    std::string out(bytes.size() * 4, '\0'); // a single byte is at most three UTF-8 bytes
    char* in = const_cast<char*>(bytes.data()); // iconv's signature; it does not write there
    std::size_t inLeft = bytes.size();
    char* put = out.data();
    std::size_t outLeft = out.size();
    if (::iconv(*convert, &in, &inLeft, &put, &outLeft) == static_cast<std::size_t>(-1))
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace deptest
