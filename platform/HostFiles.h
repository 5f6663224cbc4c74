#pragma once

#include "platform/FileTime.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace deptest {

class ErrorState;
class InputFile;
class OutputFile;

// Sequential files and file measurements on host paths, with the
// operating system's failures raised as the program's error numbers.
std::unique_ptr<InputFile> openHostFileForReading(std::string_view hostPath, ErrorState& state);
std::unique_ptr<OutputFile> openHostFileForWriting(std::string_view hostPath, ErrorState& state);

struct FileMeasurement {
    std::int64_t size { 0 };
    FileTime modified;
};

// Size and local modification time from one look at the file. A
// directory is not a file: 53.
void measureHostFile(std::string_view hostPath, FileMeasurement& measurement, ErrorState& state);

} // namespace deptest
