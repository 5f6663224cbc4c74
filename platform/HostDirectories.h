#pragma once

#include <string>
#include <string_view>

namespace deptest {

// The fixed directories the file locator searches, as the program names
// them. Paths are built from these literals and only become host paths
// when a file is touched.
inline constexpr std::string_view systemDirectoryLiteral = "c:\\windows\\system\\";
inline constexpr std::string_view windowsDirectoryLiteral = "c:\\windows\\";

// What the two literals mean on this host, each ending in a separator.
struct HostDirectories {
    std::string system;
    std::string windows;
};

// On Windows the literals themselves; elsewhere the directories fixed when
// the program was configured (the architecture's shared-library directory
// and /usr/lib/), so a list of shared libraries means the same on both.
HostDirectories configuredHostDirectories();

// Maps a program path onto the host: a leading directory literal becomes
// its host directory and, off Windows, every backslash a slash.
std::string toHostPath(std::string_view path, const HostDirectories& directories);

} // namespace deptest
