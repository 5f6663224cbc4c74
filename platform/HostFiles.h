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
void hostFileSize(std::string_view hostPath, std::int64_t& size, ErrorState& state);
void hostFileTime(std::string_view hostPath, FileTime& time, ErrorState& state);

} // namespace deptest
