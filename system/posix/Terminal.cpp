#include "system/Terminal.h"

#include <cstddef>

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
