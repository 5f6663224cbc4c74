#include "system/Terminal.h"

#include <cstddef>

#include <termios.h>
#include <unistd.h>

namespace deptest {

bool isTerminal(int descriptor) { return ::isatty(descriptor) == 1; }

bool writeUnbuffered(int descriptor, std::string_view text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t got = ::write(descriptor, text.data() + written, text.size() - written);
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
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved {};
    if (terminal) {
        writeUnbuffered(STDERR_FILENO, prompt);
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        }
    }
    std::string password;
    char c = 0;
    bool any = false;
    while (::read(STDIN_FILENO, &c, 1) == 1) {
        any = true;
        if (c == '\n')
            break;
        password += c;
    }
    if (terminal) {
        (void)::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        writeUnbuffered(STDERR_FILENO, "\n");
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (!any)
        return std::nullopt;
    return password;
}

} // namespace deptest
