#include "system/Terminal.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <io.h>
#include <windows.h>

namespace deptest {

bool isTerminal(int descriptor) { return ::_isatty(descriptor) != 0; }

bool writeUnbuffered(int descriptor, std::string_view text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const std::size_t piece = std::min<std::size_t>(text.size() - written, INT_MAX);
        const int got = ::_write(descriptor, text.data() + written, static_cast<unsigned int>(piece));
        if (got <= 0)
            return false;
        written += static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace deptest

namespace deptest {

std::optional<std::string> readPassword(std::string_view prompt)
{
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = ::GetConsoleMode(input, &mode) != 0;
    if (console) {
        writeUnbuffered(2, prompt);
        ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
    std::string password;
    char c = 0;
    bool any = false;
    DWORD got = 0;
    while (::ReadFile(input, &c, 1, &got, nullptr) != 0 && got == 1) {
        any = true;
        if (c == '\n')
            break;
        password += c;
    }
    if (console) {
        ::SetConsoleMode(input, mode);
        writeUnbuffered(2, "\n");
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (!any)
        return std::nullopt;
    return password;
}

} // namespace deptest
