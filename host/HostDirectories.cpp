#include "host/HostDirectories.h"

#include "services/Directories.h"

#include <algorithm>

namespace deptest {

namespace {

// Whether a path begins with a directory literal, in any letter case.
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    // The literals are ASCII: folding ASCII letters is enough, and cheaper
    // than the C library's tolower on every lookup of a run.
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return text.size() >= prefix.size()
        && std::equal(
            prefix.begin(), prefix.end(), text.begin(), [&fold](char a, char b) { return fold(a) == fold(b); });
}

} // namespace

HostDirectories configuredHostDirectories()
{
    constexpr bool windowsPaths = DEPTEST_WINDOWS_PATHS != 0;
    if constexpr (windowsPaths)
        return { std::string(systemDirectoryLiteral), std::string(windowsDirectoryLiteral), '\\' };
    else
        return { DEPTEST_SYSTEM_DIR, DEPTEST_WINDOWS_DIR, '/' };
}

LiteralSplit splitAtDirectoryLiteral(std::string_view path, const HostDirectories& directories)
{
    // The system literal begins with the windows literal: test it first.
    if (startsWithIgnoringCase(path, systemDirectoryLiteral))
        return { &directories.system, path.substr(systemDirectoryLiteral.size()) };
    if (startsWithIgnoringCase(path, windowsDirectoryLiteral))
        return { &directories.windows, path.substr(windowsDirectoryLiteral.size()) };
    return { nullptr, path };
}

std::string toHostPath(std::string_view path, const HostDirectories& directories)
{
    const LiteralSplit split = splitAtDirectoryLiteral(path, directories);
    std::string host = split.directory != nullptr ? *split.directory : std::string();
    host.append(split.rest);
    std::replace(host.begin(), host.end(), '\\', directories.separator);
    return host;
}

} // namespace deptest
