#pragma once

#include "errors/Error.h"
#include "services/FileMeasurement.h"

#include <memory>
#include <string>
#include <string_view>

namespace deptest {

class InputFile;
class OutputFile;

// Sequential files and file measurements on Windows, through the wide
// (...W) functions, with Windows' failures as the program's error numbers.
// Paths are the program's own, in UTF-8: the directory literals need no
// mapping here.
class WindowsFiles {
public:
    Result<std::unique_ptr<InputFile>> openForReading(std::string_view path);
    // Creates the file, or empties it when it exists.
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view path);
    // A new version of the file that replaces it whole when closed.
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path);
    // Size and local modification time from one look at the file. A
    // directory is not a file: 53.
    Result<FileMeasurement> measure(std::string_view path);
};

// The directory holding the executable, without a trailing separator.
std::string windowsApplicationDirectory();

// The program's error for a Windows error code.
Error errorFromWindows(unsigned long code);

} // namespace deptest
