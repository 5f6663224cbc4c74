#include "host/HostDirectories.h"

#include "services/Directories.h"
#include "system/LoadedFrom.h"
#include "system/WindowsFolders.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace deptest {

namespace {

// Whether a path begins with a directory literal, in any letter case.
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    // The literals are ASCII: folding ASCII letters is enough, and cheaper
    // than the C library's tolower on every lookup of a run.
    // Paths a search builds carry the literal as written: compared first.
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (text.starts_with(prefix))
        return true;
    return text.size() >= prefix.size()
        && std::equal(
            prefix.begin(), prefix.end(), text.begin(), [&fold](char a, char b) { return fold(a) == fold(b); });
}

// The directories fixed when the program was configured: on Windows the
// literals themselves, elsewhere the architecture's shared-library
// directory and /usr/lib/, so a list of shared libraries means the same on
// both.
HostDirectories configuredHostDirectories()
{
    constexpr bool windowsPaths = DEPTEST_WINDOWS_PATHS != 0;
    if constexpr (windowsPaths)
        return { std::string(systemDirectoryLiteral), std::string(windowsDirectoryLiteral), '\\' };
    else
        return { DEPTEST_SYSTEM_DIR, DEPTEST_WINDOWS_DIR, '/' };
}

} // namespace

HostDirectories resolveHostDirectories(std::string_view cLibraryPath, const HostDirectories& configured)
{
    namespace fs = std::filesystem;
    HostDirectories found = configured;
    std::error_code failed;
    const fs::path library(cLibraryPath);
    if (library.is_absolute() && library.has_parent_path()) {
        // The same directory under its plain name (/lib is often a link to /usr/lib).
        const fs::path directory = fs::canonical(library.parent_path(), failed);
        if (!failed && fs::is_directory(directory, failed))
            found.system = directory.string() + found.separator;
    }
    if (!fs::is_directory(fs::path(configured.windows), failed))
        found.windows = found.system;
    return found;
}

const HostDirectories& thisMachinesDirectories()
{
    static const HostDirectories directories = [] {
        const HostDirectories configured = configuredHostDirectories();
        constexpr bool windowsPaths = DEPTEST_WINDOWS_PATHS != 0;
        if constexpr (windowsPaths) {
            // Windows says where its folders are: every Windows since NT
            // keeps its DLLs in system32, not in the literal's system.
            const std::optional<WindowsFolders> folders = windowsFolders();
            return folders ? HostDirectories { folders->system, folders->windows, '\\' } : configured;
        } else
            return resolveHostDirectories(cLibraryFile().value_or(std::string()), configured);
    }();
    return directories;
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
