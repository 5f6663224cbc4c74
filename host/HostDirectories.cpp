#include "host/HostDirectories.h"

#include "services/Directories.h"

#include <algorithm>
#include <cctype>

namespace deptest {

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

HostDirectories configuredHostDirectories()
{
    constexpr bool windowsPaths = DEPTEST_WINDOWS_PATHS != 0;
    if constexpr (windowsPaths)
        return { std::string(systemDirectoryLiteral), std::string(windowsDirectoryLiteral), '\\' };
    else
        return { DEPTEST_SYSTEM_DIR, DEPTEST_WINDOWS_DIR, '/' };
}

std::string toHostPath(std::string_view path, const HostDirectories& directories)
{
    std::string host;
    // The system literal begins with the windows literal: test it first.
    if (startsWithIgnoringCase(path, systemDirectoryLiteral)) {
        host = directories.system;
        path.remove_prefix(systemDirectoryLiteral.size());
    } else if (startsWithIgnoringCase(path, windowsDirectoryLiteral)) {
        host = directories.windows;
        path.remove_prefix(windowsDirectoryLiteral.size());
    }
    host.append(path);
    std::replace(host.begin(), host.end(), '\\', directories.separator);
    return host;
}

} // namespace deptest
