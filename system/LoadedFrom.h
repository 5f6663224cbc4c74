#pragma once

#include <optional>
#include <string>

namespace deptest {

// Where the running program's files were loaded from, as the loader knows.

// The file the C library was mapped from (/lib/x86_64-linux-gnu/libc.so.6);
// nothing where the system does not say, or the program has no C library
// of its own to ask about (Windows).
std::optional<std::string> cLibraryFile();

// The directory of the running executable; nothing when the system does
// not say.
std::optional<std::string> executableDirectory();

// The entry `symbol` of a module loaded from `path` (a shared object the
// program brings along), or the loader's reason why it cannot be had.
struct ModuleEntry {
    void* entry { nullptr };
    std::string reason; // when there is no entry
};
ModuleEntry loadModuleEntry(const std::string& path, const char* symbol);

} // namespace deptest
