#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace deptest {

// What the name lists ask the file system beyond a file's bytes: whether a
// path names a file and which one, the path with its links resolved, the
// names a directory holds.

// A file's identity: the same file under any of its names (on Windows the
// volume's serial number and the file's index on it).
struct FileIdentity {
    std::uint64_t device { 0 };
    std::uint64_t inode { 0 };
    // NOLINTNEXTLINE(modernize-use-nullptr): clang-tidy 14 takes the 0 a defaulted <=> compares with for a pointer
    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

// Found: the path names a file (links followed); Missing: nothing of that
// name is there, or a folder on the way is missing or is a file;
// Unreadable: the system cannot look (a folder on the way is closed to this
// user).
enum class Presence { Found, Missing, Unreadable };

struct PathStatus {
    Presence presence { Presence::Unreadable };
    FileIdentity identity; // of a file found
};

PathStatus statusOf(const std::string& path);

// The absolute path with links and dots resolved; nothing when a part of
// it cannot be resolved.
std::optional<std::string> realPath(const std::string& path);

// The names a directory holds; none when it cannot be listed.
std::vector<std::string> namesInDirectory(const std::string& directory);

// Whether the folder lies on a file system whose every request waits for
// another machine or another process: a network share, or a file system
// served from user space (sshfs, a cloud drive). False where the system
// cannot say, the folder missing included.
bool isRemoteFolder(const std::string& directory);

// The character this system writes between the folders of a path (a
// slash; a backslash on Windows), and whether a character ends a folder
// there (on Windows a slash does too; elsewhere a backslash is part of a
// name).
char pathSeparator();
bool isPathSeparator(char c);

// The folder of a path as this system writes it ("." for a bare name; a
// root keeps its separator), and a name in a folder.
std::string folderOf(const std::string& path);
std::string inFolder(const std::string& folder, const std::string& name);

// The machine's hardware name, as the loader's $PLATFORM says it
// (x86_64); empty when the system does not say.
std::string machineHardwareName();

} // namespace deptest
