#include "platform/HostDirectories.h"

#include "verify/FileLocator.h"

#include <algorithm>

namespace deptest {

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    // The literals are ASCII: folding ASCII letters is enough, and cheaper
    // than the C library's tolower on every lookup of a run.
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return text.size() >= prefix.size()
        && std::equal(
            prefix.begin(), prefix.end(), text.begin(), [&fold](char a, char b) { return fold(a) == fold(b); });
}

HostDirectories configuredHostDirectories()
{
#ifdef _WIN32
    return { std::string(systemDirectoryLiteral), std::string(windowsDirectoryLiteral) };
#else
    return { DEPTEST_SYSTEM_DIR, DEPTEST_WINDOWS_DIR };
#endif
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
#ifndef _WIN32
    std::replace(host.begin(), host.end(), '\\', '/');
#endif
    return host;
}

} // namespace deptest
