#pragma once

#include "services/SystemFiles.h"

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace deptest::test {

// Files held in memory under the program's own paths. A path names a file
// in a known directory (the part up to its last backslash or slash); a
// miss there is 53, in an unknown directory 76. Writes can be made to run
// out of room, and a file kept but the replacing ones dropped, as on a
// full disk.
class MemoryFiles final : public SystemFiles {
public:
    struct File {
        std::string bytes;
        FileTime modified;
    };

    void addDirectory(std::string directory) { m_directories.insert(std::move(directory)); }
    // Puts a file there, and its directory.
    void put(const std::string& path, std::string bytes, FileTime modified = {});
    // Puts a file of `size` bytes there.
    void putSized(const std::string& path, std::size_t size, FileTime modified);
    // Makes the path a directory: no file can be read, written or measured there.
    void putDirectory(const std::string& path) { m_directories.insert(path + "\\"); }
    void remove(const std::string& path) { m_files.erase(path); }
    [[nodiscard]] const File* find(const std::string& path) const;
    // A file whose contents cannot be read, and why: it is there and can
    // be measured, but neither opened for reading nor digested.
    void makeUnreadable(const std::string& path, Error why) { m_unreadable[path] = std::move(why); }
    // What digest() answers for these bytes: a stand-in for SHA-256 that
    // differs wherever the bytes do, as far as the tests go.
    static ContentDigest fingerprint(std::string_view bytes);
    // Bytes that may still be written to all files together; none left
    // means a full disk.
    std::size_t room = static_cast<std::size_t>(-1);

    Result<std::unique_ptr<InputFile>> openForReading(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path) override;
    Result<FileMeasurement> measure(std::string_view path) override;
    Result<FileMeasurement> measureIn(const std::string& directory, std::string_view relative) override;
    Result<ContentDigest> digest(std::string_view path, const std::function<bool()>& betweenBlocks) override;
    Outcome remove(std::string_view path) override;

private:
    // Whether the path could name a file: 0, or the error saying why not.
    [[nodiscard]] std::int32_t missing(const std::string& path) const;
    [[nodiscard]] bool isDirectory(const std::string& path) const;

    std::map<std::string, File> m_files;
    std::set<std::string> m_directories;
    std::map<std::string, Error> m_unreadable;
};

} // namespace deptest::test
