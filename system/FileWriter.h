#pragma once

#include "errors/Error.h"
#include "services/Files.h"
#include "services/SystemFiles.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The part of writing files that is the same on every system, over the few
// calls each system provides below. Plain C++: no Qt and no system header.
namespace deptest {

// A file of the system open for writing, as the writer needs it.
class SystemFile {
public:
    virtual ~SystemFile() = default;
    // Writes a first part of the bytes and says how much; 0 reads as a
    // full disk.
    virtual Result<std::size_t> writeSome(std::string_view bytes) = 0;
    // Cuts the file to its first `size` bytes, as far as the system allows.
    virtual void truncate(std::uint64_t size) = 0;
    // Puts what was written on the disk.
    virtual Outcome sync() = 0;
    virtual Outcome close() = 0;
};

// A new version of a file written under another name beside it.
class PendingVersion {
public:
    virtual ~PendingVersion() = default;
    // Puts the closed new version in the place of the old file.
    virtual Outcome putInPlace() = 0;
    // Removes the new version; the old file stays as it was.
    virtual void discard() = 0;
};

// A NUL byte would cut the path short and name another file.
[[nodiscard]] bool isUsablePath(std::string_view hostPath);

// Buffers whole records and hands them to the system in large writes. When
// a write fails the file is cut back to its last complete line and takes
// nothing more, so what is on disk is always a clean run of records.
std::unique_ptr<OutputFile> bufferedOutput(std::unique_ptr<SystemFile> file);

// The same for a new version of a file: it takes the place of the old one
// when it is closed whole. Until then, and whenever it fails or is dropped
// unclosed, the old file stays as it was and the new version goes.
std::unique_ptr<OutputFile> replacementOutput(
    std::unique_ptr<SystemFile> file, std::unique_ptr<PendingVersion> version);

// The files of the system this program was built for.
std::unique_ptr<SystemFiles> thisSystemsFiles();

} // namespace deptest
