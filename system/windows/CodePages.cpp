#include "system/CodePages.h"

#include <windows.h>

namespace deptest {

// Windows knows its own code pages and keeps no converter open.
struct CodePages::Converters { };

CodePages::CodePages()
    : m_converters(std::make_unique<Converters>())
{
}

CodePages::~CodePages() = default;

std::optional<std::string> CodePages::toUtf8(std::string_view bytes, int codePage)
{
    // A byte without a character fails.
    if (bytes.empty())
        return std::string();
    const auto size = static_cast<int>(bytes.size());
    const int length
        = ::MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(static_cast<UINT>(codePage), MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), length);
    const int utf8Length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(utf8Length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), utf8Length, nullptr, nullptr);
    return out;
}

} // namespace deptest
