#pragma once

#include <optional>
#include <string>

namespace deptest {

// The folders Windows keeps its own files in, as it names them on this
// machine, each ending in a backslash: the system folder
// (GetSystemDirectoryW, C:\Windows\system32 for a 64-bit program) and the
// Windows folder (GetWindowsDirectoryW, not always C:\Windows). Nothing
// off Windows, where the system directory is the C library's.
struct WindowsFolders {
    std::string system;
    std::string windows;
};
std::optional<WindowsFolders> windowsFolders();

} // namespace deptest
