#include "system/Terminal.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <io.h>

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
