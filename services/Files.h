#pragma once

#include "errors/Error.h"

#include <cstddef>
#include <string_view>

namespace deptest {

// A sequential file open for reading. Closed when destroyed.
class InputFile {
public:
    virtual ~InputFile() = default;
    // Reads up to `size` bytes; 0 means the end of the file.
    virtual Result<std::size_t> read(char* buffer, std::size_t size) = 0;
    // Starts again from the first byte of the same file, so that a second
    // reading sees the text the first saw; fails where the file changed
    // meanwhile, or cannot be read again.
    virtual Outcome rewind() { return Error { error::pathFileAccess, "The file cannot be read a second time" }; }
};

// A sequential file open for writing. close() puts it on the disk and
// reports what could not be written; destroying an unclosed file closes it
// and drops that report, which is only right on the way out of the program.
// A file opened for replacing takes the place of the old one only when
// close() succeeds; destroying it unclosed keeps the old one.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    virtual Outcome write(std::string_view bytes) = 0;
    // Writes out what is still held and puts the file on the disk, so that
    // close() has nothing left to write: a new version is then whole, and
    // its close() only puts it in place. After a failure here close() keeps
    // the old file and reports the same failure.
    virtual Outcome finish() = 0;
    virtual Outcome close() = 0;
};

} // namespace deptest
