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

// The directories as found on a machine: the system directory is the one
// holding the C library at `cLibraryPath` (the one the running process
// loaded), the windows directory the configured one where it exists there,
// else the system directory. What cannot be found keeps its configured
// value.
HostDirectories resolveHostDirectories(std::string_view cLibraryPath, const HostDirectories& configured);

// The directories of the machine the program runs on, worked out once at
// start: on Windows the folders Windows names, elsewhere as above. This is the one place to ask for them.
const HostDirectories& thisMachinesDirectories();

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
