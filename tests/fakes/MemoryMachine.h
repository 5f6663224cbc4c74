#pragma once

#include "tests/fakes/FakeRuntime.h"
#include "tests/fakes/MemoryFiles.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace deptest::test {

// The system, windows and application directories in memory, with the
// calls the command tests use to put files there and read them back. A
// path may name its file after a slash, as on the test machines of the
// host tests; it is kept under a backslash, as the commands name it.
class MemoryMachine {
public:
    MemoryMachine()
    {
        for (const std::string& directory : { systemDirectory(), windowsDirectory(), applicationDirectory() })
            files.addDirectory(directory + "\\");
    }
    [[nodiscard]] static std::string systemDirectory() { return "c:\\windows\\system"; }
    [[nodiscard]] static std::string windowsDirectory() { return "c:\\windows"; }
    [[nodiscard]] static std::string applicationDirectory() { return "d:\\app"; }
    [[nodiscard]] static std::string dataFile(std::string_view name)
    {
        return applicationDirectory() + "\\" + std::string(name);
    }

    void makeFile(const std::string& path, std::int64_t size, FileTime modified)
    {
        files.putSized(native(path), static_cast<std::size_t>(size), modified);
    }
    void writeText(const std::string& path, std::string_view bytes)
    {
        const std::string name = native(path);
        const MemoryFiles::File* file = files.find(name);
        files.put(name, std::string(bytes), file != nullptr ? file->modified : FileTime {});
    }
    // The file's bytes, or nothing if there is no such file.
    [[nodiscard]] std::string readText(const std::string& path) const
    {
        const MemoryFiles::File* file = files.find(native(path));
        return file != nullptr ? file->bytes : std::string();
    }
    [[nodiscard]] bool exists(const std::string& path) const { return files.find(native(path)) != nullptr; }
    void makeDirectory(const std::string& path) { files.putDirectory(native(path)); }

    MemoryFiles files;

private:
    static std::string native(std::string path)
    {
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }
};

// The runtime of the commands on this machine.
inline FakeRuntime runtimeOn(MemoryMachine& machine)
{
    return FakeRuntime(MemoryMachine::applicationDirectory(), machine.files);
}

} // namespace deptest::test
