#pragma once

#include "errors/Error.h"
#include "services/FileMeasurement.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace deptest {

class InputFile;
class OutputFile;

// Sequential files and file measurements on the paths of the machine the
// program runs on, with the system's failures as the program's error
// numbers. Each operating system has one, behind this interface. Its
// measurements and digests may be asked from several threads at once.
class SystemFiles {
public:
    virtual ~SystemFiles() = default;

    virtual Result<std::unique_ptr<InputFile>> openForReading(std::string_view hostPath) = 0;
    // Creates the file, or empties it when it exists.
    virtual Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view hostPath) = 0;
    // A new version of the file that replaces it whole when closed.
    virtual Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view hostPath) = 0;
    // Size and local modification time from one look at the file. A
    // directory is not a file: 53.
    virtual Result<FileMeasurement> measure(std::string_view hostPath) = 0;
    // The same for a path inside a directory (ending in a separator): a
    // search looks in the same few directories entry after entry, which a
    // system may keep open.
    virtual Result<FileMeasurement> measureIn(const std::string& directory, std::string_view relative) = 0;
    // The digest of a regular file's contents, read in large blocks, never
    // mapped; `betweenBlocks`, when set, is called after each block, and
    // the reading stops with a failure when it answers false. Anything
    // else (a FIFO, a device, a directory) is refused without waiting on
    // it, and a file that changes, is removed or is replaced while it is
    // read is refused too: both 75 with the reason.
    virtual Result<ContentDigest> digest(std::string_view hostPath, const std::function<bool()>& betweenBlocks) = 0;
    // Deletes the file; one that is not there is not an error.
    virtual Outcome remove(std::string_view hostPath) = 0;
};

} // namespace deptest
