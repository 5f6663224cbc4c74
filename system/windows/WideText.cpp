#include "system/windows/WideText.h"

#include <windows.h>

namespace deptest {

std::wstring wide(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int length
        = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (length > 0) {
        std::wstring text(static_cast<std::size_t>(length), L'\0');
        ::MultiByteToWideChar(
            CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
        return text;
    }
    const int ansi = ::MultiByteToWideChar(CP_ACP, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(ansi), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), ansi);
    return text;
}

std::string narrow(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int length
        = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

} // namespace deptest
