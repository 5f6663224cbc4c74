#pragma once

#include <cstddef>
#include <string_view>

namespace deptest {

class ErrorState;

// A sequential file open for reading. Closed when destroyed.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to `size` bytes; 0 means the end of the file. A failure
    // raises and also returns 0.
    virtual std::size_t read(char* buffer, std::size_t size, ErrorState& state) = 0;
};

// A sequential file open for writing. close() reports what could not be
// written; destroying an unclosed file closes it and drops that report,
// which is only right on the way out of the program.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual void write(std::string_view bytes, ErrorState& state) = 0;
    virtual void close(ErrorState& state) = 0;
};

} // namespace deptest
