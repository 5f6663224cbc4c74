#pragma once

#include <string>
#include <string_view>

namespace deptest {

// What the file locator's two directory literals mean on this host, each
// ending in a separator.
struct HostDirectories {
    std::string system;
    std::string windows;
    // What a backslash of a program path becomes.
    char separator { '/' };
};

// The directories fixed when the program was configured: on Windows the
// literals themselves, elsewhere the architecture's shared-library
// directory and /usr/lib/, so a list of shared libraries means the same on
// both.
HostDirectories configuredHostDirectories();

// A program path split after a leading directory literal: the host
// directory it stands for (none when the path begins with neither) and
// the rest of the path.
struct LiteralSplit {
    const std::string* directory;
    std::string_view rest;
};
LiteralSplit splitAtDirectoryLiteral(std::string_view path, const HostDirectories& directories);

// Maps a program path onto the host: a leading directory literal becomes
// its host directory and every backslash the host's separator.
std::string toHostPath(std::string_view path, const HostDirectories& directories);

} // namespace deptest
