#pragma once

#include "system/BinaryFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace deptest::test {

// A fuzzer's input as a file of its own (one in memory, rewritten for each
// input), opened as a run opens a program.
inline Result<BinaryFile> inputAsFile(const std::uint8_t* data, std::size_t size)
{
    static const int file = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (file < 0 || ::ftruncate(file, 0) != 0 || ::pwrite(file, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    return BinaryFile::open("/proc/self/fd/" + std::to_string(file));
}

} // namespace deptest::test
