#include "text/CodePageText.h"

#include <array>
#include <string>

namespace deptest {

namespace {

// The single-byte pages first; then the double-byte ones of Japanese,
// Simplified Chinese, Korean and Traditional Chinese, tried last because
// they decode most bytes as some text.
constexpr std::array<int, 14> codePages { 1252, 1250, 1251, 1253, 1254, 1257, 1255, 1256, 1258, 874, 932, 936, 949,
    950 };

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

std::optional<QString> decodeCodePage(std::string_view bytes, int codePage, CodePages& converters)
{
    const std::optional<std::string> text = converters.toUtf8(bytes, codePage);
    if (!text)
        return std::nullopt;
    return QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size()));
}

std::optional<QString> decodeCodePage(std::string_view bytes, int codePage)
{
    CodePages converters;
    return decodeCodePage(bytes, codePage, converters);
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
