#include "dates/LegacyText.h"

#include <QHash>

#include <array>
#include <cerrno>
#include <string>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace deptest {

namespace {

// The single-byte pages first; then the double-byte ones of Japanese,
// Simplified Chinese, Korean and Traditional Chinese, tried last because
// they decode most bytes as some text.
constexpr std::array<int, 14> codePages { 1252, 1250, 1251, 1253, 1254, 1257, 1255, 1256, 1258, 874, 932, 936, 949,
    950 };

#ifndef _WIN32
// One converter per code page for the life of the program, reset before
// each use; none for a code page the C library does not know.
class Converters {
public:
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters()
    {
        for (const std::optional<iconv_t>& converter : std::as_const(m_converters)) {
            if (converter)
                ::iconv_close(*converter);
        }
    }

    std::optional<iconv_t> forCodePage(int codePage)
    {
        const auto found = m_converters.constFind(codePage);
        if (found != m_converters.constEnd())
            return *found;
        const std::string name = "CP" + std::to_string(codePage);
        const iconv_t opened = ::iconv_open("UTF-8", name.c_str());
        // (iconv_t)-1 is how iconv_open() says it cannot convert.
        const iconv_t failed = reinterpret_cast<iconv_t>(-1); // NOLINT(performance-no-int-to-ptr)
        const std::optional<iconv_t> usable = opened == failed ? std::nullopt : std::optional(opened);
        m_converters.insert(codePage, usable);
        return usable;
    }

private:
    QHash<int, std::optional<iconv_t>> m_converters;
};

std::optional<iconv_t> converter(int codePage)
{
    static Converters converters;
    return converters.forCodePage(codePage);
}

#endif

// The length of the longest prefix that ends on a whole UTF-8 character,
// or nothing when the bytes are not UTF-8 (an incomplete character at the
// very end is allowed: the bytes may have been cut there).
std::optional<std::size_t> utf8Prefix(std::string_view bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = 1;
        char32_t minimum = 0;
        char32_t code = 0;
        if (lead < 0x80) {
            ++at;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            minimum = 0x80;
            code = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            minimum = 0x800;
            code = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            minimum = 0x10000;
            code = lead & 0x07;
        } else {
            return std::nullopt;
        }
        if (at + length > bytes.size()) {
            for (std::size_t next = at + 1; next < bytes.size(); ++next) {
                if ((static_cast<unsigned char>(bytes[next]) & 0xC0) != 0x80)
                    return std::nullopt;
            }
            return at; // cut inside the last character
        }
        for (std::size_t next = 1; next < length; ++next) {
            const auto byte = static_cast<unsigned char>(bytes[at + next]);
            if ((byte & 0xC0) != 0x80)
                return std::nullopt;
            code = (code << 6) | (byte & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return std::nullopt;
        at += length;
    }
    return at;
}

} // namespace

std::span<const int> legacyCodePages() { return codePages; }

#ifdef _WIN32
std::optional<QString> decodeCodePage(std::string_view bytes, int codePage)
{
    // Windows knows its own code pages; a byte without a character fails.
    if (bytes.empty())
        return QString();
    const auto size = static_cast<int>(bytes.size());
    const int length
        = ::MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), length);
    return QString::fromStdWString(text);
}
#else
std::optional<QString> decodeCodePage(std::string_view bytes, int codePage)
{
    const std::optional<iconv_t> convert = converter(codePage);
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
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size() - outLeft));
}
#endif

int defaultCodePage(QLocale::Language language)
{
    switch (language) {
    case QLocale::Polish:
    case QLocale::Czech:
    case QLocale::Slovak:
    case QLocale::Hungarian:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Bosnian:
    case QLocale::Romanian:
    case QLocale::Albanian: return 1250;
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Belarusian:
    case QLocale::Bulgarian:
    case QLocale::Macedonian:
    case QLocale::Serbian:
    case QLocale::Kazakh:
    case QLocale::Kyrgyz:
    case QLocale::Tatar:
    case QLocale::Mongolian: return 1251;
    case QLocale::Greek: return 1253;
    case QLocale::Turkish:
    case QLocale::Azerbaijani: return 1254;
    case QLocale::Hebrew: return 1255;
    case QLocale::Arabic:
    case QLocale::Persian:
    case QLocale::Urdu: return 1256;
    case QLocale::Estonian:
    case QLocale::Latvian:
    case QLocale::Lithuanian: return 1257;
    case QLocale::Vietnamese: return 1258;
    case QLocale::Thai: return 874;
    case QLocale::Japanese: return 932;
    case QLocale::Chinese: return 936;
    case QLocale::Korean: return 949;
    default: return 1252;
    }
}

bool isUtf8(std::string_view bytes)
{
    const std::optional<std::size_t> prefix = utf8Prefix(bytes);
    return prefix && *prefix == bytes.size();
}

QString toDisplayText(std::string_view bytes, int codePage)
{
    const auto size = static_cast<qsizetype>(bytes.size());
    if (isUtf8(bytes))
        return QString::fromUtf8(bytes.data(), size);
    if (std::optional<QString> text = decodeCodePage(bytes, codePage))
        return *text;
    return QString::fromLatin1(bytes.data(), size); // a byte the code page lacks: no byte is lost
}

QString toDisplayText(std::string_view bytes, int codePage, qsizetype longest)
{
    // No character takes more than four bytes, so only the first 4 x
    // longest bytes can show; they are cut on a character boundary when
    // they are UTF-8.
    const auto shown = static_cast<std::size_t>(longest) * 4;
    std::string_view head = bytes.substr(0, shown);
    if (head.size() < bytes.size()) {
        if (const std::optional<std::size_t> whole = utf8Prefix(head))
            head = head.substr(0, *whole);
    }
    QString text = toDisplayText(head, codePage);
    if (head.size() == bytes.size() && text.size() <= longest)
        return text;
    qsizetype cut = std::min(longest, text.size());
    if (cut > 0 && cut < text.size() && text.at(cut - 1).isHighSurrogate())
        --cut;
    text.truncate(cut);
    return text + QChar(0x2026);
}

} // namespace deptest
