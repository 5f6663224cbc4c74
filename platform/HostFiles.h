#pragma once

#include "errors/Error.h"
#include "services/FileMeasurement.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace deptest {

class InputFile;
class OutputFile;

// Sequential files and file measurements on host paths, with the
// operating system's failures as the program's error numbers.
class HostFiles {
public:
    Result<std::unique_ptr<InputFile>> openForReading(std::string_view hostPath);
    // Creates the file, or empties it when it exists.
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view hostPath);
    // A new version of the file that replaces it whole when closed.
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view hostPath);
    // Size and local modification time from one look at the file. A
    // directory is not a file: 53.
    Result<FileMeasurement> measure(std::string_view hostPath);
    // The same for a path inside a directory (ending in a separator), which
    // is looked up relative to a handle on the directory kept open: a
    // search looks in the same few directories entry after entry.
    Result<FileMeasurement> measureIn(const std::string& directory, std::string_view relative);

    HostFiles() = default;
    ~HostFiles();
    HostFiles(const HostFiles&) = delete;
    HostFiles& operator=(const HostFiles&) = delete;

private:
    int handleOf(const std::string& directory);
    // A path that does not exist is 53 when its directory exists and 76
    // when it does not.
    Error missingPathError(int osError, std::string_view hostPath);

    // Directories seen to exist. A search misses in the same few
    // directories entry after entry, so each is asked about once. Only
    // existence is remembered: should one vanish later, a miss there still
    // reads 53, "File not found", which is true as well.
    std::unordered_set<std::string> m_existingDirectories;
    std::vector<std::pair<std::string, int>> m_directoryHandles;
    std::string m_relative; // reused, so that a lookup allocates nothing
};

} // namespace deptest
